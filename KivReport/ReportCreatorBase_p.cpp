#include "KivReport/ReportCreatorBase_p.h"
#include "KivReport/ReportComponent.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivImage.h"
#include "impl/common/HostText.h"
#include "impl/common/NoThrow.h"
#include "impl/common/FieldMacros.h"
#include "impl/common/SnapshotPictures.h"
#include "impl/common/TextRuns.h"
#include "impl/storage/ZipArchive.h"
#include "impl/common/ReportLog.h"
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace kiv {
namespace rep {

namespace creator {
namespace {
std::string expandedAs(Problems& problems, const Snapshot* snapshot, const Str& text, FieldMacros::ValueText values) {
    std::string value = toUtf8(text);
    const FieldValues fields = snapshot->fieldValues();
    if (!fields.empty()) FieldMacros::expandString(fields, &value, FieldMacros::MAX_EXPANDED_LENGTH, &problems, values);
    return value;
}
}  // namespace

std::string expanded(Problems& problems, const Snapshot* snapshot, const Str& text) {
    return expandedAs(problems, snapshot, text, FieldMacros::ValueText::Plain);
}

FormattedTextArray titleRuns(Problems& problems, const Snapshot* snapshot) {
    return valueRuns(expanded(problems, snapshot, snapshot->title()));
}

FormattedTextArray descriptionRuns(Problems& problems, const Snapshot* snapshot) {
    FormattedTextArray runs;
    TextRuns::convertMarkupToOfficeRuns(expandedAs(problems, snapshot, snapshot->description(), FieldMacros::ValueText::Markup),
                                        &runs);
    return runs;
}

FormattedTextArray valueRuns(const std::string& value) {
    FormattedTextArray runs;
    TextRuns::convertPlainToOfficeRuns(value, &runs);
    return runs;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string stemOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

bool macroEnabledName(const std::string& path) {
    const std::string extension = lfw::FileSystem::lowerExtension(lfw::String(path));
    for (const char* macroEnabled : {".pptm", ".potm", ".ppsm", ".docm", ".dotm"})
        if (extension == macroEnabled) return true;
    return false;
}

bool looksLikeZip(const char* path) { return ZipArchive::fileLooksLikeZip(path, true); }
}  // namespace creator

PictureBytes::Picture* PictureBytes::known(const unsigned char* data, size_t size, size_t* hash) {
    const auto same = m_byData.find(std::make_pair(reinterpret_cast<std::uintptr_t>(data), size));
    if (same != m_byData.end()) return same->second;
    *hash = std::hash<std::string_view>()(std::string_view(reinterpret_cast<const char*>(data), size));
    const auto range = m_byHash.equal_range(*hash);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second->size == size && std::memcmp(it->second->data, data, size) == 0) return it->second;
    return nullptr;
}

const PictureBytes::Picture* PictureBytes::of(const Snapshot* snapshot) {
    if (!snapshot) return nullptr;
    const auto known = m_pictures.find(reinterpret_cast<std::uintptr_t>(snapshot));
    if (known != m_pictures.end()) return known->second;
    Picture*& found = m_pictures[reinterpret_cast<std::uintptr_t>(snapshot)];
    PtrRef<Image> image;
    if (snapshot->type() == Snapshot::MDLX) {
        if (snapshot->modelMdlx()) image = PtrRef<Image>(SnapshotPictures::snapshotFromMemoryFile(snapshot->modelMdlx()));
    } else {
        image = PtrRef<Image>(const_cast<Image*>(snapshot->image()));
    }
    if (!image) return nullptr;
    std::unique_ptr<Picture> picture(new Picture);
    // A snapshot's own image keeps its JPEG bytes: no copy. A model's preview is
    // made here, and so encoded here.
    const std::vector<unsigned char>* source = snapshot->type() == Snapshot::MDLX ? nullptr : image->sourceJpeg();
    const bool kept = source && !source->empty() && image->byteCount() > 0;
    if (kept) {
        picture->data = source->data();
        picture->size = source->size();
    } else {
        if (!SnapshotPictures::jpegBytesOf(image.get(), &picture->encoded, &m_problems)) return nullptr;
        picture->encoded.shrink_to_fit();  // kept until the report is done
        picture->data = picture->encoded.data();
        picture->size = picture->encoded.size();
    }
    // The bytes of a repository's image stay where they are while the report is
    // made: the next snapshot showing them is known by where they lie.
    size_t hash = 0;
    if ((found = this->known(picture->data, picture->size, &hash))) {
        if (kept) m_byData.emplace(std::make_pair(reinterpret_cast<std::uintptr_t>(picture->data), picture->size), found);
        return found;
    }
    picture->width = static_cast<int>(image->width());
    picture->height = static_cast<int>(image->height());
    picture->name = "memory:picture" + std::to_string(m_distinct.size() + 1) + ".jpg";
    found = picture.get();
    m_byData.emplace(std::make_pair(reinterpret_cast<std::uintptr_t>(found->data), found->size), found);
    m_byHash.emplace(hash, found);
    m_distinct.push_back(std::move(picture));
    return found;
}

ReportCreatorBase::ReportCreatorBase(Repository* repo, const Str& path) : repository(repo), templatePath(path.toStdString()) {
    LFW_ASSERT(repo);
    selectAll();
}

void ReportCreatorBase::selectAll() {
    const size_t count = std::min(repository ? repository->snapshotCount() : 0, static_cast<size_t>(INT_MAX));
    genericSnapshotIndices.resize(count);
    for (size_t i = 0; i < count; ++i) genericSnapshotIndices[i] = static_cast<int>(i);
}

void ReportCreatorBase::setGenericSnapshotIndices(const std::vector<unsigned int>& indices) {
    genericSnapshotIndices.clear();
    // An index past INT_MAX is out of range like any other too large one.
    for (unsigned int index : indices)
        genericSnapshotIndices.push_back(index > static_cast<unsigned int>(INT_MAX) ? INT_MAX : static_cast<int>(index));
}

void ReportCreatorBase::gatherSnapshots(const Repository* repo, lfw::Collection<const Snapshot>* out) {
    out->clear();
    if (!repo) return;
    const size_t count = repo->snapshotCount();
    out->reserve(count);
    for (size_t i = 0; i < count; ++i) out->push_back(repo->snapshot(i));
}

bool ReportCreatorBase::checkInitialized(Problems& problems) {
    if (ReportComponent::isInitialized()) return true;
    // A reported error, not a failed assertion: the assertion action in force
    // before start-up is to abort, and a caller's mistake must not end its process.
    problems.error(ProblemCode::InvalidArgument, "ReportComponent component has not been properly initialized.");
    return false;
}

void ReportCreatorBase::leaveOut(const Snapshot* snapshot) {
    const std::string name = snapshot ? snapshot->name().toStdString() : std::string();
    if (std::find(leftOut.begin(), leftOut.end(), name) == leftOut.end()) leftOut.push_back(name);
}

void ReportCreatorBase::applyOptions(const ReportOptions& options) {
    referenceRepository = options.referenceRepository;
    if (options.snapshots.empty()) selectAll();
    else setGenericSnapshotIndices(options.snapshots);
    acceptPartialReport = options.acceptPartialReport;
    strict = options.strict;
}

TemplateTexts::ValidationInput ReportCreatorBase::validationInput(const lfw::Collection<const Snapshot>& main,
                                                                  const lfw::Collection<const Snapshot>& reference) const {
    TemplateTexts::ValidationInput input;
    input.main = &main;
    input.reference = &reference;
    input.referenceGiven = referenceRepository.p() != nullptr;
    input.selected = genericSnapshotIndices;
    return input;
}

bool ReportCreatorBase::checkSelection() const {
    const size_t count = repository ? repository->snapshotCount() : 0;
    for (const int selected : genericSnapshotIndices) {
        const size_t index = static_cast<size_t>(selected);
        if (index < count) continue;
        reportError(ProblemCode::InvalidArgument,
                    lfw::String("Snapshot %1 (index %2) does not exist: the repository holds %3 snapshots")
                        .arg(std::to_string(index + 1))
                        .arg(std::to_string(index))
                        .arg(std::to_string(count)));
        return false;
    }
    return true;
}

std::vector<std::string> ReportCreatorBase::unfilledTags(const std::string& validation) {
    // The sections about tags; unused snapshots and the like are not about tags left.
    static const char* const sections[] = {"Unmatched tags:",      "Generic tags outside group:", "Unknown tags:",
                                           "Unknown field values", "Field value warnings",        "Reference tags"};
    std::vector<std::string> lines, found;
    size_t start = 0;
    while (start < validation.size()) {
        const size_t end = validation.find('\n', start);
        lines.push_back(validation.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? validation.size() : end + 1;
    }
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        const bool dashes = !lines[i + 1].empty() && lines[i + 1].find_first_not_of('-') == std::string::npos;
        const bool wanted = std::find_if(std::begin(sections), std::end(sections),
                                         [&](const char* s) { return lines[i] == s; }) != std::end(sections);
        if (!dashes || !wanted) continue;
        const bool unknown = lines[i] == "Unknown tags:";
        for (i += 2; i < lines.size() && !lines[i].empty(); ++i) {
            // A control of the document's own, tagged for something else, is not ours to fill.
            if (unknown && lines[i].find("SIT") == std::string::npos) continue;
            if (std::find(found.begin(), found.end(), lines[i]) == found.end()) found.push_back(lines[i]);
        }
    }
    return found;
}

ReportResult ReportCreatorBase::captured(const std::function<bool(ReportResult&)>& work) {
    problems.clear();
    return captured(problems, work);
}

ReportResult ReportCreatorBase::captured(Problems& problems, const std::function<bool(ReportResult&)>& work) {
    ReportResult result;
    result.setSucceeded(callNoThrow("Report call", &problems, [&]() { return work(result); }));
    for (const Problem& p : problems.all())
        result.addMessage(p.level == Problem::Warning ? ReportResult::Warning : ReportResult::Error, Str(p.message), p.code);
    return result;
}

ReportResult ReportCreatorBase::generateReport(const Str& path, const ReportOptions& options) {
    return captured([&](ReportResult& result) {
        applyOptions(options);
        if (!checkSelection()) return false;
        const bool made = generate(path);
        for (const std::string& name : leftOut) result.addLeftOut(Str(name));
        if (made)
            for (const std::string& file : written) result.addFile(Str(file));
        return made;
    });
}

ReportResult ReportCreatorBase::checkTemplate(const ReportOptions& options, const std::function<bool(Str*)>& validate) {
    return captured([&](ReportResult& result) {
        applyOptions(options);
        if (!checkSelection()) return false;
        Str report;
        const bool passed = validate(&report);
        result.setText(report);
        return passed;
    });
}

bool ReportCreatorBase::generate(const Str& path) {
    return callNoThrow("Report generation", &problems, [&]() {
        leftOut.clear();
        written.clear();
        if (!checkInitialized(problems)) return false;
        outputPath = path.toStdString();
        gatherSnapshots(repository.p(), &snapshots);
        gatherSnapshots(referenceRepository.p(), &referenceSnapshots);

        const std::string target = path.toStdString();
        std::vector<std::string> inputs = inputFiles();
        inputs.push_back(templatePath);
        for (const Repository* source : {repository.p(), referenceRepository.p()})
            if (source && !source->fileName().isEmpty()) inputs.push_back(source->fileName().toStdString());
        for (const std::string& input : inputs) {
            if (lfw::FileSystem::sameFile(input, target)) {
                reportError(ProblemCode::InvalidArgument,
                            lfw::String("Copy failed. Source and destination are the same file %1").arg(target));
                return false;
            }
        }
        lfw::StagedFiles staged;
        // Pictures and other files beside the report must not replace an input either.
        staged.protect(inputs);
        const std::string reportFile = staged.stage(target);
        if (reportFile.empty()) return reportError(ProblemCode::WriteFailed, staged.error());
        templateWithoutTags = templateWithReferenceTags = validationKept = false;
        if (!makeReport(reportFile, staged)) return false;  // staged files are removed
        if (!leftOut.empty()) {
            std::string names;
            for (const std::string& name : leftOut) names += (names.empty() ? "'" : ", '") + name + "'";
            if (!acceptPartialReport) {
                reportError(ProblemCode::ContentLeftOut,
                            lfw::String("Report not written: the content of snapshots %1 could not be shown").arg(names));
                return false;
            }
            reportWarning(ProblemCode::ContentLeftOut,
                          lfw::String("Report written without the content of snapshots %1").arg(names));
        }
        // Tags the report leaves as the template has them are told, or refuse a strict report.
        if (!validationKept) validate(&validation);
        std::vector<std::string> unfilled = unfilledTags(validation.toStdString());
        const std::string noReference = "Reference tags were found in template, but no reference repository specified";
        if (templateWithReferenceTags && !referenceRepository &&
            std::find(unfilled.begin(), unfilled.end(), noReference) == unfilled.end())
            unfilled.push_back(noReference);
        if (templateWithoutTags) unfilled.push_back("The template holds no tag: the report is a copy of it");
        for (const std::string& line : unfilled) {
            if (strict) reportError(ProblemCode::TagUnfilled, lfw::String(line));
            else reportWarning(ProblemCode::TagUnfilled, lfw::String(line));
        }
        if (strict && !unfilled.empty()) {
            reportError(ProblemCode::TagUnfilled, lfw::String("Report not written: %1 of its tags would stay unfilled (strict)")
                                                      .arg(std::to_string(unfilled.size())));
            return false;
        }
        const std::vector<std::string> targets = staged.targets();
        if (!staged.commit()) return reportError(ProblemCode::WriteFailed, staged.error());
        written = targets;
        return true;
    });
}

}  // namespace rep
}  // namespace kiv
