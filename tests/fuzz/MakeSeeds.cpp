// Writes a fuzzer's seed corpus: real-shaped inputs and broken variants.
//   body: archived message bodies;
//   styled: archived bodies with styled runs, mentions, links and effects;
//   backup: a keybag and an archived file record, the first byte picking the
//           reader (even the keybag, odd the record);
//   details: summary-info and link-preview property lists behind their
//            selector byte;
//   whole: damages of the sample backup in each of its forms (see
//          WholeBackupFuzz.cpp), and its manifests and address book whole.
#include "ComputerBackupWriter.h"
#include "PropertyListFixture.h"
#include "SampleLibrary.h"
#include "TypedStreamArchive.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstring>

namespace {

QList<QByteArray> bodySeeds()
{
    QList<QByteArray> seeds;
    for (const QString& text : {QStringLiteral("ok"), QString::fromUtf8("Grüße 👋 日本語"), QString(200, QLatin1Char('w')),
                                QString(40000, QLatin1Char('x')), QString::fromUtf8("Cafe\xCC\x81")}) {
        const QByteArray archive = TypedStreamArchive::attributedString(text);
        seeds << archive << archive.left(archive.size() / 2) << archive.mid(16);
    }
    return seeds << QByteArray("0") << QByteArray("+") << QByteArray("NSAttributedStringNSString+\x81\xff\x7f")
                 << QByteArray("NSAttributedStringNSString+\x82\xff\xff\xff\x7f" "abc");
}

QList<QByteArray> styledSeeds()
{
    QList<QByteArray> seeds;
    QList<TypedStreamArchive::Run> runs = TypedStreamArchive::runsFromJson(
        R"([{"length": 4, "mention": "+14155550132"}, {"length": 3, "bold": true, "italic": true},
            {"length": 5, "link": "https://example.com/"}, {"length": 2, "effect": 5},
            {"length": 1, "file": "8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60"}, {"length": 3, "bold": true, "italic": true}])");
    const QByteArray styled = TypedStreamArchive::styledString(QString::fromUtf8("Maya bo link 👋\xEF\xBF\xBC end"), runs);
    seeds << styled << styled.left(styled.size() / 2) << styled.left(styled.size() - 1);
    const QByteArray plain = TypedStreamArchive::attributedString(QString::fromUtf8("Grüße 👋 日本語"));
    return seeds << plain << plain.left(40);
}

QByteArray number(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray tlv(const char* tag, const QByteArray& value)
{
    return QByteArray(tag, 4) + number(static_cast<quint32>(value.size())) + value;
}

// libplist reads XML as well as the binary form the manifest stores.
const char* const fileRecord = R"(<?xml version="1.0" encoding="UTF-8"?><plist version="1.0"><dict>
<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>
<key>$objects</key><array><string>$null</string>
<dict><key>$class</key><dict><key>CF$UID</key><integer>2</integer></dict><key>Size</key><integer>1234</integer>
<key>ProtectionClass</key><integer>3</integer><key>EncryptionKey</key><dict><key>CF$UID</key><integer>3</integer></dict></dict>
<dict><key>$classname</key><string>MBFile</string></dict>
<dict><key>NS.data</key><data>AwAAAGtra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2tra2s=</data></dict>
</array></dict></plist>)";

QList<QByteArray> backupSeeds()
{
    QByteArray bag = tlv("VERS", number(4)) + tlv("UUID", QByteArray(16, 'u')) + tlv("SALT", QByteArray(20, 's'))
        + tlv("ITER", number(10)) + tlv("DPIC", number(1)) + tlv("DPSL", QByteArray(20, 'd'));
    for (quint32 protectionClass = 1; protectionClass <= 3; ++protectionClass)
        bag += tlv("UUID", QByteArray(16, 'c')) + tlv("CLAS", number(protectionClass)) + tlv("WRAP", number(2))
            + tlv("WPKY", QByteArray(40, 'w'));
    const QByteArray record(fileRecord);
    // Nested at the limit, past it, and as deep as the longest input allows.
    return {'\0' + bag, '\0' + bag.left(bag.size() / 2), '\1' + record, '\1' + record.left(300),
            '\1' + PropertyListFixture::nestedArrays(256), '\1' + PropertyListFixture::nestedArrays(257),
            '\1' + PropertyListFixture::nestedArrays(7000), '\1' + PropertyListFixture::nestedArraysXml(257),
            '\1' + PropertyListFixture::nestedArraysXml(4000)};
}

QList<QByteArray> detailSeeds()
{
    QList<QByteArray> seeds;
    for (const char* json : {R"({"ec": {"0": [{"d": 7.0e8, "t": "first"}, {"d": 7.1e8, "t": "second"}]}, "ep": [0]})",
                             R"({"rp": [0, 2], "ust": true, "otr": {"0": {"lo": 0, "le": 5}}})",
                             R"({"ec": {"1": [{"d": 1, "t": "Grüße 👋"}], "0": []}, "amc": 2})"}) {
        const QByteArray plist = PropertyListFixture::summaryInfo(QString::fromUtf8(json));
        seeds << QByteArray(1, '\0') + plist << QByteArray(1, '\0') + plist.left(plist.size() / 2);
    }
    for (const QString& title : {QStringLiteral("Ridge Loop Trail"), QString(300, QLatin1Char('t'))}) {
        const QByteArray plist = PropertyListFixture::linkPayload(QStringLiteral("https://example.com/a"), title,
                                                                  QStringLiteral("summary"));
        seeds << QByteArray(1, '\1') + plist << QByteArray(1, '\1') + plist.mid(0, plist.size() - 7);
    }
    // Nested at the limit, past it, and as deep as the longest input allows.
    for (int depth : {256, 257, 2000})
        seeds << QByteArray(1, '\0') + PropertyListFixture::nestedArrays(depth)
              << QByteArray(1, '\1') + PropertyListFixture::nestedArrays(depth);
    return seeds << QByteArray("\0bplist00", 9) << QByteArray("\1bplist00\xd0", 10);
}

QByteArray wholeInput(int form, int file, int mode, int page, const QByteArray& payload)
{
    return QByteArray(1, char(form)) + char(file) + char(mode) + char(page & 0xff) + char(page >> 8) + payload;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<QByteArray> wholeSeeds()
{
    QList<QByteArray> seeds;
    for (int form = 0; form < 5; ++form) {
        seeds << wholeInput(form, 0, 2, 0, QByteArray(1, '\0')) // undamaged
              << wholeInput(form, 0, 1, 1, QByteArray(64, '\xff')) << wholeInput(form, 0, 2, 3, QByteArray(4096, '\x5a'))
              << wholeInput(form, 0, 3, 2, QByteArray(1, '\x07')) << wholeInput(form, 1, 1, 0, QByteArray(100, '\0'))
              << wholeInput(form, 2, 2, 0, QByteArray(40, '\x01')) << wholeInput(form, 3, 3, 0, QByteArray(1, '\x02'));
    }
    // The files whole, for byte-by-byte damage.
    QTemporaryDir scratch;
    const std::map<QString, QByteArray> library = SampleLibrary::files(scratch.path());
    if (library.empty())
        return seeds;
    const QString libraryFolder = scratch.filePath(QStringLiteral("lib"));
    SampleLibrary::write(library, libraryFolder);
    seeds << wholeInput(0, 1, 4, 0, library.at(QStringLiteral("AddressBook/AddressBook.sqlitedb")));
    for (int form = 1; form < 5; ++form) {
        ComputerBackupWriter writer = SampleLibrary::writerFor(form, QStringLiteral("fuzz"));
        const QString backup = scratch.filePath(QStringLiteral("backup%1").arg(form));
        if (!writer.write(libraryFolder, backup))
            continue;
        const QString manifest = writer.olderManifest ? QStringLiteral("Manifest.mbdb") : QStringLiteral("Manifest.db");
        seeds << wholeInput(form, 2, 0, 0, contentOf(QDir(backup).filePath(manifest)))
              << wholeInput(form, 3, 4, 0, contentOf(QDir(backup).filePath(QStringLiteral("Manifest.plist"))));
    }
    return seeds;
}

} // namespace

int main(int argc, char** argv)
{
    const char* kinds[] = {"body", "backup", "details", "whole", "styled"};
    int kind = 0;
    while (argc == 3 && kind < 5 && std::strcmp(argv[1], kinds[kind]) != 0)
        ++kind;
    if (argc != 3 || kind == 5) {
        std::fprintf(stderr, "usage: %s body|backup|details|whole|styled CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);
    const QList<QByteArray> seeds = kind == 0   ? bodySeeds()
                                    : kind == 1 ? backupSeeds()
                                    : kind == 2 ? detailSeeds()
                                    : kind == 3 ? wholeSeeds()
                                                : styledSeeds();
    int index = 0;
    for (const QByteArray& seed : seeds) {
        QFile file(QStringLiteral("%1/seed-%2").arg(folder).arg(index++, 2, 10, QLatin1Char('0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(seed) != seed.size())
            return 1;
    }
    return 0;
}
