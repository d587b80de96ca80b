vertex v { void main() { gl_Position = vec4(0.0); } }
fragment f {
    out vec4 c;
    void main() { c = undefinedThing; }
}
technique t { pass { vertex = v; fragment = f; } }
