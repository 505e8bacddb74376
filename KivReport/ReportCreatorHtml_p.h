#pragma once
// Data and operations of a ReportCreatorHtml.
#include "KivReport/ReportCreatorHtml.h"
#include "KivReport/Repository.h"
#include "KivReport/Snapshot.h"
#include "LibCore/lfwCollection.h"
#include "host/ug/MkArray.h"
#include "host/ug/MkString.h"
#include "impl/MkOXmlDocument.h"
#include "impl/PxHtmlDocument.h"
#include <string>
#include <vector>

namespace kiv {
namespace rep {

class ReportCreatorHtmlPrivate {
public:
    ReportCreatorHtmlPrivate(Repository* repository, const Str& templatePath);
    virtual ~ReportCreatorHtmlPrivate() = default;
    ReportCreatorHtmlPrivate(const ReportCreatorHtmlPrivate&) = delete;
    ReportCreatorHtmlPrivate& operator=(const ReportCreatorHtmlPrivate&) = delete;

    bool generate(const Str& outputPath) { return createReport(outputPath.toStdWString()); }
    bool createReport(const std::wstring& outputPath);
    bool validate(Str* report) const;
    bool validateTemplate(MkString& report) const;
    static bool summarize(const Str& templatePath, Str* summary);
    static bool summarizeTemplate(const MkString& templatePath, MkString& summary);

    void setReferenceRepository(Repository* repository) { referenceRepository = repository; }
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    void setUse3dPlugin(bool use) { use3dPlugin = use; }

    // Every descendant of element named name: document order, a parent before its children.
    static void findAllElements(const MkXmlElement& element, const MkString& name, std::vector<MkXmlElement>* out);
    static PxHtmlTagType getTagType(const MkString& name) { return PxHtmlDocument::findSitTypeFromName(name); }

    PtrRef<Repository> repository;
    PtrRef<Repository> referenceRepository;
    MkString templatePath;
    MkString outputPath;
    MkIntArray genericSnapshotIndices;
    bool use3dPlugin = true;

private:
    // The repository's snapshots in order; empty for a null repository.
    static void gatherSnapshots(const Repository* repository, lfw::Collection<const Snapshot>* snapshots);
};

} // namespace rep
} // namespace kiv
