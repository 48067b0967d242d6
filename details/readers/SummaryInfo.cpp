#include "SummaryInfo.h"

#include "readers/AttributedBody.h"
#include "imports/PropertyListLimits.h"

#include <plist/plist.h>

#include <algorithm>
#include <memory>

namespace {

struct PlistFree
{
    void operator()(void* node) const { plist_free(node); }
};
using Plist = std::unique_ptr<void, PlistFree>;

// Dates are reals in seconds since 2001; some writers store integers.
bool secondsOf(plist_t node, qint64* seconds)
{
    if (plist_get_node_type(node) == PLIST_REAL) {
        double value = 0;
        plist_get_real_val(node, &value);
        if (!(value > -1e15 && value < 1e15)) // NaN and absurd values
            return false;
        *seconds = static_cast<qint64>(value);
        return true;
    }
    if (plist_get_node_type(node) == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        *seconds = static_cast<qint64>(value & 0x7FFFFFFFFFFFll);
        return true;
    }
    return false;
}

// One part's versions: a list of {t: archived body, d: date}.
bool readVersions(plist_t list, int part, QList<MsgEdit>* edits)
{
    if (plist_get_node_type(list) != PLIST_ARRAY)
        return false;
    const uint32_t size = plist_array_get_size(list);
    for (uint32_t i = 0; i < size; ++i) {
        plist_t version = plist_array_get_item(list, i);
        if (plist_get_node_type(version) != PLIST_DICT)
            return false;
        MsgEdit edit;
        edit.part = part;
        plist_t date = plist_dict_get_item(version, "d");
        if (date && !secondsOf(date, &edit.date))
            return false;
        if (plist_t body = plist_dict_get_item(version, "t")) {
            if (plist_get_node_type(body) != PLIST_DATA)
                return false;
            uint64_t length = 0;
            const char* bytes = plist_get_data_ptr(body, &length);
            if (bytes && length > 0 && length < 0x7FFFFFFF)
                edit.text = textFromAttributedBody(QByteArray(bytes, static_cast<int>(length)));
        }
        edits->append(edit);
    }
    return true;
}

// Part indexes are the keys, as decimal strings. They are looked up rather
// than iterated: libplist asserts on iterating a key with a NUL byte in it.
bool readEdits(plist_t parts, QList<MsgEdit>* edits)
{
    constexpr uint32_t maxParts = 256;
    constexpr int maxIndex = 1024;
    if (plist_get_node_type(parts) != PLIST_DICT)
        return false;
    const uint32_t size = plist_dict_get_size(parts);
    if (size > maxParts)
        return false;
    uint32_t found = 0;
    for (int part = 0; part < maxIndex && found < size; ++part) {
        plist_t versions = plist_dict_get_item(parts, QByteArray::number(part).constData());
        if (!versions)
            continue;
        ++found;
        if (!readVersions(versions, part, edits))
            return false;
    }
    return found == size; // any other key is no part index
}

bool readParts(plist_t list, QList<int>* parts)
{
    if (plist_get_node_type(list) != PLIST_ARRAY)
        return false;
    const uint32_t size = plist_array_get_size(list);
    for (uint32_t i = 0; i < size; ++i) {
        plist_t item = plist_array_get_item(list, i);
        if (plist_get_node_type(item) != PLIST_UINT)
            return false;
        uint64_t value = 0;
        plist_get_uint_val(item, &value);
        if (value > 0x7FFFFFFF)
            return false;
        parts->append(static_cast<int>(value));
    }
    return true;
}

} // namespace

bool SummaryInfo::parse(const QByteArray& blob, QList<MsgEdit>* edits, QList<int>* unsentParts)
{
    if (blob.size() < 8 || !plist_is_binary(blob.constData(), static_cast<uint32_t>(blob.size()))
        || !PropertyListLimits::binaryAcceptable(blob.constData(), static_cast<size_t>(blob.size())))
        return false;
    plist_t node = nullptr;
    plist_from_bin(blob.constData(), static_cast<uint32_t>(blob.size()), &node);
    const Plist root(node);
    if (!node || plist_get_node_type(node) != PLIST_DICT)
        return false;

    QList<MsgEdit> history;
    QList<int> parts;
    plist_t edited = plist_dict_get_item(node, "ec");
    plist_t retracted = plist_dict_get_item(node, "rp");
    if ((edited && !readEdits(edited, &history)) || (retracted && !readParts(retracted, &parts)))
        return false;
    std::sort(parts.begin(), parts.end());
    *edits += history;
    *unsentParts += parts;
    return true;
}
