#include "render/ShaderMgr.h"

namespace Vrenn {

ShaderMgr::~ShaderMgr() = default;

} // namespace Vrenn
