// The shape check run before libplist: lists as deep or as big as a hostile
// file makes them, built here rather than kept as files.
#include "PropertyListLimits.h"
#include "PropertyList.h"
#include "PropertyListFixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

void bigEndian(QByteArray* out, quint64 value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out->append(static_cast<char>((value >> (8 * i)) & 0xff));
}

// A binary list of arrays: arrays[i] lists the objects array i refers to;
// an object without references is an empty array. Offsets and references
// take two bytes.
QByteArray arraysList(const std::vector<std::vector<quint64>>& arrays, quint64 top = 0)
{
    QByteArray list("bplist00");
    std::vector<quint64> offsets;
    for (const auto& refs : arrays) {
        offsets.push_back(static_cast<quint64>(list.size()));
        if (refs.size() < 15) {
            list.append(static_cast<char>(0xA0 | refs.size()));
        } else {
            list.append(static_cast<char>(0xAF));
            list.append(static_cast<char>(0x11));
            bigEndian(&list, refs.size(), 2);
        }
        for (quint64 ref : refs)
            bigEndian(&list, ref, 2);
    }
    const quint64 table = static_cast<quint64>(list.size());
    for (quint64 offset : offsets)
        bigEndian(&list, offset, 2);
    list.append(QByteArray(6, '\0'));
    list.append(char(2));
    list.append(char(2));
    bigEndian(&list, arrays.size(), 8);
    bigEndian(&list, top, 8);
    bigEndian(&list, table, 8);
    return list;
}

bool acceptable(const QByteArray& list)
{
    return PropertyListLimits::acceptable(list.constData(), static_cast<size_t>(list.size()));
}

} // namespace

TEST(PropertyListLimits, ListsAsTheDeviceWritesThemPass)
{
    const QByteArray lists[] = {
        PropertyListFixture::summaryInfo(QStringLiteral(R"({"ec": {"0": [{"d": 7.3e8, "t": "first"}]}, "rp": [1]})")),
        PropertyListFixture::linkPayload(QStringLiteral("https://example.com/"), QStringLiteral("Title"),
                                         QStringLiteral("Summary")),
        QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE plist>\n<plist version=\"1.0\"><dict>"
                   "<!-- <array> in a comment --><key>a</key><array><true/><string>&lt;x&gt;</string></array>"
                   "<key>b</key><data><![CDATA[<dict>]]></data></dict></plist>\n"),
    };
    for (const QByteArray& list : lists) {
        EXPECT_TRUE(acceptable(list)) << list.toStdString();
        EXPECT_TRUE(PropertyList::fromData(list).isValid()) << list.toStdString();
    }
}

TEST(PropertyListLimits, NestingIsBoundedInBothForms)
{
    const int depth = PropertyListLimits::maxDepth;
    EXPECT_TRUE(acceptable(PropertyListFixture::nestedArrays(depth)));
    EXPECT_TRUE(PropertyList::fromData(PropertyListFixture::nestedArrays(depth)).isValid());
    EXPECT_FALSE(acceptable(PropertyListFixture::nestedArrays(depth + 1)));
    EXPECT_TRUE(acceptable(PropertyListFixture::nestedArraysXml(depth)));
    EXPECT_TRUE(PropertyList::fromData(PropertyListFixture::nestedArraysXml(depth)).isValid());
    EXPECT_FALSE(acceptable(PropertyListFixture::nestedArraysXml(depth + 1)));

    // Deep enough to overflow libplist's stack: refused, and never handed on.
    for (const QByteArray& list :
         {PropertyListFixture::nestedArrays(100000), PropertyListFixture::nestedArraysXml(100000)}) {
        EXPECT_FALSE(acceptable(list));
        EXPECT_FALSE(PropertyList::fromData(list).isValid());
    }
}

TEST(PropertyListLimits, SharedObjectsCountOncePerReference)
{
    // Each level refers to the next one twice: libplist would copy the last
    // level 2^levels times.
    const auto doubling = [](quint64 levels) {
        std::vector<std::vector<quint64>> arrays;
        for (quint64 i = 0; i < levels; ++i)
            arrays.push_back({i + 1, i + 1});
        arrays.push_back({});
        return arraysList(arrays);
    };
    EXPECT_TRUE(acceptable(doubling(10)));
    EXPECT_FALSE(acceptable(doubling(30)));

    // One array of many distinct elements is fine up to the node limit.
    std::vector<std::vector<quint64>> wide(1);
    for (quint64 i = 1; i <= 5000; ++i) {
        wide[0].push_back(i);
        wide.push_back({});
    }
    EXPECT_TRUE(acceptable(arraysList(wide)));
}

TEST(PropertyListLimits, DamagedTablesAreRefused)
{
    const QByteArray intact = arraysList({{1, 2}, {2}, {}});
    ASSERT_TRUE(acceptable(intact));
    QByteArray badOffsetSize = intact;
    badOffsetSize[badOffsetSize.size() - 26] = 9;
    QByteArray topOutOfRange = intact;
    topOutOfRange[topOutOfRange.size() - 9] = 3;
    QByteArray tableBeyondEnd = intact;
    tableBeyondEnd[tableBeyondEnd.size() - 2] = 0x7f;
    const struct
    {
        const char* name;
        QByteArray list;
    } cases[] = {
        {"a cycle", arraysList({{1}, {0}})},
        {"an array holding itself", arraysList({{0}})},
        {"a reference out of range", arraysList({{1, 7}, {}})},
        {"a count beyond the end", arraysList({{1}, {}}).replace(8, 1, "\xAF\x13\x7f")},
        {"offset size 9", badOffsetSize},
        {"top object out of range", topOutOfRange},
        {"offset table beyond the end", tableBeyondEnd},
        {"header and trailer only", QByteArray("bplist00") + intact.right(32)},
        {"header only", QByteArray("bplist00")},
        {"cut short", intact.left(intact.size() - 1)},
        {"unclosed XML", QByteArray("<plist><array></plist")},
        {"XML closing more than it opens", QByteArray("<plist></array></array></plist>")},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(acceptable(c.list)) << c.name;
        EXPECT_FALSE(PropertyList::fromData(c.list).isValid()) << c.name;
    }
}
