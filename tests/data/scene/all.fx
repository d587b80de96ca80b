// Every parameter type a script can set, and the standard transforms.
shared {
    uniform int passes;
    uniform float gloss;
    uniform vec4 diffuse;
    uniform mat4 offset;
    uniform float weights[16];
    uniform sampler2D diffuseMap;
    uniform mat4 worldMat;
    uniform mat4 viewMat;
    uniform mat4 viewInverse;
    uniform mat4 worldIT;
    uniform mat4 worldView;
    uniform mat4 worldViewProj;
}
vertex vs {
    void main() {
        gl_Position = worldViewProj * worldView * worldIT * viewInverse * viewMat * worldMat
                      * offset * vec4(gloss * float(passes) * weights[15]);
    }
}
fragment fs {
    out vec4 colour;
    void main() { colour = texture(diffuseMap, vec2(0.5)) * diffuse; }
}
technique First { pass { vertex = vs; fragment = fs; } }
technique Second { pass { vertex = vs; fragment = fs; } }
