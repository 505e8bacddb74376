#include "host/ug/MdlxImageJpeg.h"
#include <climits>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>

namespace {

// libjpeg reports errors through error_exit, which must not return; jumping back
// to the caller's setjmp turns every error into a false result instead of exit().
struct ErrorManager {
    jpeg_error_mgr pub;  // first member: libjpeg passes back a pointer to it
    jmp_buf jump;
};

void onError(j_common_ptr cinfo) { longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1); }

void onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;  // trace messages
    // Running out of data makes libjpeg pad the image with grey and carry on;
    // a truncated file must not pass for a readable picture.
    if (cinfo->err->msg_code == JWRN_JPEG_EOF) longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    cinfo->err->num_warnings++;
}

void silence(j_common_ptr) {}

// A progressive JPEG may hold any number of scans, each of which makes the
// decoder pass over the whole coefficient buffer; real pictures hold about ten.
const int kMaxScans = 100;

struct ScanLimit {
    jpeg_progress_mgr pub;  // first member, as above
};

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    const j_decompress_ptr d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        cinfo->err->msg_code = JERR_NOT_COMPILED;  // any code: the caller only sees the failure
        longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
    }
}

// Memory the decoder takes for the picture described by a read header: the RGB
// result, its working buffers, and for a progressive or multi-scan picture the whole
// coefficient buffer (64 two-byte coefficients per block of each component).
uint64_t decodeMemoryOf(const jpeg_decompress_struct& cinfo) {
    const uint64_t pixels = static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height;
    // Tables, row buffers and the like: a few megabytes at most, growing with the width.
    const uint64_t overhead = (uint64_t(4) << 20) + static_cast<uint64_t>(cinfo.image_width) * 4 * 64;
    uint64_t bytes = pixels * 3 + overhead;
    if (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components) {
        const uint64_t maxH = static_cast<uint64_t>(cinfo.max_h_samp_factor > 0 ? cinfo.max_h_samp_factor : 1);
        const uint64_t maxV = static_cast<uint64_t>(cinfo.max_v_samp_factor > 0 ? cinfo.max_v_samp_factor : 1);
        const uint64_t mcuColumns = (cinfo.image_width + 8 * maxH - 1) / (8 * maxH);
        const uint64_t mcuRows = (cinfo.image_height + 8 * maxV - 1) / (8 * maxV);
        for (int c = 0; c < cinfo.num_components; ++c) {
            const jpeg_component_info& component = cinfo.comp_info[c];
            bytes += mcuColumns * static_cast<uint64_t>(component.h_samp_factor) * mcuRows *
                     static_cast<uint64_t>(component.v_samp_factor) * DCTSIZE2 * sizeof(JCOEF);
        }
    }
    return bytes;
}

jpeg_error_mgr* setupErrors(ErrorManager* err) {
    jpeg_std_error(&err->pub);
    err->pub.error_exit = onError;
    err->pub.emit_message = onMessage;
    err->pub.output_message = silence;
    return &err->pub;
}

// Output into a std::vector. jpeg_mem_dest is not used because after an error
// half-way its caller cannot tell which buffer it still has to free.
struct VectorDestination {
    jpeg_destination_mgr pub;  // first member, as above
    std::vector<unsigned char>* out;
};

const size_t kChunk = 65536;

bool growTo(VectorDestination* d, size_t size) {
    try {
        d->out->resize(size);
    } catch (...) {
        return false;
    }
    return true;
}

void initDestination(j_compress_ptr cinfo) {
    VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    if (!growTo(d, kChunk)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    d->pub.next_output_byte = d->out->data();
    d->pub.free_in_buffer = d->out->size();
}

boolean emptyDestination(j_compress_ptr cinfo) {
    // Called when the whole buffer is full.
    VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    const size_t used = d->out->size();
    if (!growTo(d, used * 2)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    d->pub.next_output_byte = d->out->data() + used;
    d->pub.free_in_buffer = d->out->size() - used;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    VectorDestination* d = reinterpret_cast<VectorDestination*>(cinfo->dest);
    d->out->resize(d->out->size() - d->pub.free_in_buffer);
}

bool encode(const MkRGBImage& image, std::vector<unsigned char>* jpeg, int quality) {
    std::vector<unsigned char> bytes;
    jpeg_compress_struct cinfo;
    ErrorManager err;
    VectorDestination dest;
    std::memset(&cinfo, 0, sizeof cinfo);
    std::memset(&dest, 0, sizeof dest);
    dest.out = &bytes;
    dest.pub.init_destination = initDestination;
    dest.pub.empty_output_buffer = emptyDestination;
    dest.pub.term_destination = termDestination;
    cinfo.err = setupErrors(&err);
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    cinfo.dest = &dest.pub;
    cinfo.image_width = static_cast<JDIMENSION>(image.GetWidth());
    cinfo.image_height = static_cast<JDIMENSION>(image.GetHeight());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(image.GetWidth()) * 3;
    // libjpeg's row type is not const, but it only reads the rows.
    unsigned char* pixels = const_cast<unsigned char*>(image.GetData());
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = pixels + cinfo.next_scanline * stride;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    jpeg->swap(bytes);
    return true;
}

// Adobe's CMYK JPEGs store inverted ink values; plain ones store the ink itself.
void cmykToRgb(const unsigned char* cmyk, unsigned char* rgb, size_t pixels, bool inverted) {
    for (size_t i = 0; i < pixels; ++i, cmyk += 4, rgb += 3) {
        unsigned c = cmyk[0], m = cmyk[1], y = cmyk[2], k = cmyk[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        rgb[0] = static_cast<unsigned char>(c * k / 255);
        rgb[1] = static_cast<unsigned char>(m * k / 255);
        rgb[2] = static_cast<unsigned char>(y * k / 255);
    }
}

// Decodes into image, at 1/scale of the picture's size (1, 2, 4 or 8).
bool decode(const unsigned char* data, size_t size, MkRGBImage* image, uint64_t maxMemory, unsigned scale = 1) {
    std::vector<unsigned char> cmykRow;  // before setjmp: a jump back must not skip its destructor
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = setupErrors(&err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        image->Clear();
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) ERREXIT(&cinfo, JERR_NO_IMAGE);
    // Refuse absurd sizes before anything is allocated for them.
    const uint64_t pixels = static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height;
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > 65535 || cinfo.image_height > 65535 ||
        pixels > (uint64_t(1) << 28))
        ERREXIT(&cinfo, JERR_IMAGE_TOO_BIG);
    if (maxMemory > 0) {
        if (decodeMemoryOf(cinfo) > maxMemory) ERREXIT(&cinfo, JERR_IMAGE_TOO_BIG);
        // Should the header estimate miss a buffer, the decoder still stops at the limit.
        cinfo.mem->max_memory_to_use = static_cast<long>(maxMemory > static_cast<uint64_t>(LONG_MAX) ? LONG_MAX : maxMemory);
    }
    ScanLimit progress;
    std::memset(&progress, 0, sizeof progress);
    progress.pub.progress_monitor = onProgress;
    cinfo.progress = &progress.pub;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    cinfo.scale_num = 1;
    cinfo.scale_denom = scale;
    jpeg_start_decompress(&cinfo);
    if (cinfo.output_components != (cmyk ? 4 : 3)) ERREXIT(&cinfo, JERR_CONVERSION_NOTIMPL);
    if (!image->SetSize(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height)))
        ERREXIT(&cinfo, JERR_OUT_OF_MEMORY);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    if (cmyk) cmykRow.resize(static_cast<size_t>(cinfo.output_width) * 4);
    while (cinfo.output_scanline < cinfo.output_height) {
        unsigned char* target = image->GetData() + cinfo.output_scanline * stride;
        JSAMPROW row = cmyk ? cmykRow.data() : target;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) ERREXIT(&cinfo, JERR_INPUT_EOF);
        if (cmyk) cmykToRgb(cmykRow.data(), target, cinfo.output_width, cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool MdlxImageJpeg::saveImageToMemory(const MkRGBImage& image, std::vector<unsigned char>* jpeg, int quality) {
    if (!jpeg) return false;
    const long long expected = static_cast<long long>(image.GetWidth()) * image.GetHeight() * 3;
    if (image.GetNumImageBytes() == 0 || image.GetNumImageBytes() != expected) return false;
    if (quality < 1) quality = 1;
    if (quality > 100) quality = 100;
    return encode(image, jpeg, quality);
}

bool MdlxImageJpeg::loadImageFromMemory(const std::vector<unsigned char>& jpeg, MkRGBImage* image) {
    return loadImageFromMemory(jpeg.data(), jpeg.size(), image);
}

bool MdlxImageJpeg::loadImageFromMemory(const unsigned char* jpeg, size_t size, MkRGBImage* image) {
    return loadImageFromMemory(jpeg, size, image, 0);
}

bool MdlxImageJpeg::loadImageFromMemory(const unsigned char* jpeg, size_t size, MkRGBImage* image, uint64_t maxMemory) {
    if (!image) return false;
    image->Clear();
    if (!jpeg || size == 0) return false;
    return decode(jpeg, size, image, maxMemory);
}

bool MdlxImageJpeg::checkDecodes(const unsigned char* jpeg, size_t size, uint64_t maxMemory) {
    MkRGBImage small;
    return jpeg && size > 0 && decode(jpeg, size, &small, maxMemory, 8);
}

uint64_t MdlxImageJpeg::decodeMemory(const unsigned char* jpeg, size_t size, unsigned* width, unsigned* height) {
    if (width) *width = 0;
    if (height) *height = 0;
    if (!jpeg || size == 0) return 0;
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = setupErrors(&err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return 0;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg, static_cast<unsigned long>(size));
    uint64_t bytes = 0;
    if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
        bytes = decodeMemoryOf(cinfo);
        if (width) *width = cinfo.image_width;
        if (height) *height = cinfo.image_height;
    }
    jpeg_destroy_decompress(&cinfo);
    return bytes;
}
