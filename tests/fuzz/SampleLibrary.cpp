#include "SampleLibrary.h"

#include "FixtureDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QByteArray database(const QString& path, const QString& schema, const QString& rows)
{
    const QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/") + schema) + QLatin1Char('\n')
        + FixtureDatabase::readText(QStringLiteral(MSGFUZZ_SAMPLE_DIR "/") + rows);
    QFile file(path);
    if (!FixtureDatabase::create(path, sql) || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

std::map<QString, QByteArray> SampleLibrary::files(const QString& scratchFolder)
{
    std::map<QString, QByteArray> files;
    const QByteArray sms =
        database(QDir(scratchFolder).filePath(QStringLiteral("sms.db")), QStringLiteral("ios16-sms.sql"), QStringLiteral("sms.sql"));
    const QByteArray book = database(QDir(scratchFolder).filePath(QStringLiteral("ab.db")),
                                     QStringLiteral("addressbook.sql"), QStringLiteral("addressbook.sql"));
    if (sms.isEmpty() || book.isEmpty())
        return files;
    files[QStringLiteral("SMS/sms.db")] = sms;
    files[QStringLiteral("AddressBook/AddressBook.sqlitedb")] = book;
    // The attachments the sample's messages name; their content is not read.
    for (const char* path : {"SMS/Attachments/3f/15/8E1F2A44-6C3B-4D0E-9A57-1B2C3D4E5F60/IMG_4821.jpeg",
                             "SMS/Attachments/a7/07/C0FFEE12-3456-4789-ABCD-EF0123456789/IMG_0193.jpeg",
                             "SMS/Attachments/5c/12/7B9D2E10-55AA-4C1F-8E3D-0A1B2C3D4E5F/trail-map.png"})
        files[QLatin1String(path)] = QByteArray("\xff\xd8\xff\xe0 picture", 12);
    return files;
}

bool SampleLibrary::write(const std::map<QString, QByteArray>& files, const QString& folder)
{
    for (const auto& item : files) {
        const QString path = QDir(folder).filePath(item.first);
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(item.second) != item.second.size())
            return false;
    }
    return true;
}

ComputerBackupWriter SampleLibrary::writerFor(int form, const QString& password)
{
    ComputerBackupWriter writer;
    writer.olderManifest = form >= 3;
    writer.passwordRound = !writer.olderManifest;
    writer.keyBagVersion = writer.olderManifest ? 3 : 4;
    writer.recordedShortfall = writer.olderManifest ? 1000 : 0;
    if (form == 2 || form == 4)
        writer.password = password;
    return writer;
}
