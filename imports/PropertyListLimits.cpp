#include "PropertyListLimits.h"

#include <cstring>
#include <string_view>
#include <vector>

namespace {

using u64 = std::uint64_t;

u64 bigEndian(const unsigned char* bytes, int count)
{
    u64 value = 0;
    for (int i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}

// The tables of a binary list, read from its 32-byte trailer: objects lie
// between the 8-byte header and the trailer, each found through the offset
// table and referring to others by index.
class BinaryList
{
public:
    BinaryList(const unsigned char* data, u64 size)
        : data(data), end(size >= 40 ? size - 32 : 0)
    {
        if (!end)
            return;
        const unsigned char* trailer = data + end;
        offsetSize = trailer[6];
        refSize = trailer[7];
        count = bigEndian(trailer + 8, 8);
        const u64 top = bigEndian(trailer + 16, 8);
        tableAt = bigEndian(trailer + 24, 8);
        valid = offsetSize >= 1 && offsetSize <= 8 && refSize >= 1 && refSize <= 8 && count > 0 && top < count
                && tableAt >= 8 && tableAt < end && count <= (end - tableAt) / offsetSize;
        topObject = top;
    }

    bool valid = false;
    u64 count = 0;
    u64 topObject = 0;

    // Whether the object is a container, where its references start and how
    // many there are; false for an object or a size out of range.
    bool open(u64 index, bool* container, u64* refsAt, u64* refs) const
    {
        *container = false;
        *refs = 0;
        const u64 at = bigEndian(data + tableAt + index * offsetSize, offsetSize);
        if (at < 8 || at >= end)
            return false;
        const int type = data[at] >> 4;
        if (type != 0xA && type != 0xC && type != 0xD) // array, set, dictionary
            return true;
        *container = true;
        u64 size = data[at] & 0xF;
        u64 pos = at + 1;
        if (size == 0xF) { // the size follows as an integer object
            if (pos >= end || (data[pos] >> 4) != 0x1 || (data[pos] & 0xF) > 3)
                return false;
            const int bytes = 1 << (data[pos] & 0xF);
            if (end - pos - 1 < static_cast<u64>(bytes))
                return false;
            size = bigEndian(data + pos + 1, bytes);
            pos += 1 + bytes;
        }
        const u64 perEntry = type == 0xD ? 2 * refSize : refSize; // keys, then values
        if (size > (end - pos) / perEntry)
            return false;
        *refsAt = pos;
        *refs = type == 0xD ? 2 * size : size;
        return true;
    }

    // The reference at *at; moves *at to the next one.
    u64 reference(u64* at) const
    {
        const u64 index = bigEndian(data + *at, refSize);
        *at += static_cast<u64>(refSize);
        return index;
    }

private:
    const unsigned char* data;
    u64 end;
    int offsetSize = 0;
    int refSize = 0;
    u64 tableAt = 0;
};

} // namespace

bool PropertyListLimits::acceptable(const char* data, std::size_t size)
{
    if (size >= 8 && std::memcmp(data, "bplist00", 8) == 0)
        return binaryAcceptable(data, size);
    return xmlAcceptable(data, size);
}

bool PropertyListLimits::binaryAcceptable(const char* data, std::size_t size)
{
    const BinaryList list(reinterpret_cast<const unsigned char*>(data), size);
    if (!list.valid)
        return false;

    // Depth first with a stack of our own; an object already on the path
    // from the top would make libplist loop.
    struct Frame
    {
        u64 object;
        u64 refsAt;
        u64 left;
    };
    std::vector<Frame> path;
    std::vector<bool> onPath(static_cast<size_t>(list.count));
    u64 nodes = 1;
    Frame top{list.topObject, 0, 0};
    bool container = false;
    if (!list.open(top.object, &container, &top.refsAt, &top.left))
        return false;
    if (top.left) {
        path.push_back(top);
        onPath[top.object] = true;
    }
    while (!path.empty()) {
        Frame& frame = path.back();
        if (frame.left == 0) {
            onPath[frame.object] = false;
            path.pop_back();
            continue;
        }
        const u64 child = list.reference(&frame.refsAt);
        --frame.left;
        if (child >= list.count || ++nodes > maxNodes)
            return false;
        Frame next{child, 0, 0};
        if (!list.open(child, &container, &next.refsAt, &next.left))
            return false;
        // An empty container is a level too; a child's depth is the path's plus one.
        if (container && path.size() >= static_cast<size_t>(maxDepth))
            return false;
        if (!next.left)
            continue;
        if (onPath[child])
            return false;
        path.push_back(next);
        onPath[child] = true;
    }
    return true;
}

bool PropertyListLimits::xmlAcceptable(const char* data, std::size_t size)
{
    // Counts elements and their nesting by tags alone: a plist's element
    // contents hold no '<' (it is escaped), only comments and CDATA can.
    const std::string_view text(data, size);
    int depth = 0;
    u64 elements = 0;
    size_t at = text.find('<');
    while (at != std::string_view::npos) {
        const std::string_view rest = text.substr(at);
        size_t close;
        if (rest.substr(0, 4) == "<!--") {
            close = text.find("-->", at + 4);
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            close = text.find("]]>", at + 9);
        } else {
            close = text.find('>', at + 1);
            if (close == std::string_view::npos)
                return false;
            if (rest.size() > 1 && rest[1] == '/') {
                if (--depth < 0)
                    return false;
            } else if (rest.size() > 1 && rest[1] != '?' && rest[1] != '!') {
                // The plist element itself is one level more than the list.
                if (++elements > maxNodes || (text[close - 1] != '/' && ++depth > maxDepth + 1))
                    return false;
            }
        }
        if (close == std::string_view::npos)
            return false;
        at = text.find('<', close + 1);
    }
    return true;
}
