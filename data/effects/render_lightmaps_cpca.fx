// The lightmaps from compressed transfer, in one pass: target k holds, per colour channel c,
//     clamp((lit mean + sum over j of w_j * lit component j) / M, 0, 1)
// of the texel's cluster, where "lit" is the cluster's vector of basis k dotted with the
// lighting of channel c (worked out once a frame for every cluster) and "maxValue" =
// (M, M, M, 1 / M).
//   texelGroups  slice g: values 4g ... 4g + 3 of the texel: (cluster, w1, w2, w3),
//                (w4 ... w7), ...; the cluster is -1 where the texel has no transfer
//   litClusters  row = cluster; texel (3k + c) * groups + g: the lit vectors 4g ... 4g + 3
//                (vector 0 the mean) of basis k and channel c
shared {
    uniform sampler3D texelGroups;
    uniform sampler2D litClusters;
    uniform int groups = 1;
    uniform vec4 maxValue = vec4(1.0);
}
// Every vertex goes to its place in the lightmap atlas: texture-coordinate set 1 holds the
// atlas position (x, y) and the outward push of the chart outline (z, w), both in atlas
// units, so that texels on a chart edge are covered too. Row 0 of the atlas is the top row.
vertex atlasVS {
    layout(location = ATTR_TEXCOORD1) in vec4 atlas;
    void main() {
        vec2 uv = atlas.xy + atlas.zw;
        gl_Position = vec4(uv.x * 2.0 - 1.0, 1.0 - uv.y * 2.0, 0.0, 1.0);
    }
}
fragment lightmapFS {
    layout(location = 0) out vec4 lightmap0;
    layout(location = 1) out vec4 lightmap1;
    layout(location = 2) out vec4 lightmap2;

    void main() {
        ivec2 p = ivec2(gl_FragCoord.xy);
        vec4 first = texelFetch(texelGroups, ivec3(p, 0), 0);
        int cluster = int(first.x);
        vec3 sum[3] = vec3[3](vec3(0.0), vec3(0.0), vec3(0.0));
        if (cluster >= 0) {
            for (int g = 0; g < groups; ++g) {
                vec4 w = g == 0 ? vec4(1.0, first.yzw) : texelFetch(texelGroups, ivec3(p, g), 0);
                for (int k = 0; k < 3; ++k) {
                    int at = 3 * k * groups + g;
                    sum[k] += vec3(dot(w, texelFetch(litClusters, ivec2(at, cluster), 0)),
                                   dot(w, texelFetch(litClusters, ivec2(at + groups, cluster), 0)),
                                   dot(w, texelFetch(litClusters, ivec2(at + 2 * groups, cluster), 0)));
                }
            }
        }
        lightmap0 = vec4(clamp(sum[0] * maxValue.w, 0.0, 1.0), 1.0);
        lightmap1 = vec4(clamp(sum[1] * maxValue.w, 0.0, 1.0), 1.0);
        lightmap2 = vec4(clamp(sum[2] * maxValue.w, 0.0, 1.0), 1.0);
    }
}
sampler texelGroups { min = point; mag = point; mip = none; address = clamp; }
sampler litClusters { min = point; mag = point; mip = none; address = clamp; }
technique RenderLightmapsCompressed {
    pass {
        vertex = atlasVS;
        fragment = lightmapFS;
        cull = none;
        depth_test = false;
        depth_write = false;
    }
}
