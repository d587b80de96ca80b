#pragma once

#include "prt/CompressedTransfer.h"

#include <string>

namespace Vrenn::Tool {

// Compresses the transfer textures of folder (empty: the working directory) into the
// compressed transfer file beside them, with progress on standard error. line gets the result
// line of `vrenn compress` (newline included), or the reason on failure.
bool compressRun(const std::string& folder, CompressOptions options, std::string& line);

} // namespace Vrenn::Tool
