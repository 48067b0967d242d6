// Manifest.mbdb as the test writer makes it, and hostile ones: every cut,
// lengths that run past the end, many properties.
#include "MbdbReader.h"

#include "ComputerBackup.h"
#include "TestBackup.h"

#include <QCryptographicHash>
#include <QFile>

#include <gtest/gtest.h>

#include <set>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A backup of a small Library in the iOS 5 to 9 form; its Manifest.mbdb.
QByteArray writtenManifest(TestBackup& dir, const QString& password = QString())
{
    for (const char* file : {"SMS/sms.db", "SMS/sms.db-wal", "AddressBook/AddressBook.sqlitedb",
                             "SMS/Attachments/0a/10/G/IMG 1.jpeg", "Preferences/other.plist"})
        dir.writeFile(QStringLiteral("lib/") + QLatin1String(file), QByteArray(file).repeated(5));
    ComputerBackup maker;
    maker.olderManifest = true;
    maker.password = password;
    EXPECT_TRUE(maker.write(dir.path(QStringLiteral("lib")), dir.path(QStringLiteral("backup"))));
    return readAll(dir.path(QStringLiteral("backup/Manifest.mbdb")));
}

QByteArray string(const QByteArray& value)
{
    return QByteArray(1, char(value.size() >> 8)) + char(value.size() & 0xff) + value;
}

// One record of a regular file, with count properties.
QByteArray record(const QByteArray& path, int count, const QByteArray& property = QByteArray(),
                  const QByteArray& domain = "HomeDomain")
{
    QByteArray bytes = string(domain) + string(path) + QByteArray("\xff\xff\xff\xff\xff\xff", 6)
        + QByteArray("\x81\xa4", 2) + QByteArray(8 + 4 + 4 + 12 + 8, '\0') + char(3) + char(count);
    for (int i = 0; i < count; ++i)
        bytes += string(property) + string(property);
    return bytes;
}

const QByteArray header("mbdb\x05\x00", 6);

} // namespace

TEST(MbdbReader, ListsTheFilesTheViewNeedsUnderTheirHashes)
{
    for (const QString& password : {QString(), QStringLiteral("pw")}) {
        TestBackup dir;
        std::vector<ManifestEntry> entries;
        ASSERT_TRUE(MbdbReader::parse(writtenManifest(dir, password), &entries));
        std::set<QString> paths;
        for (const ManifestEntry& entry : entries) {
            paths.insert(entry.relativePath);
            EXPECT_EQ(entry.fileID, ComputerBackup::olderDataPath(entry.domain, entry.relativePath));
            EXPECT_TRUE(QFile::exists(dir.path(QStringLiteral("backup/") + entry.fileID))) << entry.fileID.toStdString();
            EXPECT_EQ(entry.record.size, -1) << "the padding tells the length, not the record";
            EXPECT_EQ(entry.record.protectionClass, entry.domain == QLatin1String("MediaDomain") ? 4u : 3u);
            EXPECT_EQ(entry.record.wrappedKey.size(), password.isEmpty() ? 0 : 40);
        }
        // Folders, the link and the preferences are left out.
        const std::set<QString> expected{QStringLiteral("Library/SMS/sms.db"), QStringLiteral("Library/SMS/sms.db-wal"),
            QStringLiteral("Library/AddressBook/AddressBook.sqlitedb"),
            QStringLiteral("Library/SMS/Attachments/0a/10/G/IMG 1.jpeg")};
        EXPECT_EQ(paths, expected);
    }
}

TEST(MbdbReader, RefusesEveryManifestCutShort)
{
    TestBackup dir;
    const QByteArray manifest = writtenManifest(dir);
    // Where records end, a cut leaves a shorter but whole manifest.
    std::set<int> ends{6};
    for (int end = 6; end < manifest.size();) {
        int next = end + 1;
        std::vector<ManifestEntry> entries;
        while (next <= manifest.size() && !MbdbReader::parse(header + manifest.mid(end, next - end), &entries))
            ++next;
        ASSERT_LE(next, manifest.size()) << "the last record ends the file";
        ends.insert(next);
        end = next;
    }
    EXPECT_GE(ends.size(), 9u) << "three folders and links, five files";
    for (int cut = 0; cut < manifest.size(); ++cut) {
        std::vector<ManifestEntry> entries;
        EXPECT_EQ(MbdbReader::parse(manifest.left(cut), &entries), ends.count(cut) > 0) << cut;
    }
}

TEST(MbdbReader, RefusesHostileHeadersLengthsAndProperties)
{
    const QByteArray good = record("Library/SMS/sms.db", 0);
    const struct
    {
        const char* name;
        QByteArray data;
        bool whole;
    } cases[] = {
        {"empty manifest", header, true},
        {"one record", header + good, true},
        {"iOS 4 header", QByteArray("mbdb\x04\x00", 6) + good, false},
        {"other file", QByteArray("SQLite format 3\0", 16) + good, false},
        {"no header", good, false},
        {"length past the end", header + QByteArray("\xff\xfe", 2) + "HomeDomain", false},
        {"255 empty properties", header + record("Library/SMS/sms.db", 255), true},
        {"255 long properties", header + record("Library/SMS/sms.db", 255, QByteArray(1000, 'p')), true},
        {"properties past the end", header + record("Library/SMS/sms.db", 255, "p").left(200), false},
        {"trailing byte", header + good + '\0', false},
    };
    for (const auto& c : cases) {
        std::vector<ManifestEntry> entries;
        EXPECT_EQ(MbdbReader::parse(c.data, &entries), c.whole) << c.name;
        if (c.whole && c.data.size() > header.size()) {
            EXPECT_EQ(entries.size(), 1u) << c.name;
        }
    }
}

TEST(MbdbReader, PathsThatLeaveTheirRootAreLeftOut)
{
    QByteArray data = header;
    for (const char* path : {"Library/SMS/Attachments/../../../etc/passwd", "Library/SMS/Attachments//x",
                             "Library/SMS/Attachments/a/b.jpeg"})
        data += record(path, 0, QByteArray(), "MediaDomain");
    data += record("Library/SMS/sms.db", 0).replace("\x81\xa4", "\xa1\xed"); // a link, not a file
    std::vector<ManifestEntry> entries;
    ASSERT_TRUE(MbdbReader::parse(data, &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].relativePath, QStringLiteral("Library/SMS/Attachments/a/b.jpeg"));
    EXPECT_EQ(entries[0].fileID,
              QString::fromLatin1(QCryptographicHash::hash("MediaDomain-Library/SMS/Attachments/a/b.jpeg",
                                                          QCryptographicHash::Sha1).toHex()));
}
