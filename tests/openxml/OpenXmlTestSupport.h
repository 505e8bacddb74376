#pragma once
// Shared pieces of the Office tests (package layer, PowerPoint, Word): parts of
// packages read and replaced, hand-made packages, printed elements, and the
// paths of the test packages and of the Office-saved templates.
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "impl/common/ReportLog.h"
#include "impl/storage/ZipArchive.h"
#include "support/TestSupport.h"
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using namespace kiv::rep;  // the layers' classes

namespace kivtest {

inline std::string narrow(const std::string& s) { return s.c_str(); }
inline std::string wide(const std::string& s) { return std::string(s.c_str()); }

inline bool copyFile(const std::string& from, const std::string& to) {
    const std::string bytes = readFile(from);
    return !bytes.empty() && writeFile(to, bytes);
}

// One part of an open archive or of a closed package; empty when it is missing.
inline std::string readPart(ZipArchive& zip, const std::string& part) {
    if (zip.findFile(part) < 0) return std::string();
    size_t size = 0;
    unsigned char* data = zip.readDataRaw(part, &size);
    std::string text(data ? reinterpret_cast<const char*>(data) : "", data ? size : 0);
    free(data);
    return text;
}
inline std::string readPart(const std::string& package, const std::string& part) {
    ZipArchive zip;
    return zip.open(package, ZIP_OPEN_READ_ONLY) ? readPart(zip, part) : std::string();
}
inline bool hasPart(const std::string& package, const std::string& part) {
    ZipArchive zip;
    return zip.open(package, ZIP_OPEN_READ_ONLY) && zip.findFile(part) >= 0;
}
// A part of a zip held in memory (an embedded workbook).
inline std::string readNestedPart(const std::string& zipBytes, const std::string& part) {
    ZipMemFile memory;
    memory.setData(zipBytes.data(), zipBytes.size());
    ZipArchive zip;
    return zip.open(&memory, ZIP_OPEN_READ_ONLY) ? readPart(zip, part) : std::string();
}
// Writes a part of a closed package over the old one; empty bytes delete it.
inline bool putPart(const std::string& package, const std::string& part, const std::string& bytes) {
    ZipArchive zip;
    if (!zip.open(package, ZIP_OPEN)) return false;
    const bool ok = bytes.empty() ? zip.removeEntry(part) : zip.writeDataRaw(part, bytes.data(), bytes.size(), true);
    return zip.close() && ok;
}
// Entry names of a closed package, in stored order.
inline std::vector<std::string> entries(const std::string& package) {
    std::vector<std::string> names;
    ZipArchive zip;
    if (zip.open(package, ZIP_OPEN_READ_ONLY))
        for (int i = 0; i < zip.getNumFiles(); ++i) names.push_back(zip.getStoredName(i));
    return names;
}

inline std::string print(const XmlElement& element) {
    if (!element) return std::string();
    TiXmlPrinter printer;
    printer.SetIndent("  ");
    printer.SetLineBreak("\n");
    element.tx()->Accept(&printer);
    return printer.Str();
}

// The content types of a minimal package with the usual defaults.
inline std::string contentTypes(const std::string& extra = std::string()) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
           extra + "</Types>";
}

// A relationships part holding the given relationship elements.
inline std::string relationships(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           items + "</Relationships>";
}

using PartList = std::vector<std::pair<std::string, std::string>>;

// The parts of the smallest package an editor opens: content types, and the
// package relationships naming <root>/main.xml as the main part.
inline PartList mainPartOnly(const std::string& root) {
    return {{"[Content_Types].xml", contentTypes()},
            {"_rels/.rels", relationships("<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/"
                                          "officeDocument/2006/relationships/officeDocument\" Target=\"" +
                                          root + "/main.xml\"/>")},
            {root + "/main.xml", "<main/>"}};
}

class OpenXmlTest : public LoggingTest {
protected:
    TempDir dir;

    // Path of a built test package (presentation.pptx, document.docx).
    static std::string builtPackage(const std::string& name) { return std::string(KIV_BINARY_DIR) + "/tests/openxml/" + name; }
    // A copy of a built test package or of any file, in the temporary folder.
    std::string copyOf(const std::string& source, const std::string& name) const {
        const std::string target = dir.file(name);
        EXPECT_TRUE(copyFile(source, target)) << source;
        return target;
    }
    // An editor opened on the package at path (its report path too), and its parts by name.
    // What the editor reports reaches errors().
    Problems logged{logProblem};
    OpenXMLPackageEditor editor;
    void SetUp() override {
        LoggingTest::SetUp();
        editor.reportTo(&logged);
    }
    ::testing::AssertionResult openEditor(const std::string& path) {
        if (editor.open(wide(path))) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << path << ": " << narrow(editor.error());
    }
    OpenXMLPart* part(const std::string& name) { return editor.package().part(wide(name)); }
    // A zip with exactly these entries, in this order.
    std::string makePackage(const std::string& name, const PartList& parts) const {
        const std::string path = dir.file(name);
        ZipArchive zip;
        EXPECT_TRUE(zip.open(path, ZIP_CREATE));
        for (const auto& part : parts) EXPECT_TRUE(zip.writeDataRaw(part.first, part.second.data(), part.second.size(), false));
        EXPECT_TRUE(zip.close());
        return path;
    }
};
}  // namespace kivtest
