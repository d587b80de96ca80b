// Feeds arbitrary bytes to the configuration reader and writes the result back.
#include "config/CVar.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Vrenn::CVarManager vars;
    vars.LoadConfigText(std::string(reinterpret_cast<const char*>(data), size));
    for (const auto& [name, var] : vars.vars()) {
        if (name.empty()) __builtin_trap(); // an empty name is never added
        (void)vars.GetFloat(name);
    }
    return 0;
}
