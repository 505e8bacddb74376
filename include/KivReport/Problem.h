#pragma once
// Kinds of problem the library reports, for callers that act on the kind of a
// failure rather than its wording (the texts may be reworded; the numbers are
// stable, and new kinds get new numbers).
namespace kiv {
namespace rep {

enum class ProblemCode : int {
    None = 0,             // no problem
    Internal = 1,         // out of memory, or a failure inside the library
    InvalidArgument = 2,  // no file name, no object, an index out of range, a snapshot selection
    General = 3,          // a problem of no more specific kind
    // Files
    FileNotFound = 10,     // an input file that does not exist or cannot be opened
    NotARegularFile = 11,  // a folder, device or pipe given as a file
    WriteFailed = 12,      // an output file, or an entry of it, that could not be written
    // Archives
    NotAnArchive = 20,  // not a zip archive, or one cut short or inconsistent
    DamagedEntry = 21,  // an entry whose data does not match its checksum
    Unsupported = 22,   // an encrypted entry, a compression method or a split archive
    EntryMissing = 23,  // an entry the file needs is not in it
    // Content
    UnreadableXml = 30,      // XML that does not parse
    WrongContent = 31,       // readable, but not what the file must hold (root, version, kind)
    UnreadablePicture = 32,  // a picture or model preview that cannot be decoded or encoded
    TooLarge = 33,           // beyond a limit of size, count, nesting or memory; refused before it was read
    // Templates and reports
    TemplateMarkup = 40,  // markup of the template that the report cannot fill
    TagUnfilled = 41,     // a tag the report leaves as the template has it
    ContentLeftOut = 42,  // content of a snapshot that the report or the load leaves out
};

// A short name of the kind ("not-an-archive"), as the command line prints it.
inline const char* problemCodeName(ProblemCode code) {
    switch (code) {
    case ProblemCode::None: return "none";
    case ProblemCode::Internal: return "internal";
    case ProblemCode::InvalidArgument: return "invalid-argument";
    case ProblemCode::General: return "general";
    case ProblemCode::FileNotFound: return "file-not-found";
    case ProblemCode::NotARegularFile: return "not-a-regular-file";
    case ProblemCode::WriteFailed: return "write-failed";
    case ProblemCode::NotAnArchive: return "not-an-archive";
    case ProblemCode::DamagedEntry: return "damaged-entry";
    case ProblemCode::Unsupported: return "unsupported";
    case ProblemCode::EntryMissing: return "entry-missing";
    case ProblemCode::UnreadableXml: return "unreadable-xml";
    case ProblemCode::WrongContent: return "wrong-content";
    case ProblemCode::UnreadablePicture: return "unreadable-picture";
    case ProblemCode::TooLarge: return "too-large";
    case ProblemCode::TemplateMarkup: return "template-markup";
    case ProblemCode::TagUnfilled: return "tag-unfilled";
    case ProblemCode::ContentLeftOut: return "content-left-out";
    }
    return "general";
}

}  // namespace rep
}  // namespace kiv
