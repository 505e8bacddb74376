#include "openxml/OpenXmlTestSupport.h"
#include "impl/storage/PxZipArchive.h"
#include <cstdlib>

namespace kivtest {

std::string OpenXmlTest::builtPackage(const std::string& name) {
    return std::string(KIV_OPENXML_PACKAGES) + "/" + name;
}

std::string OpenXmlTest::copyOf(const std::string& source, const std::string& name) const {
    const std::string target = dir.file(name);
    EXPECT_TRUE(writeFile(target, readFile(source))) << source;
    return target;
}

std::string OpenXmlTest::makePackage(const std::string& name, const PartList& parts) const {
    const std::string path = dir.file(name);
    PxZipArchive zip;
    EXPECT_TRUE(zip.Open(MkString(path.c_str()), ZIP_CREATE));
    for (const auto& part : parts)
        EXPECT_TRUE(zip.WriteDataRaw(MkString(part.first.c_str()), part.second.data(), part.second.size(), false));
    EXPECT_TRUE(zip.Close());
    return path;
}

std::string OpenXmlTest::readPart(const std::string& package, const std::string& part) {
    PxZipArchive zip;
    if (!zip.Open(MkString(package.c_str()), ZIP_OPEN_READ_ONLY)) return std::string();
    if (zip.FindFile(MkString(part.c_str())) < 0) return std::string();
    size_t size = 0;
    unsigned char* data = zip.ReadDataRaw(MkString(part.c_str()), &size);
    std::string text(reinterpret_cast<const char*>(data), data ? size : 0);
    free(data);
    return text;
}

bool OpenXmlTest::hasPart(const std::string& package, const std::string& part) {
    PxZipArchive zip;
    return zip.Open(MkString(package.c_str()), ZIP_OPEN_READ_ONLY) && zip.FindFile(MkString(part.c_str())) >= 0;
}

std::vector<std::string> OpenXmlTest::entries(const std::string& package) {
    std::vector<std::string> names;
    PxZipArchive zip;
    if (!zip.Open(MkString(package.c_str()), ZIP_OPEN_READ_ONLY)) return names;
    for (int i = 0; i < zip.GetNumFiles(); ++i) names.push_back(zip.GetStoredName(i).ShortChar());
    return names;
}

std::string OpenXmlTest::readNestedPart(const std::string& zipBytes, const std::string& part) {
    PxZipMemFile memory;
    memory.SetData(zipBytes.data(), zipBytes.size());
    PxZipArchive zip;
    if (!zip.Open(&memory, ZIP_OPEN_READ_ONLY) || zip.FindFile(MkString(part.c_str())) < 0) return std::string();
    size_t size = 0;
    unsigned char* data = zip.ReadDataRaw(MkString(part.c_str()), &size);
    std::string text(reinterpret_cast<const char*>(data), data ? size : 0);
    free(data);
    zip.Close();
    return text;
}

std::string contentTypes(const std::string& extra) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>" +
           extra + "</Types>";
}

std::string relationships(const std::string& items) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
           items + "</Relationships>";
}

} // namespace kivtest
