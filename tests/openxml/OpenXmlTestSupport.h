#pragma once
// Shared pieces of the package-layer tests: an archive of either kind, copies of
// the test packages (zipped from tests/data/openxml by the build), part reads and
// hand-made packages.
#include "impl/openxml/MkOpenXMLArchive.h"
#include "support/TestSupport.h"
#include <string>
#include <utility>
#include <vector>

namespace kivtest {

// A package of the given root folder ("ppt" or "word"), as the editors set it up.
class TestArchive : public MkOpenXMLArchive {
public:
    explicit TestArchive(const char* rootFolder) { SetPackageFolders(MkString(rootFolder)); }
};

using PartList = std::vector<std::pair<std::string, std::string>>;

class OpenXmlTest : public LoggingTest {
protected:
    TempDir dir;

    // Path of a built test package (presentation.pptx, document.docx).
    static std::string builtPackage(const std::string& name);
    // A copy of a built test package or of any file, in the temporary folder.
    std::string copyOf(const std::string& source, const std::string& name) const;
    // A zip with exactly these entries, in this order.
    std::string makePackage(const std::string& name, const PartList& parts) const;
    // One part of a closed package; empty when it is missing.
    static std::string readPart(const std::string& package, const std::string& part);
    static bool hasPart(const std::string& package, const std::string& part);
    // Entry names of a closed package, in stored order.
    static std::vector<std::string> entries(const std::string& package);
    // A part of a zip held in memory (an embedded workbook).
    static std::string readNestedPart(const std::string& zipBytes, const std::string& part);
};

// The content types of a minimal package with the usual defaults.
std::string contentTypes(const std::string& extra = std::string());
// A relationships part holding the given relationship elements.
std::string relationships(const std::string& items);

} // namespace kivtest
