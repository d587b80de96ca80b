#pragma once

#include <cstdint>
#include <string>

namespace Vrenn {

// The first name of the series "shot0000.jpg" to "shot9999.jpg" that no file has
// (looked up through the file system when one exists) and that names nothing on disk, not
// even a symbolic link leading nowhere; empty when every name is taken,
// so that no screenshot replaces an earlier one.
std::string nextScreenShotName();

// Writes RGBA pixels (top row first; alpha ignored) through the JPEG codec at the
// given quality (1 to 100). The file is written to a temporary name and renamed, so a
// failure leaves any previous file whole. False on failure, with the reason in why
// when given (the system's words where a write failed). A fileName that is a symbolic link
// is refused: the picture would land wherever the link leads.
bool writeJpeg(const std::string& fileName, const uint8_t* rgba, int32_t width, int32_t height,
               int quality, std::string* why = nullptr);

} // namespace Vrenn
