#include "import/MaterialScript.h"

#include "config/Tokenizer.h"

#include <algorithm>

namespace Vrenn::Import {

namespace {

// The comment inside every block an import of model writes.
std::string markerOf(const std::string& model) {
    return "/* imported model " + model + " */";
}

bool isWhite(char c) {
    return static_cast<signed char>(c) <= 32;
}

} // namespace

std::string formatImportedBlocks(const std::string& model,
                                 const std::vector<MaterialBlock>& blocks) {
    std::string text;
    for (const MaterialBlock& block : blocks) {
        text += block.name + " {\n    " + markerOf(model) +
                "\n    fx effects/prt_lighting.fx\n    technique \"PrtLighting\"\n"
                "    \"diffuseMap\" texture \"" +
                block.albedo +
                "\"\n"
                "    \"bumpmap\" texture \"" +
                block.normal + "\"\n}\n\n";
    }
    return text;
}

bool mergeImportedBlocks(const std::string& script, const std::string& model,
                         const std::vector<MaterialBlock>& blocks, std::string& merged,
                         std::string& why) {
    // Find the blocks exactly as the material manager reads them: a name, "{", the effect
    // line, then one line per parameter (a quoted name, its type and the rest of the line
    // as its value) up to a "}" word; a block that does not start with fx ends at the next
    // "}" token. Reading it any other way would cut a block the program keeps, or keep
    // half of one it drops.
    Tokenizer tokens;
    tokens.LoadText(script);
    std::vector<std::pair<size_t, size_t>> removed; // [start, end) of the blocks to drop
    const std::string marker = markerOf(model);
    while (tokens.NextWord()) {
        const std::string name = tokens.Token();
        const size_t start = tokens.tokenStart();
        if (!tokens.SkipTo("{") || !tokens.NextWord()) {
            why = "block " + name + " has no body";
            return false;
        }
        bool closed = false;
        if (tokens.Token() != "fx") {
            closed = tokens.SkipTo("}");
        } else {
            tokens.SkipLine(); // the effect
            while (!closed && tokens.NextWord()) {
                const std::string word = tokens.Token();
                if (word == "}") {
                    closed = true;
                } else if (word.size() >= 2 && word.front() == '"' && word.back() == '"') {
                    if (tokens.NextToken()) tokens.SkipLine(); // type and value
                } else {
                    tokens.SkipLine();
                }
            }
        }
        if (!closed) {
            why = "block " + name + " is not closed with }";
            return false;
        }
        size_t end = tokens.cursor();
        const std::string body = script.substr(start, end - start);
        if (body.find(marker) != std::string::npos) {
            while (end < script.size() && isWhite(script[end]))
                ++end;
            removed.emplace_back(start, end);
        } else if (std::any_of(blocks.begin(), blocks.end(),
                               [&](const MaterialBlock& b) { return b.name == name; })) {
            why = "it already has a block named " + name + " that this import did not write";
            return false;
        }
    }

    merged.clear();
    size_t at = 0;
    for (const auto& [start, end] : removed) {
        merged.append(script, at, start - at);
        at = end;
    }
    merged.append(script, at, std::string::npos);
    while (!merged.empty() && isWhite(merged.back()))
        merged.pop_back();
    if (!merged.empty()) merged += "\n\n";
    merged += formatImportedBlocks(model, blocks);
    merged.pop_back(); // one line end at the end of the file
    return true;
}

} // namespace Vrenn::Import
