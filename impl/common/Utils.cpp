#include "impl/common/Utils.h"
#include "LibCore/lfwAssert.h"
#include "LibCore/lfwFile.h"
#include "host/core/KivConvert.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/MkFile.h"
#include "host/ug/MkRGBImage.h"
#include "host/ug/UgConvert.h"
#include "impl/storage/ReportLog.h"
#include <algorithm>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <mutex>
#include <set>
#include <unistd.h>
#include <fcntl.h>
#include <cstring>
#include <chrono>
#include <cerrno>
#include <atomic>
#include <climits>
#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace kiv {
namespace rep {

namespace {

typedef std::wstring_view WView;
const size_t npos = std::wstring::npos;

bool startsWith(const std::wstring& s, const wchar_t* prefix) {
    return s.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

void appendEscaped(std::wstring* out, WView value) {
    for (wchar_t c : value) {
        switch (c) {
        case L'&': out->append(L"&amp;"); break;
        case L'<': out->append(L"&lt;"); break;
        case L'>': out->append(L"&gt;"); break;
        case L'"': out->append(L"&quot;"); break;
        case L'\n': out->append(L"<br>"); break;
        default: out->push_back(c);
        }
    }
}

// Field values are caller data (a repository file may hold anything): a value
// can name later keys, so nested values could double the text per key, and many
// distinct unknown macros make the clean-up pass over the text again and again.
// Expansion stops, with a logged error, before the text would grow past
// Utils::MAX_EXPANDED_LENGTH characters or the passes would read more than
// MAX_EXPANSION_WORK characters in all.
const size_t MAX_EXPANSION_WORK = size_t(1) << 30;

// Bytes of one model preview: its stored JPEG and its decode together.
const uint64_t MAX_PREVIEW_BYTES = uint64_t(256) << 20;

size_t countOccurrences(const std::wstring& text, const std::wstring& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != npos; p = text.find(part, p + part.size())) ++n;
    return n;
}

// Removes a file that a failed write left behind; never anything but a regular file.
void removePartialFile(const std::string& utf8Path) {
    struct stat st;
    if (::lstat(utf8Path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(utf8Path.c_str());
}

} // namespace

bool Utils::isTagGeneric(const MkString& tag) {
    return startsWith(tag.Std(), L"SIT_") || startsWith(tag.Std(), L"REF_SIT_");
}

int Utils::getTagIndex(const MkString& tag) {
    const std::wstring& s = tag.Std();
    size_t start;
    if (startsWith(s, L"REF_SIT")) start = 7;
    else if (startsWith(s, L"SIT")) start = 3;
    else return -1;
    const size_t end = s.find(L'_', start);
    if (end == npos || end == start) return -1;
    long long number = 0;
    for (size_t i = start; i < end; ++i) {
        if (s[i] < L'0' || s[i] > L'9') return -1;
        number = number * 10 + (s[i] - L'0');
        if (number > INT_MAX) return -1;
    }
    return static_cast<int>(number);
}

void Utils::getSituationTypeIndices(const lfw::Collection<const Snapshot>& snapshots, const MkIntArray& indices,
                                    MkIntArray* imageIndices, MkIntArray* tableIndices, MkIntArray* modelIndices) {
    for (int i = 0; i < indices.GetSize(); ++i) {
        const int index = indices[i];
        if (index < 0 || static_cast<size_t>(index) >= snapshots.size()) {
            REP_LOG_ERROR(lfw::String("Snapshot index %1 out of range").arg(index));
            continue;
        }
        const Snapshot* snapshot = snapshots[static_cast<size_t>(index)];
        LFW_ASSERT(snapshot);
        if (!snapshot) continue;
        MkIntArray* target = nullptr;
        switch (snapshot->type()) {
        case Snapshot::IMAGE: target = imageIndices; break;
        case Snapshot::TABLE: target = tableIndices; break;
        case Snapshot::MDLX: target = modelIndices; break;
        default: LFW_FAIL_MSG("Unhandled snapshot type"); continue;
        }
        if (target) target->AddGrow(index);
    }
}

MkStringArray Utils::getKeysFromFieldValues(const FieldValues& fieldValues) {
    MkStringArray keys;
    keys.Std().reserve(fieldValues.size());
    for (const auto& kv : fieldValues) keys.Std().emplace_back(kv.first.toStdWString());
    return keys;
}

MkStringArray Utils::getValuesFromFieldValues(const FieldValues& fieldValues) {
    MkStringArray values;
    values.Std().reserve(fieldValues.size());
    for (const auto& kv : fieldValues) values.Std().emplace_back(kv.second.toStdWString());
    return values;
}

bool Utils::getFieldValue(const FieldValues& fieldValues, const MkString& key, MkString* value) {
    auto it = fieldValues.find(Str(key.Std()));
    if (it == fieldValues.end()) return false;
    if (value) *value = MkString(it->second.toStdWString());
    return true;
}

MkString Utils::escapeHtml(const MkString& text) {
    std::wstring out;
    out.reserve(text.Std().size());
    appendEscaped(&out, text.Std());
    return MkString(std::move(out));
}

bool ReportBudget::spend(uint64_t bytes) {
    if (bytes > m_left) return refuse();
    m_left -= bytes;
    return true;
}

bool ReportBudget::spendText(uint64_t characters) {
    if (characters > m_charactersLeft) return refuse();
    m_charactersLeft -= characters;
    return true;
}

bool ReportBudget::refuse() {
    if (!m_exhausted)
        REP_LOG_ERROR(lfw::String("The report would expand to more than %1 characters of text or %2 bytes of pictures; "
                                  "it is not made")
                          .arg(static_cast<long long>(DEFAULT_CHARACTERS))
                          .arg(static_cast<long long>(DEFAULT_BYTES)));
    m_exhausted = true;
    return false;
}

void Utils::expandString(const FieldValues& fieldValues, MkString* text) {
    expandString(fieldValues, text, Utils::MAX_EXPANDED_LENGTH);
}

bool Utils::expandString(const FieldValues& fieldValues, MkString* text, size_t maxLength, ValueText values) {
    if (!text) return true;
    if (maxLength > Utils::MAX_EXPANDED_LENGTH) maxLength = Utils::MAX_EXPANDED_LENGTH;
    size_t work = 0;
    auto withinBudget = [&]() {
        work += text->Std().size();
        if (work <= MAX_EXPANSION_WORK) return true;
        REP_LOG_ERROR(lfw::String("Field value macros need too much work; the remaining macros are not expanded"));
        return false;
    };

    // Every key in order, each replaced everywhere: a value that names a later
    // key is expanded again by that key's turn.
    for (const auto& kv : fieldValues) {
        if (text->Find(MkString(L"$(")) < 0) return true;  // nothing left that a key or the clean-up could change
        const std::wstring macro = L"$(" + kv.first.toStdWString() + L")";
        const size_t count = countOccurrences(text->Std(), macro);
        if (count == 0) continue;
        MkString value(kv.second.toStdWString());
        if (values == ValueText::Html) {
            value = escapeHtml(value);
        } else if (values == ValueText::Markup) {
            std::wstring escaped;
            escaped.reserve(value.Std().size());
            for (wchar_t c : value.Std()) {
                if (c == L'\n') escaped.push_back(c);  // a line break of the runs
                else appendEscaped(&escaped, WView(&c, 1));
            }
            value = MkString(std::move(escaped));
        }
        const size_t grown = static_cast<size_t>(value.Length()) > macro.size()
                                 ? count * (static_cast<size_t>(value.Length()) - macro.size())
                                 : 0;
        if (text->Std().size() + grown > maxLength) {
            REP_LOG_ERROR(lfw::String("Field values expand beyond %1 characters; the remaining macros are not expanded")
                              .arg(static_cast<long long>(maxLength)));
            return false;
        }
        text->Replace(MkString(macro), value);
        if (!withinBudget()) return false;
    }

    // Macros without a field value become "N/A", one name at a time from the
    // start, until a blank name or a "$(" without ")".
    for (;;) {
        const int open = text->Find(MkString(L"$("));
        if (open < 0) return true;
        const int close = text->Find(L')', open + 2);
        if (close < 0) return true;
        const MkString name = text->Mid(open + 2, close - open - 2);
        if (name.IsBlank()) return true;
        text->Replace(MkString(L"$(") + name + MkString(L")"), MkString(L"N/A"));
        if (!withinBudget()) return false;
    }
}

namespace {

bool isLineEnd(wchar_t c) { return c == L'\n' || c == L'\r' || c == L'\v' || c == L'\f'; }

// The character an entity at text[at] ("&amp;", "&#60;", "&#x3C;") stands for,
// with its length; 0 when there is none there.
wchar_t entityAt(const std::wstring& text, size_t at, size_t* length) {
    static const struct {
        const wchar_t* name;
        wchar_t c;
    } named[] = {{L"&amp;", L'&'}, {L"&lt;", L'<'}, {L"&gt;", L'>'}, {L"&quot;", L'"'}, {L"&apos;", L'\''}};
    for (const auto& n : named) {
        const size_t size = std::char_traits<wchar_t>::length(n.name);
        if (text.compare(at, size, n.name) == 0) {
            *length = size;
            return n.c;
        }
    }
    if (text.compare(at, 2, L"&#") != 0) return 0;
    const bool hex = at + 2 < text.size() && (text[at + 2] == L'x' || text[at + 2] == L'X');
    size_t i = at + (hex ? 3 : 2);
    unsigned long code = 0;
    const size_t first = i;
    for (; i < text.size() && i - first < 8; ++i) {
        const wchar_t c = text[i];
        int digit = -1;
        if (c >= L'0' && c <= L'9') digit = c - L'0';
        else if (hex && c >= L'a' && c <= L'f') digit = c - L'a' + 10;
        else if (hex && c >= L'A' && c <= L'F') digit = c - L'A' + 10;
        if (digit < 0) break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == first || i >= text.size() || text[i] != L';' || code == 0 || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    *length = i + 1 - at;
    return static_cast<wchar_t>(code);
}

// Appends a run's text as runs of its own flags, its line ends as line breaks
// and, when decode is set, its entities read back. An empty text stays one run.
void appendOfficeText(const MkFormattedText& run, const std::wstring& text, bool decode,
                      std::vector<MkFormattedText>* out) {
    MkFormattedText flags = run;  // without the text, which each piece replaces
    flags.text = MkString();
    std::wstring piece;
    bool any = false;
    auto flush = [&]() {
        if (piece.empty()) return;
        out->push_back(flags);
        out->back().text = MkString(std::move(piece));
        piece.clear();
        any = true;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        size_t length = 0;
        if (isLineEnd(c)) {
            flush();
            if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
            out->emplace_back();
            out->back().lineBreak = true;
            any = true;
        } else if (decode && c == L'&' && entityAt(text, i, &length) != 0) {
            piece.push_back(entityAt(text, i, &length));
            i += length - 1;
        } else {
            piece.push_back(c);
        }
    }
    flush();
    if (!any) {
        out->push_back(flags);
        out->back().text = MkString();
    }
}

void appendRuns(std::vector<MkFormattedText>* made, MkFormattedTextArray* runs) {
    if (made->empty()) return;
    const int first = runs->GetSize();
    if (made->size() > static_cast<size_t>(INT_MAX - first) || !runs->SetSize(first + static_cast<int>(made->size()))) {
        REP_LOG_ERROR(lfw::String("Too many formatted text runs (%1)").arg(static_cast<long long>(made->size())));
        return;
    }
    for (size_t i = 0; i < made->size(); ++i) (*runs)[first + static_cast<int>(i)] = std::move((*made)[i]);
}

} // namespace

void Utils::convertHtmlToFormattedTextArray(const MkString& text, MkFormattedTextArray* runs) {
    if (!runs) return;
    const std::wstring& s = text.Std();
    // Collected first and moved in with one resize: the array grows by at most
    // 1024 elements at a time, so appending run by run would copy it over and over.
    std::vector<MkFormattedText> made;
    bool bold = false, italic = false, underline = false, breakPending = false;
    size_t pos = 0;
    while (pos < s.size()) {
        size_t open = s.find(L'<', pos);
        size_t close = open == npos ? npos : s.find(L'>', open + 1);
        if (close == npos) open = npos;  // a "<" that no ">" closes is plain text
        if (breakPending) {
            made.emplace_back();
            made.back().newParagraph = true;
            breakPending = false;
        }
        made.emplace_back();
        MkFormattedText& run = made.back();
        run.bold = bold;
        run.italic = italic;
        run.underline = underline;
        run.text = MkString(s.substr(pos, open == npos ? npos : open - pos));
        if (open == npos) break;

        MkString tag(s.substr(open + 1, close - open - 1));
        tag.Trim().ToLower();
        const std::wstring& t = tag.Std();
        if (t == L"b") bold = true;
        else if (t == L"/b") bold = false;
        else if (t == L"i") italic = true;
        else if (t == L"/i") italic = false;
        else if (t == L"u") underline = true;
        else if (t == L"/u") underline = false;
        else if (t == L"br" || t == L"br/" || t == L"br /") breakPending = true;
        pos = close + 1;
    }
    appendRuns(&made, runs);
}

void Utils::convertMarkupToOfficeRuns(const MkString& text, MkFormattedTextArray* runs) {
    if (!runs) return;
    MkFormattedTextArray marked;
    convertHtmlToFormattedTextArray(text, &marked);
    std::vector<MkFormattedText> made;
    made.reserve(static_cast<size_t>(marked.GetSize()));
    for (const MkFormattedText& run : marked) {
        if (run.newParagraph) made.push_back(run);
        else appendOfficeText(run, run.text.Std(), true, &made);
    }
    appendRuns(&made, runs);
}

void Utils::convertPlainToOfficeRuns(const MkString& text, MkFormattedTextArray* runs) {
    if (!runs) return;
    std::vector<MkFormattedText> made;
    appendOfficeText(MkFormattedText(), text.Std(), false, &made);
    appendRuns(&made, runs);
}

Image* Utils::snapshotFromMemoryFile(const ug::MdlxMemoryFile* model, ReportBudget* budget) {
    if (!model) return nullptr;
    if (!budget) return snapshotFromMemoryFile(model);
    ug::MdlxAccess access;
    ug::MdlxInfoCase infoCase;
    if (!access.Open(const_cast<ug::MdlxZipMemFile*>(model->internal_mdlxZipMemFile()), ug::MdlxAccess::READ) ||
        !access.GetCase(0, &infoCase)) {
        REP_LOG_ERROR(lfw::String("Model file holds no readable case; its preview picture cannot be shown"));
        return nullptr;
    }
    const uint64_t limit = std::min<uint64_t>(budget->left(), MAX_PREVIEW_BYTES);
    uint64_t used = 0;
    MkRGBImage preview;
    const bool read = access.GetCaseSnapshot(infoCase.GetCaseId(), &preview, limit, &used);
    if (used > limit) {
        if (limit < MAX_PREVIEW_BYTES)
            budget->spend(used);  // refused: logs that the report ran out of memory
        else
            REP_LOG_ERROR(lfw::String("Preview picture of a model needs %1 bytes of memory; it is not read")
                              .arg(static_cast<long long>(used)));
        return nullptr;
    }
    if (!read || preview.GetNumImageBytes() == 0 || !budget->spend(used)) {
        REP_LOG_ERROR(lfw::String("Preview picture of a model cannot be read"));
        return nullptr;
    }
    // What stays charged is the picture; the decoder's working memory is free again.
    const uint64_t kept = static_cast<uint64_t>(preview.GetNumImageBytes());
    if (used > kept) budget->refund(used - kept);
    Image* image = new Image;
    if (!ug::Convert::toImage(preview, image)) {
        delete image;
        REP_LOG_ERROR(lfw::String("Preview picture of a model cannot be read"));
        return nullptr;
    }
    return image;
}

Image* Utils::snapshotFromMemoryFile(const ug::MdlxMemoryFile* model) {
    if (!model) return nullptr;
    ug::MdlxAccess access;
    // Opening for reading leaves the content as it is.
    if (!access.Open(const_cast<ug::MdlxZipMemFile*>(model->internal_mdlxZipMemFile()), ug::MdlxAccess::READ))
        return nullptr;
    ug::MdlxInfoCase infoCase;
    if (!access.GetCase(0, &infoCase)) return nullptr;
    MkRGBImage preview;
    if (!access.GetCaseSnapshot(infoCase.GetCaseId(), &preview) || preview.GetNumImageBytes() == 0) return nullptr;
    Image* image = new Image;
    if (!ug::Convert::toImage(preview, image)) {
        delete image;
        return nullptr;
    }
    return image;
}

bool Utils::jpegBytesOf(const Image* image, std::vector<unsigned char>* jpeg) {
    if (!jpeg || !image || image->byteCount() == 0) {
        REP_LOG_ERROR(lfw::String("Image object empty. No JPEG image created."));
        return false;
    }
    if (const std::vector<unsigned char>* source = image->sourceJpeg()) {
        *jpeg = *source;
        return true;
    }
    MkRGBImage rgb;
    if (!ug::Convert::toMkRGBImage(image, &rgb) || !MdlxImageJpeg::saveImageToMemory(rgb, jpeg) || jpeg->empty()) {
        REP_LOG_ERROR(lfw::String("Error encoding JPEG image"));
        return false;
    }
    return true;
}

bool Utils::saveImageAsJpeg(const Image* image, const MkString& fileName) {
    // An image decoded from a JPEG still holds those bytes: writing them is
    // faster and loses nothing, where encoding again would degrade the picture.
    std::vector<unsigned char> bytes;
    if (!jpegBytesOf(image, &bytes)) return false;
    const std::vector<unsigned char>* jpeg = &bytes;
    MkFile file(fileName, MkFile::WRITE);
    if (!file.Open()) {
        REP_LOG_ERROR(lfw::String("Error opening file (%1)").arg(fileName.Std()));
        return false;
    }
    bool written = file.Write(jpeg->data(), jpeg->size(), 1) == 1;
    written = file.Close() && written;  // a buffered write may fail only here
    if (!written) {
        removePartialFile(fileName.ShortChar());
        REP_LOG_ERROR(lfw::String("Error writing bytes to image file (%1)").arg(fileName.Std()));
        return false;
    }
    return true;
}

bool Utils::copy(const Str& source, const Str& destination) {
    const std::string sourcePath = source.toStdString();
    const std::string destinationPath = destination.toStdString();
    lfw::FilePtr in(lfw::File::fopen(sourcePath, "rb"));
    struct stat sourceStat;
    // Only regular files: a directory opens but cannot be read, and a device
    // could be read forever.
    if (!in || ::fstat(fileno(in.get()), &sourceStat) != 0 || !S_ISREG(sourceStat.st_mode)) {
        REP_LOG_ERROR(lfw::String("Copy failed. Source file %1 did not exist").arg(sourcePath));
        return false;
    }
    // Opening the destination for writing would empty the source.
    if (lfw::FileSystem::sameFile(sourcePath, destinationPath)) {
        REP_LOG_ERROR(lfw::String("Copy failed. Source and destination are the same file %1").arg(destinationPath));
        return false;
    }
    lfw::FilePtr out(lfw::File::fopen(destinationPath, "wb"));
    if (!out) {
        REP_LOG_ERROR(lfw::String("Copy failed. Could not create destination file %1").arg(destinationPath));
        return false;
    }

    std::vector<char> buffer(1 << 16);
    bool readError = false, writeError = false;
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0 && std::fwrite(buffer.data(), 1, n, out.get()) != n) {
            writeError = true;
            break;
        }
        if (n < buffer.size()) {
            readError = std::ferror(in.get()) != 0;
            break;
        }
    }
    if (std::fclose(out.release()) != 0) writeError = true;
    if (readError || writeError) {
        removePartialFile(destinationPath);
        if (readError)
            REP_LOG_ERROR(lfw::String("Copy failed. Error reading source file %1").arg(sourcePath));
        else
            REP_LOG_ERROR(lfw::String("Copy failed. Error writing destination file %1").arg(destinationPath));
        return false;
    }
    return true;
}

bool Utils::copyTemplateToOutputFile(const MkString& templatePath, const MkString& outputPath) {
    return copy(Str(templatePath.Std()), Str(outputPath.Std()));
}

bool Utils::isStaleTemporary(const std::string& folder, const std::string& name) {
    // ".<name>.Varnox_Report_Tmp<pid>_<counter>_<stamp>", as made below.
    static const std::string marker = ".Varnox_Report_Tmp";
    if (name.size() < 2 || name[0] != '.') return false;
    const size_t at = name.rfind(marker);
    if (at == std::string::npos || at < 1) return false;
    const std::string rest = name.substr(at + marker.size());
    unsigned long long pid = 0;
    int parts = 0;
    size_t i = 0;
    for (; parts < 3; ++parts) {
        const size_t start = i;
        unsigned long long value = 0;
        while (i < rest.size() && rest[i] >= '0' && rest[i] <= '9' && i - start < 12) value = value * 10 + static_cast<unsigned>(rest[i++] - '0');
        if (i == start) return false;
        if (parts == 0) pid = value;
        if (parts < 2) {
            if (i >= rest.size() || rest[i] != '_') return false;
            ++i;
        }
    }
    if (i != rest.size() || pid == 0 || pid > static_cast<unsigned long long>(INT_MAX)) return false;
    // Ours only while nobody could still be writing it: its process is gone and a day has passed.
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) return false;
    struct stat st;
    const std::string path = (folder.empty() ? std::string() : folder) + name;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    return std::time(nullptr) - st.st_mtime > 24 * 60 * 60;
}

void Utils::removeStaleTemporaries(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir) return;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir))
        if (isStaleTemporary(folder, entry->d_name)) stale.push_back(entry->d_name);
    ::closedir(dir);
    for (const std::string& name : stale) {
        if (::unlink((folder + name).c_str()) == 0)
            REP_LOG_INFO(lfw::String("Removed the stale temporary file %1").arg(folder + name));
    }
}

bool Utils::createTemporaryBeside(const std::string& target, std::string* tempPath) {
    static std::atomic<unsigned> counter{0};
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    {
        // Temporaries that interrupted writes left behind go at the next write into
        // their folder; each folder is looked at once per process.
        static std::mutex mutex;
        static std::set<std::string> cleaned;
        std::lock_guard<std::mutex> lock(mutex);
        if (cleaned.size() < 1024 && cleaned.insert(folder).second) removeStaleTemporaries(folder);
    }
    const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    const unsigned long long stamp =
        static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = folder + "." + base + ".Varnox_Report_Tmp" + std::to_string(::getpid()) + "_" +
                                      std::to_string(counter++) + "_" + std::to_string((stamp + attempt) % 1000000);
        // O_EXCL: never take over a file someone else made; the mode follows the umask.
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            ::close(fd);
            *tempPath = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool Utils::replaceWithTemporary(const std::string& temp, const std::string& target) {
    // The new file keeps the permissions of the one it replaces.
    struct stat old;
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::chmod(temp.c_str(), old.st_mode & 07777);
    if (std::rename(temp.c_str(), target.c_str()) != 0) {
        REP_LOG_ERROR(lfw::String("Could not replace file (%1): %2").arg(target).arg(std::strerror(errno)));
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

Str Utils::tempPath() { return Convert::toStr(lfw::FileSystem::tempDirectoryPath()); }

bool Utils::exists(const MkString& path) {
    lfw::FilePtr file(lfw::File::fopen(lfw::String(path), "rb"));
    return file != nullptr;
}

void Utils::remove(const MkString& path) { std::remove(path.ShortChar()); }

MkString Utils::pathSeparator() { return MkGetPathSeparator(); }

} // namespace rep
} // namespace kiv
