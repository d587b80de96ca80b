#include "fs/PNGCodec.h"

#include "core/Log.h"
#include "fs/Image.h"

#include <algorithm>
#include <cctype>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <png.h>
#include <vector>

namespace Vrenn {

namespace {
constexpr size_t kReasonLength = 200;
// The most bytes deflate can make of one compressed byte: a 258-byte match takes 2 bits.
constexpr uint64_t kDeflateMostExpansion = 1032;

// Where libpng's errors go: the message is kept and the read jumps back to decodePng
// instead of ending the process. The bytes are read from memory through the same
// structure.
struct ReadState {
    std::jmp_buf jump;
    char message[kReasonLength];
    const uint8_t* data;
    size_t size;
    size_t offset;
};

ReadState& stateOf(png_structp png) {
    return *static_cast<ReadState*>(png_get_error_ptr(png));
}

[[noreturn]] void onError(png_structp png, png_const_charp message) {
    ReadState& state = stateOf(png);
    std::snprintf(state.message, sizeof state.message, "%s", message ? message : "unknown error");
    std::longjmp(state.jump, 1);
}

// Warnings (ancillary chunks with bad checksums, which are dropped, or dubious colour
// profiles) do not touch the pixels and do not fail the read.
void onWarning(png_structp, png_const_charp) {}

void readBytes(png_structp png, png_bytep out, size_t length) {
    ReadState& state = stateOf(png);
    if (length > state.size - state.offset) {
        char message[kReasonLength];
        std::snprintf(message, sizeof message,
                      "the file ends at byte %zu, %zu bytes short of the next read", state.size,
                      length - (state.size - state.offset));
        png_error(png, message);
    }
    std::memcpy(out, state.data + state.offset, length);
    state.offset += length;
}

// Decodes into `out`, which the caller owns. Nothing in this function's frame needs
// destruction, so jumping back to the setjmp below skips no destructor; the Image is
// only touched through a call that returns before any further libpng call. A long jump
// can happen only after png and info are set, which setjmp sees as volatile.
bool decodePng(const uint8_t* data, size_t size, uint64_t maxPixels, Image& out,
               char (&reason)[kReasonLength]) {
    ReadState state;
    state.message[0] = '\0';
    state.data = data;
    state.size = size;
    state.offset = 0;
    if (size < 8 || png_sig_cmp(data, 0, 8) != 0) {
        std::snprintf(reason, sizeof reason, "the file does not start with the PNG signature");
        return false;
    }
    // The decoder reserves a chunk's whole length before reading it: a length field larger
    // than what the file holds would have it reserve gigabytes for a file of bytes. The
    // compressed pixel data is counted on the way, to check the picture's size against it.
    uint64_t compressedBytes = 0;
    for (size_t at = 8; at + 8 <= size;) {
        const uint64_t length = uint64_t{data[at]} << 24 | uint64_t{data[at + 1]} << 16 |
                                uint64_t{data[at + 2]} << 8 | uint64_t{data[at + 3]};
        char type[5];
        for (size_t i = 0; i < 4; ++i)
            type[i] = std::isalpha(data[at + 4 + i]) ? char(data[at + 4 + i]) : '?';
        type[4] = '\0';
        if (length + 12 > size - at) {
            std::snprintf(reason, sizeof reason,
                          "the %s chunk at byte %zu needs %llu bytes (%llu of data), but only %zu "
                          "are left: the file is %llu byte%s short",
                          type, at, static_cast<unsigned long long>(length + 12),
                          static_cast<unsigned long long>(length), size - at,
                          static_cast<unsigned long long>(length + 12 - (size - at)),
                          length + 12 - (size - at) == 1 ? "" : "s");
            return false;
        }
        if (std::memcmp(type, "IEND", 4) == 0) break; // what follows is not read
        if (std::memcmp(type, "IDAT", 4) == 0) compressedBytes += length;
        at += size_t(length) + 12;
    }
    png_structp volatile png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, onError, onWarning);
    png_infop volatile info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_structp pngToFree = png;
        png_destroy_read_struct(pngToFree ? &pngToFree : nullptr, nullptr, nullptr);
        std::snprintf(reason, sizeof reason, "out of memory for the decoder");
        return false;
    }
    if (setjmp(state.jump)) {
        png_structp pngToFree = png;
        png_infop infoToFree = info;
        png_destroy_read_struct(&pngToFree, &infoToFree, nullptr);
        std::memcpy(reason, state.message, sizeof reason);
        return false;
    }
    png_set_read_fn(png, nullptr, readBytes);
    // The texel count below is the limit that matters; the format's own is 2^31 - 1.
    png_set_user_limits(png, 0x7fffffff, 0x7fffffff);
    // Decompressed text is capped at libpng's usual 8 MB, or the file's size when larger.
    png_set_chunk_malloc_max(
        png, std::max<png_alloc_size_t>(png_alloc_size_t{size}, png_alloc_size_t{8} << 20));
    png_read_info(png, info);

    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colourType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
    const uint64_t texels = uint64_t{width} * height;
    if (texels > maxPixels) {
        std::snprintf(reason, sizeof reason, "%ux%u texels are more than the limit of %llu",
                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                      static_cast<unsigned long long>(maxPixels));
        png_structp pngToFree = png;
        png_infop infoToFree = info;
        png_destroy_read_struct(&pngToFree, &infoToFree, nullptr);
        return false;
    }

    // Deflate turns no more than 2 bits into 258 bytes, so the compressed data bounds the
    // picture: a file of bytes claiming a huge one is refused before the picture is allocated.
    const uint64_t rowBytes =
        (uint64_t{width} * png_get_channels(png, info) * uint64_t(bitDepth) + 7) / 8;
    const uint64_t mostBytes = (compressedBytes + 1) * kDeflateMostExpansion;
    if (rowBytes * height > mostBytes) {
        std::snprintf(reason, sizeof reason,
                      "%ux%u texels need %llu bytes of pixel data, more than its %llu bytes of "
                      "compressed data can hold",
                      static_cast<unsigned>(width), static_cast<unsigned>(height),
                      static_cast<unsigned long long>(rowBytes * height),
                      static_cast<unsigned long long>(compressedBytes));
        png_structp pngToFree = png;
        png_infop infoToFree = info;
        png_destroy_read_struct(&pngToFree, &infoToFree, nullptr);
        return false;
    }

    // Everything to 8 bits per channel in 1, 3 or 4 channels.
    const bool transparentKey = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colourType == PNG_COLOR_TYPE_GRAY && bitDepth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (transparentKey) png_set_tRNS_to_alpha(png);
    if (bitDepth == 16) png_set_scale_16(png);
    if ((colourType == PNG_COLOR_TYPE_GRAY && transparentKey) ||
        colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const int channels = png_get_channels(png, info);
    const size_t stride = size_t{width} * static_cast<size_t>(channels);
    uint8_t* pixels = nullptr;
    if ((channels != 1 && channels != 3 && channels != 4) || png_get_bit_depth(png, info) != 8 ||
        png_get_rowbytes(png, info) != stride) {
        std::snprintf(reason, sizeof reason,
                      "colour type %d at %d bits cannot be turned into 8-bit grey, RGB or RGBA",
                      colourType, bitDepth);
    } else {
        const ImageFormat format = channels == 1   ? FORMAT_L8
                                   : channels == 3 ? FORMAT_RGB8
                                                   : FORMAT_RGBA8;
        pixels =
            out.create(static_cast<int32_t>(width), static_cast<int32_t>(height), 1, format, 1, 1);
        if (!pixels) std::snprintf(reason, sizeof reason, "out of memory for the pixels");
    }
    if (!pixels) {
        png_structp pngToFree = png;
        png_infop infoToFree = info;
        png_destroy_read_struct(&pngToFree, &infoToFree, nullptr);
        return false;
    }

    // Each pass of an interlaced file fills in more texels of the same rows, which
    // therefore go straight into the picture.
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, pixels + stride * y, nullptr);
    // The rest of the file, up to the end chunk, is checked too.
    png_read_end(png, nullptr);
    png_structp pngToFree = png;
    png_infop infoToFree = info;
    png_destroy_read_struct(&pngToFree, &infoToFree, nullptr);
    return true;
}
} // namespace

bool PNGCodec::decode(std::shared_ptr<File>& file, Image& image) {
    if (!file) return false;
    const std::vector<uint8_t> bytes = file->readRest();
    return decodeMemory(bytes.data(), bytes.size(), image);
}

bool PNGCodec::encode(std::shared_ptr<File>&, Image&) {
    logMessage("PNG: writing is not supported, only reading\n");
    return false;
}

bool PNGCodec::decodeMemory(const uint8_t* data, size_t size, Image& image) const {
    Image decoded;
    char reason[kReasonLength] = {};
    if (!decodePng(data, size, m_maxPixels, decoded, reason)) {
        logFormat("PNG: cannot decode: %s\n", reason);
        return false;
    }
    image = std::move(decoded);
    return true;
}

} // namespace Vrenn
