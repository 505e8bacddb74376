// The package of an Office report: opening, saving and media.
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "LibCore/lfwText.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include <algorithm>
#include <climits>

namespace kiv {
namespace rep {

namespace {

const char* const MEDIA_KINDS[2] = {"image", "video"};

// The numbers a name takes for a stem: a name holding stem followed by digits
// d1..dk takes stem + every prefix of them ("image12.png" takes 1 and 12).
void takenNumbers(const std::string& name, const std::string& stem, std::set<long long>* taken) {
    for (size_t pos = name.find(stem); pos != std::string::npos; pos = name.find(stem, pos + 1)) {
        size_t d = pos + stem.size();
        if (d >= name.size() || name[d] == '0') continue;
        long long value = 0;
        for (size_t k = d; k < name.size() && k < d + 10 && name[k] >= '0' && name[k] <= '9'; ++k) {
            value = value * 10 + (name[k] - '0');
            taken->insert(value);
        }
    }
}

// Smallest n >= *from not taken; -1 past INT_MAX. Numbers are only ever added
// to `taken`, so the search goes on from where the last one ended.
int firstFreeNumber(const std::set<long long>& taken, long long* from) {
    long long n = *from < 1 ? 1 : *from;
    for (auto it = taken.lower_bound(n); it != taken.end() && *it == n; ++it) ++n;
    *from = n;
    return n > INT_MAX ? -1 : static_cast<int>(n);
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Main content types of macro-free documents, each with its macro-enabled kin.
const char* const MAIN_TYPES[][2] = {{"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
                                      "application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml"},
                                     {"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
                                      "application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml"},
                                     {"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
                                      "application/vnd.ms-powerpoint.template.macroEnabled.main+xml"},
                                     {"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
                                      "application/vnd.ms-word.document.macroEnabled.main+xml"},
                                     {"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
                                      "application/vnd.ms-word.template.macroEnabledTemplate.main+xml"}};
const char* const VBA_PROJECT = "http://schemas.microsoft.com/office/2006/relationships/vbaProject";
const char* const VBA_TYPES[] = {"application/vnd.ms-office.vbaProject", "application/vnd.ms-word.vbaData+xml"};
const char* const SIGNATURE_ORIGIN = "http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/origin";
const char* const SIGNATURE_TYPES[] = {"application/vnd.openxmlformats-package.digital-signature-origin",
                                       "application/vnd.openxmlformats-package.digital-signature-xmlsignature+xml",
                                       "application/vnd.openxmlformats-package.digital-signature-certificate"};

// Drops the relationships of that type; false when there was none.
bool dropAll(OpenXMLRelationships* rels, const char* type) {
    std::vector<std::string> ids;
    for (int i = 0; rels && i < rels->count(); ++i)
        if (rels->at(i).type == std::string(type)) ids.push_back(rels->at(i).id);
    for (const std::string& id : ids) rels->drop(id);
    return !ids.empty();
}

}  // namespace

bool OpenXMLPackageEditor::open(const std::string& path) {
    m_main = nullptr;
    m_root.clear();
    m_reportPath = path;
    m_warnings.clear();
    m_media.clear();
    m_mediaListed = false;
    for (int k = 0; k < 2; ++k) {
        m_mediaTaken[k].clear();
        m_mediaFree[k] = 1;
    }
    if (!m_package.open(path)) return fail(m_package.error());
    OpenXMLRelationships& rels = m_package.rels();
    for (int i = 0; i < rels.count() && !m_main; ++i)
        if (endsWith(rels.at(i).type, "/officeDocument")) m_main = m_package.part(&rels.at(i));
    if (!m_main) return fail(std::string("The package has no main part (no officeDocument relationship names one)"));
    const size_t slash = m_main->name().rfind('/');
    m_root = slash != std::string::npos && slash > 0 ? m_main->name().substr(0, slash) : std::string();

    // Model relationships written by older versions have their targets from the
    // root folder (mdlxFiles/mdlx1.mdlx): they name their parts from the package
    // root from now on. A model relationship naming nothing is left out.
    std::vector<std::string> ids;
    for (int i = 0; i < rels.count(); ++i)
        if (rels.at(i).type == std::string(OpenXMLPlugin::RELATIONSHIP_TYPE) && !rels.at(i).external &&
            !m_package.part(&rels.at(i)))
            ids.push_back(rels.at(i).id);
    for (const std::string& id : ids) {
        const std::string type = rels.find(id)->type;
        const OpenXMLPart* part = m_package.part(m_root + "/" + rels.find(id)->target);
        rels.drop(id);
        if (part) rels.add(type, part->name(), false, id);
    }
    return true;
}

bool OpenXMLPackageEditor::save(const std::string& path) {
    if (!isOpen()) return fail(std::string("No package is open"));
    leaveOutSignaturesAndMacros();
    return m_package.save(path) || fail(m_package.error());
}

void OpenXMLPackageEditor::warn(const std::string& warning) {
    if (std::find(m_warnings.begin(), m_warnings.end(), warning) == m_warnings.end()) m_warnings.push_back(warning);
}

void OpenXMLPackageEditor::leaveOutSignaturesAndMacros() {
    // What the relationships no longer reach is not written; the template's
    // content-type entries for it go too, so that nothing names it any more.
    if (dropAll(&m_package.rels(), SIGNATURE_ORIGIN)) {
        for (const char* type : SIGNATURE_TYPES) m_package.forgetContentType(std::string(type));
        warn(
            std::string("The template's digital signatures are left out of the report: they signed the template, "
                        "not the report"));
    }
    if (!m_macroEnabled && dropAll(m_main->rels(), VBA_PROJECT)) {
        for (const char* type : VBA_TYPES) m_package.forgetContentType(std::string(type));
        warn(
            std::string("The template's macros (its VBA project) are left out of the report: only a macro-enabled "
                        "report (.pptm, .docm) keeps them"));
    }
    for (const auto& types : MAIN_TYPES)
        if (lfw::text::equalNoCase(m_main->contentType(), types[m_macroEnabled ? 0 : 1]))
            m_main->setContentType(std::string(types[m_macroEnabled ? 1 : 0]));
}

std::string OpenXMLPackageEditor::addMedia(const std::string& name, const void* data, size_t size, bool borrowed) {
    if (!isOpen()) {
        fail(std::string("No package is open"));
        return std::string();
    }
    const auto known = m_media.find(name);
    if (known != m_media.end()) return known->second;
    const size_t dot = name.rfind('.');
    std::string extension = dot != std::string::npos ? lfw::text::lowerAscii(name.substr(dot + 1)) : std::string();
    if (extension == std::string("jpg")) extension = "jpeg";
    const int kind = extension == std::string("avi") ? 1 : 0;
    if (!data || size == 0 || (kind == 0 && extension != std::string("jpeg") && extension != std::string("png"))) {
        fail("'" + name + "' cannot be stored as media: only JPEG and PNG pictures and AVI videos can");
        return std::string();
    }
    const std::string folder = m_root + "/media/";
    if (!m_mediaListed) {
        for (int i = 0; i < m_package.partCount(); ++i) {
            const std::string& part = m_package.partAt(i)->name();
            if (!lfw::text::startsWith(part, folder)) continue;
            for (int k = 0; k < 2; ++k) takenNumbers(part.substr(folder.size()), MEDIA_KINDS[k], &m_mediaTaken[k]);
        }
        m_mediaListed = true;
    }
    const int number = firstFreeNumber(m_mediaTaken[kind], &m_mediaFree[kind]);
    if (number < 0) {
        fail(std::string("The media folder has no free name left"));
        return std::string();
    }
    const std::string file = std::string(MEDIA_KINDS[kind]) + std::to_string(number) + "." + extension;
    OpenXMLPart* part =
        m_package.addPart(folder + file, kind == 1 ? std::string("video/avi") : std::string("image/") + extension);
    if (!part) {
        fail(m_package.error());
        return std::string();
    }
    if (borrowed) part->setBytesView(data, size);
    else part->setBytes(std::string(static_cast<const char*>(data), size));
    for (int k = 0; k < 2; ++k) takenNumbers(file, MEDIA_KINDS[k], &m_mediaTaken[k]);
    m_media[name] = part->name();
    return part->name();
}

}  // namespace rep
}  // namespace kiv
