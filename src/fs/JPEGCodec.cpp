#include "fs/JPEGCodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace Vrenn {

namespace {
// More progressive scans than any sensible encoder writes; a file with more is
// refused, since each scan walks the whole coefficient buffer.
constexpr int kMaxScans = 1000;

// libjpeg's error manager, extended with a place to return to. Every error, and every
// warning about corrupt data, jumps back to decodeJpeg instead of ending the process.
struct ErrorManager {
    jpeg_error_mgr base; // first, so libjpeg's pointer to it is a pointer to this
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

ErrorManager& errorManagerOf(j_common_ptr info) {
    return *reinterpret_cast<ErrorManager*>(info->err);
}

[[noreturn]] void failWithMessage(j_common_ptr info) {
    ErrorManager& errors = errorManagerOf(info);
    info->err->format_message(info, errors.message);
    std::longjmp(errors.jump, 1);
}

void onError(j_common_ptr info) {
    failWithMessage(info);
}

// Level -1 is a warning. Warnings about corrupt data fail the read (the decoder would
// otherwise fill the damaged part with grey and carry on); the harmless ones about
// unknown marker versions do not. Trace messages (level >= 0) are ignored.
void onMessage(j_common_ptr info, int level) {
    if (level >= 0) return;
    const int code = info->err->msg_code;
    if (code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR || code == JWRN_BOGUS_ICC) return;
    failWithMessage(info);
}

void onProgress(j_common_ptr info) {
    if (!info->is_decompressor) return;
    const auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans) {
        std::snprintf(errorManagerOf(info).message, JMSG_LENGTH_MAX, "more than %d scans",
                      kMaxScans);
        std::longjmp(errorManagerOf(info).jump, 1);
    }
}

// Decodes into `out`, which the caller owns. Nothing in this function's frame needs
// destruction, so jumping back to the setjmp below skips no destructor; the Image is
// only touched through a call that returns before any further libjpeg call.
bool decodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, Image& out,
                char (&reason)[JMSG_LENGTH_MAX]) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.progress.progress_monitor = onProgress;
    errors.message[0] = '\0';

    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        std::memcpy(reason, errors.message, sizeof reason);
        return false;
    }
    jpeg_create_decompress(&info);
    info.progress = &errors.progress;
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    jpeg_calc_output_dimensions(&info);

    const int components = info.out_color_components;
    const uint64_t texels = uint64_t{info.output_width} * info.output_height;
    uint8_t* pixels = nullptr;
    if (components != 1 && components != 3) {
        std::snprintf(reason, sizeof reason,
                      "%d-channel pictures are not supported, only grey-scale and colour",
                      components);
    } else if (texels > maxPixels) {
        std::snprintf(reason, sizeof reason, "%ux%u texels are more than the limit of %llu",
                      info.output_width, info.output_height,
                      static_cast<unsigned long long>(maxPixels));
    } else {
        pixels = out.create(static_cast<int32_t>(info.output_width),
                            static_cast<int32_t>(info.output_height), 1,
                            static_cast<ImageFormat>(components), 1, 1);
        if (!pixels) std::snprintf(reason, sizeof reason, "out of memory for the pixels");
    }
    if (!pixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }

    jpeg_start_decompress(&info);
    const size_t stride = size_t{info.output_width} * static_cast<size_t>(components);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels + stride * info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}
} // namespace

bool JPEGCodec::save(const std::string&, Image&) {
    logMessage("JPEG: writing JPEG files is not supported\n");
    return false;
}

bool JPEGCodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const uint32_t start = file->tell();
    const uint32_t end = file->size();
    std::vector<uint8_t> bytes(end > start ? end - start : 0);
    bytes.resize(file->read(bytes.data(), static_cast<uint32_t>(bytes.size())));
    return decodeMemory(bytes.data(), bytes.size(), image);
}

bool JPEGCodec::encode(std::shared_ptr<File>&, Image&) {
    logMessage("JPEG: writing JPEG files is not supported\n");
    return false;
}

bool JPEGCodec::decodeMemory(const uint8_t* data, size_t size, Image& image) const {
    Image decoded;
    char reason[JMSG_LENGTH_MAX] = {};
    if (!decodeJpeg(data, size, m_maxPixels, decoded, reason)) {
        logFormat("JPEG: cannot decode: %s\n", reason);
        return false;
    }
    image = std::move(decoded);
    return true;
}

} // namespace Vrenn
