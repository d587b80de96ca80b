// The pack's texture atlas: chart rectangles, their packing, the coverage mask, the bake image
// and the atlas coordinates written back into the meshes.

#include "core/Log.h"
#include "fs/Image.h"
#include "geometry/Mesh.h"
#include "geometry/PolyPack.h"

#include <algorithm>
#include <cmath>

namespace Vrenn {

namespace {

// Formats whose texels are whole channels of one of the types the gutter fill averages.
bool bakeableFormat(ImageFormat format) {
    switch (format) {
    case FORMAT_L8:
    case FORMAT_RGB8:
    case FORMAT_RGBA8:
    case FORMAT_L16:
    case FORMAT_RG16:
    case FORMAT_RGB16:
    case FORMAT_RGBA16:
    case FORMAT_R16F:
    case FORMAT_RG16F:
    case FORMAT_RGB16F:
    case FORMAT_RGBA16F:
    case FORMAT_R32F:
    case FORMAT_RG32F:
    case FORMAT_RGB32F:
    case FORMAT_RGBA32F:
        return true;
    default:
        return false;
    }
}

// axis / size, or the zero vector when the polygon has no (finite) extent along the axis.
Vec3 axisScale(const Vec3& axis, float size) {
    const float inverse = 1.0f / size;
    if (!(size > 0.0f) || !std::isfinite(inverse)) return {};
    const Vec3 scaled = axis * inverse;
    return isFinite(scaled) ? scaled : Vec3{};
}

float clampUnit(float v) {
    if (!(v >= 0.0f)) return 0.0f; // NaN goes to 0 as well
    return v > 1.0f ? 1.0f : v;
}

struct Point2 {
    float x = 0.0f, y = 0.0f;
};

Point2 unit2(float x, float y) {
    const float len = std::sqrt(x * x + y * y);
    if (!(len > 0.0f) || !std::isfinite(len)) return {};
    return {x / len, y / len};
}

} // namespace

void PolyPack::clearAtlas() {
    for (PackPolygon& polygon : m_polygons)
        polygon.atlas = AtlasRect{};
    m_coverage = CoverageMask();
    m_atlasImage.reset();
    m_rayPolygons.clear();
}

void PolyPack::chartCoordinates(uint32_t polygon, const Vec3& p, float& a, float& b) const {
    const PackPolygon& poly = m_polygons[polygon];
    const Vec3 rel = p - poly.origin;
    a = dot(rel, axisScale(poly.axisU, poly.sizeU));
    b = dot(rel, axisScale(poly.axisV, poly.sizeV));
}

Vec3 PolyPack::rectanglePoint(uint32_t polygon, float u, float v) const {
    const PackPolygon& poly = m_polygons[polygon];
    if (poly.atlas.flipped) std::swap(u, v);
    return poly.origin + poly.axisU * (u * poly.sizeU) + poly.axisV * (v * poly.sizeV);
}

bool PolyPack::packAtlas(int initialWidth, int initialHeight, int planeCount, ImageFormat format,
                         uint32_t texCoordSet, float texelSize) {
    auto refuse = [](const std::string& why) {
        logMessage("PolyPack::packAtlas: " + why + "\n");
        return false;
    };
    const float texelsPerUnit = 1.0f / texelSize;
    if (!(texelSize > 0.0f) || !std::isfinite(texelsPerUnit))
        return refuse("the texel size must be a positive number");
    if (planeCount < 1) return refuse("the bake image needs at least one plane");
    if (!bakeableFormat(format))
        return refuse("image format " + std::to_string(format) + " cannot hold a bake");
    if (m_polygons.empty()) return refuse("the pack has no polygons");

    std::vector<AtlasRect> rects(m_polygons.size());
    for (size_t i = 0; i < m_polygons.size(); ++i) {
        rects[i].width = atlasRectExtent(m_polygons[i].sizeU, texelsPerUnit);
        rects[i].height = atlasRectExtent(m_polygons[i].sizeV, texelsPerUnit);
        rects[i].id = static_cast<int>(i);
    }
    const AtlasPackResult packed = packAtlasRects(rects, initialWidth, initialHeight);
    if (!packed.complete())
        return refuse(std::to_string(packed.unplaced) + " of " + std::to_string(rects.size()) +
                      " rectangles did not fit an atlas of " + std::to_string(packed.width) + "x" +
                      std::to_string(packed.height) + " texels");

    auto image = std::make_shared<Image>();
    if (!image->create(packed.width, packed.height, planeCount, format, 1, 1))
        return refuse("no memory for a bake image of " + std::to_string(packed.width) + "x" +
                      std::to_string(packed.height) + " texels and " + std::to_string(planeCount) +
                      " planes");

    clearAtlas();
    for (const AtlasRect& rect : rects)
        logMessage(atlasPlacementLogLine(rect));

    m_atlasImage = std::move(image);
    m_coverage = CoverageMask(packed.width, packed.height);
    for (const AtlasRect& rect : rects)
        m_polygons[static_cast<size_t>(rect.id)].atlas = rect;

    // The mask: every outline chain drawn as closed lines of covered texels, then each row
    // of the rectangle filled between its outermost covered texels.
    std::vector<float> points;
    for (uint32_t p = 0; p < m_polygons.size(); ++p) {
        const PackPolygon& polygon = m_polygons[p];
        const AtlasRect& rect = polygon.atlas;
        const TexelRect texels{rect.x, rect.y, rect.x + rect.placedWidth() - 1,
                               rect.y + rect.placedHeight() - 1};
        points.clear();
        for (const Vec3& point : polygon.outline) {
            float a = 0.0f, b = 0.0f;
            chartCoordinates(p, point, a, b);
            const auto t = rect.texelPoint(clampUnit(a), clampUnit(b));
            points.push_back(t[0]);
            points.push_back(t[1]);
        }
        const size_t count = polygon.outline.size();
        const auto& chains = polygon.outlineChains;
        for (size_t c = 0; c < chains.size(); ++c) {
            const size_t begin = chains[c];
            const size_t end = c + 1 < chains.size() ? chains[c + 1] : count;
            for (size_t i = begin; i < end && i < count; ++i) {
                const size_t j = i + 1 < end ? i + 1 : begin;
                m_coverage.drawLine(texels, points[2 * i], points[2 * i + 1], points[2 * j],
                                    points[2 * j + 1]);
            }
        }
        m_coverage.fillRows(texels);
    }

    m_rayPolygons.resize(m_polygons.size());
    for (size_t i = 0; i < m_polygons.size(); ++i) {
        const PackPolygon& polygon = m_polygons[i];
        RayPolygon& ray = m_rayPolygons[i];
        ray.normal = polygon.plane.normal;
        ray.d = polygon.plane.d;
        ray.origin = polygon.origin;
        ray.uScale = axisScale(polygon.axisU, polygon.sizeU);
        ray.vScale = axisScale(polygon.axisV, polygon.sizeV);
        ray.x = static_cast<float>(polygon.atlas.x);
        ray.y = static_cast<float>(polygon.atlas.y);
        ray.spanX = static_cast<float>(polygon.atlas.placedWidth() - 1);
        ray.spanY = static_cast<float>(polygon.atlas.placedHeight() - 1);
        ray.flipped = polygon.atlas.flipped;
        // A polygon without extent along an axis has no area to block with.
        ray.blocks = polygon.atlas.placed && lengthSquared(ray.uScale) > 0.0f &&
                     lengthSquared(ray.vScale) > 0.0f;
    }

    writeAtlasCoordinates(texCoordSet);
    return true;
}

void PolyPack::writeAtlasCoordinates(uint32_t texCoordSet) {
    const float width = static_cast<float>(atlasWidth());
    const float height = static_cast<float>(atlasHeight());
    const float halfTexelU = 0.5f / width, halfTexelV = 0.5f / height;
    // How far each outline edge moves out, in texels, with the corner offsets.
    constexpr float kEdgeShift = 0.5f;

    for (const PackSurface& surface : m_surfaces) {
        if (!surface.writeAtlasCoordinates || !surface.mesh) continue;
        Mesh& mesh = *surface.mesh;
        uint32_t stride = 0;
        mesh.addElement(USAGE_TEXCOORD, &stride, texCoordSet, 4);
        const VertexAttribute coords = mesh.attribute(USAGE_TEXCOORD, texCoordSet);
        if (!coords) continue;
        if (coords.components() < 4)
            logMessage("PolyPack::packAtlas: texture-coordinate set " +
                       std::to_string(texCoordSet) + " of a mesh has only " +
                       std::to_string(coords.components()) +
                       " components; the corner offsets are left out\n");

        const uint32_t end = surface.firstPolygon + surface.polygonCount;
        for (uint32_t p = surface.firstPolygon; p < end && p < m_polygons.size(); ++p) {
            const PackPolygon& polygon = m_polygons[p];
            const AtlasRect& rect = polygon.atlas;
            const VertexAttribute position = mesh.attribute(USAGE_POSITION);
            for (uint32_t index : polygon.vertexIndices) {
                if (index >= coords.vertexCount() || index >= position.vertexCount()) continue;
                float a = 0.0f, b = 0.0f;
                chartCoordinates(p, position.getVec3(index), a, b);
                const auto t = rect.texelPoint(clampUnit(a), clampUnit(b));
                coords.set(index, 0, t[0] / width + halfTexelU);
                coords.set(index, 1, t[1] / height + halfTexelV);
                coords.set(index, 2, 0.0f);
                coords.set(index, 3, 0.0f);
            }
            if (!surface.writeVertexValues) continue;

            // Corner offsets of the outline points, from the chart's outline in texel space.
            const size_t count = polygon.outline.size();
            std::vector<Point2> texel(count);
            for (size_t i = 0; i < count; ++i) {
                float a = 0.0f, b = 0.0f;
                chartCoordinates(p, polygon.outline[i], a, b);
                const auto t = rect.texelPoint(clampUnit(a), clampUnit(b));
                texel[i] = {t[0], t[1]};
            }
            // The outline's orientation in the atlas: with a positive signed area the chart
            // lies to the left of its edges, so outwards is to their right.
            const auto& chains = polygon.outlineChains;
            double area = 0.0;
            for (size_t c = 0; c < chains.size(); ++c) {
                const size_t begin = chains[c];
                const size_t chainEnd = c + 1 < chains.size() ? chains[c + 1] : count;
                for (size_t i = begin; i < chainEnd && i < count; ++i) {
                    const size_t j = i + 1 < chainEnd ? i + 1 : begin;
                    area += double(texel[i].x) * texel[j].y - double(texel[j].x) * texel[i].y;
                }
            }
            const float outwards = area >= 0.0 ? 1.0f : -1.0f;
            for (size_t c = 0; c < chains.size(); ++c) {
                const size_t begin = chains[c];
                const size_t chainEnd = c + 1 < chains.size() ? chains[c + 1] : count;
                for (size_t i = begin; i < chainEnd && i < count; ++i) {
                    const size_t prev = i > begin ? i - 1 : chainEnd - 1;
                    const size_t next = i + 1 < chainEnd ? i + 1 : begin;
                    const Point2 e1 = unit2(texel[i].x - texel[prev].x, texel[i].y - texel[prev].y);
                    const Point2 e2 = unit2(texel[next].x - texel[i].x, texel[next].y - texel[i].y);
                    const Point2 n1{outwards * e1.y, -outwards * e1.x};
                    const Point2 n2{outwards * e2.y, -outwards * e2.x};
                    // The mitre: the offset whose projection on both edge normals is the
                    // shift. Sharp corners would send it far out; it is kept to twice the
                    // shift, along the bisector.
                    const Point2 sum{n1.x + n2.x, n1.y + n2.y};
                    const float denominator = 1.0f + n1.x * n2.x + n1.y * n2.y;
                    Point2 offset;
                    if (denominator >= 0.5f) {
                        offset = {sum.x * kEdgeShift / denominator,
                                  sum.y * kEdgeShift / denominator};
                    } else {
                        const Point2 bisector = unit2(sum.x, sum.y);
                        offset = {bisector.x * 2.0f * kEdgeShift, bisector.y * 2.0f * kEdgeShift};
                    }
                    const uint32_t index = polygon.outlineIndices[i];
                    if (index >= coords.vertexCount()) continue;
                    coords.set(index, 2, offset.x / width);
                    coords.set(index, 3, offset.y / height);
                }
            }
        }
    }
}

} // namespace Vrenn
