// A shape check run on property-list bytes before libplist parses them.
// libplist recurses once per level of nesting and makes one node per
// reference (an object referenced twice is copied twice), so a crafted list
// could exhaust the stack or memory. Self-contained so that every library
// that reads property lists compiles it in; nothing of it is exported.
#pragma once

#include <cstddef>
#include <cstdint>

class PropertyListLimits
{
public:
    // Far beyond any list an iPhone writes: keyed archives nest a dozen levels.
    static constexpr int maxDepth = 256;
    // Nodes libplist would make, counting a shared object once per reference.
    static constexpr std::uint64_t maxNodes = std::uint64_t(1) << 20;

    // True when the bytes are a property list within the limits above, binary
    // ("bplist00") or XML; false for deeper or bigger lists and for binary
    // lists whose tables are damaged (references out of range, cycles).
    static bool acceptable(const char* data, std::size_t size);
    static bool binaryAcceptable(const char* data, std::size_t size);
    static bool xmlAcceptable(const char* data, std::size_t size);
};
