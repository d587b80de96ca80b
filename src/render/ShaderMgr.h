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
class ShaderMgr : public Singleton<ShaderMgr> {
public:
    ShaderMgr() = default;
    virtual ~ShaderMgr();

    virtual void remove(const std::shared_ptr<Effect>& effect);
    virtual void remove(const std::string& name);
    virtual void removeAll();
    // Empty on failure, with the reason in the log.
    virtual std::shared_ptr<Effect> loadEffect(const std::string& fileName) = 0;
    virtual std::shared_ptr<Effect> createEffect(const std::string& source) = 0;

    std::shared_ptr<Effect> find(const std::string& name) const { return m_registry.find(name); }
    const Registry<Effect>::Map& effects() const { return m_registry.entries(); }

protected:
    Registry<Effect> m_registry;
};

} // namespace Vrenn
