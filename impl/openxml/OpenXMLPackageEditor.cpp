// The package of an Office report: opening, saving and media.
#include "impl/openxml/OpenXMLPackageEditor.h"
#include "impl/openxml/OpenXMLPlugin.h"
#include <algorithm>
#include <climits>

namespace kiv {
namespace rep {

namespace {

const wchar_t* const MEDIA_KINDS[2] = {L"image", L"video"};

// The numbers a name takes for a stem: a name holding stem followed by digits
// d1..dk takes stem + every prefix of them ("image12.png" takes 1 and 12).
void takenNumbers(const std::wstring& name, const std::wstring& stem, std::set<long long>* taken) {
    for (size_t pos = name.find(stem); pos != std::wstring::npos; pos = name.find(stem, pos + 1)) {
        size_t d = pos + stem.size();
        if (d >= name.size() || name[d] == L'0') continue;
        long long value = 0;
        for (size_t k = d; k < name.size() && k < d + 10 && name[k] >= L'0' && name[k] <= L'9'; ++k) {
            value = value * 10 + (name[k] - L'0');
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

bool endsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Main content types of macro-free documents, each with its macro-enabled kin.
const wchar_t* const MAIN_TYPES[][2] = {{L"application/vnd.openxmlformats-officedocument.presentationml.presentation.main+xml",
                                         L"application/vnd.ms-powerpoint.presentation.macroEnabled.main+xml"},
                                        {L"application/vnd.openxmlformats-officedocument.presentationml.slideshow.main+xml",
                                         L"application/vnd.ms-powerpoint.slideshow.macroEnabled.main+xml"},
                                        {L"application/vnd.openxmlformats-officedocument.presentationml.template.main+xml",
                                         L"application/vnd.ms-powerpoint.template.macroEnabled.main+xml"},
                                        {L"application/vnd.openxmlformats-officedocument.wordprocessingml.document.main+xml",
                                         L"application/vnd.ms-word.document.macroEnabled.main+xml"},
                                        {L"application/vnd.openxmlformats-officedocument.wordprocessingml.template.main+xml",
                                         L"application/vnd.ms-word.template.macroEnabledTemplate.main+xml"}};
const wchar_t* const VBA_PROJECT = L"http://schemas.microsoft.com/office/2006/relationships/vbaProject";
const wchar_t* const VBA_TYPES[] = {L"application/vnd.ms-office.vbaProject", L"application/vnd.ms-word.vbaData+xml"};
const wchar_t* const SIGNATURE_ORIGIN = L"http://schemas.openxmlformats.org/package/2006/relationships/digital-signature/origin";
const wchar_t* const SIGNATURE_TYPES[] = {L"application/vnd.openxmlformats-package.digital-signature-origin",
                                          L"application/vnd.openxmlformats-package.digital-signature-xmlsignature+xml",
                                          L"application/vnd.openxmlformats-package.digital-signature-certificate"};

// Drops the relationships of that type; false when there was none.
bool dropAll(OpenXMLRelationships* rels, const wchar_t* type) {
    MkStringArray ids;
    for (int i = 0; rels && i < rels->Count(); ++i)
        if (rels->At(i).type == MkString(type)) ids.AddGrow(rels->At(i).id);
    for (int i = 0; i < ids.GetSize(); ++i) rels->Drop(ids[i]);
    return !ids.IsEmpty();
}

}  // namespace

bool OpenXMLPackageEditor::Open(const MkString& path) {
    m_main = nullptr;
    m_root.Empty();
    m_reportPath = path;
    m_warnings.clear();
    m_media.clear();
    m_mediaListed = false;
    for (int k = 0; k < 2; ++k) {
        m_mediaTaken[k].clear();
        m_mediaFree[k] = 1;
    }
    if (!m_package.Open(path)) return Fail(m_package.Error());
    OpenXMLRelationships& rels = m_package.Rels();
    for (int i = 0; i < rels.Count() && !m_main; ++i)
        if (endsWith(rels.At(i).type.Std(), L"/officeDocument")) m_main = m_package.Part(&rels.At(i));
    if (!m_main) return Fail(MkString(L"The package has no main part (no officeDocument relationship names one)"));
    const int slash = m_main->Name().Find(L'/', m_main->Name().Length() - 1, false);
    m_root = slash > 0 ? m_main->Name().Left(slash) : MkString();

    // Model relationships written by older versions have their targets from the
    // root folder (mdlxFiles/mdlx1.mdlx): they name their parts from the package
    // root from now on. A model relationship naming nothing is left out.
    MkStringArray ids;
    for (int i = 0; i < rels.Count(); ++i)
        if (rels.At(i).type == MkString(OpenXMLPlugin::RELATIONSHIP_TYPE) && !rels.At(i).external && !m_package.Part(&rels.At(i)))
            ids.AddGrow(rels.At(i).id);
    for (int i = 0; i < ids.GetSize(); ++i) {
        const MkString type = rels.Find(ids[i])->type;
        const OpenXMLPart* part = m_package.Part(m_root + L"/" + rels.Find(ids[i])->target);
        rels.Drop(ids[i]);
        if (part) rels.Add(type, part->Name(), false, ids[i]);
    }
    return true;
}

bool OpenXMLPackageEditor::Save(const MkString& path) {
    if (!IsOpen()) return Fail(MkString(L"No package is open"));
    LeaveOutSignaturesAndMacros();
    return m_package.Save(path) || Fail(m_package.Error());
}

void OpenXMLPackageEditor::Warn(const MkString& warning) {
    if (std::find(m_warnings.begin(), m_warnings.end(), warning) == m_warnings.end()) m_warnings.push_back(warning);
}

void OpenXMLPackageEditor::LeaveOutSignaturesAndMacros() {
    // What the relationships no longer reach is not written; the template's
    // content-type entries for it go too, so that nothing names it any more.
    if (dropAll(&m_package.Rels(), SIGNATURE_ORIGIN)) {
        for (const wchar_t* type : SIGNATURE_TYPES) m_package.ForgetContentType(MkString(type));
        Warn(
            MkString(L"The template's digital signatures are left out of the report: they signed the template, "
                     L"not the report"));
    }
    if (!m_macroEnabled && dropAll(m_main->Rels(), VBA_PROJECT)) {
        for (const wchar_t* type : VBA_TYPES) m_package.ForgetContentType(MkString(type));
        Warn(
            MkString(L"The template's macros (its VBA project) are left out of the report: only a macro-enabled "
                     L"report (.pptm, .docm) keeps them"));
    }
    for (const auto& types : MAIN_TYPES)
        if (m_main->ContentType().CompareNoCase(types[m_macroEnabled ? 0 : 1]) == 0)
            m_main->SetContentType(MkString(types[m_macroEnabled ? 1 : 0]));
}

MkString OpenXMLPackageEditor::AddMedia(const MkString& name, const void* data, size_t size, bool borrowed) {
    if (!IsOpen()) {
        Fail(MkString(L"No package is open"));
        return MkString();
    }
    const auto known = m_media.find(name.Std());
    if (known != m_media.end()) return known->second;
    const int dot = name.Find(L'.', name.Length() - 1, false);
    MkString extension = dot >= 0 ? name.Mid(dot + 1) : MkString();
    extension.ToLower();
    if (extension == MkString(L"jpg")) extension = L"jpeg";
    const int kind = extension == MkString(L"avi") ? 1 : 0;
    if (!data || size == 0 || (kind == 0 && extension != MkString(L"jpeg") && extension != MkString(L"png"))) {
        Fail(L"'" + name + L"' cannot be stored as media: only JPEG and PNG pictures and AVI videos can");
        return MkString();
    }
    const MkString folder = m_root + L"/media/";
    if (!m_mediaListed) {
        for (int i = 0; i < m_package.PartCount(); ++i) {
            const MkString& part = m_package.PartAt(i)->Name();
            if (!part.StartsWith(folder)) continue;
            for (int k = 0; k < 2; ++k) takenNumbers(part.Mid(folder.Length()).Std(), MEDIA_KINDS[k], &m_mediaTaken[k]);
        }
        m_mediaListed = true;
    }
    const int number = firstFreeNumber(m_mediaTaken[kind], &m_mediaFree[kind]);
    if (number < 0) {
        Fail(MkString(L"The media folder has no free name left"));
        return MkString();
    }
    const MkString file = MkString(MEDIA_KINDS[kind]) + MkString(number) + L"." + extension;
    OpenXMLPart* part = m_package.AddPart(folder + file, kind == 1 ? MkString(L"video/avi") : MkString(L"image/") + extension);
    if (!part) {
        Fail(m_package.Error());
        return MkString();
    }
    if (borrowed) part->SetBytesView(data, size);
    else part->SetBytes(std::string(static_cast<const char*>(data), size));
    for (int k = 0; k < 2; ++k) takenNumbers(file.Std(), MEDIA_KINDS[k], &m_mediaTaken[k]);
    m_media[name.Std()] = part->Name();
    return part->Name();
}

}  // namespace rep
}  // namespace kiv
