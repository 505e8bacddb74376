#pragma once
#include "KivReport/KivReportExport.h"
// Turns a repository and a Word template (.docx) into a Word report, and checks
// or describes Word templates. Tags are the tags of content controls and the
// names of 3D-viewer controls; a content control marked as a group is repeated
// once per selected snapshot.
#include "host/core/KivStr.h"
#include <vector>

namespace kiv {
namespace rep {

class Repository;
class ReportCreatorWordPrivate;

class KIVREPORT_API ReportCreatorWord {
public:
    // repository must not be null. The snapshots it holds now are the ones
    // groups repeat over, until setGenericSnapshotIndices says otherwise.
    ReportCreatorWord(Repository* repository, const Str& templatePath);
    ~ReportCreatorWord();
    ReportCreatorWord(const ReportCreatorWord&) = delete;
    ReportCreatorWord& operator=(const ReportCreatorWord&) = delete;

    // Writes the report. An earlier file at outputPath stays as it was unless the
    // whole report could be made.
    bool generate(const Str& outputPath) const;
    // Plain-text check of the template against the repository (and the reference
    // repository); true when every picture, table, chart, model, text and title tag passed.
    bool validate(Str* report) const;
    // Plain-text list of the groups and the tags of a template.
    static bool summarize(const Str& templatePath, Str* summary);

    // Snapshots that "REF_" tags address; null clears.
    void setReferenceRepository(Repository* repository);
    // 0-based snapshot indices groups repeat over, in this order.
    void setGenericSnapshotIndices(const std::vector<unsigned int>& indices);
    // true (default): model files are stored in the report; false: beside it.
    void setEmbedMdlx(bool embed);
    // true (default): 3D-model tags show the 3D viewer; false: the model's preview picture.
    void setUse3dPlugin(bool use);

private:
    ReportCreatorWordPrivate* m_d;
};

} // namespace rep
} // namespace kiv
