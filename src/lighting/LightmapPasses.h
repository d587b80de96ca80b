#pragma once

#include "render/RenderTargetMgr.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

struct CompressedTransfer;
class Image;
class Material;
class MaterialMgr;
class Model;
class PrtLighting;
class Renderer;
class Texture;

// How the lightmaps are drawn: all 25 coefficients in one pass, or bands 0-2 and 3-4 into
// half-float targets and a third pass that adds them, or in one pass from compressed transfer
// (CompressedTransfer.h).
enum class LightmapPath { OnePass, ThreePass, Compressed };

// The render-target groups of the lightmaps, three targets each (name + 0, 1, 2).
constexpr const char* kLightmapGroup = "rt_lightmap";
constexpr const char* kLightmapGroup012 = "rt_lightmap012";
constexpr const char* kLightmapGroup34 = "rt_lightmap34";
// The stream mask the lightmap passes draw with: streams 0 and 3.
constexpr uint32_t kLightmapStreamMask = 9;

// The per-pixel PRT lighting into the lightmaps. Every frame the model is drawn into its
// texture atlas; target k of "rt_lightmap" then holds, per colour channel c,
//     clamp(sum over i of T(k, i) * light(c, i) / M, 0, 1)
// with T the baked transfer of basis direction k, light the frame's lighting set and M the
// scene's largest luminance; alpha is 1 where a polygon drew and 0 elsewhere.
//
// The one-pass path draws "render_lightmaps" into "rt_lightmap". The three-pass path draws
// "render_lightmaps012" into "rt_lightmap012" and "render_lightmaps34" into "rt_lightmap34"
// (partial sums, unscaled, in half floats), then "combine_lightmaps" adds them into
// "rt_lightmap".
class LightmapPasses {
public:
    LightmapPasses() = default;
    LightmapPasses(const LightmapPasses&) = delete;
    LightmapPasses& operator=(const LightmapPasses&) = delete;

    // Creates the target groups of the path at the transfer textures' size (half-float groups
    // for the three-pass path, then the 8-bit RGBA group) and binds the transfer textures,
    // the partial-sum groups and "maxValue" = (M, M, M, 1 / M) to the path's materials.
    // transfer holds "shtex0.dds" to "shtex2.dds" as loaded. False, with one log line and
    // nothing usable, when M is not above 0, a transfer texture is missing, is not a volume of
    // 8, 8 and 4 slices of four half floats, or the three differ in size, when a material has
    // no effect, or when a target cannot be made.
    bool create(Renderer& renderer, MaterialMgr& materials,
                const std::array<std::shared_ptr<Texture>, 3>& transfer, float maxSceneLum,
                LightmapPath path);

    // Sets up the compressed path: "render_lightmaps_compressed" draws into "rt_lightmap" (the
    // same targets, values and clamp as the other paths, up to the compression's error) from
    // the texels' clusters and weights, uploaded here, and the clusters' vectors lit once a
    // frame on the processor. False, with one log line and nothing usable, when M is not above
    // 0, the transfer has no texels or too many clusters, the material has no effect, or a
    // texture or target cannot be made.
    bool createCompressed(Renderer& renderer, MaterialMgr& materials,
                          const CompressedTransfer& transfer, float maxSceneLum);

    // Pushes the lighting's parameter lists into the path's materials and runs its passes:
    // for each, the group is bound, its colour cleared and every surface drawn with stream mask
    // 9 (each mesh's own mask is restored afterwards). Surfaces that are not vertex buffers or
    // whose texture-coordinate set 1 lies outside streams 0 and 3 are left out (see
    // unsuitableReason). The last pass's group stays bound. False, with nothing drawn, before a
    // successful create.
    bool render(Renderer& renderer, const PrtLighting& lighting, const Model& model);

    // The path the renderer's capabilities choose: one pass from shader model 3.0 on, three
    // passes below.
    static LightmapPath pathFor(const Renderer& renderer);

    // Why the model cannot be drawn into the lightmaps (empty when it can): a model without
    // surfaces, or a surface whose mesh lacks texture-coordinate set 1, holds it with other than
    // 4 components, or in a stream that mask 9 does not bind.
    static std::string unsuitableReason(const Model& model);

    bool ready() const { return m_ready; }
    // Why the last create refused, as its log line says (empty after a successful one).
    const std::string& failure() const { return m_failure; }
    LightmapPath path() const { return m_path; }
    int32_t width() const { return m_width; }
    int32_t height() const { return m_height; }
    // The lightmaps ("rt_lightmap0" to "rt_lightmap2"), and the partial sums of the three-pass
    // path (empty in the one-pass path).
    const RenderTargetList& lightmaps() const { return m_lightmaps; }
    const RenderTargetList& bands012() const { return m_bands012; }
    const RenderTargetList& bands34() const { return m_bands34; }

private:
    bool refuse(const std::string& why) const;
    bool findMaterial(MaterialMgr& materials, const char* name,
                      std::shared_ptr<Material>& out) const;
    bool beginCreate(float maxSceneLum);
    bool checkMaxSceneLum(float maxSceneLum) const;
    bool makeGroup(Renderer& renderer, const char* name, int32_t format,
                   RenderTargetList& out) const;
    void drawModel(Renderer& renderer, const Material& material, const Model& model) const;

    bool m_ready = false;
    mutable std::string m_failure;
    LightmapPath m_path = LightmapPath::OnePass;
    int32_t m_width = 0;
    int32_t m_height = 0;
    RenderTargetList m_lightmaps;
    RenderTargetList m_bands012;
    RenderTargetList m_bands34;
    std::shared_ptr<Material> m_onePass;
    std::shared_ptr<Material> m_pass012;
    std::shared_ptr<Material> m_pass34;
    std::shared_ptr<Material> m_combine;
    // The compressed path: its material, the lit table as a texture and its pixels, and the
    // clusters' vectors (the transfer without its texels).
    std::shared_ptr<Material> m_compressed;
    std::shared_ptr<Texture> m_litTexture;
    std::shared_ptr<Image> m_litImage;
    std::shared_ptr<CompressedTransfer> m_clusters;
    std::vector<float> m_lit;
};

} // namespace Vrenn
