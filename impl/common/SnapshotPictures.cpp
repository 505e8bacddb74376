#include "impl/common/SnapshotPictures.h"
#include "host/core/KivImage.h"
#include "host/ug/MdlxFile.h"
#include "host/ug/MdlxImageJpeg.h"
#include "host/ug/MkFile.h"
#include "host/ug/MkRGBImage.h"
#include "host/ug/UgConvert.h"
#include "impl/common/HostText.h"
#include "LibCore/lfwString.h"
#include <cstdio>
#include <string>
#include <sys/stat.h>

namespace kiv {
namespace rep {

namespace {

// Bytes of one model preview: its stored JPEG and its decode together.
const uint64_t MAX_PREVIEW_BYTES = uint64_t(256) << 20;

// Removes a file that a failed write left behind; never anything but a regular file.
void removePartialFile(const std::string& utf8Path) {
    struct stat st;
    if (::lstat(utf8Path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) std::remove(utf8Path.c_str());
}

}  // namespace

Image* SnapshotPictures::snapshotFromMemoryFile(const ug::MdlxMemoryFile* model, ReportBudget* budget) {
    if (!model) return nullptr;
    if (!budget) return snapshotFromMemoryFile(model);
    ug::MdlxAccess access;
    ug::MdlxInfoCase infoCase;
    if (!access.Open(const_cast<ug::MdlxZipMemFile*>(model->internal_mdlxZipMemFile()), ug::MdlxAccess::READ) ||
        !access.GetCase(0, &infoCase)) {
        budget->problems().error(ProblemCode::UnreadablePicture,
                                 "Model file holds no readable case; its preview picture cannot be shown");
        return nullptr;
    }
    const uint64_t limit = std::min<uint64_t>(budget->left(), MAX_PREVIEW_BYTES);
    uint64_t used = 0;
    MkRGBImage preview;
    const bool read = access.GetCaseSnapshot(infoCase.GetCaseId(), &preview, limit, &used);
    if (used > limit) {
        if (limit < MAX_PREVIEW_BYTES) budget->spend(used);  // refused: logs that the report ran out of memory
        else
            budget->problems().error(ProblemCode::TooLarge,
                                     (lfw::String("Preview picture of a model needs %1 bytes of memory; it is not read")
                                          .arg(static_cast<long long>(used)))
                                         .toStdString());
        return nullptr;
    }
    if (!read || preview.GetNumImageBytes() == 0 || !budget->spend(used)) {
        budget->problems().error(ProblemCode::UnreadablePicture, "Preview picture of a model cannot be read");
        return nullptr;
    }
    // What stays charged is the picture; the decoder's working memory is free again.
    const uint64_t kept = static_cast<uint64_t>(preview.GetNumImageBytes());
    if (used > kept) budget->refund(used - kept);
    Image* image = new Image;
    if (!ug::Convert::toImage(preview, image)) {
        delete image;
        budget->problems().error(ProblemCode::UnreadablePicture, "Preview picture of a model cannot be read");
        return nullptr;
    }
    return image;
}

Image* SnapshotPictures::snapshotFromMemoryFile(const ug::MdlxMemoryFile* model) {
    if (!model) return nullptr;
    ug::MdlxAccess access;
    // Opening for reading leaves the content as it is.
    if (!access.Open(const_cast<ug::MdlxZipMemFile*>(model->internal_mdlxZipMemFile()), ug::MdlxAccess::READ)) return nullptr;
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

bool SnapshotPictures::jpegBytesOf(const Image* image, std::vector<unsigned char>* jpeg, Problems* problems) {
    if (!jpeg || !image || image->byteCount() == 0) {
        problems->error(ProblemCode::InvalidArgument, "Image object empty. No JPEG image created.");
        return false;
    }
    if (const std::vector<unsigned char>* source = image->sourceJpeg()) {
        *jpeg = *source;
        return true;
    }
    MkRGBImage rgb;
    if (!ug::Convert::toMkRGBImage(image, &rgb) || !MdlxImageJpeg::saveImageToMemory(rgb, jpeg) || jpeg->empty()) {
        problems->error(ProblemCode::UnreadablePicture, "Error encoding JPEG image");
        return false;
    }
    return true;
}

bool SnapshotPictures::saveImageAsJpeg(const Image* image, const std::string& fileName, Problems* problems) {
    // An image decoded from a JPEG still holds those bytes: writing them is
    // faster and loses nothing, where encoding again would degrade the picture.
    std::vector<unsigned char> bytes;
    if (!jpegBytesOf(image, &bytes, problems)) return false;
    const std::vector<unsigned char>* jpeg = &bytes;
    MkFile file(toMk(fileName), MkFile::WRITE);
    if (!file.Open()) {
        problems->error(ProblemCode::WriteFailed,
                        (lfw::String("Error opening file (%1)").arg(lfw::String(fileName))).toStdString());
        return false;
    }
    bool written = file.Write(jpeg->data(), jpeg->size(), 1) == 1;
    written = file.Close() && written;  // a buffered write may fail only here
    if (!written) {
        removePartialFile(fileName);
        problems->error(ProblemCode::WriteFailed,
                        (lfw::String("Error writing bytes to image file (%1)").arg(lfw::String(fileName))).toStdString());
        return false;
    }
    return true;
}

}  // namespace rep
}  // namespace kiv
