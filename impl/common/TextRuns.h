#pragma once
// Runs of formatted text made from marked-up or plain template texts. Stateless.
#include "impl/common/FormattedText.h"
#include <string_view>

namespace kiv {
namespace rep {

class TextRuns {
public:
    TextRuns() = delete;

    // Each appends its runs to the array. Texts are UTF-8.
    // Appends the runs of text marked up with <b>, <i>, <u> (and their closing
    // tags) and <br>; other tags are dropped, a "<" without ">" is text.
    static void convertHtmlToFormattedTextArray(std::string_view text, FormattedTextArray* runs);
    // Office text. The runs of marked-up text as above, whose texts then read
    // as written: entities (&amp; &lt; &gt; &quot; &apos; and numeric ones) are
    // decoded and line ends (LF, CR LF, CR, vertical tab, form feed) become
    // line-break runs. The runs of plain text: its line ends as line breaks.
    static void convertMarkupToOfficeRuns(std::string_view text, FormattedTextArray* runs);
    static void convertPlainToOfficeRuns(std::string_view text, FormattedTextArray* runs);
};

}  // namespace rep
}  // namespace kiv
