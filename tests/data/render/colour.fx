vertex coloured {
    layout(location = ATTR_POSITION) in vec3 position;
    layout(location = ATTR_COLOR) in vec4 colour;
    out vec4 vertexColour;
    void main() { gl_Position = vec4(position, 1.0); vertexColour = colour; }
}
fragment flat { in vec4 vertexColour; out vec4 result; void main() { result = vertexColour; } }
technique Coloured { pass { vertex = coloured; fragment = flat; depth_test = false; } }
