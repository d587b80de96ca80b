#pragma once

#include "core/Singleton.h"
#include "core/Registry.h"
#include "scene/Font.h"

#include <memory>

namespace Vrenn {

class Material;

// Makes overlays and fonts and keeps them under generated names ("gen_" and a
// counter shared by both).
class OverlayMgr : public Singleton<OverlayMgr>, public RegistryOwner<Overlay> {
public:
    // Line height of the fonts it makes: 30 lines to the screen.
    static constexpr float kFontLineHeight = 1.0f / 30.0f;

    OverlayMgr() = default;
    ~OverlayMgr();

    std::shared_ptr<Overlay> createOverlay(std::shared_ptr<Material> material = {});
    std::shared_ptr<Font> createFont(std::shared_ptr<Material> material = {});
};

} // namespace Vrenn
