// The lit scene: every surface takes its light per pixel from the three lightmaps.
//
// Lightmap k holds, per colour channel, the baked transfer of tangent-space basis direction
// b_k dotted with the frame's lighting, divided by "maxRange" (the scene's largest luminance)
// and clamped to 0 ... 1; it is read at the atlas position, texture-coordinate set 1 (.xy; row
// 0 of the atlas is its top row, at v = 0, as the lightmap pass draws it), filtered over the
// texels the lightmap pass drew only, so that a chart never takes in the black around it. The normal map
// ("bumpmap", tangent space, x along texture u, y along texture v, z out of the surface)
// weights the three per pixel:
//     w_k = max(n . b_k, 0)^2 / sum over j of max(n . b_j, 0)^2
// so a flat normal (0, 0, 1) takes a third of each, and a bump leaning towards b_k takes its
// light mostly from the side b_k faces. The HDR colour is
//     (albedo * sum_k w_k L_k + glossy) * maxRange * lum_control / pi
// with L_k the lightmaps. The transfer is the cosine-weighted light arriving at the surface
// (a uniform sky of radiance L gives pi * L), so the 1 / pi makes a white surface under that
// sky as bright as the sky itself: surfaces and the sky share one scale. The glossy term reads the lightmaps the same way along the view
// direction mirrored about n, with sharper weights, scaled by the albedo's alpha (the
// glossiness) and a Fresnel rise towards grazing angles; "diffuseOnly" switches it off.
//
// The tangent frame (tangent, binormal, normal of the mesh) is the frame the bake turned b_k
// with, binormal = normal x tangent. Where texture v runs against the binormal (a mirrored
// mapping) the normal map's y is turned round, so that a bump faces the same way in the
// normal map and in the bake.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D lightmap0;
    uniform sampler2D lightmap1;
    uniform sampler2D lightmap2;
    uniform sampler2D diffuseMap;
    uniform sampler2D bumpmap;
    uniform float maxRange = 1.0;
    uniform float lum_control = 1.0;
    // The camera in the model's own space (x, y, z, 1).
    uniform vec4 objSpaceCamera = vec4(0.0, 0.0, 0.0, 1.0);
    uniform bool diffuseOnly = false;
}
vertex prtVS {
    layout(location = ATTR_POSITION) in vec3 position;
    layout(location = ATTR_NORMAL) in vec3 normal;
    layout(location = ATTR_TANGENT) in vec3 tangent;
    layout(location = ATTR_BINORMAL) in vec3 binormal;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    layout(location = ATTR_TEXCOORD1) in vec4 atlas;
    out vec2 uv;
    out vec2 atlasUV;
    out vec3 objPosition;
    out vec3 objNormal;
    // The direction to the camera in the tangent frame (not normalised).
    out vec3 viewTangent;
    void main() {
        gl_Position = worldViewProj * vec4(position, 1.0);
        uv = texCoord;
        atlasUV = atlas.xy;
        objPosition = position;
        objNormal = normal;
        vec3 toCamera = objSpaceCamera.xyz - position;
        viewTangent = vec3(dot(toCamera, tangent), dot(toCamera, binormal), dot(toCamera, normal));
    }
}
fragment prtFS {
    in vec2 uv;
    in vec2 atlasUV;
    in vec3 objPosition;
    in vec3 objNormal;
    in vec3 viewTangent;
    out vec4 colour;

    const float kPi = 3.14159265;
    const vec3 kBasis[3] = vec3[3](vec3(0.8164966, 0.0, 0.5773503),
                                   vec3(-0.4082483, 0.707107, 0.5773503),
                                   vec3(-0.4082483, -0.707107, 0.5773503));

    // The lightmaps weighted by max(d . b_k, 0)^power, normalised; black when d faces away
    // from all three.
    vec3 lightAlong(vec3 d, float power, vec3 light[3]) {
        vec3 w = vec3(pow(max(dot(d, kBasis[0]), 0.0), power),
                      pow(max(dot(d, kBasis[1]), 0.0), power),
                      pow(max(dot(d, kBasis[2]), 0.0), power));
        float total = w.x + w.y + w.z;
        if (total <= 0.0) return vec3(0.0);
        return (w.x * light[0] + w.y * light[1] + w.z * light[2]) / total;
    }

    // The three lightmaps at the atlas position, filtered bilinearly over the texels a polygon
    // drew (alpha 1) only. Texels around a chart that no polygon drew hold black; a plain
    // bilinear lookup near a slanted chart edge reaches them and darkens the edge.
    void chartLight(vec2 at, out vec3 light[3]) {
        ivec2 last = textureSize(lightmap0, 0) - 1;
        vec2 p = at * vec2(last + 1) - 0.5;
        ivec2 base = ivec2(floor(p));
        vec2 f = p - floor(p);
        vec3 sum[3] = vec3[3](vec3(0.0), vec3(0.0), vec3(0.0));
        float total = 0.0;
        for (int i = 0; i < 4; ++i) {
            ivec2 offset = ivec2(i & 1, i >> 1);
            ivec2 q = clamp(base + offset, ivec2(0), last);
            vec4 l0 = texelFetch(lightmap0, q, 0);
            vec2 along = mix(1.0 - f, f, vec2(offset));
            float w = along.x * along.y * l0.a;
            sum[0] += w * l0.rgb;
            sum[1] += w * texelFetch(lightmap1, q, 0).rgb;
            sum[2] += w * texelFetch(lightmap2, q, 0).rgb;
            total += w;
        }
        float scale = total > 0.0 ? 1.0 / total : 0.0;
        for (int k = 0; k < 3; ++k)
            light[k] = sum[k] * scale;
    }

    void main() {
        vec3 light[3];
        chartLight(atlasUV, light);
        vec4 albedo = texture(diffuseMap, uv);
        vec3 n = texture(bumpmap, uv).xyz * 2.0 - 1.0;
        // The texture mapping's handedness against the surface normal: +1 where v runs along
        // the binormal (normal x tangent), -1 where the mapping is mirrored.
        vec3 dpx = dFdx(objPosition), dpy = dFdy(objPosition);
        vec2 dtx = dFdx(uv), dty = dFdy(uv);
        float mapping = dot(objNormal, cross(dpx, dpy)) * (dtx.x * dty.y - dtx.y * dty.x);
        n.y = mapping < 0.0 ? -n.y : n.y;
        n = normalize(n);

        vec3 lit = albedo.rgb * lightAlong(n, 2.0, light);
        if (!diffuseOnly) {
            vec3 view = normalize(viewTangent);
            float facing = clamp(dot(view, n), 0.0, 1.0);
            float fresnel = 0.15 + 0.85 * pow(1.0 - facing, 5.0);
            lit += albedo.a * fresnel * lightAlong(reflect(-view, n), 16.0, light);
        }
        colour = vec4(lit * (maxRange * lum_control / kPi), 1.0);
    }
}
sampler lightmap0 { min = linear; mag = linear; mip = none; address = clamp; }
sampler lightmap1 { min = linear; mag = linear; mip = none; address = clamp; }
sampler lightmap2 { min = linear; mag = linear; mip = none; address = clamp; }
sampler diffuseMap { min = linear; mag = linear; mip = linear; address = wrap; max_anisotropy = 4; }
sampler bumpmap { min = linear; mag = linear; mip = linear; address = wrap; max_anisotropy = 4; }
technique PrtLighting {
    pass {
        vertex = prtVS;
        fragment = prtFS;
        // Faces wound clockwise on the screen face the viewer (the scene's outward normals).
        cull = cw;
    }
}
