// The keybag and the manifest rows of backups written by the test's own
// encryptor, intact and damaged.
#include "BackupLayout.h"
#include "ComputerBackup.h"
#include "KeyBag.h"
#include "ManifestReader.h"
#include "TestBackup.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A 4-byte big-endian number in place of the value (or, at offset 4, the
// length) of the first record tagged tag.
QByteArray withNumber(QByteArray bag, const char* tag, quint32 value, int offset = 8)
{
    const int at = bag.indexOf(tag) + offset;
    for (int i = 0; i < 4; ++i)
        bag[at + i] = static_cast<char>(value >> (24 - 8 * i));
    return bag;
}

} // namespace

TEST(KeyBag, DamagedKeyBagsAreRefusedAndTheRightPasswordUnlocks)
{
    QTemporaryDir dir;
    ComputerBackup maker;
    maker.password = QStringLiteral("hunter2");
    ASSERT_TRUE(maker.write(dir.filePath(QStringLiteral("none")), dir.path()));
    const QByteArray bag = BackupLayout(dir.path()).keyBag();
    ASSERT_FALSE(bag.isEmpty());

    using S = KeyBag::Status;
    const struct
    {
        const char* name;
        QByteArray bytes;
        S status;
    } cases[] = {
        {"intact", bag, S::Ready},
        {"version 3", withNumber(bag, "VERS", 3), S::Ready},
        {"version 5", withNumber(bag, "VERS", 5), S::UnknownVersion},
        {"no version", QByteArray(bag).replace("VERS", "VERX"), S::Malformed},
        {"cut short", bag.left(bag.size() - 3), S::Malformed},
        {"length beyond the end", withNumber(bag, "UUID", 0x7fffffff, 4), S::Malformed},
        {"no iterations", withNumber(bag, "ITER", 0), S::Malformed},
        {"endless iterations", withNumber(bag, "DPIC", 0xffffffff), S::Malformed},
        {"header only", bag.left(bag.indexOf("UUID", bag.indexOf("UUID") + 4)), S::Malformed},
        {"empty", QByteArray(), S::Malformed},
    };
    for (const auto& c : cases) {
        KeyBag keys;
        EXPECT_EQ(keys.parse(c.bytes), c.status) << c.name;
    }

    KeyBag keys;
    ASSERT_EQ(keys.parse(bag), S::Ready);
    EXPECT_EQ(keys.version(), 4u);
    EXPECT_EQ(keys.classCount(), 4u);
    EXPECT_EQ(keys.unlock("hunter3"), S::WrongPassword);
    EXPECT_TRUE(keys.classKey(3).isEmpty());
    EXPECT_EQ(keys.unlock("hunter2"), S::Ready);
    EXPECT_EQ(keys.classKey(3).size(), 32);
}

TEST(KeyBag, ManifestRowsOfTheViewAreReadWithTheirRecords)
{
    TestBackup dir;
    for (const char* file : {"SMS/sms.db", "SMS/Attachments/ab/01/a b.jpg", "SMS/other.db"})
        dir.writeFile(QStringLiteral("library/") + QLatin1String(file), QByteArray(100, 'x'));
    const QString backup = dir.path(QStringLiteral("backup"));
    ASSERT_TRUE(ComputerBackup().write(dir.path(QStringLiteral("library")), backup));
    std::vector<ManifestEntry> entries;
    ASSERT_TRUE(ManifestReader::read(backup + QStringLiteral("/Manifest.db"), &entries));
    QStringList found;
    for (const ManifestEntry& entry : entries)
        found << QStringLiteral("%1 %2 %3").arg(entry.domain, entry.relativePath).arg(entry.record.size);
    found.sort();
    EXPECT_EQ(found, QStringList({QStringLiteral("HomeDomain Library/SMS/sms.db 100"),
                                  QStringLiteral("MediaDomain Library/SMS/Attachments/ab/01/a b.jpg 100")}));
    EXPECT_FALSE(ManifestReader::read(backup + QStringLiteral("/Status.plist"), &entries));
    for (const char* path : {"../x", "a/../../x", "/etc/passwd", "Library/./x", "a//b", "a\\b", ""})
        EXPECT_FALSE(ManifestReader::isSafePath(QString::fromLatin1(path))) << path;
}
