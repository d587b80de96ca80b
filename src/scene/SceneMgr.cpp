#include "scene/SceneMgr.h"

#include "core/Log.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/ModelLoaderFactory.h"
#include "geometry/Surface.h"
#include "render/Renderer.h"
#include "scene/MaterialMgr.h"
#include "scene/OverlayMgr.h"
#include "scene/SceneModelObjects.h"
#include "scene/SkyBox.h"

namespace Vrenn {

SceneMgr::SceneMgr() = default;

SceneMgr::~SceneMgr() {
    ShutDown();
}

void SceneMgr::Initialize(std::shared_ptr<Renderer> renderer) {
    logMessage("SceneMgr::Initialize\n");
    m_shutDown = false;
    m_materials = std::make_shared<MaterialMgr>(renderer ? renderer->shaderMgr() : nullptr,
                                                renderer ? renderer->textureManager() : nullptr);
    m_renderer = std::move(renderer);
    m_objects = std::make_shared<SceneModelObjects>(*this);
    m_meshLoader = ModelLoaderFactory::createDefault(m_objects);
    m_overlays = std::make_shared<OverlayMgr>();
    logMessage("Scene Manager Initialized\n");
}

void SceneMgr::ShutDown() {
    if (m_shutDown) return;
    m_shutDown = true;
    m_camera.reset();
    m_visible.clear();
    m_sceneSurfaces.clear();
    m_cameras.clear();
    m_lights.clear();
    m_surfaces.clear();
    m_entities.clear();
    m_materials.reset();
    m_meshLoader.reset();
    m_objects.reset();
    m_overlays.reset();
    m_renderer.reset();
    logMessage("SceneMgr::ShutDown\n");
}

std::shared_ptr<Camera> SceneMgr::createCamera(const std::string& name, const Vec3& position,
                                               const Quaternion& orientation) {
    if (auto existing = m_cameras.find(name)) return existing;
    auto camera = std::make_shared<Camera>(name, position, orientation, m_renderer);
    m_cameras.add(name, camera);
    return camera;
}

std::shared_ptr<Entity> SceneMgr::createEntity(std::shared_ptr<Mesh> mesh,
                                               std::shared_ptr<Material> material) {
    const std::string name = m_entities.generateName();
    auto entity = std::make_shared<Entity>(name, std::move(mesh), std::move(material));
    m_entities.add(name, entity);
    return entity;
}

std::shared_ptr<Mesh> SceneMgr::buildMesh(const GeometryBuilder& build, const Vec3& size) {
    if (!build) return nullptr;
    auto mesh = m_objects ? m_objects->createMesh() : std::make_shared<Mesh>();
    if (!mesh || !build(*mesh, size)) return nullptr;
    if (m_objects) m_objects->uploadMesh(mesh);
    return mesh;
}

std::shared_ptr<Entity> SceneMgr::createEntity(const GeometryBuilder& build, const Vec3& size,
                                               std::shared_ptr<Material> material) {
    return createEntity(buildMesh(build, size), std::move(material));
}

std::shared_ptr<Surface> SceneMgr::createSurface() {
    auto surface = std::make_shared<Surface>();
    m_surfaces.add(m_surfaces.generateName(), surface);
    return surface;
}

std::shared_ptr<Surface> SceneMgr::createSurface(const ModelLoaderFunction& load,
                                                 const std::string& argument) {
    auto surface = createSurface();
    if (load) surface->setModel(load(argument));
    return surface;
}

std::shared_ptr<SkyBox> SceneMgr::createSkyBox(float size) {
    auto sky = std::make_shared<SkyBox>(size);
    if (auto mesh = buildMesh(boxBuilder(BoxFacing::Inward), {size, size, size}))
        sky->setMesh(std::move(mesh));
    else
        logFormat("SceneMgr::createSkyBox: size %g gives no cube; the sky box stays empty\n",
                  double(size));
    m_surfaces.add(m_surfaces.generateName(), sky);
    return sky;
}

void SceneMgr::addToScene(std::shared_ptr<Surface> surface) {
    if (surface) m_sceneSurfaces.push_back(std::move(surface));
}

void SceneMgr::cull() {
    if (!m_camera) return;
    m_visible.clear();
    const ViewVolume& volume = m_camera->viewVolume();
    // An empty box (a surface without geometry) has nothing to test and is kept.
    const auto seen = [&](const BoundingBox& box) {
        return box.isEmpty() || volume.intersects(box);
    };
    for (const auto& surface : m_sceneSurfaces) {
        if (!seen(surface->bounds())) continue;
        if (!surface->model()) {
            m_visible.push_back({surface, surface});
            continue;
        }
        for (const auto& part : surface->model()->surfaces())
            if (part && seen(part->bounds())) m_visible.push_back({part, surface});
    }
}

} // namespace Vrenn
