// Word groups: a group of a title, a text and a 3 x 4 table unrolled into N
// copies, then every copy filled. Prints the time per copy for each phase.
#include "BenchTimer.h"
#include "KivReport/Table.h"
#include "impl/docx/OpenXMLWordDocument.h"
#include <cstdio>
#include <string>
#include <vector>

using namespace kiv::rep;

namespace {

std::string control(const std::string& tag, int id, const std::string& content) {
    return "<w:sdt><w:sdtPr><w:tag w:val=\"" + tag + "\"/><w:id w:val=\"" + std::to_string(id) + "\"/></w:sdtPr><w:sdtContent>" +
           content + "</w:sdtContent></w:sdt>";
}

std::string templateDocument() {
    std::string grid, row;
    for (int c = 0; c < 4; ++c) {
        grid += "<w:gridCol w:w=\"2000\"/>";
        row += "<w:tc><w:tcPr><w:tcW w:w=\"2000\" w:type=\"dxa\"/></w:tcPr><w:p><w:r><w:t>cell</w:t></w:r></w:p></w:tc>";
    }
    const std::string table = "<w:tbl><w:tblPr><w:tblStyle w:val=\"TableGrid\"/></w:tblPr><w:tblGrid>" + grid +
                              "</w:tblGrid><w:tr>" + row + "</w:tr><w:tr>" + row + "</w:tr></w:tbl>";
    const std::string content =
        control("SIT_TITLE", 11,
                "<w:p><w:pPr><w:jc w:val=\"center\"/></w:pPr><w:r><w:rPr><w:b/></w:rPr><w:t>Title</w:t></w:r></w:p>") +
        "<w:p><w:r><w:t>Model: $(SIT_$DATABASE_NAME)</w:t></w:r></w:p>" +
        control("SIT_TEXT", 12, "<w:p><w:r><w:t>Text</w:t></w:r></w:p>") + control("SIT_TABLE", 13, table);
    return "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\"><w:body>"
           "<w:p><w:r><w:t>Report</w:t></w:r></w:p><w:sdt><w:sdtPr><w:tag w:val=\"Results\"/><w:id w:val=\"10\"/>"
           "<w:group/></w:sdtPr><w:sdtContent>" +
           content + "</w:sdtContent></w:sdt><w:sectPr/></w:body></w:document>";
}

void run(int copies) {
    OpenXMLWordDocument document;
    const std::string text = templateDocument();
    if (!document.parseText(text.c_str())) {
        std::printf("template does not parse\n");
        return;
    }
    std::vector<int> indices;
    for (int i = 0; i < copies; ++i) indices.push_back(i);
    Table table(3, 4);
    for (size_t r = 0; r < 3; ++r)
        for (size_t c = 0; c < 4; ++c) table.setValue(r, c, kiv::Str(("v" + std::to_string(r * 4 + c)).c_str()));
    FormattedText run;
    run.text = "A description of the snapshot";
    const FormattedTextArray runs(1, run);

    bool ok = true;
    const double expand = seconds([&] { ok = document.expandGroup(indices, ""); });
    const double fill = seconds([&] {
        const WordControlIndex index(document);
        for (int i = 1; i <= copies; ++i) {
            const std::string stem = "SIT" + std::to_string(i) + "_";
            const std::string title = stem + "TITLE", description = stem + "TEXT", tableTag = stem + "TABLE";
            document.setTitle(title, "Snapshot title", &index);
            document.setText(description, runs, &index);
            document.setTable(tableTag, table, &index);
        }
    });
    // The same fill with a walk of the document per tag, as one operation per call does.
    OpenXMLWordDocument again;
    again.parseText(text.c_str());
    again.expandGroup(indices, "");
    const double walk = seconds([&] {
        for (int i = 1; i <= copies; ++i) {
            again.setTitle("SIT" + std::to_string(i) + "_TITLE", "Snapshot title");
        }
    });
    std::string printed;
    const double print = seconds([&] { printed = document.printToString(); });
    std::printf(
        "N = %4d: expand %7.2f us/copy, fill (indexed) %7.2f us/copy, print %7.2f us/copy (%zu KB); "
        "titles by a walk per tag %8.2f us/copy%s\n",
        copies, 1e6 * expand / copies, 1e6 * fill / copies, 1e6 * print / copies, printed.size() / 1024, 1e6 * walk / copies,
        ok ? "" : "  EXPAND FAILED");
}

}  // namespace

int main() {
    run(100);
    run(1000);
    return 0;
}
