#pragma once

#include "render/gl/GLContext.h"
#include "render/gl/GLStateCache.h"

#include <cstdint>
#include <epoxy/gl.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace Vrenn {

class GLTexture;

// What a parameter holds, from its GLSL type.
enum class ParamKind : uint8_t { Float, Int, UInt, Bool, Matrix, Sampler, Unsupported };

// A GL object owned by an effect and shared by its clones: a linked program or a
// sampler object, deleted through its context with the last holder.
class GLEffectObject {
public:
    GLEffectObject(GLContext& context, GLObjectType type, GLuint id);
    ~GLEffectObject();
    GLEffectObject(const GLEffectObject&) = delete;
    GLEffectObject& operator=(const GLEffectObject&) = delete;
    GLuint id() const { return m_id; }

private:
    GLObjectType m_type;
    GLuint m_id;
    GLContextHandle m_context;
};

// One uniform of an effect: its type and the value the effect holds for it. Values
// are 32-bit words, element after element, each element `components` words (matrices
// row by row).
struct GLEffectParameter {
    std::string name;
    std::string semantic;
    GLenum type = GL_NONE;
    ParamKind kind = ParamKind::Unsupported;
    uint32_t rows = 1;
    uint32_t columns = 1;
    uint32_t arraySize = 1;
    std::vector<uint32_t> words;
    // Changes with every write; programs compare it with what they last uploaded.
    uint64_t version = 0;
    // Samplers: the texture unit, the GL texture target the sampler reads, the
    // texture bound to it and the sampler object of its states.
    int32_t unit = -1;
    GLenum samplerTarget = GL_NONE;
    std::shared_ptr<GLTexture> texture;
    std::shared_ptr<GLEffectObject> samplerObject;

    uint32_t components() const { return rows * columns; }
    uint32_t wordCount() const { return components() * arraySize; }
};

// Where a program reads one parameter.
struct GLProgramBinding {
    uint32_t parameter;
    GLint location;
    uint32_t arraySize;    // elements this program has (it may use fewer than others)
    uint64_t uploaded = 0; // the parameter version the program holds
};

// A linked program with the parameters it reads. Shared by clones of an effect:
// GL keeps uniform values per program, so the bindings remember which version of
// each value the program has.
struct GLEffectProgram {
    std::shared_ptr<GLEffectObject> object;
    std::vector<GLProgramBinding> bindings;
};

struct GLEffectPass {
    std::string name;
    RenderStates states;
    std::shared_ptr<GLEffectProgram> program;
};

struct GLEffectTechnique {
    std::string name;
    std::vector<GLEffectPass> passes;
};

// Everything a compiled effect holds. Parameters keep it alive while they live.
struct GLEffectState {
    GLContextHandle context; // where its programs and samplers live
    std::vector<GLEffectTechnique> techniques;
    std::vector<GLEffectParameter> parameters;
    std::map<std::string, uint32_t> parameterIndex;
    uint32_t functionCount = 0; // shader blocks of the file

    GLEffectParameter* find(const std::string& name);
};

// A number no parameter write has used yet.
uint64_t nextParameterVersion();

} // namespace Vrenn
