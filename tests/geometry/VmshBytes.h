#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace Vrenn::Test {

// Builds vmsh file images byte by byte, straight from the format's layout, so tests do
// not depend on the saver to make their input.
class VmshBytes {
public:
    VmshBytes& u32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    VmshBytes& f32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        return u32(v);
    }
    VmshBytes& floats(std::initializer_list<float> values) {
        for (float f : values)
            f32(f);
        return *this;
    }
    VmshBytes& indices(std::initializer_list<uint32_t> values) {
        for (uint32_t v : values)
            u32(v);
        return *this;
    }
    VmshBytes& raw(const std::string& text) {
        bytes += text;
        return *this;
    }
    // "vmsh" and the surface count.
    VmshBytes& fileHeader(uint32_t surfaces) { return raw("vmsh").u32(surfaces); }
    // The 140-byte surface header; each name is written into its own 64-byte field
    // (cut or zero-padded to exactly 64 bytes).
    VmshBytes& surfaceHeader(const std::string& firstName, const std::string& name,
                             uint32_t vertices, uint32_t indexCount, uint32_t elements) {
        bytes += field(firstName);
        bytes += field(name);
        return u32(vertices).u32(indexCount).u32(elements);
    }
    VmshBytes& element(uint32_t stream, uint32_t usage, uint32_t usageIndex, uint32_t type,
                       uint32_t count, uint32_t offset) {
        return u32(stream).u32(usage).u32(usageIndex).u32(type).u32(count).u32(offset);
    }

    std::string bytes;

private:
    static std::string field(const std::string& name) {
        std::string f = name.substr(0, 64);
        f.resize(64, '\0');
        return f;
    }
};

// Byte offset of a 32-bit field, for patching images.
inline void patchU32(std::string& bytes, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace Vrenn::Test
