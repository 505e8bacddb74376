#pragma once
// An Office Open XML package (.pptx, .docx, .xlsx) held in memory: opened once,
// edited as parts related by id, saved once.
//
// Who owns what. The package owns the zip archive it was opened from, kept open
// for reading until the package goes away (the zip is never reopened), and every
// part and relationships object in it. Parts and relationships live as long as
// the package, so pointers to them stay valid; the documents a part hands out
// belong to the part.
//
// Parts. Every zip entry but [Content_Types].xml and the relationships parts
// (.../_rels/*.rels) is a part, known by its name (ppt/slides/slide1.xml; names
// compare as the format says: without regard to ASCII case, percent-encoded
// bytes decoded), with the content type [Content_Types].xml gives it. Its bytes
// are read from the zip on first use; its XML is parsed on first use and kept,
// with the white space of its text as written (a run of blanks is content).
// Xml() only reads: the stored bytes stay the part's content, and a part that was
// only read is saved exactly as stored. editXml() makes the document the content,
// serialized once, at save. setBytes() and setXml() replace the content.
//
// Printing. Office writes its XML on one line, and so does the package: a document
// is printed without indentation, as are the relationships parts and
// [Content_Types].xml it writes, unless the template's own text of that part was
// indented (XmlDocument::looksIndented); a copy prints as its source. Indentation
// costs bytes to compress and write, and white space added between the nodes of
// mixed content would change it.
//
// Relationships. A part's relationships part is parsed once, on first use, into
// an OpenXMLRelationships; the package's own (_rels/.rels) at open. Each
// relationship knows the part its target names.
//
// Save. Writes a new zip beside the target and renames it over the target only
// when it is complete. It holds [Content_Types].xml, made from the parts written
// (the template's Default entries kept, Defaults and Overrides added as needed),
// and every part that a chain of relationships from the package relationships
// reaches, each once, with its relationships part. A relationship of a kind that
// parts name by id (pictures, controls, charts, embedded packages, OLE objects)
// is left out when its part was changed and no attribute of the part holds the
// id any more. A part nothing reaches is simply not written; nothing is deleted
// by hand. Parts that were not changed are copied as stored, without inflating.
// Save changes nothing in memory: editing and saving may go on.
//
// Errors. A failed operation answers false or null and Error() tells why, naming
// the part, for the caller to log; the package itself logs nothing (the zip
// layer below logs what it refuses to read).
#include "impl/storage/XmlDocument.h"
#include "impl/storage/ZipArchive.h"
#include "LibCore/lfwRef.h"
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kiv {
namespace rep {

class OpenXMLPackage;
class OpenXMLPart;

struct OpenXMLRelationship {
    std::string id;
    std::string type;
    std::string target;     // as written in the relationships part
    bool external = false;  // TargetMode="External": a URL, not a part
    std::string part;       // the part the target names; empty when external or outside the package
};

// The relationships of one part, or of the package.
class OpenXMLRelationships {
public:
    // The part that holds them; empty for the package relationships.
    const std::string& source() const { return m_source; }
    int count() const {
        compact();
        return static_cast<int>(m_items.size());
    }
    const OpenXMLRelationship& at(int index) const {
        compact();
        return m_items[static_cast<size_t>(index)];
    }
    const OpenXMLRelationship* find(const std::string& id) const;
    // The first relationship of this type to the part (a URL when external).
    const OpenXMLRelationship* find(const std::string& type, const std::string& target, bool external) const;
    // The id of a relationship of this type to the target, added with the next id
    // when there is none yet. The target is a part name (ppt/media/image1.png;
    // the relationship's target is made relative to the source), or a URL when
    // external.
    std::string relate(const std::string& type, const std::string& target, bool external = false);
    // Adds a relationship with this id, or with the next id when it is empty.
    // Empty (Error() of the package tells why) when the id is taken.
    std::string add(const std::string& type, const std::string& target, bool external = false,
                    const std::string& id = std::string());
    // False when there is no such id.
    bool drop(const std::string& id);
    // "rId" and one more than the largest number of an id "rId<n>".
    std::string nextId() const;
    // Added to, dropped from or made anew since the package was opened.
    bool isChanged() const { return m_changed; }

private:
    friend class OpenXMLPackage;
    friend class OpenXMLPart;
    OpenXMLRelationships(OpenXMLPackage* package, const std::string& source) : m_package(package), m_source(source) {}
    bool load(const XmlDocument& document, const std::string& relsName, bool indented);
    void append(OpenXMLRelationship relationship);
    void index(size_t index) const;
    bool indexed() const;  // false for a list searched in place
    // Takes the dropped relationships out of the list and indexes it anew.
    void compact() const;
    static std::string targetKey(const OpenXMLRelationship& r);
    std::string serialize(const std::vector<bool>& keep) const;

    OpenXMLPackage* m_package;
    std::string m_source;
    // A relationship dropped from an indexed list only leaves its indexes and is
    // marked; the list is compacted when next read in order. A presentation that
    // loses thousands of slides would otherwise move its list after each of them.
    mutable std::vector<OpenXMLRelationship> m_items;
    mutable std::vector<bool> m_dropped;  // with m_items, while some are dropped
    mutable size_t m_droppedCount = 0;
    // Indexes made on first use, for the package's and other long lists (a part's
    // few relationships are searched in place): by id, and by type, external flag
    // and target or part key.
    mutable std::unordered_map<std::string, size_t> m_byId;
    mutable std::unordered_map<std::string, size_t> m_byTarget;
    mutable bool m_indexed = false;
    mutable bool m_sharedTargets = false;  // two relationships of one type name one target
    long long m_largest = 0;
    bool m_changed = false;
    bool m_indented = false;  // the stored relationships part was indented
};

class OpenXMLPart {
public:
    const std::string& name() const { return m_name; }
    const std::string& contentType() const { return m_contentType; }
    void setContentType(const std::string& type) { m_contentType = type; }
    OpenXMLPackage& package() const { return *m_package; }

    // The content's bytes: read from the zip on first use and kept, or the edited
    // document serialized now. Valid until the part changes. Null when they cannot
    // be read.
    const std::string* bytes();
    // The content's bytes into *bytes, for a caller that parses them itself:
    // read from the zip when the part was not changed, without the part keeping
    // a copy. False when they cannot be read.
    bool readBytes(std::string* bytes);
    // Replaces the content; a document handed out before is dropped.
    void setBytes(std::string bytes);
    // The same with the caller's bytes, not copied: the caller keeps them alive
    // and unchanged until the package is saved for the last time or the part's
    // content is replaced (pictures a report holds anyway).
    void setBytesView(const void* data, size_t size);
    // The content parsed, made on first use and kept; null when it is not XML.
    const XmlDocument* xml();
    // Whether the part holds its parsed document now.
    bool isParsed() const { return m_xml != nullptr; }
    // The same document, to edit: from now on it is the part's content.
    XmlDocument* editXml();
    // Replaces the content by a document (taken over).
    void setXml(std::unique_ptr<XmlDocument> document);
    // Drops the parsed document, which takes several times the memory of its
    // text: for parts whose edits are done. An edited document is serialized
    // first and its text becomes the content; Xml() parses again when asked.
    void releaseXml();
    // The parsed document printed as the package writes it (empty when there is none).
    std::string print() const;
    // Prints the document without indentation even when the template's text of the
    // part was indented (Word documents: white space between elements means
    // nothing there, and a large one would be mostly indentation).
    void printCompact(bool compact = true) { m_compact = compact; }
    // Whether Print() indents: the part's text, when last parsed, was indented.
    bool printsIndented() const { return m_indented && !m_compact; }
    // Whether the content differs from what the zip stores under this name.
    bool isChanged() const { return m_entry < 0 || m_bytesAreContent || m_xmlIsContent || m_copied; }

    // The bytes of the part's relationships part as stored in the zip, for a
    // caller that checks them itself; false when it has none or cannot be read.
    bool readStoredRels(std::string* bytes);
    // The part's relationships, parsed on first use; null when its relationships
    // part cannot be read.
    OpenXMLRelationships* rels();
    // The part a relationship of this part names; null when there is none.
    OpenXMLPart* related(const std::string& id);

private:
    friend class OpenXMLPackage;
    OpenXMLPart(OpenXMLPackage* package, const std::string& name) : m_package(package), m_name(name) {}
    bool readStored(std::string* bytes);
    // Copies bytes set by setBytesView into m_bytes, for the calls that hand out a string.
    void ownBytes();

    OpenXMLPackage* m_package;
    std::string m_name;
    std::string m_contentType;
    int m_entry = -1;       // the zip entry with the stored content; -1 for a new part
    bool m_copied = false;  // the stored content of another part, under this name
    int m_relsEntry = -1;   // the zip entry of the relationships part, -1 when none
    std::string m_bytes;
    const char* m_view = nullptr;  // the content, when setBytesView gave it, instead of m_bytes
    size_t m_viewSize = 0;
    bool m_haveBytes = false;
    bool m_bytesAreContent = false;
    std::unique_ptr<XmlDocument> m_xml;
    bool m_xmlIsContent = false;
    bool m_compact = false;
    bool m_indented = false;  // the text last parsed was indented
    std::unique_ptr<OpenXMLRelationships> m_rels;
};

class OpenXMLPackage {
public:
    static constexpr const char* CONTENT_TYPES_PART = "[Content_Types].xml";
    static constexpr const char* RELATIONSHIPS_CONTENT_TYPE = "application/vnd.openxmlformats-package.relationships+xml";

    OpenXMLPackage();
    ~OpenXMLPackage();
    OpenXMLPackage(const OpenXMLPackage&) = delete;
    OpenXMLPackage& operator=(const OpenXMLPackage&) = delete;

    // Opens a package file. Refused when it is no zip, has no content
    // types or package relationships, holds a name twice or an entry name that
    // is no part name. Opening again forgets the package opened before.
    bool open(const std::string& path);
    bool isOpen() const { return !m_zip.isClosed(); }
    // Writes the package to path (see the top of this file). False, with the old
    // file at path kept, when a part to write cannot be read or made valid.
    bool save(const std::string& path);
    // The deflate level Save writes with (0-9; -1, the zip layer's default, at first).
    void setCompressionLevel(int level) { m_compressionLevel = level; }
    // The parts Save would write now, in package order; false (Error() says
    // why) when Save would refuse.
    bool writtenParts(std::vector<OpenXMLPart*>* parts);
    // Why the last operation failed.
    const std::string& error() const { return m_error; }
    // Where the package reports the problems of its zip layer and of writing: the
    // list given, or its own.
    void reportTo(Problems* problems) {
        m_problems = problems ? problems : &m_own;
        m_zip.reportTo(m_problems);
    }
    Problems& getProblems() const { return *m_problems; }
    // What reading and parsing parts may still spend (see XmlMemoryBudget); shared
    // with whatever the caller gives it to.
    const std::shared_ptr<XmlMemoryBudget>& xmlBudget() const { return m_zip.xmlBudget(); }

    // --- parts: those of the zip in its order, then those added; save writes those reached ---
    int partCount() const { return static_cast<int>(m_parts.size()); }
    OpenXMLPart* partAt(int index) const { return m_parts[static_cast<size_t>(index)].get(); }
    // The part of that name (any of the forms ppt/a.xml, /ppt/a.xml, ppt\a.xml); null when none.
    OpenXMLPart* part(const std::string& name) const;
    // The part a relationship names; null for null, external or missing.
    OpenXMLPart* part(const OpenXMLRelationship* relationship) const;
    // A new empty part; null when the name is taken or not a part name.
    OpenXMLPart* addPart(const std::string& name, const std::string& contentType);
    // A new part with the content and content type of `source` and, when asked,
    // a copy of its relationships (same ids, same parts named).
    OpenXMLPart* copyPart(OpenXMLPart* source, const std::string& name, bool withRelationships = true);
    // The next free name of the family of `name` (ppt/slides/slide1.xml or
    // ppt/slides/slide.xml: ppt/slides/slide<n>.xml, n one more than the largest
    // number the family has in the package).
    std::string nextPartName(const std::string& name);
    // The package relationships (_rels/.rels).
    OpenXMLRelationships& rels() { return *m_rels; }

    // The content type [Content_Types].xml gives files of this extension when no
    // Override names them; empty when none.
    std::string defaultContentType(const std::string& extension) const;
    // Leaves the template's Default and Override entries of this content type out
    // of the [Content_Types].xml Save writes (for parts no longer written); a part
    // written with it still gets an entry of its own. Parts keep their types.
    void forgetContentType(const std::string& type);

    // The class of the documents parts are parsed into (an editor's document class
    // for its own parts); XmlDocument when there is no maker or it gives null.
    using XmlMaker = std::function<std::unique_ptr<XmlDocument>(const std::string& part)>;
    void setXmlMaker(XmlMaker maker) { m_xmlMaker = std::move(maker); }

private:
    friend class OpenXMLPart;
    friend class OpenXMLRelationships;
    // An entry of [Content_Types].xml: a Default (extension) or an Override (part key).
    struct TypeEntry {
        bool isDefault;
        std::string name;
        std::string key;
        std::string type;
    };
    struct Plan;

    bool openArchive();
    void reset();
    bool fail(const std::string& message) const;
    // The key parts are known by: percent-decoded, ASCII lower case, no leading "/".
    static std::string keyOf(const std::string& name);
    bool readEntry(int entry, std::string* bytes, const std::string& part) const;
    bool parseXml(const std::string& bytes, const std::string& part, XmlDocument* document) const;
    // Fails with why the text did not parse into the document.
    bool whyNotParsed(const char* text, size_t size, const std::string& part, const XmlDocument& document) const;
    bool readContentTypes(int entry);
    bool loadRels(OpenXMLRelationships* rels, int entry);
    OpenXMLPart* newPart(const std::string& name);
    bool makePlan(Plan* plan);
    bool write(ZipArchive& out, Plan& plan);
    std::string contentTypesXml(const Plan& plan) const;
    std::unique_ptr<XmlDocument> newXml(const std::string& part) const;

    Problems m_own;
    Problems* m_problems = &m_own;  // where the package and its zip layer report
    ZipArchive m_zip;
    std::vector<std::unique_ptr<OpenXMLPart>> m_parts;
    std::unordered_map<std::string, OpenXMLPart*> m_byName;
    std::unique_ptr<OpenXMLRelationships> m_rels;
    int m_relsEntry = -1;
    // The entries of [Content_Types].xml in their order, the first of each extension or part.
    std::vector<TypeEntry> m_types;
    bool m_typesIndented = false;
    // Largest number of each part-name family asked for (key of the name without it).
    std::unordered_map<std::string, long long> m_families;
    XmlMaker m_xmlMaker;
    int m_compressionLevel = -1;
    mutable std::string m_error;
};

}  // namespace rep
}  // namespace kiv
