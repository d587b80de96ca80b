#include "render/gl/GLVertexBuffer.h"

#include <algorithm>

namespace Vrenn {

namespace {
// Vertex buffer bindings every GL 4.5 implementation offers.
constexpr uint32_t kMaxStreams = 16;

void clearErrors() {
    while (glGetError() != GL_NO_ERROR) {
    }
}

GLenum primitiveMode(uint32_t type) {
    switch (type) {
    case PRIMITIVE_POINT_LIST:
        return GL_POINTS;
    case PRIMITIVE_LINE_LIST:
        return GL_LINES;
    case PRIMITIVE_LINE_STRIP:
        return GL_LINE_STRIP;
    case PRIMITIVE_TRIANGLE_LIST:
        return GL_TRIANGLES;
    case PRIMITIVE_TRIANGLE_STRIP:
        return GL_TRIANGLE_STRIP;
    case PRIMITIVE_TRIANGLE_FAN:
        return GL_TRIANGLE_FAN;
    default:
        return GL_NONE;
    }
}

// Vertices (or indices) that `primitives` primitives of a type use.
uint64_t verticesFor(uint32_t type, uint64_t primitives) {
    if (primitives == 0) return 0;
    switch (type) {
    case PRIMITIVE_POINT_LIST:
        return primitives;
    case PRIMITIVE_LINE_LIST:
        return primitives * 2;
    case PRIMITIVE_LINE_STRIP:
        return primitives + 1;
    case PRIMITIVE_TRIANGLE_LIST:
        return primitives * 3;
    case PRIMITIVE_TRIANGLE_STRIP:
    case PRIMITIVE_TRIANGLE_FAN:
        return primitives + 2;
    default:
        return 0;
    }
}
} // namespace

int32_t attributeLocation(uint32_t usage, uint32_t usageIndex) {
    if (usage == USAGE_TEXCOORD) return usageIndex < 8 ? 7 + static_cast<int32_t>(usageIndex) : -1;
    if (usageIndex != 0) return -1;
    switch (usage) {
    case USAGE_POSITION:
        return 0;
    case USAGE_NORMAL:
        return 1;
    case USAGE_COLOR:
        return 2;
    case USAGE_BLENDWEIGHT:
        return 3;
    case USAGE_BLENDINDICES:
        return 4;
    case USAGE_TANGENT:
        return 5;
    case USAGE_BINORMAL:
        return 6;
    default:
        return -1;
    }
}

GLVertexBuffer::~GLVertexBuffer() {
    releaseAll();
}

void GLVertexBuffer::releaseAll() {
    for (auto& [mask, vertexArray] : m_declarations)
        m_context.deleteObject(GLObjectType::VertexArray, vertexArray);
    for (GLuint& buffer : m_buffers)
        m_context.deleteObject(GLObjectType::Buffer, buffer);
    m_context.deleteObject(GLObjectType::Buffer, m_indexBuffer);
    m_declarations.clear();
    m_buffers.clear();
    m_bufferSizes.clear();
    m_indexCapacity = 0;
    m_created = false;
}

bool GLVertexBuffer::createBuffers() {
    if (!m_context.live()) return false;
    if (m_created && m_buffers.size() == m_streams.size()) return true;
    releaseAll();
    clearErrors();
    const GLenum usage = m_dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW;
    for (uint32_t stream = 0; stream < streamCount(); ++stream) {
        const size_t size = static_cast<size_t>(m_strides[stream]) * m_vertexCount;
        GLuint buffer = 0;
        if (size > 0) {
            glCreateBuffers(1, &buffer);
            glNamedBufferData(buffer, static_cast<GLsizeiptr>(size), nullptr, usage);
        }
        m_buffers.push_back(buffer);
        m_bufferSizes.push_back(size);
    }
    if (!m_indices.empty()) {
        m_indexCapacity = m_indices.size();
        glCreateBuffers(1, &m_indexBuffer);
        glNamedBufferData(m_indexBuffer, static_cast<GLsizeiptr>(m_indexCapacity * 4), nullptr,
                          usage);
    }
    if (glGetError() != GL_NO_ERROR) {
        releaseAll();
        return false;
    }
    m_created = true;
    return true;
}

GLuint GLVertexBuffer::declaration(uint32_t mask) {
    const auto found = m_declarations.find(mask);
    if (found != m_declarations.end()) return found->second;
    if (!m_created || m_buffers.size() != m_streams.size() || !m_context.live()) return 0;
    const uint32_t streams = streamCount();
    const bool accepted = mask == kAllStreams ||
                          (streams > 0 && (uint64_t{1} << streams) >= mask) ||
                          (streams == 0 && mask <= 1);
    if (!accepted) return 0;

    auto inMask = [mask](uint32_t stream) { return stream < 31 && ((mask >> stream) & 1u) != 0; };
    GLuint vertexArray = 0;
    glCreateVertexArrays(1, &vertexArray);
    uint32_t usedLocations = 0;
    for (const VertexElement& element : m_elements) {
        if (element.stream >= streams || element.stream >= kMaxStreams || !inMask(element.stream))
            continue;
        const int32_t location = attributeLocation(element.usage, element.usageIndex);
        if (location < 0 || (usedLocations & (1u << location)) != 0) continue;
        const bool colour = element.componentType == COMPONENT_COLOR;
        const uint32_t count = colour ? 1
                                      : (element.componentCount >= 1 && element.componentCount <= 4
                                             ? element.componentCount
                                             : 4);
        // An element reaching past its vertex would read past the buffer's end.
        if (uint64_t{element.offset} + 4u * count > m_strides[element.stream]) continue;
        const auto loc = static_cast<GLuint>(location);
        if (colour)
            glVertexArrayAttribFormat(vertexArray, loc, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE,
                                      element.offset);
        else if (element.componentType == COMPONENT_FLOAT)
            glVertexArrayAttribFormat(vertexArray, loc, static_cast<GLint>(count), GL_FLOAT,
                                      GL_FALSE, element.offset);
        else
            glVertexArrayAttribFormat(vertexArray, loc, 1, GL_FLOAT, GL_FALSE, element.offset);
        glVertexArrayAttribBinding(vertexArray, loc, element.stream);
        glEnableVertexArrayAttrib(vertexArray, loc);
        usedLocations |= 1u << location;
    }
    for (uint32_t stream = 0; stream < std::min(streams, kMaxStreams); ++stream)
        if (inMask(stream) && m_buffers[stream])
            glVertexArrayVertexBuffer(vertexArray, stream, m_buffers[stream], 0,
                                      static_cast<GLsizei>(m_strides[stream]));
    if (m_indexBuffer) glVertexArrayElementBuffer(vertexArray, m_indexBuffer);
    m_declarations[mask] = vertexArray;
    return vertexArray;
}

bool GLVertexBuffer::bind() {
    const auto context = m_context.live();
    const GLuint vertexArray = context ? declaration(m_streamMask) : 0;
    if (vertexArray == 0) return false;
    context->cache().bindVertexArray(vertexArray);
    return true;
}

void GLVertexBuffer::unbind() {
    if (const auto context = m_context.live()) context->cache().bindDefaultVertexArray();
}

void GLVertexBuffer::draw(int32_t first, int32_t vertexCount, int32_t indexCount) {
    if (m_vertexCount == 0 || !m_created) return;
    const GLenum mode = primitiveMode(m_primitiveType);
    if (mode == GL_NONE || !bind()) return;
    const uint64_t start = first < 0 ? 0 : static_cast<uint64_t>(first);
    if (m_indices.empty()) {
        uint64_t primitives = m_primitiveCount;
        if (vertexCount >= 0 && static_cast<uint64_t>(vertexCount) <= m_vertexCount)
            primitives = primitiveCountFor(m_primitiveType, static_cast<uint32_t>(vertexCount));
        // Never past the last vertex.
        if (start >= m_vertexCount) return;
        const uint64_t count =
            std::min(verticesFor(m_primitiveType, primitives), uint64_t{m_vertexCount} - start);
        if (count > 0) glDrawArrays(mode, static_cast<GLint>(start), static_cast<GLsizei>(count));
        return;
    }
    uint64_t primitives = m_primitiveCount;
    if (indexCount >= 0 && static_cast<uint64_t>(indexCount) <= m_indices.size())
        primitives = primitiveCountFor(m_primitiveType, static_cast<uint32_t>(indexCount));
    if (start >= m_indexCapacity) return;
    const uint64_t count =
        std::min(verticesFor(m_primitiveType, primitives), uint64_t{m_indexCapacity} - start);
    if (count > 0)
        glDrawElements(mode, static_cast<GLsizei>(count), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(static_cast<uintptr_t>(start * 4)));
}

bool GLVertexBuffer::update(bool streams, bool indices, int32_t vertexCount, int32_t indexCount) {
    if (!m_dynamic && m_uploaded) return false;
    if (!m_created || m_buffers.size() != m_streams.size() || !m_context.live()) return false;
    size_t indexTotal = 0;
    if (indices && m_indexBuffer) {
        indexTotal = indexCount < 0 ? m_indices.size()
                                    : std::min(m_indices.size(), static_cast<size_t>(indexCount));
        indexTotal = std::min(indexTotal, m_indexCapacity);
        // Indices past the last vertex would make draws read outside the buffers.
        for (size_t i = 0; i < indexTotal; ++i)
            if (m_indices[i] >= m_vertexCount) return false;
    }
    m_uploaded = true;
    clearErrors();
    if (streams) {
        const uint64_t vertices =
            vertexCount < 0 ? m_vertexCount : std::min<uint64_t>(vertexCount, m_vertexCount);
        for (uint32_t stream = 0; stream < streamCount(); ++stream) {
            const GLuint buffer = m_buffers[stream];
            if (!buffer) continue;
            const size_t bytes = std::min({static_cast<size_t>(vertices * m_strides[stream]),
                                           m_streams[stream]->size(), m_bufferSizes[stream]});
            // A dynamic buffer gets fresh storage, so drawing from the old contents need
            // not wait.
            if (m_dynamic)
                glNamedBufferData(buffer, static_cast<GLsizeiptr>(m_bufferSizes[stream]), nullptr,
                                  GL_DYNAMIC_DRAW);
            if (bytes > 0)
                glNamedBufferSubData(buffer, 0, static_cast<GLsizeiptr>(bytes),
                                     m_streams[stream]->data());
        }
    }
    if (indexTotal > 0) {
        if (m_dynamic)
            glNamedBufferData(m_indexBuffer, static_cast<GLsizeiptr>(m_indexCapacity * 4), nullptr,
                              GL_DYNAMIC_DRAW);
        glNamedBufferSubData(m_indexBuffer, 0, static_cast<GLsizeiptr>(indexTotal * 4),
                             m_indices.data());
    }
    return glGetError() == GL_NO_ERROR;
}

} // namespace Vrenn
