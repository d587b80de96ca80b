#pragma once

#include "fs/Codec.h"

#include <cstddef>
#include <cstdint>

namespace Vrenn {

// Radiance RGBE pictures (light probes, environment maps), read by default into four 8-bit
// channels: colour normalised by its largest component, intensity relative to the
// codec's luminance range in alpha (the program sets it from "max_env_lum"). Tools that
// need the light itself (probe projection) switch the codec to Output::Radiance: three
// 32-bit floats per texel, the values the file stores, unclamped. A picture shaped like a vertical
// cross (three faces wide, four high) becomes a six-face cube map. Writing is not supported.
class RGBECodec : public Codec {
public:
    explicit RGBECodec(std::string name = "hdr", float maxLuminance = 0.0f)
        : Codec(std::move(name)) {
        setMaxLuminance(maxLuminance);
    }

    // The luminance range that alpha 255 stands for; 0 stands for 32. It applies to
    // the next picture decoded. A range that is not a finite number of 0 or more (NaN,
    // negative, infinite) would make every picture black: it is refused with a log line
    // and 0 is used.
    void setMaxLuminance(float maxLuminance);
    float maxLuminance() const { return m_maxLuminance; }

    // What the next pictures decode into: Packed (FORMAT_RGBA8, as above) or Radiance
    // (FORMAT_RGB32F, red, green and blue as stored; the luminance range plays no part).
    enum class Output { Packed, Radiance };
    void setOutput(Output output) { m_output = output; }
    Output output() const { return m_output; }

    // Reads the header line by line (a "#?" signature line, "FORMAT=32-bit_rle_rgbe"
    // among the lines up to a blank one, the whole header within 64 KiB), then the
    // resolution line ("-Y <height> +X <width>" or another of the eight scan orders,
    // turned so that the image's first row is the picture's top) and the pixels after
    // it, flat or run-length encoded. False (image unchanged), with one log line, for a
    // header that is not so, sizes that are not positive or do not fit the data, and
    // corrupt run-length data.
    bool decode(std::shared_ptr<File>& file, Image& image) override;
    bool encode(std::shared_ptr<File>& file, Image& image) override;

    // Packs one pixel (red, green, blue mantissas and exponent) into red, green, blue
    // and alpha bytes for the luminance range maxLuminance (0 stands for 32).
    static void packPixel(const uint8_t rgbe[4], float maxLuminance, uint8_t out[4]);
    // Decodes width * height pixels from data into out (4 bytes each), packed for the
    // luminance range maxLuminance. Run-length
    // scan lines are used when 8 <= width <= 32767 and the data starts with a scan
    // line header (2, 2, width); otherwise the data is flat pixels. False when the data
    // is shorter than the lines need or the run-length data is corrupt.
    static bool decodePixels(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                             float maxLuminance, uint8_t* out);

    // One pixel's red, green and blue: mantissa * 2^(exponent - 136); exponent 0 is black.
    static void unpackPixel(const uint8_t rgbe[4], float out[3]);
    // As decodePixels, into 3 floats per pixel (unpackPixel).
    static bool decodeRadiance(const uint8_t* data, size_t size, uint32_t width, uint32_t height,
                               float* out);

private:
    float m_maxLuminance = 0.0f;
    Output m_output = Output::Packed;
};

} // namespace Vrenn
