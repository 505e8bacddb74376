"""Reports (HTML, PowerPoint, Word, PDF) from repositories of snapshots: pictures,
3D models and tables.

The classes and functions are those of the extension kivreport._kivreport; they
are shown as members of kivreport, where applications find them.
"""
from kivreport._kivreport import (
    Error,
    PdfError,
    Repository,
    Result,
    Snapshot,
    __version__,
    generate,
    summarize,
    to_pdf,
    validate,
)

__all__ = ["Error", "PdfError", "Repository", "Result", "Snapshot", "generate", "summarize", "to_pdf", "validate"]

for _name in __all__:
    globals()[_name].__module__ = __name__
del _name
