// Runs every tokenizer scan over arbitrary text; the first byte picks the mix.
#include "config/Tokenizer.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t mode = data[0];
    Vrenn::Tokenizer tokens;
    tokens.LoadText(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
    for (int step = 0; step < 4096; ++step) {
        bool more = true;
        switch ((mode >> (2 * (step % 4))) & 3) {
        case 0: more = tokens.NextWord(); break;
        case 1: more = tokens.NextToken(); break;
        case 2: tokens.SkipTo("\"") ? (void)tokens.ReadUntil("\"") : tokens.SkipLine(); break;
        default: more = tokens.NextToken(); tokens.SkipLine(); break;
        }
        if (tokens.cursor() > tokens.length() || tokens.tokenStart() > tokens.length())
            __builtin_trap();
        (void)tokens.Token();
        if (!more) break;
    }
    return 0;
}
