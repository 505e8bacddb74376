#pragma once
// The pictures of snapshots as reports use them: a model's stored preview, JPEG
// bytes and JPEG files. Stateless.
#include <string>
#include "impl/common/ReportBudget.h"
#include <vector>

namespace kiv {
class Image;
namespace ug {
class MdlxMemoryFile;
}

namespace rep {

class SnapshotPictures {
public:
    SnapshotPictures() = delete;

    // The preview image stored with the model's first case, as a new image with
    // no reference taken (the caller owns it), or null.
    static Image* snapshotFromMemoryFile(const ug::MdlxMemoryFile* model);
    // The same, charging the stored preview's declared size and its decode to the
    // budget before either happens; a preview larger than the budget's rest (or
    // than 256 MiB) is not read. Null, with the error reported to the budget's
    // problems, when the model holds no readable preview.
    static Image* snapshotFromMemoryFile(const ug::MdlxMemoryFile* model, ReportBudget* budget);
    // Writes the image as a JPEG file; on failure reports, returns false and leaves no file.
    static bool saveImageAsJpeg(const Image* image, const std::string& fileName, Problems* problems);
    // The JPEG bytes of an image: those it was decoded from when it still holds
    // them, else a new encoding. False, with the error reported, for an empty image.
    static bool jpegBytesOf(const Image* image, std::vector<unsigned char>* jpeg, Problems* problems);
};

}  // namespace rep
}  // namespace kiv
