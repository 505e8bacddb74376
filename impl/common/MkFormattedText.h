#pragma once
// Formatted text runs made from marked-up text (<b>, <i>, <u>, <br>), placed
// into Office documents.
#include "host/ug/MkString.h"
#include "impl/common/MkOArray.h"

struct MkFormattedText {
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool newParagraph = false;  // the run only starts a new paragraph; its text is empty
    bool reserved = false;      // always false in runs made by the component
    MkString text;
};

typedef MkOArray<MkFormattedText, const MkFormattedText&> MkFormattedTextArray;
