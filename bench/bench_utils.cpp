// Macro expansion and run conversion against the text size. Both are meant to
// be linear: ten times the text should cost about ten times as much (the aim is
// a ratio <= 12). Each text mixes known and unknown macros, nested openers and
// markup, and the field values name each other.
// Usage: bench_utils
#include "impl/common/FieldMacros.h"
#include "impl/common/TextRuns.h"

#include "BenchTimer.h"
#include <chrono>
#include <cstdio>
#include <string>

using namespace kiv::rep;  // the layers' classes

using kiv::rep::FieldMacros;
using kiv::rep::FieldValues;
using kiv::rep::TextRuns;

namespace {

std::string makeText(size_t blocks) {
    std::string text;
    text.reserve(blocks * 120);
    for (size_t i = 0; i < blocks; ++i) {
        text += "<b>Load case</b> $(KEY" + std::to_string(i % 50) + ") at $(TIME) ";
        text += "<i>unknown $(MISSING" + std::to_string(i % 5000) + ")</i><br>$($(KEY1)) a < b ";
    }
    return text;
}

}  // namespace

int main() {
    FieldValues values;
    for (int i = 0; i < 50; ++i) values["KEY" + std::to_string(i)] = "value " + std::to_string(i) + " & $(TIME)";
    values["TIME"] = "0.25\n s";

    double expandTime[2] = {0, 0}, runsTime[2] = {0, 0};
    const size_t blocks[2] = {10000, 100000};
    for (int k = 0; k < 2; ++k) {
        std::string text = makeText(blocks[k]);
        const size_t inputLength = text.size();
        expandTime[k] = seconds([&] { FieldMacros::expandString(values, &text, nullptr); });
        FormattedTextArray runs;
        runsTime[k] = seconds([&] { TextRuns::convertHtmlToFormattedTextArray(text, &runs); });
        std::printf("%7zu blocks: %9zu -> %9zu bytes, expand %8.2f ms, runs %8.2f ms (%zu runs)\n", blocks[k], inputLength,
                    text.size(), expandTime[k] * 1e3, runsTime[k] * 1e3, runs.size());
    }
    std::printf("ratio 10x text: expand %.1f, runs %.1f\n", expandTime[1] / expandTime[0], runsTime[1] / runsTime[0]);
    return 0;
}
