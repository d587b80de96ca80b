#include "geometry/DemoSceneBuilder.h"

#include "core/Vector3.h"
#include "geometry/Mesh.h"
#include "geometry/Model.h"
#include "geometry/Surface.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace Vrenn {

namespace {

// Faces of an axis-aligned box (in its own frame), as a bit mask.
enum BoxFace : uint32_t {
    FACE_NEG_X = 1,
    FACE_POS_X = 2,
    FACE_NEG_Y = 4, // bottom
    FACE_POS_Y = 8, // top
    FACE_NEG_Z = 16,
    FACE_POS_Z = 32,
    FACES_ALL = 63,
    FACES_ON_FLOOR = FACES_ALL & ~FACE_NEG_Y,
};

// Accumulates the faces of one surface: position and texture-coordinate set 0 per
// vertex, fresh vertices for every face, each face a triangle fan.
class SurfaceBuilder {
public:
    explicit SurfaceBuilder(std::string material) : m_material(std::move(material)) {}

    // Adds a convex planar face. The winding is chosen so that the face's normal points
    // away from inside (a point in the solid the face bounds).
    void addFace(std::vector<Vec3> corners, const Vec3& inside) {
        Vec3 centre;
        for (const Vec3& c : corners)
            centre += c;
        centre = centre * (1.0f / float(corners.size()));
        const Vec3 fanNormal = cross(corners[1] - corners[0], corners[2] - corners[0]);
        if (dot(fanNormal, centre - inside) < 0.0f) std::reverse(corners.begin(), corners.end());
        const Vec3 normal = normalized(cross(corners[1] - corners[0], corners[2] - corners[0]));
        const Vec3 u = normalized(corners[1] - corners[0]);
        const Vec3 v = cross(normal, u);

        const uint32_t base = static_cast<uint32_t>(m_vertices.size() / 5);
        for (const Vec3& c : corners) {
            m_vertices.insert(m_vertices.end(),
                              {c.x, c.y, c.z, dot(c, u) / DemoSceneBuilder::kTextureScale,
                               dot(c, v) / DemoSceneBuilder::kTextureScale});
        }
        for (uint32_t i = 1; i + 1 < corners.size(); ++i)
            m_indices.insert(m_indices.end(), {base, base + i, base + i + 1});
        ++m_faces;
    }

    uint32_t faces() const { return m_faces; }

    std::shared_ptr<Surface> finish() const {
        auto mesh = std::make_shared<Mesh>();
        VertexElement position{0, USAGE_POSITION, 0, COMPONENT_FLOAT, 3, 0};
        VertexElement texcoord{0, USAGE_TEXCOORD, 0, COMPONENT_FLOAT, 2, 12};
        mesh->addStream(m_vertices.data(), static_cast<uint32_t>(m_vertices.size() / 5), 20,
                        {position, texcoord});
        mesh->setIndices(m_indices.data(), static_cast<uint32_t>(m_indices.size()));
        mesh->setPrimitiveType(PRIMITIVE_TRIANGLE_LIST);
        auto surface = std::make_shared<Surface>();
        surface->setMaterial(m_material);
        surface->setMesh(mesh);
        return surface;
    }

private:
    std::string m_material;
    std::vector<float> m_vertices;
    std::vector<uint32_t> m_indices;
    uint32_t m_faces = 0;
};

Vec3 turnedAboutY(const Vec3& v, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    return {c * v.x + s * v.z, v.y, -s * v.x + c * v.z};
}

// A box from min to max (before turning), turned by yaw radians about the vertical line
// through its centre; only the faces in mask are made.
void addBox(SurfaceBuilder& out, const Vec3& min, const Vec3& max, uint32_t mask,
            float yaw = 0.0f) {
    const Vec3 centre = (min + max) * 0.5f;
    const Vec3 half = (max - min) * 0.5f;
    auto corner = [&](float sx, float sy, float sz) {
        return centre + turnedAboutY({sx * half.x, sy * half.y, sz * half.z}, yaw);
    };
    // Side faces start with a bottom edge so that texture u runs horizontally.
    if (mask & FACE_NEG_X)
        out.addFace({corner(-1, -1, -1), corner(-1, -1, 1), corner(-1, 1, 1), corner(-1, 1, -1)},
                    centre);
    if (mask & FACE_POS_X)
        out.addFace({corner(1, -1, -1), corner(1, -1, 1), corner(1, 1, 1), corner(1, 1, -1)},
                    centre);
    if (mask & FACE_NEG_Z)
        out.addFace({corner(-1, -1, -1), corner(1, -1, -1), corner(1, 1, -1), corner(-1, 1, -1)},
                    centre);
    if (mask & FACE_POS_Z)
        out.addFace({corner(-1, -1, 1), corner(1, -1, 1), corner(1, 1, 1), corner(-1, 1, 1)},
                    centre);
    if (mask & FACE_NEG_Y)
        out.addFace({corner(-1, -1, -1), corner(1, -1, -1), corner(1, -1, 1), corner(-1, -1, 1)},
                    centre);
    if (mask & FACE_POS_Y)
        out.addFace({corner(-1, 1, -1), corner(1, 1, -1), corner(1, 1, 1), corner(-1, 1, 1)},
                    centre);
}

// A vertical prism with a regular polygon of sides corners as its section; caps as asked.
void addPrism(SurfaceBuilder& out, const Vec3& baseCentre, float radius, float height,
              uint32_t sides, bool top, bool bottom) {
    std::vector<Vec3> low, high;
    for (uint32_t k = 0; k < sides; ++k) {
        const double angle = 2.0 * std::numbers::pi * (k + 0.5) / sides;
        const Vec3 offset{float(radius * std::cos(angle)), 0.0f, float(radius * std::sin(angle))};
        low.push_back(baseCentre + offset);
        high.push_back(baseCentre + offset + Vec3{0.0f, height, 0.0f});
    }
    const Vec3 inside = baseCentre + Vec3{0.0f, height * 0.5f, 0.0f};
    for (uint32_t k = 0; k < sides; ++k) {
        const uint32_t next = (k + 1) % sides;
        out.addFace({low[k], low[next], high[next], high[k]}, inside);
    }
    if (top) out.addFace(high, inside);
    if (bottom) out.addFace(low, inside);
}

// A semicircular arch of wedge-shaped stones in the plane z = const, from z0 to z1,
// around centre (x, y) between inner and outer radius. The joints between stones and
// the springers resting on the piers are hidden and not made.
void addArch(SurfaceBuilder& out, float cx, float cy, float inner, float outer, float z0, float z1,
             uint32_t stones) {
    auto point = [&](double angle, float radius, float z) {
        return Vec3{float(cx + radius * std::cos(angle)), float(cy + radius * std::sin(angle)), z};
    };
    for (uint32_t k = 0; k < stones; ++k) {
        const double a0 = std::numbers::pi * k / stones;
        const double a1 = std::numbers::pi * (k + 1) / stones;
        const Vec3 inside = point((a0 + a1) * 0.5, (inner + outer) * 0.5f, (z0 + z1) * 0.5f);
        for (float z : {z0, z1})
            out.addFace({point(a0, inner, z), point(a0, outer, z), point(a1, outer, z),
                         point(a1, inner, z)},
                        inside);
        out.addFace({point(a0, inner, z0), point(a1, inner, z0), point(a1, inner, z1),
                     point(a0, inner, z1)},
                    inside);
        out.addFace({point(a0, outer, z0), point(a1, outer, z0), point(a1, outer, z1),
                     point(a0, outer, z1)},
                    inside);
    }
}

struct SceneSurfaces {
    SurfaceBuilder floor{"floor"};
    SurfaceBuilder walls{"walls"};
    SurfaceBuilder columns{"columns"};
    SurfaceBuilder stone{"stone"};
    SurfaceBuilder arch{"arch"};
    SurfaceBuilder blocks{"blocks"};
};

// One courtyard, shifted by offset.
void addCourtyard(SceneSurfaces& s, const Vec3& o) {
    auto at = [&](float x, float y, float z) { return Vec3{x, y, z} + o; };

    // Floor: x -500 .. 500, z -400 .. 500.
    s.floor.addFace({at(-500, 0, -400), at(500, 0, -400), at(500, 0, 500), at(-500, 0, 500)},
                    at(0, -1, 0));

    // Side walls (inner face, top and ends) and the back wall with two windows; the
    // outer faces are never seen from the courtyard and are left out.
    for (float side : {-1.0f, 1.0f}) {
        const float inner = 470.0f * side, outer = 500.0f * side;
        addBox(s.walls, at(std::min(inner, outer), 0, -400), at(std::max(inner, outer), 320, 500),
               FACE_POS_Y | FACE_NEG_Z | FACE_POS_Z | (side < 0 ? FACE_POS_X : FACE_NEG_X));
    }
    const uint32_t wallFaces = FACE_NEG_Z | FACE_POS_Y;
    addBox(s.walls, at(-470, 0, 470), at(-350, 320, 500), wallFaces | FACE_POS_X);
    addBox(s.walls, at(-270, 0, 470), at(270, 320, 500), wallFaces | FACE_NEG_X | FACE_POS_X);
    addBox(s.walls, at(350, 0, 470), at(470, 320, 500), wallFaces | FACE_NEG_X);
    for (float x0 : {-350.0f, 270.0f}) {
        addBox(s.walls, at(x0, 0, 470), at(x0 + 80, 120, 500), wallFaces);                // sill
        addBox(s.walls, at(x0, 220, 470), at(x0 + 80, 320, 500), wallFaces | FACE_NEG_Y); // head
    }

    // Colonnades: six columns a side (plinth, octagonal shaft, capital), an architrave
    // on them and a roof from the architrave to the side wall.
    for (float side : {-1.0f, 1.0f}) {
        const float x = 260.0f * side;
        for (int k = 0; k < 6; ++k) {
            const float z = -250.0f + 120.0f * float(k);
            addBox(s.columns, at(x - 25, 0, z - 25), at(x + 25, 20, z + 25), FACES_ON_FLOOR);
            addPrism(s.columns, at(x, 20, z), 18.0f, 200.0f, 8, false, false);
            addBox(s.columns, at(x - 28, 220, z - 28), at(x + 28, 240, z + 28),
                   FACES_ALL & ~FACE_POS_Y);
        }
        addBox(s.stone, at(x - 32, 240, -280), at(x + 32, 280, 380), FACES_ALL);
        const float wallSide = 470.0f * side, edge = 200.0f * side;
        addBox(s.stone, at(std::min(edge, wallSide), 280, -280),
               at(std::max(edge, wallSide), 300, 380),
               FACES_ALL & ~(side < 0 ? FACE_NEG_X : FACE_POS_X));
    }

    // Dais against the back wall, three steps up to it, and an arch standing on it.
    addBox(s.stone, at(-200, 0, 380), at(200, 40, 470),
           FACE_NEG_Z | FACE_POS_Y | FACE_NEG_X | FACE_POS_X);
    for (int k = 0; k < 3; ++k) {
        const float z0 = 320.0f + 20.0f * float(k);
        addBox(s.stone, at(-180, 0, z0), at(180, 10.0f * float(k + 1), z0 + 20),
               FACE_NEG_Z | FACE_POS_Y | FACE_NEG_X | FACE_POS_X);
    }
    const uint32_t pierFaces = FACE_NEG_X | FACE_POS_X | FACE_NEG_Z | FACE_POS_Z;
    addBox(s.arch, at(-150, 40, 410), at(-110, 200, 450), pierFaces);
    addBox(s.arch, at(110, 40, 410), at(150, 200, 450), pierFaces);
    addArch(s.arch, o.x, o.y + 200.0f, 110.0f, 150.0f, o.z + 410.0f, o.z + 450.0f, 9);

    // Blocks in the courtyard, two of them with a wider slab on top.
    addBox(s.blocks, at(-170, 0, 110), at(-110, 60, 170), FACES_ON_FLOOR, 0.5236f);
    addBox(s.blocks, at(50, 0, 60), at(190, 30, 100), FACES_ON_FLOOR);
    addBox(s.blocks, at(140, 0, 210), at(180, 100, 250), FACES_ON_FLOOR & ~FACE_POS_Y, 0.2618f);
    addBox(s.blocks, at(125, 100, 195), at(195, 112, 265), FACES_ALL, 0.2618f);
    addBox(s.blocks, at(-220, 0, -200), at(-140, 40, -120), FACES_ON_FLOOR & ~FACE_POS_Y);
    addBox(s.blocks, at(-240, 40, -185), at(-120, 70, -135), FACES_ALL, 0.349f);
    addBox(s.blocks, at(150, 0, -250), at(250, 20, -150), FACES_ON_FLOOR);
    addPrism(s.blocks, at(0, 0, 240), 50.0f, 25.0f, 8, true, false);
}

SceneSurfaces buildSurfaces(uint32_t tiles) {
    SceneSurfaces surfaces;
    tiles = std::max(tiles, 1u);
    for (uint32_t i = 0; i < tiles; ++i)
        for (uint32_t j = 0; j < tiles; ++j)
            addCourtyard(surfaces, Vec3{1000.0f * float(i), 0.0f, 900.0f * float(j)});
    return surfaces;
}

} // namespace

std::shared_ptr<Model> DemoSceneBuilder::build() const {
    const SceneSurfaces surfaces = buildSurfaces(m_tiles);
    auto model = std::make_shared<Model>();
    for (const SurfaceBuilder* surface : {&surfaces.floor, &surfaces.walls, &surfaces.columns,
                                          &surfaces.stone, &surfaces.arch, &surfaces.blocks})
        model->addSurface(surface->finish());
    return model;
}

uint32_t DemoSceneBuilder::faceCount() const {
    const SceneSurfaces s = buildSurfaces(m_tiles);
    return s.floor.faces() + s.walls.faces() + s.columns.faces() + s.stone.faces() +
           s.arch.faces() + s.blocks.faces();
}

} // namespace Vrenn
