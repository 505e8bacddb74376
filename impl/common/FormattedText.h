#pragma once
// Formatted text runs made from marked-up text (<b>, <i>, <u>, <br>) and from
// plain text (line feeds as line breaks), placed into Office documents.
#include <string>
#include <vector>

namespace kiv {
namespace rep {

struct FormattedText {
    bool bold = false;
    bool underline = false;
    bool italic = false;
    bool newParagraph = false;  // the run only starts a new paragraph; its text is empty
    bool reserved = false;      // always false in runs made by the component
    bool lineBreak = false;     // the run only breaks the line inside its paragraph; its text is empty
    std::string text;           // UTF-8
};

typedef std::vector<FormattedText> FormattedTextArray;

}  // namespace rep
}  // namespace kiv
