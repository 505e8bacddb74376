# Types of the extension kivreport._kivreport, whose functions take Python
# objects of several kinds (a path or bytes, an array or a file) and so show
# bare "handle" arguments at run time. The docstrings are the extension's own.
import os
from typing import Iterable, Iterator, Literal, Sequence, Union

import numpy as np
import numpy.typing as npt

__version__: str

# A file path as the module takes it: str or os.PathLike.
_Path = Union[str, os.PathLike[str]]
# Field values and table cells: numbers are stored as their text.
_Text = Union[str, int, float]

class Error(Exception):
    errors: list[str]
    codes: list[str]
    warnings: list[str]
    left_out: list[str]

class PdfError(Error): ...

class Result:
    @property
    def files(self) -> list[str]: ...
    @property
    def warnings(self) -> list[str]: ...
    @property
    def left_out(self) -> list[str]: ...

class Snapshot:
    @staticmethod
    def image(
        pixels_or_path: Union[npt.NDArray[np.uint8], bytes, bytearray, memoryview, _Path, None],
        *,
        title: str = ...,
        description: str = ...,
        fields: dict[str, _Text] | None = ...,
        viewer_url: str = ...,
        name: str = ...,
    ) -> Snapshot: ...
    @staticmethod
    def model(
        path_or_bytes: Union[bytes, bytearray, _Path, None],
        *,
        title: str = ...,
        description: str = ...,
        fields: dict[str, _Text] | None = ...,
        viewer_url: str = ...,
        name: str = ...,
    ) -> Snapshot: ...
    @staticmethod
    def table(
        rows: Sequence[Sequence[_Text]] | None,
        *,
        title: str = ...,
        description: str = ...,
        fields: dict[str, _Text] | None = ...,
        viewer_url: str = ...,
        name: str = ...,
        x_axis_title: str = ...,
        y_axis_title: str = ...,
    ) -> Snapshot: ...
    @property
    def type(self) -> Literal["image", "model", "table"]: ...
    @property
    def number(self) -> int | None: ...
    name: str
    title: str
    description: str
    @property
    def expanded_description(self) -> str: ...
    @property
    def fields(self) -> dict[str, str]: ...
    @fields.setter
    def fields(self, value: dict[str, str]) -> None: ...
    viewer_url: str
    @property
    def pixels(self) -> npt.NDArray[np.uint8] | None: ...
    @property
    def model_bytes(self) -> bytes | None: ...
    @property
    def rows(self) -> list[list[str]] | None: ...
    @property
    def x_axis_title(self) -> str: ...
    @property
    def y_axis_title(self) -> str: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

class Repository:
    def __init__(self) -> None: ...
    @staticmethod
    def load(path: _Path) -> Repository: ...
    def save(self, path: _Path) -> None: ...
    def __len__(self) -> int: ...
    def __getitem__(self, index: int) -> Snapshot: ...
    def __delitem__(self, index: int) -> None: ...
    def __iter__(self) -> Iterator[Snapshot]: ...
    def add(self, snapshot: Snapshot) -> str: ...
    def clear(self) -> None: ...

def generate(
    repository: Repository,
    template: _Path,
    out: _Path,
    *,
    reference: Repository | None = ...,
    snapshots: Iterable[int] | None = ...,
    use_3d_viewer: bool = ...,
    embed_models: bool = ...,
    accept_partial: bool = ...,
    pdf: bool = ...,
    pdf_timeout: int = ...,
    use_3d_plugin: bool | None = ...,
    strict: bool = ...,
) -> Result: ...
def to_pdf(report: _Path, pdf: _Path | None = ..., *, timeout: int = ...) -> str: ...
def validate(
    repository: Repository,
    template: _Path,
    *,
    reference: Repository | None = ...,
    snapshots: Iterable[int] | None = ...,
) -> tuple[bool, str]: ...
def summarize(template: _Path) -> str: ...
