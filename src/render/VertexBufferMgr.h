#pragma once

#include "core/Singleton.h"
#include "geometry/ModelObjectFactory.h"
#include "core/Registry.h"
#include "render/VertexBuffer.h"

#include <memory>
#include <string>

namespace Vrenn {

// Creates vertex buffers (registered as "gen_0", "gen_1", ...) and uploads them.
class VertexBufferMgr : public Singleton<VertexBufferMgr>, public RegistryOwner<VertexBuffer> {
public:
    VertexBufferMgr() = default;
    virtual ~VertexBufferMgr();

    // An empty buffer; fill its mesh data, then upload it.
    virtual std::shared_ptr<VertexBuffer> createVertexBuffer() = 0;
    // Creates the device buffers for the CPU data and copies it. False, with a log
    // line saying why, when that fails.
    virtual bool upload(const std::shared_ptr<VertexBuffer>& buffer) = 0;
};

// Model loading through the vertex buffer manager: meshes are vertex buffers, uploaded
// once loaded. Without a manager it falls back to plain CPU meshes.
class VertexBufferObjectFactory : public ModelObjectFactory {
public:
    std::shared_ptr<Mesh> createMesh() override;
    bool uploadMesh(const std::shared_ptr<Mesh>& mesh) override;
};

} // namespace Vrenn
