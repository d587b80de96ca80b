#pragma once

#include <string>
#include <vector>

namespace Vrenn::Import {

// The material blocks of one imported model, as they go into a material script.
struct MaterialBlock {
    std::string name;   // the block's (and the mesh surface's) material name
    std::string albedo; // texture files, relative to the run folder
    std::string normal;
};

// The text of the blocks: each uses the PRT lighting effect with its albedo as
// "diffuseMap" and its normal map as "bumpmap", and carries a comment naming the import
// (model) it belongs to, so that importing that model again finds it.
std::string formatImportedBlocks(const std::string& model,
                                 const std::vector<MaterialBlock>& blocks);

// script with every block an earlier import of model wrote removed, and the new blocks
// appended; the rest of the text stays as it was. False, with why set, when a block that
// another import or a person wrote already has one of the new names (the material
// manager keeps the first of two blocks with one name), or when the script has a block
// without a closing brace.
bool mergeImportedBlocks(const std::string& script, const std::string& model,
                         const std::vector<MaterialBlock>& blocks, std::string& merged,
                         std::string& why);

} // namespace Vrenn::Import
