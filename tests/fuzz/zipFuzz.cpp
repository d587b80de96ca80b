// Opens arbitrary bytes as a zip archive and reads every member it names.
#include "fs/ZipFile.h"

#include <minizip/unzip.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = "fuzz_zip_" + std::to_string(::getpid()) + ".zip";
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return 0;
    std::fwrite(data, 1, size, out);
    std::fclose(out);

    // List the member names with minizip, then open each through ZipFile.
    std::vector<std::string> names;
    if (unzFile zip = unzOpen64(path.c_str())) {
        for (int status = unzGoToFirstFile(zip); status == UNZ_OK && names.size() < 16;
             status = unzGoToNextFile(zip)) {
            char name[256] = {};
            if (unzGetCurrentFileInfo64(zip, nullptr, name, sizeof name - 1, nullptr, 0, nullptr,
                                        0) == UNZ_OK)
                names.emplace_back(name);
        }
        unzClose(zip);
    }
    Vrenn::ZipFile file(path);
    std::vector<uint8_t> buffer(4096);
    for (const auto& name : names) {
        if (!file.open(name)) continue;
        while (file.read(buffer.data(), static_cast<uint32_t>(buffer.size())) > 0) {}
    }
    file.open("missing member");
    std::remove(path.c_str());
    return 0;
}
