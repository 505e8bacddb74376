#pragma once
// Runs of formatted text made from marked-up or plain template texts. Stateless.
#include "host/ug/MkString.h"
#include "impl/common/FormattedText.h"
#include "impl/storage/Problems.h"

namespace kiv {
namespace rep {

class TextRuns {
public:
    TextRuns() = delete;

    // Each appends its runs; runs that cannot be added are reported to the list
    // given (none: not reported).
    // Appends the runs of text marked up with <b>, <i>, <u> (and their closing
    // tags) and <br>; other tags are dropped, a "<" without ">" is text.
    static void convertHtmlToFormattedTextArray(const MkString& text, FormattedTextArray* runs, Problems* problems);
    // Office text. The runs of marked-up text as above, whose texts then read
    // as written: entities (&amp; &lt; &gt; &quot; &apos; and numeric ones) are
    // decoded and line ends (LF, CR LF, CR, vertical tab, form feed) become
    // line-break runs. The runs of plain text: its line ends as line breaks.
    static void convertMarkupToOfficeRuns(const MkString& text, FormattedTextArray* runs, Problems* problems);
    static void convertPlainToOfficeRuns(const MkString& text, FormattedTextArray* runs, Problems* problems);
};

}  // namespace rep
}  // namespace kiv
