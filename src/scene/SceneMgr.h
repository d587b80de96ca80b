#pragma once

#include "core/Singleton.h"
#include "core/Registry.h"
#include "geometry/BoxBuilder.h"
#include "scene/Camera.h"
#include "scene/Entity.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class MaterialMgr;
class Model;
class ModelLoaderFactory;
class OverlayMgr;
class Renderer;
class SceneModelObjects;
class SkyBox;
class Surface;

// One thing to draw after culling: a part of a placed surface (one of its model's
// surfaces, or the surface itself when it carries no model) and the surface it
// belongs to.
struct DrawItem {
    std::shared_ptr<Surface> part;
    std::shared_ptr<Surface> owner;
};

// Owns everything a scene is made of: the material manager, the model loaders
// (which build through the scene, so loaded materials resolve), the overlay
// manager, and registries of
// cameras, lights, surfaces (sky boxes among them) and entities. Objects made without
// a name get "gen_" and a counter: one counter for surfaces and sky boxes, one for
// entities.
class SceneMgr : public Singleton<SceneMgr> {
public:
    using ModelLoaderFunction = std::function<std::shared_ptr<Model>(const std::string&)>;

    SceneMgr();
    virtual ~SceneMgr();

    virtual void Initialize(std::shared_ptr<Renderer> renderer);
    // Releases the camera, the registries and the managers, then logs
    // "SceneMgr::ShutDown". The destructor calls it; a second call does nothing.
    virtual void ShutDown();
    virtual void update() {}
    // Collects the draw items of the placed surfaces that the current camera's view
    // volume may see (nothing happens without a current camera).
    virtual void cull();

    // The camera of that name, made and registered when there is none. A new camera
    // works with the scene's renderer and takes its coordinate conversion from it.
    std::shared_ptr<Camera> createCamera(const std::string& name, const Vec3& position,
                                         const Quaternion& orientation);
    // A new entity drawn from the given mesh.
    std::shared_ptr<Entity> createEntity(std::shared_ptr<Mesh> mesh,
                                         std::shared_ptr<Material> material);
    // A new entity whose mesh build fills from size (for example boxBuilder(), a box
    // of those edge lengths centred on the entity's origin). The mesh comes from the
    // scene's model objects (a vertex buffer, uploaded, when a vertex buffer manager
    // exists); when build fails the entity has no mesh.
    std::shared_ptr<Entity> createEntity(const GeometryBuilder& build, const Vec3& size,
                                         std::shared_ptr<Material> material);
    // A new empty surface under a generated name.
    std::shared_ptr<Surface> createSurface();
    // A new surface carrying the model that load(argument) gives.
    std::shared_ptr<Surface> createSurface(const ModelLoaderFunction& load,
                                           const std::string& argument);
    // A new sky box with its cube of edge length size (see SkyBox), built like
    // createEntity's meshes; a size that is not positive leaves it without a mesh.
    std::shared_ptr<SkyBox> createSkyBox(float size);

    // Puts a surface into the scene (the list cull walks).
    void addToScene(std::shared_ptr<Surface> surface);
    const std::vector<std::shared_ptr<Surface>>& sceneSurfaces() const { return m_sceneSurfaces; }
    const std::vector<DrawItem>& visible() const { return m_visible; }

    void setCurrentCamera(std::shared_ptr<Camera> camera) { m_camera = std::move(camera); }
    const std::shared_ptr<Camera>& currentCamera() const { return m_camera; }

    const std::shared_ptr<Renderer>& renderer() const { return m_renderer; }
    const std::shared_ptr<MaterialMgr>& materialMgr() const { return m_materials; }
    const std::shared_ptr<ModelLoaderFactory>& meshLoader() const { return m_meshLoader; }
    const std::shared_ptr<OverlayMgr>& overlayMgr() const { return m_overlays; }
    Registry<Camera>& cameras() { return m_cameras; }
    Registry<Light>& lights() { return m_lights; }
    Registry<Surface>& surfaces() { return m_surfaces; }
    Registry<Entity>& entities() { return m_entities; }

private:
    // A mesh made by the scene's model objects, filled by build and uploaded; null
    // when build fails.
    std::shared_ptr<Mesh> buildMesh(const GeometryBuilder& build, const Vec3& size);

    std::shared_ptr<MaterialMgr> m_materials;
    std::shared_ptr<SceneModelObjects> m_objects;
    std::shared_ptr<ModelLoaderFactory> m_meshLoader;
    std::shared_ptr<OverlayMgr> m_overlays;
    std::shared_ptr<Renderer> m_renderer;
    std::shared_ptr<Camera> m_camera;
    Registry<Camera> m_cameras;
    Registry<Light> m_lights;
    Registry<Surface> m_surfaces;
    Registry<Entity> m_entities;
    std::vector<std::shared_ptr<Surface>> m_sceneSurfaces;
    std::vector<DrawItem> m_visible;
    bool m_shutDown = false; // a second ShutDown does nothing
};

} // namespace Vrenn
