#include "render/QueryMgr.h"

namespace Vrenn {

QueryMgr::~QueryMgr() = default;

} // namespace Vrenn
