#include "fs/JPEGCodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

// jpeglib.h needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

namespace Vrenn {

namespace {
// More progressive scans than any sensible encoder writes; a file with more is
// refused, since each scan walks the whole coefficient buffer.
constexpr int kMaxScans = 1000;

// The largest width or height the format holds.
constexpr int kMaxDimension = 65500;

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

// The memory a picture read in several scans (progressive, or one component per scan)
// takes for its coefficients: libjpeg keeps every block of every component, each
// component's rows and columns of blocks rounded up to whole sampling units, until the
// last scan is read. Valid once the header is read.
uint64_t coefficientBytes(const jpeg_decompress_struct& info) {
    uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const auto roundUp = [](uint64_t value, int unit) {
            const auto step = static_cast<uint64_t>(unit > 0 ? unit : 1);
            return (value + step - 1) / step * step;
        };
        bytes += roundUp(component.width_in_blocks, component.h_samp_factor) *
                 roundUp(component.height_in_blocks, component.v_samp_factor) * sizeof(JBLOCK);
    }
    return bytes;
}

// A memory size for messages: bytes below 1 MiB, whole MiB (rounded up) from there.
struct MemorySize {
    char text[32];
    explicit MemorySize(uint64_t bytes) {
        const auto count = static_cast<unsigned long long>(bytes);
        if (bytes < (1u << 20))
            std::snprintf(text, sizeof text, "%llu bytes", count);
        else
            std::snprintf(text, sizeof text, "%llu MiB", (count + (1u << 20) - 1) >> 20);
    }
};

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
bool decodeJpeg(const uint8_t* data, size_t size, uint64_t maxPixels, uint64_t maxMemory,
                Image& out, char (&reason)[JMSG_LENGTH_MAX]) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.progress.progress_monitor = onProgress;
    errors.message[0] = '\0';

    if (setjmp(errors.jump)) {
        // Beyond its memory limit the library asks for a backing store, which it has not.
        if (info.err->msg_code == JERR_NO_BACKING_STORE)
            std::snprintf(errors.message, JMSG_LENGTH_MAX,
                          "the decoder needs more memory than the limit of %s",
                          MemorySize(maxMemory).text);
        jpeg_destroy_decompress(&info);
        std::memcpy(reason, errors.message, sizeof reason);
        return false;
    }
    jpeg_create_decompress(&info);
    // The library's own allocations stay within the limit too (a picture that would
    // need more fails the read).
    info.mem->max_memory_to_use =
        static_cast<long>(std::min<uint64_t>(maxMemory, std::numeric_limits<long>::max()));
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
    } else if (jpeg_has_multiple_scans(&info) && coefficientBytes(info) > maxMemory) {
        // Refused before anything is allocated for it: a small file can claim a size
        // whose coefficients alone would take gigabytes.
        std::snprintf(reason, sizeof reason,
                      "a %ux%u picture in several scans needs %s of decoder memory, more "
                      "than the limit of %s",
                      info.image_width, info.image_height, MemorySize(coefficientBytes(info)).text,
                      MemorySize(maxMemory).text);
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

// Compresses width x height pixels of `channels` 8-bit channels (1: grey, 3: RGB,
// 4: RGBA, whose alpha is dropped) into a buffer that libjpeg allocates; the caller
// frees *out, also after a failure. row is scratch for one RGB row, owned by the
// caller: nothing in this frame needs destruction, so the long jump skips no
// destructor.
bool encodeJpeg(const uint8_t* pixels, uint32_t width, uint32_t height, int channels, int quality,
                uint8_t* row, unsigned char** out, unsigned long* outSize,
                char (&reason)[JMSG_LENGTH_MAX]) {
    jpeg_compress_struct info;
    ErrorManager errors;
    std::memset(&info, 0, sizeof info);
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onError;
    errors.base.emit_message = onMessage;
    errors.message[0] = '\0';

    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::memcpy(reason, errors.message, sizeof reason);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = width;
    info.image_height = height;
    info.input_components = channels == 1 ? 1 : 3;
    info.in_color_space = channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = size_t{width} * static_cast<size_t>(channels);
    while (info.next_scanline < info.image_height) {
        const uint8_t* source = pixels + stride * info.next_scanline;
        JSAMPROW line = const_cast<JSAMPROW>(source);
        if (channels == 4) {
            for (uint32_t x = 0; x < width; ++x)
                std::memcpy(row + size_t{x} * 3, source + size_t{x} * 4, 3);
            line = row;
        }
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
} // namespace

bool JPEGCodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const std::vector<uint8_t> bytes = file->readRest();
    return decodeMemory(bytes.data(), bytes.size(), image);
}

bool JPEGCodec::encode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const int channels = image.format() == FORMAT_L8      ? 1
                         : image.format() == FORMAT_RGB8  ? 3
                         : image.format() == FORMAT_RGBA8 ? 4
                                                          : 0;
    if (channels == 0) {
        logFormat("JPEG: format %d cannot be written, only 8-bit grey, RGB and RGBA\n",
                  static_cast<int>(image.format()));
        return false;
    }
    if (image.faces() != 1 || image.depth() > 1) {
        logFormat("JPEG: %d faces and depth %d cannot be written, only a flat picture\n",
                  image.faces(), image.depth());
        return false;
    }
    if (image.width() <= 0 || image.height() <= 0 || image.width() > kMaxDimension ||
        image.height() > kMaxDimension) {
        logFormat("JPEG: %dx%d pixels cannot be written (1 to %d each way)\n", image.width(),
                  image.height(), kMaxDimension);
        return false;
    }
    const auto width = static_cast<uint32_t>(image.width());
    const auto height = static_cast<uint32_t>(image.height());
    const uint8_t* pixels = image.getFaceData(0, 0);
    if (!pixels || image.byteCount() < size_t{width} * height * static_cast<size_t>(channels)) {
        logMessage("JPEG: the image holds no pixel data\n");
        return false;
    }
    std::vector<uint8_t> row(size_t{width} * 3);
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    char reason[JMSG_LENGTH_MAX] = {};
    const bool compressed = encodeJpeg(pixels, width, height, channels, m_quality, row.data(),
                                       &encoded, &encodedSize, reason);
    bool written = false;
    if (!compressed) {
        logFormat("JPEG: cannot encode: %s\n", reason);
    } else if (encodedSize > UINT32_MAX) {
        logMessage("JPEG: the encoded picture is larger than 4 GiB\n");
    } else {
        const auto size = static_cast<uint32_t>(encodedSize);
        written = file->write(encoded, size) == size;
        if (!written) logMessage("JPEG: writing the encoded picture failed\n");
    }
    std::free(encoded);
    return written;
}

bool JPEGCodec::decodeMemory(const uint8_t* data, size_t size, Image& image) const {
    Image decoded;
    char reason[JMSG_LENGTH_MAX] = {};
    if (!decodeJpeg(data, size, m_maxPixels, m_maxDecoderMemory, decoded, reason)) {
        logFormat("JPEG: cannot decode: %s\n", reason);
        return false;
    }
    image = std::move(decoded);
    return true;
}

} // namespace Vrenn
