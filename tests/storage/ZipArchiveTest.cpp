// Zip archive layer: modes, names, typed and XML entries, memory archives, corrupt input.
#include "impl/storage/XmlDocument.h"
#include "impl/storage/ZipArchive.h"
#include "support/TestSupport.h"
#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>

using namespace kiv::rep;  // the layers' classes

namespace {

class ZipArchiveTest : public ::testing::Test {
protected:
    kivtest::TempDir dir;
    Problems problems;  // what the archives of a test report
    std::string path(const char* name) const { return dir.file(name); }

    // The kind of the error reported with that text (None when there is none).
    ProblemCode reported(const std::string& message) const {
        for (const Problem& p : problems.all())
            if (p.message == message) return p.code;
        return ProblemCode::None;
    }
    ProblemCode hasErrorStartingWith(const std::string& prefix) const {
        for (const Problem& p : problems.all())
            if (p.message.compare(0, prefix.size(), prefix) == 0) return p.code;
        return ProblemCode::None;
    }

    // The raw bytes of an entry ("<missing>" when unreadable).
    static std::string entryBytes(ZipArchive& zip, const char* name) {
        size_t size = 0;
        unsigned char* data = zip.readDataRaw(name, &size);
        if (!data) return "<missing>";
        std::string s(reinterpret_cast<const char*>(data), size);
        std::free(data);
        return s;
    }

    static int countNamed(const ZipArchive& zip, const char* stored) {
        int n = 0;
        for (int i = 0; i < zip.getNumFiles(); ++i) n += zip.getStoredName(i) == stored;
        return n;
    }
};

}  // namespace

TEST_F(ZipArchiveTest, OpenModesAndTheirMessages) {
    ZipArchive zip(&problems);
    EXPECT_FALSE(zip.open(path("missing.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(reported("File name '" + dir.file("missing.zip") + "' not found"), ProblemCode::FileNotFound);
    EXPECT_FALSE(zip.open(path("missing.zip"), ZIP_OPEN));
    EXPECT_FALSE(zip.open("  ", ZIP_CREATE));
    EXPECT_EQ(reported("No file name."), ProblemCode::InvalidArgument);

    ASSERT_TRUE(zip.open(path("a.zip"), ZIP_CREATE));
    EXPECT_FALSE(zip.isReadOnly());
    ASSERT_TRUE(zip.writeDataRaw("first.txt", "one", 3, false));
    // A second open fails and leaves the first one working.
    EXPECT_FALSE(zip.open(path("other.zip"), ZIP_CREATE));
    EXPECT_EQ(reported("The archive is open, close it before opening."), ProblemCode::InvalidArgument);
    EXPECT_TRUE(zip.writeDataRaw("second.txt", "two", 3, false));
    EXPECT_TRUE(zip.close());

    // Closed: access is refused with its message.
    EXPECT_EQ(zip.findFile("first.txt"), -1);
    EXPECT_EQ(reported("Archive is not open."), ProblemCode::InvalidArgument);

    ASSERT_TRUE(zip.open(path("a.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_TRUE(zip.isReadOnly());
    EXPECT_EQ(entryBytes(zip, "second.txt"), "two");
    EXPECT_FALSE(zip.writeDataRaw("x", "y", 1, false));
    EXPECT_EQ(reported("File is read only."), ProblemCode::InvalidArgument);
    XmlDocument doc(true);
    EXPECT_FALSE(zip.writeXmlFile("x.xml", &doc, true));
    EXPECT_EQ(reported("File read only"), ProblemCode::InvalidArgument);
    zip.close();

    // Mode 2 on an existing file makes a new, empty archive.
    ASSERT_TRUE(zip.open(path("a.zip"), ZIP_CREATE));
    EXPECT_EQ(zip.getNumFiles(), 0);
    zip.close();

    // Not a zip file: the engine's error is logged, nothing throws.
    ASSERT_TRUE(kivtest::writeFile(dir.file("junk.zip"), "this is no archive at all"));
    EXPECT_FALSE(zip.open(path("junk.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(hasErrorStartingWith("Error returned from file access library :"), ProblemCode::NotAnArchive);
    EXPECT_TRUE(zip.isClosed());
}

TEST_F(ZipArchiveTest, ReplacementAndNoDuplicateNames) {
    ZipArchive zip(&problems);
    ASSERT_TRUE(zip.open(path("r.zip"), ZIP_CREATE));
    ASSERT_TRUE(zip.writeDataRaw("dir\\data.bin", "old", 3, false));
    EXPECT_EQ(countNamed(zip, "dir/data.bin"), 1);  // stored with "/"

    EXPECT_FALSE(zip.writeDataRaw("dir/data.bin", "new!", 4, false));
    EXPECT_EQ(reported("Could not add file 'dir/data.bin' to archive"), ProblemCode::WriteFailed);
    EXPECT_EQ(entryBytes(zip, "dir\\data.bin"), "old");
    ASSERT_TRUE(zip.writeDataRaw("dir/data.bin", "new!", 4, true));
    EXPECT_EQ(entryBytes(zip, "dir/data.bin"), "new!");

    // An empty write never adds a second entry of the same name.
    EXPECT_FALSE(zip.writeDataRaw("dir/data.bin", nullptr, 0, false));
    EXPECT_EQ(reported("Could not add empty file 'dir/data.bin' to archive"), ProblemCode::WriteFailed);
    EXPECT_EQ(entryBytes(zip, "dir/data.bin"), "new!");
    ASSERT_TRUE(zip.writeDataRaw("dir/data.bin", nullptr, 0, true));
    EXPECT_EQ(entryBytes(zip, "dir/data.bin"), "");
    EXPECT_EQ(countNamed(zip, "dir/data.bin"), 1);

    lfw::Ref<ZipMemFile> mem = new ZipMemFile;
    mem->copyData("abc", 3);
    ASSERT_TRUE(zip.addNewFile(mem.p(), "added"));
    EXPECT_FALSE(zip.addNewFile(mem.p(), "added"));
    EXPECT_EQ(countNamed(zip, "added"), 1);

    // XML entries: no overwrite keeps the old document, overwrite replaces it.
    XmlDocument first(true), second(true), back;
    first.createRootElement("First");
    second.createRootElement("Second");
    ASSERT_TRUE(zip.writeXmlFile("x\\part.xml", &first, false));
    EXPECT_FALSE(zip.writeXmlFile("x/part.xml", &second, false));
    EXPECT_EQ(reported("Xml file 'x/part.xml' exists in archive, and overwrite flag is not set"), ProblemCode::WriteFailed);
    ASSERT_TRUE(zip.readXmlFile("x/part.xml", &back));
    EXPECT_TRUE(back.getRootElement("First"));
    ASSERT_TRUE(zip.writeXmlFile("x/part.xml", &second, true));
    ASSERT_TRUE(zip.readXmlFile("x/part.xml", &back));
    EXPECT_TRUE(back.getRootElement("Second"));
    EXPECT_EQ(countNamed(zip, "x/part.xml"), 1);

    EXPECT_TRUE(zip.removeEntry("added"));
    EXPECT_TRUE(zip.removeEntry("x\\part.xml"));  // either separator names the entry
    EXPECT_FALSE(zip.removeEntry("added"));
    EXPECT_EQ(reported("Unable to delete 'added', file not found"), ProblemCode::EntryMissing);
    bool notFound = false;
    EXPECT_EQ(zip.readDataRaw("nothing", nullptr, &notFound), nullptr);
    EXPECT_TRUE(notFound);
    EXPECT_EQ(reported("Unable to read raw data from 'nothing', file not found"), ProblemCode::EntryMissing);
    EXPECT_EQ(entryBytes(zip, "dir/data.bin"), "");
    ASSERT_TRUE(zip.close());
    ASSERT_TRUE(zip.open(path("r.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(zip.getNumFiles(), 1);
}

TEST_F(ZipArchiveTest, XmlEntryTermination) {
    ZipArchive zip(&problems);
    ASSERT_TRUE(zip.open(path("x.zip"), ZIP_CREATE));
    const std::string closed = "<r a=\"1\"><c>text</c></r>";
    const std::string lf = "<r><c>text</c></r>\n";
    const std::string broken = "<r><c></r>\n";
    ASSERT_TRUE(zip.writeDataRaw("closed.xml", closed.data(), closed.size(), false));
    ASSERT_TRUE(zip.writeDataRaw("lf.xml", lf.data(), lf.size(), false));
    ASSERT_TRUE(zip.writeDataRaw("broken.xml", broken.data(), broken.size(), false));
    ASSERT_TRUE(zip.writeDataRaw("empty.xml", nullptr, 0, false));

    XmlDocument doc;
    ASSERT_TRUE(zip.readXmlFile("closed.xml", &doc));  // the final ">" is kept
    EXPECT_EQ(doc.getRootElement("r").getAttributeInt("a"), 1);
    ASSERT_TRUE(zip.readXmlFile("lf.xml", &doc));
    EXPECT_EQ(doc.getRootElement().getFirstChildElement("c").getValue(), "text");

    // An empty entry clears the document and fails.
    EXPECT_FALSE(zip.readXmlFile("empty.xml", &doc));
    EXPECT_FALSE(doc.getRootElement());
    EXPECT_FALSE(zip.readXmlFile("broken.xml", &doc));
    EXPECT_EQ(hasErrorStartingWith("TinyXML error code "), ProblemCode::UnreadableXml);
    EXPECT_FALSE(zip.readXmlFile("absent.xml", &doc));
    EXPECT_EQ(reported("Could not read Xml file"), ProblemCode::EntryMissing);
    EXPECT_FALSE(zip.readXmlFile("closed.xml", nullptr));
    EXPECT_EQ(reported("Destination Xml Document is NULL"), ProblemCode::InvalidArgument);

    XmlDocument out(true);
    out.createRootElement("r").addChildElement("c", "v");
    ASSERT_TRUE(zip.writeXmlFile("printed.xml", &out, false));
    EXPECT_EQ(entryBytes(zip, "printed.xml"),
              "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>\n<r>\n    <c>v</c>\n</r>\n");
}

TEST_F(ZipArchiveTest, MemoryFileArchives) {
    lfw::Ref<ZipMemFile> mem = new ZipMemFile;
    {
        ZipArchive zip(&problems);
        ASSERT_TRUE(zip.open(mem.p(), ZIP_CREATE));
        ASSERT_TRUE(zip.writeDataRaw("a.txt", "alpha", 5, false));
        ASSERT_TRUE(zip.close());
        // Opened again for change, a created archive keeps its entries.
        ASSERT_TRUE(zip.open(mem.p(), ZIP_OPEN));
        EXPECT_GE(zip.findFile("a.txt"), 0);
        ASSERT_TRUE(zip.writeDataRaw("b.txt", "beta", 4, false));
    }  // closed by the destructor

    ZipArchive reader(&problems);
    // A caller's buffer used in place, and an extraction into a memory file.
    const std::string copy = mem->getData();
    lfw::Ref<ZipMemFile> borrowed = new ZipMemFile;
    borrowed->setData(copy.data(), copy.size());
    ASSERT_TRUE(reader.open(borrowed.p(), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(entryBytes(reader, "b.txt"), "beta");
    lfw::Ref<ZipMemFile> extracted = new ZipMemFile;
    ASSERT_TRUE(reader.extractFile(reader.findFile("a.txt"), extracted.p()));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(extracted->getBuffer()), extracted->getSize()), std::string("alpha"));
    EXPECT_FALSE(reader.extractFile(0, nullptr));
    EXPECT_EQ(reported("PxZipMemFile pointer is NULL."), ProblemCode::InvalidArgument);
    extracted->copyData("xy", 2);  // replaces the whole, longer content
    EXPECT_EQ(extracted->getSize(), 2u);
}

TEST_F(ZipArchiveTest, CorruptArchivesAreReportedNotThrown) {
    ZipArchive zip(&problems);
    ASSERT_TRUE(zip.open(path("good.zip"), ZIP_CREATE));
    std::string payload(5000, 'z');
    std::mt19937 random(12345);
    for (char& c : payload) c = static_cast<char>('a' + random() % 26);  // deflate leaves most of it
    ASSERT_TRUE(zip.writeDataRaw("data.txt", payload.data(), payload.size(), false));
    ASSERT_TRUE(zip.close());
    const std::string bytes = kivtest::readFile(dir.file("good.zip"));
    ASSERT_GT(bytes.size(), 1000u);

    // A changed byte in the compressed data: the read fails with a logged error.
    std::string flipped = bytes;
    flipped[500] = static_cast<char>(flipped[500] ^ 0x55);
    ASSERT_TRUE(kivtest::writeFile(dir.file("flipped.zip"), flipped));
    ASSERT_TRUE(zip.open(path("flipped.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(zip.readDataRaw("data.txt"), nullptr);
    EXPECT_NE(hasErrorStartingWith("Error returned from file access library :"), ProblemCode::None);
    zip.close();

    // A truncated archive does not open.
    problems.clear();
    ASSERT_TRUE(kivtest::writeFile(dir.file("cut.zip"), bytes.substr(0, bytes.size() / 2)));
    EXPECT_FALSE(zip.open(path("cut.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_EQ(hasErrorStartingWith("Error returned from file access library :"), ProblemCode::NotAnArchive);

    // Compaction itself is the engine's (host ZipEngineTest); read-only archives refuse it.
    ASSERT_TRUE(zip.open(path("good.zip"), ZIP_OPEN_READ_ONLY));
    EXPECT_FALSE(zip.compact());  // read-only
}

TEST_F(ZipArchiveTest, XmlPartsAreChargedToTheBudgetWhileTheyLive) {
    ZipArchive zip(&problems);
    std::string many = "<r>", big(100000, 'x');
    for (int i = 0; i < 1000; ++i) many += "<a x=\"1\"/>";
    many += "</r>";
    ASSERT_TRUE(zip.open(path("b.zip"), ZIP_CREATE) && zip.writeDataRaw("many.xml", many.data(), many.size(), false) &&
                zip.writeDataRaw("big.bin", big.data(), big.size(), false));
    // The text, its 1001 elements and 1000 attributes, and the text once more while it is parsed.
    const uint64_t total = 2 * many.size() + 1001 * XmlMemoryBudget::ELEMENT_BYTES + 1000 * XmlMemoryBudget::ATTRIBUTE_BYTES + 10;
    const auto budget = std::make_shared<XmlMemoryBudget>(total);
    zip.setXmlBudget(budget);
    {
        XmlDocument first, second;
        ASSERT_TRUE(zip.readXmlFile("many.xml", &first));
        EXPECT_EQ(budget->left(), many.size() + 10);
        EXPECT_FALSE(zip.readXmlFile("many.xml", &second));
        EXPECT_EQ(hasErrorStartingWith("The part 'many.xml' holds more XML than the report has memory left for"),
                  ProblemCode::TooLarge);
        EXPECT_EQ(zip.readDataRaw("big.bin"), nullptr);
        EXPECT_EQ(hasErrorStartingWith("The part 'big.bin' inflates to 100000 bytes, more than the report has left"),
                  ProblemCode::TooLarge);
        EXPECT_EQ(budget->left(), many.size() + 10);
    }
    EXPECT_EQ(budget->left(), total);  // given back with the documents
}
