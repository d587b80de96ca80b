#pragma once

#include "core/Singleton.h"
#include "render/Effect.h"
#include "core/Registry.h"

#include <memory>
#include <string>

namespace Vrenn {

// Compiles effects from files or text and keeps them by name: a file's effect under
// the file name (a name already taken keeps its first effect, and the new one is
// still returned), text under a generated name.
class ShaderMgr : public Singleton<ShaderMgr>, public RegistryOwner<Effect> {
public:
    ShaderMgr() = default;
    virtual ~ShaderMgr();

    // Empty on failure, with the reason in the log.
    virtual std::shared_ptr<Effect> loadEffect(const std::string& fileName) = 0;
    virtual std::shared_ptr<Effect> createEffect(const std::string& source) = 0;
};

} // namespace Vrenn
