#include "render/gl/GLEffectSource.h"

#include <cctype>
#include <cstdlib>
#include <map>
#include <set>

namespace Vrenn {

namespace {

// Splits effect text into words and punctuation, skipping white space and comments,
// and hands out GLSL blocks whole.
class Lexer {
public:
    explicit Lexer(const std::string& text) : m_text(text) {}

    int line() const { return m_line; }
    bool atEnd() {
        skipSpace();
        return m_pos >= m_text.size();
    }

    // The next word (letters, digits, '_', '.', '-', '+') or single punctuation
    // character; empty at the end.
    std::string next() {
        skipSpace();
        m_tokenLine = m_line;
        if (m_pos >= m_text.size()) return {};
        const char c = m_text[m_pos];
        if (!isWordChar(c)) {
            ++m_pos;
            return std::string(1, c);
        }
        const size_t start = m_pos;
        while (m_pos < m_text.size() && isWordChar(m_text[m_pos]))
            ++m_pos;
        return m_text.substr(start, m_pos - start);
    }
    std::string peek() {
        const size_t pos = m_pos;
        const int line = m_line;
        std::string token = next();
        m_pos = pos;
        m_line = line;
        return token;
    }
    int tokenLine() const { return m_tokenLine; }

    // After an opening '{': the text up to the matching '}', which is consumed.
    // Braces inside comments do not count. False when the block never closes.
    bool codeBlock(std::string& code, int& firstLine) {
        firstLine = m_line;
        const size_t start = m_pos;
        int depth = 1;
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n')
                    ++m_pos;
                continue;
            }
            if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                if (!skipBlockComment()) return false;
                continue;
            }
            if (c == '\n') ++m_line;
            if (c == '{') ++depth;
            if (c == '}' && --depth == 0) {
                code = m_text.substr(start, m_pos - start);
                ++m_pos;
                return true;
            }
            ++m_pos;
        }
        return false;
    }

    bool unterminatedComment() const { return m_unterminated; }

private:
    static bool isWordChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '-' ||
               c == '+';
    }
    bool skipBlockComment() {
        m_pos += 2;
        while (m_pos + 1 < m_text.size() && !(m_text[m_pos] == '*' && m_text[m_pos + 1] == '/')) {
            if (m_text[m_pos] == '\n') ++m_line;
            ++m_pos;
        }
        if (m_pos + 1 >= m_text.size()) {
            m_pos = m_text.size();
            m_unterminated = true;
            return false;
        }
        m_pos += 2;
        return true;
    }
    void skipSpace() {
        while (m_pos < m_text.size()) {
            const char c = m_text[m_pos];
            if (c == '\n') {
                ++m_line;
                ++m_pos;
            } else if (std::isspace(static_cast<unsigned char>(c))) {
                ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '/') {
                while (m_pos < m_text.size() && m_text[m_pos] != '\n')
                    ++m_pos;
            } else if (c == '/' && m_pos + 1 < m_text.size() && m_text[m_pos + 1] == '*') {
                if (!skipBlockComment()) return;
            } else {
                return;
            }
        }
    }

    const std::string& m_text;
    size_t m_pos = 0;
    int m_line = 1;
    int m_tokenLine = 1;
    bool m_unterminated = false;
};

bool parseBool(const std::string& word, bool& out) {
    if (word == "true" || word == "on") {
        out = true;
        return true;
    }
    if (word == "false" || word == "off") {
        out = false;
        return true;
    }
    return false;
}

template <class T>
bool lookUp(const std::map<std::string, T>& table, const std::string& word, T& out) {
    const auto it = table.find(word);
    if (it == table.end()) return false;
    out = it->second;
    return true;
}

const std::map<std::string, CullMode> kCull = {
    {"none", CullMode::None}, {"cw", CullMode::Clockwise}, {"ccw", CullMode::CounterClockwise}};
const std::map<std::string, FillMode> kFill = {
    {"solid", FillMode::Solid}, {"wireframe", FillMode::Wireframe}, {"point", FillMode::Point}};
const std::map<std::string, GLenum> kCompare = {
    {"never", GL_NEVER},          {"less", GL_LESS},       {"equal", GL_EQUAL},
    {"less_equal", GL_LEQUAL},    {"greater", GL_GREATER}, {"not_equal", GL_NOTEQUAL},
    {"greater_equal", GL_GEQUAL}, {"always", GL_ALWAYS},
};
const std::map<std::string, GLenum> kBlendFactor = {
    {"zero", GL_ZERO},
    {"one", GL_ONE},
    {"src_color", GL_SRC_COLOR},
    {"inv_src_color", GL_ONE_MINUS_SRC_COLOR},
    {"src_alpha", GL_SRC_ALPHA},
    {"inv_src_alpha", GL_ONE_MINUS_SRC_ALPHA},
    {"dest_color", GL_DST_COLOR},
    {"inv_dest_color", GL_ONE_MINUS_DST_COLOR},
    {"dest_alpha", GL_DST_ALPHA},
    {"inv_dest_alpha", GL_ONE_MINUS_DST_ALPHA},
    {"src_alpha_saturate", GL_SRC_ALPHA_SATURATE},
};
const std::map<std::string, GLenum> kBlendOperation = {
    {"add", GL_FUNC_ADD},
    {"subtract", GL_FUNC_SUBTRACT},
    {"rev_subtract", GL_FUNC_REVERSE_SUBTRACT},
    {"min", GL_MIN},
    {"max", GL_MAX},
};
const std::map<std::string, GLint> kAddress = {
    {"wrap", GL_REPEAT},
    {"mirror", GL_MIRRORED_REPEAT},
    {"clamp", GL_CLAMP_TO_EDGE},
    {"border", GL_CLAMP_TO_BORDER},
};

class Parser {
public:
    Parser(const std::string& text, EffectSource& out, EffectSourceError& error)
        : m_lexer(text), m_out(out), m_error(error) {}

    bool run() {
        while (!m_lexer.atEnd()) {
            const std::string word = m_lexer.next();
            const int line = m_lexer.tokenLine();
            bool ok = false;
            if (word == "shared")
                ok = codeBlock(m_out.shared, nullptr, line);
            else if (word == "vertex")
                ok = codeBlock(m_out.vertexShaders, &m_vertexNames, line);
            else if (word == "fragment")
                ok = codeBlock(m_out.fragmentShaders, &m_fragmentNames, line);
            else if (word == "sampler")
                ok = sampler(line);
            else if (word == "semantic")
                ok = semantic();
            else if (word == "technique")
                ok = technique(line);
            else
                ok = fail(line, "expected shared, vertex, fragment, sampler, semantic or "
                                "technique, found '" +
                                    word + "'");
            if (!ok) return false;
        }
        if (m_lexer.unterminatedComment()) return fail(m_lexer.line(), "unterminated comment");
        if (m_out.techniques.empty()) return fail(m_lexer.line(), "the effect has no technique");
        return checkReferences();
    }

private:
    bool fail(int line, const std::string& message) {
        m_error.line = line;
        m_error.message = message;
        return false;
    }
    bool expect(const std::string& wanted, const std::string& after) {
        const std::string got = m_lexer.next();
        if (got == wanted) return true;
        return fail(m_lexer.tokenLine(), "expected '" + wanted + "' " + after + ", found '" +
                                             (got.empty() ? "end of file" : got) + "'");
    }
    bool name(std::string& out, const std::string& what) {
        out = m_lexer.next();
        if (!out.empty() && (std::isalpha(static_cast<unsigned char>(out[0])) || out[0] == '_'))
            return true;
        return fail(m_lexer.tokenLine(), "expected a name for the " + what);
    }

    // names: the names of the blocks of this kind so far; null for shared (unnamed) blocks.
    bool codeBlock(std::vector<EffectCodeBlock>& blocks, std::set<std::string>* names, int line) {
        EffectCodeBlock block;
        if (names) {
            if (!name(block.name, "shader")) return false;
            if (!names->insert(block.name).second)
                return fail(line, "shader '" + block.name + "' is defined twice");
        }
        if (!expect("{", "to open the GLSL block")) return false;
        if (!m_lexer.codeBlock(block.code, block.line))
            return fail(line, "GLSL block is not closed with '}'");
        blocks.push_back(std::move(block));
        return true;
    }

    // Reads "key = value ... ;" lines up to the closing '}'; calls handle(key, values,
    // line) for each.
    template <class Handler> bool settings(const std::string& what, Handler handle) {
        if (!expect("{", "to open the " + what)) return false;
        for (;;) {
            const std::string key = m_lexer.next();
            const int line = m_lexer.tokenLine();
            if (key == "}") return true;
            if (key.empty()) return fail(line, "the " + what + " is not closed with '}'");
            if (!expect("=", "after '" + key + "'")) return false;
            std::vector<std::string> values;
            for (;;) {
                std::string value = m_lexer.next();
                if (value == ";") break;
                if (value.empty() || value == "}" || value == "{")
                    return fail(m_lexer.tokenLine(),
                                "expected ';' after the value of '" + key + "'");
                values.push_back(std::move(value));
            }
            if (values.empty()) return fail(line, "'" + key + "' has no value");
            if (!handle(key, values, line)) return false;
        }
    }

    bool sampler(int line) {
        EffectSamplerState state;
        state.line = line;
        if (!name(state.name, "sampler")) return false;
        std::string minFilter = "linear";
        std::string mipFilter = "linear";
        const bool ok = settings(
            "sampler", [&](const std::string& key, const std::vector<std::string>& values, int at) {
                const std::string& value = values[0];
                if (values.size() != 1) return fail(at, "'" + key + "' takes one value");
                if (key == "min") {
                    if (value != "point" && value != "linear")
                        return fail(at, "'min' is point or linear, not '" + value + "'");
                    minFilter = value;
                } else if (key == "mag") {
                    if (value != "point" && value != "linear")
                        return fail(at, "'mag' is point or linear, not '" + value + "'");
                    state.magFilter = value == "point" ? GL_NEAREST : GL_LINEAR;
                } else if (key == "mip") {
                    if (value != "none" && value != "point" && value != "linear")
                        return fail(at, "'mip' is none, point or linear, not '" + value + "'");
                    mipFilter = value;
                } else if (key == "address" || key == "address_u" || key == "address_v" ||
                           key == "address_w") {
                    GLint wrap = GL_REPEAT;
                    if (!lookUp(kAddress, value, wrap))
                        return fail(at, "'" + key + "' is wrap, mirror, clamp or border, not '" +
                                            value + "'");
                    if (key == "address" || key == "address_u") state.wrapS = wrap;
                    if (key == "address" || key == "address_v") state.wrapT = wrap;
                    if (key == "address" || key == "address_w") state.wrapR = wrap;
                } else if (key == "max_anisotropy") {
                    char* end = nullptr;
                    const float amount = std::strtof(value.c_str(), &end);
                    if (*end != '\0' || !(amount >= 1.0f && amount <= 16.0f))
                        return fail(at, "'max_anisotropy' is a number from 1 to 16");
                    state.maxAnisotropy = amount;
                } else {
                    return fail(at, "unknown sampler state '" + key + "'");
                }
                return true;
            });
        if (!ok) return false;
        const bool linear = minFilter == "linear";
        if (mipFilter == "none")
            state.minFilter = linear ? GL_LINEAR : GL_NEAREST;
        else if (mipFilter == "point")
            state.minFilter = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        else
            state.minFilter = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
        if (!m_samplerNames.insert(state.name).second)
            return fail(line, "sampler '" + state.name + "' is described twice");
        m_out.samplers.push_back(std::move(state));
        return true;
    }

    bool semantic() {
        EffectSemantic entry;
        if (!name(entry.semantic, "semantic")) return false;
        if (!expect("=", "after the semantic")) return false;
        if (!name(entry.parameter, "parameter")) return false;
        if (!expect(";", "after the parameter")) return false;
        m_out.semantics.push_back(std::move(entry));
        return true;
    }

    bool technique(int line) {
        EffectTechniqueSource technique;
        technique.line = line;
        if (!name(technique.name, "technique")) return false;
        if (!m_techniqueNames.insert(technique.name).second)
            return fail(line, "technique '" + technique.name + "' is defined twice");
        if (!expect("{", "to open the technique")) return false;
        for (;;) {
            const std::string word = m_lexer.next();
            const int at = m_lexer.tokenLine();
            if (word == "}") break;
            if (word != "pass")
                return fail(at, word.empty() ? "the technique is not closed with '}'"
                                             : "expected 'pass' or '}', found '" + word + "'");
            EffectPassSource pass;
            pass.line = at;
            if (m_lexer.peek() != "{" && !name(pass.name, "pass")) return false;
            if (!settings("pass",
                          [&](const std::string& key, const std::vector<std::string>& values,
                              int keyLine) { return passState(pass, key, values, keyLine); }))
                return false;
            if (pass.vertex.empty()) return fail(at, "the pass names no vertex shader");
            if (pass.fragment.empty()) return fail(at, "the pass names no fragment shader");
            technique.passes.push_back(std::move(pass));
        }
        if (technique.passes.empty())
            return fail(line, "technique '" + technique.name + "' has no pass");
        m_out.techniques.push_back(std::move(technique));
        return true;
    }

    bool passState(EffectPassSource& pass, const std::string& key,
                   const std::vector<std::string>& values, int line) {
        RenderStates& s = pass.states;
        const std::string& value = values[0];
        auto single = [&]() {
            return values.size() == 1 || fail(line, "'" + key + "' takes one value");
        };
        auto bad = [&](const std::string& choices) {
            return fail(line, "'" + key + "' is " + choices + ", not '" + value + "'");
        };
        if (key == "vertex") {
            if (!single()) return false;
            pass.vertex = value;
        } else if (key == "fragment") {
            if (!single()) return false;
            pass.fragment = value;
        } else if (key == "cull") {
            if (!single()) return false;
            if (!lookUp(kCull, value, s.cull)) return bad("none, cw or ccw");
        } else if (key == "fill") {
            if (!single()) return false;
            if (!lookUp(kFill, value, s.fill)) return bad("solid, wireframe or point");
        } else if (key == "depth_test") {
            if (!single()) return false;
            if (!parseBool(value, s.depthTest)) return bad("true or false");
        } else if (key == "depth_write") {
            if (!single()) return false;
            if (!parseBool(value, s.depthWrite)) return bad("true or false");
        } else if (key == "depth_func") {
            if (!single()) return false;
            if (!lookUp(kCompare, value, s.depthFunc))
                return bad("a comparison such as less_equal");
        } else if (key == "blend") {
            if (values.size() == 1 && (value == "off" || value == "false")) {
                s.blend = false;
            } else if (values.size() == 2) {
                if (!lookUp(kBlendFactor, values[0], s.blendSource) ||
                    !lookUp(kBlendFactor, values[1], s.blendDestination))
                    return fail(line, "'blend' is off or two factors such as src_alpha "
                                      "inv_src_alpha");
                s.blend = true;
            } else {
                return fail(line, "'blend' is off or two factors such as src_alpha inv_src_alpha");
            }
        } else if (key == "blend_op") {
            if (!single()) return false;
            if (!lookUp(kBlendOperation, value, s.blendOperation))
                return bad("add, subtract, rev_subtract, min or max");
        } else if (key == "colour_mask" || key == "color_mask") {
            if (!single()) return false;
            uint8_t mask = 0;
            if (value != "none") {
                for (char c : value) {
                    const size_t bit = std::string("rgba").find(c);
                    if (bit == std::string::npos) return bad("none or letters of rgba");
                    mask = static_cast<uint8_t>(mask | (1u << bit));
                }
            }
            s.colourMask = mask;
        } else {
            return fail(line, "unknown pass state '" + key + "'");
        }
        return true;
    }

    bool checkReferences() {
        for (const auto& technique : m_out.techniques) {
            for (const auto& pass : technique.passes) {
                if (!m_vertexNames.count(pass.vertex))
                    return fail(pass.line, "vertex shader '" + pass.vertex + "' is not defined");
                if (!m_fragmentNames.count(pass.fragment))
                    return fail(pass.line,
                                "fragment shader '" + pass.fragment + "' is not defined");
            }
        }
        return true;
    }

    Lexer m_lexer;
    EffectSource& m_out;
    EffectSourceError& m_error;
    // Names defined so far, looked up in logarithmic time: a file of many blocks must not
    // compare each new name with all the earlier ones.
    std::set<std::string> m_vertexNames;
    std::set<std::string> m_fragmentNames;
    std::set<std::string> m_samplerNames;
    std::set<std::string> m_techniqueNames;
};

const EffectCodeBlock* findBlock(const std::vector<EffectCodeBlock>& blocks,
                                 const std::string& name) {
    for (const auto& block : blocks)
        if (block.name == name) return &block;
    return nullptr;
}

} // namespace

const EffectCodeBlock* EffectSource::vertexShader(const std::string& name) const {
    return findBlock(vertexShaders, name);
}

const EffectCodeBlock* EffectSource::fragmentShader(const std::string& name) const {
    return findBlock(fragmentShaders, name);
}

bool parseEffectSource(const std::string& text, EffectSource& out, EffectSourceError& error) {
    out = EffectSource{};
    error = EffectSourceError{};
    return Parser(text, out, error).run();
}

} // namespace Vrenn
