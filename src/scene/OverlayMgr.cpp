#include "scene/OverlayMgr.h"

#include "scene/Material.h"

namespace Vrenn {

OverlayMgr::~OverlayMgr() {
    m_registry.clear();
}

std::shared_ptr<Overlay> OverlayMgr::createOverlay(std::shared_ptr<Material> material) {
    auto overlay = std::make_shared<Overlay>();
    if (material) overlay->setMaterial(material->getName(), material);
    m_registry.add(m_registry.generateName(), overlay);
    return overlay;
}

std::shared_ptr<Font> OverlayMgr::createFont(std::shared_ptr<Material> material) {
    auto font = std::make_shared<Font>(kFontLineHeight);
    if (material) font->setMaterial(material->getName(), material);
    m_registry.add(m_registry.generateName(), font);
    return font;
}

} // namespace Vrenn
