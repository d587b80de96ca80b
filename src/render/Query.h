#pragma once

#include <cstdint>

namespace Vrenn {

// An occlusion query: counts the samples that pass the depth test between begin()
// and end().
class Query {
public:
    virtual ~Query() = default;
    Query(const Query&) = delete;
    Query& operator=(const Query&) = delete;

    virtual void begin() = 0;
    virtual void end() = 0;
    // Waits for the count of the last begin/end pair and writes it to out. False,
    // with out untouched, when there is no finished pair to wait for.
    virtual bool getResult(uint32_t& out, bool flush) = 0;

protected:
    Query() = default;
};

} // namespace Vrenn
