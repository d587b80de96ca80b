// One 4:1 reduction of the HDR chain: each pixel is the mean of the 4 x 4 source texels under
// it. Its centre lies on a texel corner of the source; the four bilinear taps at
// (-t, -t), (t, -t), (-t, t), (t, t) around it, t one source texel ("downSampleOffset0" and
// "downSampleOffset1" hold them), each average a 2 x 2 block, so the four give the 4 x 4 mean
// of every channel, the log luminance in alpha included.
shared {
    uniform mat4 worldViewProj;
    uniform sampler2D scene;
    uniform vec4 downSampleOffset0;
    uniform vec4 downSampleOffset1;
}
vertex quadVS {
    layout(location = ATTR_POSITION) in vec2 position;
    layout(location = ATTR_TEXCOORD0) in vec2 texCoord;
    out vec2 uv;
    void main() {
        uv = texCoord;
        gl_Position = worldViewProj * vec4(position, 0.0, 1.0);
    }
}
fragment downsampleFS {
    in vec2 uv;
    out vec4 result;
    void main() {
        result = 0.25 * (texture(scene, uv + downSampleOffset0.xy) +
                         texture(scene, uv + downSampleOffset0.zw) +
                         texture(scene, uv + downSampleOffset1.xy) +
                         texture(scene, uv + downSampleOffset1.zw));
    }
}
sampler scene { min = linear; mag = linear; mip = none; address = clamp; }
technique Downsample {
    pass {
        vertex = quadVS;
        fragment = downsampleFS;
        depth_test = false;
        depth_write = false;
    }
}
