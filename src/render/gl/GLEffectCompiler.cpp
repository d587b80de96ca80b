#include "render/gl/GLEffectCompiler.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <utility>

namespace Vrenn {

namespace {

struct TypeInfo {
    GLenum type;
    ParamKind kind;
    uint32_t rows;
    uint32_t columns;
    GLenum samplerTarget;
};

// GL's matCxR has C columns and R rows.
constexpr TypeInfo kTypes[] = {
    {GL_FLOAT, ParamKind::Float, 1, 1, GL_NONE},
    {GL_FLOAT_VEC2, ParamKind::Float, 1, 2, GL_NONE},
    {GL_FLOAT_VEC3, ParamKind::Float, 1, 3, GL_NONE},
    {GL_FLOAT_VEC4, ParamKind::Float, 1, 4, GL_NONE},
    {GL_INT, ParamKind::Int, 1, 1, GL_NONE},
    {GL_INT_VEC2, ParamKind::Int, 1, 2, GL_NONE},
    {GL_INT_VEC3, ParamKind::Int, 1, 3, GL_NONE},
    {GL_INT_VEC4, ParamKind::Int, 1, 4, GL_NONE},
    {GL_UNSIGNED_INT, ParamKind::UInt, 1, 1, GL_NONE},
    {GL_UNSIGNED_INT_VEC2, ParamKind::UInt, 1, 2, GL_NONE},
    {GL_UNSIGNED_INT_VEC3, ParamKind::UInt, 1, 3, GL_NONE},
    {GL_UNSIGNED_INT_VEC4, ParamKind::UInt, 1, 4, GL_NONE},
    {GL_BOOL, ParamKind::Bool, 1, 1, GL_NONE},
    {GL_BOOL_VEC2, ParamKind::Bool, 1, 2, GL_NONE},
    {GL_BOOL_VEC3, ParamKind::Bool, 1, 3, GL_NONE},
    {GL_BOOL_VEC4, ParamKind::Bool, 1, 4, GL_NONE},
    {GL_FLOAT_MAT2, ParamKind::Matrix, 2, 2, GL_NONE},
    {GL_FLOAT_MAT3, ParamKind::Matrix, 3, 3, GL_NONE},
    {GL_FLOAT_MAT4, ParamKind::Matrix, 4, 4, GL_NONE},
    {GL_FLOAT_MAT2x3, ParamKind::Matrix, 3, 2, GL_NONE},
    {GL_FLOAT_MAT2x4, ParamKind::Matrix, 4, 2, GL_NONE},
    {GL_FLOAT_MAT3x2, ParamKind::Matrix, 2, 3, GL_NONE},
    {GL_FLOAT_MAT3x4, ParamKind::Matrix, 4, 3, GL_NONE},
    {GL_FLOAT_MAT4x2, ParamKind::Matrix, 2, 4, GL_NONE},
    {GL_FLOAT_MAT4x3, ParamKind::Matrix, 3, 4, GL_NONE},
    {GL_SAMPLER_1D, ParamKind::Sampler, 1, 1, GL_TEXTURE_1D},
    {GL_SAMPLER_2D, ParamKind::Sampler, 1, 1, GL_TEXTURE_2D},
    {GL_SAMPLER_3D, ParamKind::Sampler, 1, 1, GL_TEXTURE_3D},
    {GL_SAMPLER_CUBE, ParamKind::Sampler, 1, 1, GL_TEXTURE_CUBE_MAP},
    {GL_SAMPLER_2D_SHADOW, ParamKind::Sampler, 1, 1, GL_TEXTURE_2D},
    {GL_SAMPLER_CUBE_SHADOW, ParamKind::Sampler, 1, 1, GL_TEXTURE_CUBE_MAP},
    {GL_INT_SAMPLER_2D, ParamKind::Sampler, 1, 1, GL_TEXTURE_2D},
    {GL_UNSIGNED_INT_SAMPLER_2D, ParamKind::Sampler, 1, 1, GL_TEXTURE_2D},
};

TypeInfo describe(GLenum type) {
    for (const auto& info : kTypes)
        if (info.type == type) return info;
    return {type, ParamKind::Unsupported, 1, 1, GL_NONE};
}

std::string infoLog(GLuint object, bool program) {
    GLint length = 0;
    if (program)
        glGetProgramiv(object, GL_INFO_LOG_LENGTH, &length);
    else
        glGetShaderiv(object, GL_INFO_LOG_LENGTH, &length);
    std::string log(static_cast<size_t>(std::max(length, 1)), '\0');
    if (program)
        glGetProgramInfoLog(object, length, nullptr, log.data());
    else
        glGetShaderInfoLog(object, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

// The driver's text on one line: lines joined with "; ", blanks trimmed.
std::string oneLine(const std::string& text) {
    std::string result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back())))
            line.pop_back();
        size_t first = 0;
        while (first < line.size() && std::isspace(static_cast<unsigned char>(line[first])))
            ++first;
        if (first < line.size()) {
            if (!result.empty()) result += "; ";
            result += line.substr(first);
        }
        start = end + 1;
    }
    return result.empty() ? "no message from the driver" : result;
}

// The first line number in a driver's log. Drivers write "0:12(5): error",
// "0(12) : error" or "ERROR: 0:12: ...": a source-string number, then ':' or '(', then
// the line. The shaders carry #line directives, so it is a line of the effect file.
int firstLogLine(const std::string& log) {
    for (size_t i = 0; i < log.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(log[i]))) continue;
        if (i > 0 && std::isalnum(static_cast<unsigned char>(log[i - 1]))) continue;
        size_t j = i;
        while (j < log.size() && std::isdigit(static_cast<unsigned char>(log[j])))
            ++j;
        if (j + 1 < log.size() && (log[j] == ':' || log[j] == '(') &&
            std::isdigit(static_cast<unsigned char>(log[j + 1])))
            return std::atoi(log.c_str() + j + 1);
        i = j;
    }
    return 0;
}

std::string lineDirective(int line) {
    return "#line " + std::to_string(std::max(line, 1)) + "\n";
}

class Compiler {
public:
    Compiler(GLContext& context, const EffectSource& source, const std::string& fileName,
             GLEffectState& out, std::string& error)
        : m_context(context), m_source(source), m_file(fileName), m_out(out), m_error(error) {}

    ~Compiler() {
        for (auto& [name, shader] : m_vertex)
            m_context.deleteObject(GLObjectType::Shader, shader);
        for (auto& [name, shader] : m_fragment)
            m_context.deleteObject(GLObjectType::Shader, shader);
    }

    bool run() {
        for (const auto& block : m_source.vertexShaders)
            if (!compile(block, GL_VERTEX_SHADER, m_vertex)) return false;
        for (const auto& block : m_source.fragmentShaders)
            if (!compile(block, GL_FRAGMENT_SHADER, m_fragment)) return false;
        m_out.functionCount =
            static_cast<uint32_t>(m_source.vertexShaders.size() + m_source.fragmentShaders.size());

        std::map<std::pair<std::string, std::string>, std::shared_ptr<GLEffectProgram>> programs;
        for (const auto& techniqueSource : m_source.techniques) {
            GLEffectTechnique technique;
            technique.name = techniqueSource.name;
            for (const auto& passSource : techniqueSource.passes) {
                auto& program = programs[{passSource.vertex, passSource.fragment}];
                if (!program) {
                    program = link(passSource, techniqueSource.name);
                    if (!program || !reflect(*program, passSource.line)) return false;
                }
                technique.passes.push_back({passSource.name, passSource.states, program});
            }
            m_out.techniques.push_back(std::move(technique));
        }
        for (const auto& [key, program] : programs)
            m_programs.push_back(program);
        return assignSamplers() && readInitialValues();
    }

private:
    bool fail(int line, const std::string& what, const std::string& text) {
        m_error = m_file + ":" + std::to_string(line) + ": " + what + ": " + text;
        return false;
    }

    bool compile(const EffectCodeBlock& block, GLenum stage, std::map<std::string, GLuint>& into) {
        std::vector<std::string> parts;
        parts.push_back(effectShaderPreamble(stage));
        for (const auto& shared : m_source.shared) {
            parts.push_back(lineDirective(shared.line));
            parts.push_back(shared.code + "\n");
        }
        parts.push_back(lineDirective(block.line));
        parts.push_back(block.code + "\n");
        std::vector<const GLchar*> strings;
        std::vector<GLint> lengths;
        for (const auto& part : parts) {
            strings.push_back(part.data());
            lengths.push_back(static_cast<GLint>(part.size()));
        }
        GLuint shader = glCreateShader(stage);
        glShaderSource(shader, static_cast<GLsizei>(strings.size()), strings.data(),
                       lengths.data());
        glCompileShader(shader);
        GLint compiled = GL_FALSE;
        glGetShaderiv(shader, GL_COMPILE_STATUS, &compiled);
        if (!compiled) {
            const std::string log = infoLog(shader, false);
            m_context.deleteObject(GLObjectType::Shader, shader);
            const int line = firstLogLine(log);
            const char* kind = stage == GL_VERTEX_SHADER ? "vertex" : "fragment";
            return fail(line > 0 ? line : block.line,
                        std::string(kind) + " shader '" + block.name + "'", oneLine(log));
        }
        into[block.name] = shader;
        return true;
    }

    std::shared_ptr<GLEffectProgram> link(const EffectPassSource& pass,
                                          const std::string& technique) {
        const GLuint id = glCreateProgram();
        auto program = std::make_shared<GLEffectProgram>();
        program->object = std::make_shared<GLEffectObject>(m_context, GLObjectType::Program, id);
        glAttachShader(id, m_vertex.at(pass.vertex));
        glAttachShader(id, m_fragment.at(pass.fragment));
        glLinkProgram(id);
        glDetachShader(id, m_vertex.at(pass.vertex));
        glDetachShader(id, m_fragment.at(pass.fragment));
        GLint linked = GL_FALSE;
        glGetProgramiv(id, GL_LINK_STATUS, &linked);
        if (!linked) {
            const std::string passName = pass.name.empty() ? "" : " '" + pass.name + "'";
            fail(pass.line,
                 "technique '" + technique + "' pass" + passName + ": linking '" + pass.vertex +
                     "' with '" + pass.fragment + "'",
                 oneLine(infoLog(id, true)));
            return nullptr;
        }
        return program;
    }

    bool reflect(GLEffectProgram& program, int line) {
        const GLuint id = program.object->id();
        GLint count = 0;
        glGetProgramInterfaceiv(id, GL_UNIFORM, GL_ACTIVE_RESOURCES, &count);
        for (GLint i = 0; i < count; ++i) {
            const GLenum props[] = {GL_NAME_LENGTH, GL_TYPE, GL_ARRAY_SIZE, GL_LOCATION,
                                    GL_BLOCK_INDEX};
            GLint values[5] = {};
            glGetProgramResourceiv(id, GL_UNIFORM, static_cast<GLuint>(i), 5, props, 5, nullptr,
                                   values);
            if (values[3] < 0 || values[4] != -1) continue; // in a block, or built in
            std::string name(static_cast<size_t>(std::max(values[0], 1)), '\0');
            glGetProgramResourceName(id, GL_UNIFORM, static_cast<GLuint>(i), values[0], nullptr,
                                     name.data());
            name.resize(std::strlen(name.c_str()));
            if (name.size() > 3 && name.compare(name.size() - 3, 3, "[0]") == 0)
                name.resize(name.size() - 3);
            const TypeInfo info = describe(static_cast<GLenum>(values[1]));
            const auto arraySize = static_cast<uint32_t>(std::max(values[2], 1));

            GLEffectParameter* parameter = m_out.find(name);
            if (!parameter) {
                GLEffectParameter fresh;
                fresh.name = name;
                fresh.type = info.type;
                fresh.kind = info.kind;
                fresh.rows = info.rows;
                fresh.columns = info.columns;
                fresh.samplerTarget = info.samplerTarget;
                m_out.parameterIndex[name] = static_cast<uint32_t>(m_out.parameters.size());
                m_out.parameters.push_back(std::move(fresh));
                parameter = &m_out.parameters.back();
            } else if (parameter->type != info.type) {
                return fail(line, "parameter '" + name + "'",
                            "declared with different types in the effect's shaders");
            }
            // Drivers report arrays only up to the last element a shader uses.
            parameter->arraySize = std::max(parameter->arraySize, arraySize);
            program.bindings.push_back({m_out.parameterIndex[name], values[3], arraySize, 0});
        }
        return true;
    }

    std::shared_ptr<GLEffectObject> makeSampler(const std::string& name) {
        EffectSamplerState state;
        for (const auto& described : m_source.samplers)
            if (described.name == name) state = described;
        GLuint id = 0;
        glCreateSamplers(1, &id);
        glSamplerParameteri(id, GL_TEXTURE_MIN_FILTER, state.minFilter);
        glSamplerParameteri(id, GL_TEXTURE_MAG_FILTER, state.magFilter);
        glSamplerParameteri(id, GL_TEXTURE_WRAP_S, state.wrapS);
        glSamplerParameteri(id, GL_TEXTURE_WRAP_T, state.wrapT);
        glSamplerParameteri(id, GL_TEXTURE_WRAP_R, state.wrapR);
        if (state.maxAnisotropy > 1.0f &&
            (epoxy_gl_version() >= 46 ||
             epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic")))
            glSamplerParameterf(id, GL_TEXTURE_MAX_ANISOTROPY, state.maxAnisotropy);
        return std::make_shared<GLEffectObject>(m_context, GLObjectType::Sampler, id);
    }

    bool assignSamplers() {
        int32_t unit = 0;
        for (auto& parameter : m_out.parameters) {
            if (parameter.kind != ParamKind::Sampler) continue;
            if (parameter.arraySize != 1)
                return fail(1, "parameter '" + parameter.name + "'",
                            "arrays of samplers are not supported");
            if (unit >= static_cast<int32_t>(GLStateCache::kTextureUnits))
                return fail(1, "parameter '" + parameter.name + "'", "too many samplers");
            parameter.unit = unit++;
            parameter.samplerObject = makeSampler(parameter.name);
            parameter.words.assign(1, static_cast<uint32_t>(parameter.unit));
        }
        for (const auto& program : m_programs)
            for (const auto& binding : program->bindings) {
                const auto& parameter = m_out.parameters[binding.parameter];
                if (parameter.kind == ParamKind::Sampler)
                    glProgramUniform1i(program->object->id(), binding.location, parameter.unit);
            }
        return true;
    }

    // The values the shaders declare (uniform initialisers; 0 otherwise) become the
    // values the effect holds.
    bool readInitialValues() {
        std::vector<bool> read(m_out.parameters.size(), false);
        for (const auto& program : m_programs) {
            for (auto& binding : program->bindings) {
                auto& parameter = m_out.parameters[binding.parameter];
                if (parameter.kind == ParamKind::Sampler) continue;
                if (read[binding.parameter]) continue;
                read[binding.parameter] = true;
                parameter.words.assign(parameter.wordCount(), 0);
                if (parameter.kind == ParamKind::Unsupported) continue;
                const uint32_t components = parameter.components();
                for (uint32_t element = 0; element < binding.arraySize; ++element) {
                    const GLint location = binding.location + static_cast<GLint>(element);
                    uint32_t* target = parameter.words.data() + element * components;
                    const GLsizei bytes = static_cast<GLsizei>(components * 4);
                    if (parameter.kind == ParamKind::Float) {
                        glGetnUniformfv(program->object->id(), location, bytes,
                                        reinterpret_cast<GLfloat*>(target));
                    } else if (parameter.kind == ParamKind::Matrix) {
                        // GL gives matrices column by column; the effect holds rows.
                        std::vector<GLfloat> columns(components);
                        glGetnUniformfv(program->object->id(), location, bytes, columns.data());
                        auto* rows = reinterpret_cast<GLfloat*>(target);
                        for (uint32_t r = 0; r < parameter.rows; ++r)
                            for (uint32_t c = 0; c < parameter.columns; ++c)
                                rows[r * parameter.columns + c] = columns[c * parameter.rows + r];
                    } else if (parameter.kind == ParamKind::UInt) {
                        glGetnUniformuiv(program->object->id(), location, bytes, target);
                    } else {
                        glGetnUniformiv(program->object->id(), location, bytes,
                                        reinterpret_cast<GLint*>(target));
                    }
                }
                parameter.version = nextParameterVersion();
                binding.uploaded = parameter.version;
            }
        }
        for (const auto& entry : m_source.semantics)
            if (auto* parameter = m_out.find(entry.parameter)) parameter->semantic = entry.semantic;
        return true;
    }

    GLContext& m_context;
    const EffectSource& m_source;
    const std::string& m_file;
    GLEffectState& m_out;
    std::string& m_error;
    std::map<std::string, GLuint> m_vertex;
    std::map<std::string, GLuint> m_fragment;
    std::vector<std::shared_ptr<GLEffectProgram>> m_programs;
};

} // namespace

std::string effectShaderPreamble(GLenum stage) {
    std::string text = "#version 450 core\n";
    text += stage == GL_VERTEX_SHADER ? "#define VERTEX_SHADER 1\n" : "#define FRAGMENT_SHADER 1\n";
    text += "#define ATTR_POSITION 0\n"
            "#define ATTR_NORMAL 1\n"
            "#define ATTR_COLOR 2\n"
            "#define ATTR_BLENDWEIGHT 3\n"
            "#define ATTR_BLENDINDICES 4\n"
            "#define ATTR_TANGENT 5\n"
            "#define ATTR_BINORMAL 6\n";
    for (int set = 0; set < 8; ++set)
        text +=
            "#define ATTR_TEXCOORD" + std::to_string(set) + " " + std::to_string(7 + set) + "\n";
    return text;
}

bool compileEffect(GLContext& context, const EffectSource& source, const std::string& fileName,
                   GLEffectState& out, std::string& error) {
    out = GLEffectState{};
    Compiler compiler(context, source, fileName, out, error);
    if (compiler.run()) {
        out.context = GLContextHandle(context);
        return true;
    }
    out = GLEffectState{};
    return false;
}

} // namespace Vrenn
