#include "import/GltfCheck.h"

#include <cmath>
#include <cstring>
#include <map>
#include <memory>

namespace Vrenn::Import {

namespace {

// A JSON value, as much of one as the checks need.
struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    double number = 0.0;
    std::string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json* get(const std::string& key) const {
        auto found = members.find(key);
        return kind == Object && found != members.end() ? &found->second : nullptr;
    }
    const std::vector<Json>& array(const std::string& key) const {
        static const std::vector<Json> kNone;
        const Json* value = get(key);
        return value && value->kind == Array ? value->items : kNone;
    }
};

// JSON text to a Json, nesting at most kMaxDepth deep.
class Parser {
public:
    explicit Parser(const std::string& text) : m_text(text) {}

    bool parse(Json& out, std::string& why) {
        if (!value(out, 0) || (space(), m_at != m_text.size())) {
            why = "its JSON is not well formed (at byte " + std::to_string(m_at) + ")";
            return false;
        }
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    void space() {
        while (m_at < m_text.size() && std::strchr(" \t\r\n", m_text[m_at]) && m_text[m_at])
            ++m_at;
    }
    bool literal(const char* word) {
        const size_t n = std::strlen(word);
        if (m_text.compare(m_at, n, word) != 0) return false;
        m_at += n;
        return true;
    }
    bool string(std::string& out) {
        if (m_at >= m_text.size() || m_text[m_at] != '"') return false;
        for (++m_at; m_at < m_text.size(); ++m_at) {
            const char c = m_text[m_at];
            if (c == '"') {
                ++m_at;
                return true;
            }
            if (c == '\\') {
                if (++m_at >= m_text.size()) return false;
                const char e = m_text[m_at];
                if (e == 'u') {
                    if (m_text.size() - m_at < 5) return false;
                    m_at += 4;
                    out += '?'; // the checks never compare escaped text
                } else {
                    out += e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
                }
            } else {
                out += c;
            }
        }
        return false;
    }
    bool value(Json& out, int depth) {
        if (depth > kMaxDepth) return false;
        space();
        if (m_at >= m_text.size()) return false;
        const char c = m_text[m_at];
        if (c == '{') {
            out.kind = Json::Object;
            ++m_at;
            space();
            if (m_at < m_text.size() && m_text[m_at] == '}') return ++m_at, true;
            for (;;) {
                std::string key;
                space();
                if (!string(key)) return false;
                space();
                if (m_at >= m_text.size() || m_text[m_at++] != ':') return false;
                Json member;
                if (!value(member, depth + 1)) return false;
                out.members[key] = std::move(member);
                space();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == '}') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (c == '[') {
            out.kind = Json::Array;
            ++m_at;
            space();
            if (m_at < m_text.size() && m_text[m_at] == ']') return ++m_at, true;
            for (;;) {
                out.items.emplace_back();
                if (!value(out.items.back(), depth + 1)) return false;
                space();
                if (m_at >= m_text.size()) return false;
                if (m_text[m_at] == ']') return ++m_at, true;
                if (m_text[m_at++] != ',') return false;
            }
        }
        if (c == '"') {
            out.kind = Json::String;
            return string(out.text);
        }
        if (literal("true") || literal("false")) {
            out.kind = Json::Bool;
            return true;
        }
        if (literal("null")) return true;
        const char* start = m_text.c_str() + m_at;
        char* end = nullptr;
        out.number = std::strtod(start, &end);
        if (end == start) return false;
        out.kind = Json::Number;
        m_at += size_t(end - start);
        return true;
    }

    const std::string& m_text;
    size_t m_at = 0;
};

// A whole number from 0 to 2^53 under key, or fallback when the key is absent; false
// when present but not such a number.
bool count(const Json& object, const char* key, uint64_t& out, uint64_t fallback = 0) {
    const Json* value = object.get(key);
    if (!value) {
        out = fallback;
        return true;
    }
    if (value->kind != Json::Number || !(value->number >= 0.0) ||
        value->number > 9007199254740992.0 || std::floor(value->number) != value->number)
        return false;
    out = uint64_t(value->number);
    return true;
}

uint64_t componentSize(uint64_t type) {
    switch (type) {
    case 5120:
    case 5121:
        return 1;
    case 5122:
    case 5123:
        return 2;
    case 5125:
    case 5126:
        return 4;
    default:
        return 0;
    }
}

uint64_t components(const std::string& type) {
    static const std::map<std::string, uint64_t> kCounts = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3},
                                                            {"VEC4", 4},   {"MAT2", 4}, {"MAT3", 9},
                                                            {"MAT4", 16}};
    auto found = kCounts.find(type);
    return found == kCounts.end() ? 0 : found->second;
}

// The bytes a buffer's URI really holds: a data URI's decoded length, or the size of a
// regular file the rules allow (a file they refuse is left to the file handler, which
// refuses it with a warning: its size counts as unlimited here).
uint64_t uriBytes(const std::string& uri, const FileRules& rules) {
    if (uri.rfind("data:", 0) == 0) {
        const size_t comma = uri.find(',');
        if (comma == std::string::npos) return 0;
        size_t digits = uri.size() - comma - 1;
        while (digits > 0 && uri[comma + digits] == '=')
            --digits;
        return digits * 3 / 4;
    }
    std::error_code error;
    const auto path = rules.folder / uri;
    if (!std::filesystem::is_regular_file(path, error)) return UINT64_MAX;
    const uint64_t size = std::filesystem::file_size(path, error);
    return error ? UINT64_MAX : size;
}

// Children of node in range, no cycle, at most kMaxGltfNodeDepth deep; done marks the
// nodes already checked with every node below them.
bool checkNodes(const std::vector<Json>& nodes, std::string& why) {
    std::vector<uint8_t> state(nodes.size(), 0); // 0 unseen, 1 on the path, 2 done
    for (size_t root = 0; root < nodes.size(); ++root) {
        if (state[root]) continue;
        // Depth-first without recursion: (node, next child) pairs.
        std::vector<std::pair<size_t, size_t>> path{{root, 0}};
        state[root] = 1;
        while (!path.empty()) {
            auto& [node, next] = path.back();
            const std::vector<Json>& children = nodes[node].array("children");
            if (next == children.size()) {
                state[node] = 2;
                path.pop_back();
                continue;
            }
            const Json& child = children[next++];
            if (child.kind != Json::Number || !(child.number >= 0.0) ||
                child.number >= double(nodes.size())) {
                why = "node " + std::to_string(node) + " names a child that does not exist";
                return false;
            }
            const size_t c = size_t(child.number);
            if (state[c] == 1) {
                why = "node " + std::to_string(c) + " is its own ancestor";
                return false;
            }
            if (state[c] == 2) continue;
            if (path.size() >= kMaxGltfNodeDepth) {
                why = "its node hierarchy is deeper than " + std::to_string(kMaxGltfNodeDepth);
                return false;
            }
            state[c] = 1;
            path.emplace_back(c, 0);
        }
    }
    return true;
}

uint32_t word(const std::vector<uint8_t>& bytes, size_t at) {
    uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

} // namespace

bool checkGltf(const std::vector<uint8_t>& file, bool binary, const FileRules& rules,
               std::string& why) {
    std::string text;
    uint64_t binBytes = 0;
    bool hasBin = false;
    if (file.size() >= 4 && std::memcmp(file.data(), "glTF", 4) == 0) {
        if (file.size() < 20) {
            why = "its binary glTF header is cut short";
            return false;
        }
        if (word(file, 4) != 2 || word(file, 8) != file.size()) {
            why = "its binary glTF header claims version " + std::to_string(word(file, 4)) +
                  " and " + std::to_string(word(file, 8)) + " bytes, but the file holds " +
                  std::to_string(file.size());
            return false;
        }
        size_t at = 12;
        for (int chunk = 0; at < file.size(); ++chunk) {
            if (file.size() - at < 8 || word(file, at) > file.size() - at - 8 ||
                (chunk == 0 && word(file, at + 4) != 0x4E4F534Au)) {
                why = "its binary glTF chunk " + std::to_string(chunk) +
                      " claims more bytes than the file holds, or the first is not JSON";
                return false;
            }
            const size_t length = word(file, at);
            if (chunk == 0)
                text.assign(reinterpret_cast<const char*>(file.data()) + at + 8, length);
            if (chunk == 1 && word(file, at + 4) == 0x004E4942u) {
                hasBin = true;
                binBytes = length;
            }
            at += 8 + length;
        }
    } else if (binary) {
        why = "it does not start as a binary glTF file";
        return false;
    } else {
        text.assign(file.begin(), file.end());
    }

    Json root;
    if (!Parser(text).parse(root, why)) return false;
    if (root.kind != Json::Object) {
        why = "its JSON is not an object";
        return false;
    }
    const auto bad = [&](const std::string& what, size_t index, const std::string& problem) {
        why = what + " " + std::to_string(index) + " " + problem;
        return false;
    };

    std::vector<uint64_t> buffers;
    for (const Json& buffer : root.array("buffers")) {
        uint64_t declared = 0;
        if (!count(buffer, "byteLength", declared))
            return bad("buffer", buffers.size(), "has no usable byteLength");
        const Json* uri = buffer.get("uri");
        const uint64_t real = uri && uri->kind == Json::String ? uriBytes(uri->text, rules)
                              : buffers.empty() && hasBin      ? binBytes
                                                               : 0;
        if (declared > real)
            return bad("buffer", buffers.size(),
                       "claims " + std::to_string(declared) + " bytes but holds " +
                           std::to_string(real));
        buffers.push_back(declared);
    }
    struct View {
        uint64_t length, stride;
    };
    std::vector<View> views;
    for (const Json& view : root.array("bufferViews")) {
        uint64_t buffer = 0, offset = 0, length = 0, stride = 0;
        if (!count(view, "buffer", buffer, UINT64_MAX) || buffer >= buffers.size() ||
            !count(view, "byteOffset", offset) || !count(view, "byteLength", length) ||
            !count(view, "byteStride", stride) || offset > buffers[buffer] ||
            length > buffers[buffer] - offset || (stride != 0 && (stride < 4 || stride > 252)))
            return bad("buffer view", views.size(), "lies outside its buffer");
        views.push_back({length, stride});
    }
    // true when count elements of size bytes, stride apart, from offset fit view.
    const auto fits = [&](uint64_t view, uint64_t offset, uint64_t elements, uint64_t size,
                          uint64_t stride) {
        if (view >= views.size()) return false;
        if (elements == 0) return offset <= views[view].length;
        const uint64_t step = stride ? stride : size;
        if (elements > (uint64_t(1) << 40) / std::max<uint64_t>(step, 1)) return false;
        const uint64_t end = offset + (elements - 1) * step + size;
        return end <= views[view].length;
    };
    size_t index = 0;
    for (const Json& accessor : root.array("accessors")) {
        uint64_t view = 0, offset = 0, elements = 0, componentType = 0;
        const Json* type = accessor.get("type");
        const uint64_t size =
            (count(accessor, "componentType", componentType) ? componentSize(componentType) : 0) *
            (type && type->kind == Json::String ? components(type->text) : 0);
        if (size == 0 || !count(accessor, "count", elements) ||
            !count(accessor, "byteOffset", offset))
            return bad("accessor", index, "has no usable type or count");
        if (accessor.get("bufferView")) {
            if (!count(accessor, "bufferView", view) || view >= views.size() ||
                !fits(view, offset, elements, size, views[view].stride))
                return bad("accessor", index, "reads past the end of its buffer view");
        }
        if (const Json* sparse = accessor.get("sparse")) {
            uint64_t entries = 0, indexView = 0, indexOffset = 0, indexType = 0, valueView = 0,
                     valueOffset = 0;
            const Json* indices = sparse->get("indices");
            const Json* values = sparse->get("values");
            if (!indices || !values || !count(*sparse, "count", entries) || entries > elements ||
                !count(*indices, "bufferView", indexView, UINT64_MAX) ||
                !count(*indices, "byteOffset", indexOffset) ||
                !count(*indices, "componentType", indexType) || componentSize(indexType) == 0 ||
                !fits(indexView, indexOffset, entries, componentSize(indexType), 0) ||
                !count(*values, "bufferView", valueView, UINT64_MAX) ||
                !count(*values, "byteOffset", valueOffset) ||
                !fits(valueView, valueOffset, entries, size, 0))
                return bad("accessor", index,
                           "has a sparse part larger than the accessor or its buffer views");
        }
        ++index;
    }
    index = 0;
    for (const Json& image : root.array("images")) {
        uint64_t view = 0;
        if (image.get("bufferView") && (!count(image, "bufferView", view) || view >= views.size()))
            return bad("image", index, "names a buffer view that does not exist");
        const Json* mime = image.get("mimeType");
        if (mime && (mime->kind != Json::String || mime->text.find('/') == std::string::npos))
            return bad("image", index, "has a MIME type without '/'");
        ++index;
    }
    return checkNodes(root.array("nodes"), why);
}

} // namespace Vrenn::Import
