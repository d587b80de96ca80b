#include "render/ScreenShot.h"

#include "fs/AtomicFile.h"
#include "fs/FileSystem.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

// libjpeg's header needs the C library's FILE and size_t first.
#include <jpeglib.h>

namespace Vrenn {

namespace {
bool nameTaken(const std::string& name) {
    return openDataFile(name, false) != nullptr;
}

// libjpeg reports errors through error_exit, which by default ends the process;
// this one jumps back to the encoder instead.
struct JpegErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void onJpegError(j_common_ptr info) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

void silenceJpegMessage(j_common_ptr) {}

// Compresses into a buffer that libjpeg allocates; the caller frees *out. Holds no
// C++ objects across the setjmp, so the long jump skips no destructor.
bool compressJpeg(const uint8_t* rgb, int32_t width, int32_t height, int quality,
                  unsigned char** out, unsigned long* outSize) {
    jpeg_compress_struct info{};
    JpegErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = onJpegError;
    errors.base.output_message = silenceJpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, outSize);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + info.next_scanline * stride);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}
} // namespace

std::string nextScreenShotName() {
    char name[16];
    for (int n = 0; n <= 9999; ++n) {
        std::snprintf(name, sizeof name, "shot%04d.jpg", n);
        if (!nameTaken(name)) break;
    }
    return name;
}

bool writeJpeg(const std::string& fileName, const uint8_t* rgba, int32_t width, int32_t height,
               int quality) {
    if (!rgba || width <= 0 || height <= 0 || width > 65500 || height > 65500) return false;
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (size_t i = 0, n = rgb.size() / 3; i < n; ++i) {
        rgb[i * 3 + 0] = rgba[i * 4 + 0];
        rgb[i * 3 + 1] = rgba[i * 4 + 1];
        rgb[i * 3 + 2] = rgba[i * 4 + 2];
    }
    unsigned char* encoded = nullptr;
    unsigned long encodedSize = 0;
    const bool compressed =
        compressJpeg(rgb.data(), width, height, quality, &encoded, &encodedSize);
    bool written = false;
    if (compressed && encodedSize > 0 && encodedSize <= UINT32_MAX) {
        AtomicFile file(fileName);
        if (file.isOpen()) {
            const auto size = static_cast<uint32_t>(encodedSize);
            written = file.file()->write(encoded, size) == size && file.commit();
        }
    }
    std::free(encoded);
    return written;
}

} // namespace Vrenn
