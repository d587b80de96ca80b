#pragma once

#include "core/Log.h"
#include "fs/RamFile.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/VmshLoader.h"
#include "support/TempDir.h"

#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn::Test {

inline void expectNear(const Vec3& actual, const Vec3& expected, float tolerance = 1e-6f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// A log manager with one log in a temporary file, for tests that check log lines.
class LogCapture {
public:
    LogCapture() { m_manager.CreateLog(LOG_DEFAULT, m_dir.file("test.log")); }
    std::string text() const { return m_dir.read("test.log"); }

private:
    TempDir m_dir;
    LogManager m_manager;
};

// A triangle-list mesh with positions (stream 0) and, when given, texture-coordinate
// set 0 (stream 1).
inline std::shared_ptr<Mesh> makeMesh(const std::vector<Vec3>& positions,
                                      const std::vector<uint32_t>& indices,
                                      const std::vector<float>& texcoords = {}) {
    auto mesh = std::make_shared<Mesh>();
    std::vector<float> xyz;
    for (const Vec3& p : positions)
        xyz.insert(xyz.end(), {p.x, p.y, p.z});
    mesh->addStream(xyz.data(), static_cast<uint32_t>(positions.size()), 12,
                    {VertexElement{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0}});
    if (!texcoords.empty())
        mesh->addStream(texcoords.data(), static_cast<uint32_t>(positions.size()), 8,
                        {VertexElement{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 0}});
    mesh->setIndices(indices.data(), static_cast<uint32_t>(indices.size()));
    mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
    return mesh;
}

// Appends an axis-aligned rectangle as two triangles with four fresh vertices, wound so
// that its normal is the given axis direction (corners p, p + a, p + a + b, p + b with
// a x b along the normal).
inline void addQuad(std::vector<Vec3>& positions, std::vector<uint32_t>& indices, const Vec3& p,
                    const Vec3& a, const Vec3& b) {
    const uint32_t base = static_cast<uint32_t>(positions.size());
    positions.insert(positions.end(), {p, p + a, p + a + b, p + b});
    indices.insert(indices.end(), {base, base + 1, base + 2, base, base + 2, base + 3});
}

// A mesh of rectangles given as (corner p, edge a, edge b), each its own vertex group
// facing along a x b, with computed normals.
inline std::shared_ptr<Mesh> quadsMesh(const std::vector<std::array<Vec3, 3>>& quads) {
    std::vector<Vec3> positions;
    std::vector<uint32_t> indices;
    for (const auto& q : quads)
        addQuad(positions, indices, q[0], q[1], q[2]);
    auto mesh = makeMesh(positions, indices);
    EXPECT_TRUE(mesh->computeNormals());
    return mesh;
}

// A model as the bytes of a vmsh file, and such bytes read back (empty when refused).
inline std::string vmshBytes(const Model& model) {
    RamFile file;
    EXPECT_TRUE(VmshLoader().write(file, "test.vmsh", model));
    return std::string(file.data().begin(), file.data().end());
}
inline std::shared_ptr<Model> readVmsh(const std::string& bytes) {
    RamFile file(bytes.data(), static_cast<uint32_t>(bytes.size()));
    std::shared_ptr<Model> model;
    EXPECT_TRUE(VmshLoader().read(file, "test.vmsh", model, false));
    return model;
}

} // namespace Vrenn::Test
