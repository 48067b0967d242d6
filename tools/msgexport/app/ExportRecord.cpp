#include "ExportRecord.h"

#include "BackupBoundary.h"
#include "OutputFolder.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Size and SHA-256 (hex) of a file; false when it cannot be read.
bool digest(const QString& path, qint64* size, QString* sha256)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return false;
    *size = file.size();
    *sha256 = QString::fromLatin1(hash.result().toHex());
    return true;
}

QJsonObject entry(const QString& path, qint64 size, const QString& sha256)
{
    return QJsonObject{{QStringLiteral("path"), path},
                       {QStringLiteral("size"), static_cast<double>(size)},
                       {QStringLiteral("sha256"), sha256}};
}

} // namespace

ExportRecord::ExportRecord(const QString& backupFolder, const QString& libraryRoot)
    : backupFolder(backupFolder), libraryRoot(libraryRoot)
{
}

void ExportRecord::addRead(const QString& role, const QString& path)
{
    // A computer backup's view links to the backup's data files: the data
    // file is what was read, and what can be checked again later. An
    // encrypted backup's view holds decrypted copies that go with the run.
    const QString real = QFileInfo(path).canonicalFilePath();
    {
        const QMutexLocker locker(&lock);
        if (real.isEmpty() || seen.contains(real))
            return;
        seen.insert(real);
    }
    qint64 size = 0;
    QString sha256;
    if (!digest(real, &size, &sha256))
        return;
    QJsonObject file = entry(real, size, sha256);
    file.insert(QStringLiteral("role"), role);
    file.insert(QStringLiteral("name"), QDir(libraryRoot).relativeFilePath(path));
    file.insert(QStringLiteral("inBackup"), BackupBoundary(backupFolder).contains(real));
    const QMutexLocker locker(&lock);
    read.append(file);
}

void ExportRecord::addDatabases()
{
    const QDir root(libraryRoot);
    for (const char* name : {"SMS/sms.db", "SMS/sms.db-wal"})
        addRead(QStringLiteral("message database"), root.filePath(QLatin1String(name)));
    for (const char* name : {"AddressBook/AddressBook.sqlitedb", "AddressBook/AddressBook.sqlitedb-wal",
                             "AddressBook/AddressBook.db", "AddressBook/AddressBook.db-wal"})
        addRead(QStringLiteral("address book"), root.filePath(QLatin1String(name)));
}

bool ExportRecord::write(const OutputFolder& output, QString* error) const
{
    QJsonArray written;
    QStringList files = output.writtenFiles();
    files.removeAll(fileName());
    files.sort();
    for (const QString& file : qAsConst(files)) {
        qint64 size = 0;
        QString sha256;
        if (!digest(QDir(output.path()).filePath(file), &size, &sha256)) {
            *error = QStringLiteral("cannot read back %1").arg(QDir(output.path()).filePath(file));
            return false;
        }
        written.append(entry(file, size, sha256));
    }
    QJsonObject record;
    record.insert(QStringLiteral("format"), QStringLiteral("msgexport-record"));
    record.insert(QStringLiteral("formatVersion"), 1);
    record.insert(QStringLiteral("tool"), tool);
    record.insert(QStringLiteral("commandLine"), QJsonArray::fromStringList(commandLine));
    record.insert(QStringLiteral("exportedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    record.insert(QStringLiteral("timeZone"), timeZone);
    record.insert(QStringLiteral("selection"), selection);
    record.insert(QStringLiteral("backupFolder"), backupFolder);
    {
        const QMutexLocker locker(&lock);
        record.insert(QStringLiteral("read"), read);
    }
    record.insert(QStringLiteral("written"), written);
    const QByteArray json = QJsonDocument(record).toJson(QJsonDocument::Indented);
    return output.writeFile(
        fileName(), [&json](QIODevice& device) { return device.write(json) == json.size(); }, error);
}

int ExportRecord::check(const QString& folder, QIODevice& report, QString* error)
{
    QFile file(QDir(folder).filePath(fileName()));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("no %1 in %2").arg(fileName(), folder);
        return -1;
    }
    const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
    if (record.value(QStringLiteral("format")).toString() != QLatin1String("msgexport-record")) {
        *error = QStringLiteral("%1 in %2 is not an export record").arg(fileName(), folder);
        return -1;
    }
    int differences = 0;
    const auto say = [&report](const QString& line) { report.write(line.toUtf8() + '\n'); };
    const auto compare = [&](const QJsonObject& expected, const QString& path, const QString& where) {
        qint64 size = 0;
        QString sha256;
        if (!QFileInfo(path).isFile() || !digest(path, &size, &sha256)) {
            say(QStringLiteral("missing%1: %2").arg(where, path));
            return false;
        }
        const qint64 wanted = static_cast<qint64>(expected.value(QStringLiteral("size")).toDouble());
        if (size != wanted || sha256 != expected.value(QStringLiteral("sha256")).toString()) {
            say(QStringLiteral("changed%1: %2 (%3 bytes, recorded %4)").arg(where, path).arg(size).arg(wanted));
            return false;
        }
        return true;
    };

    QSet<QString> recorded{fileName()};
    int checked = 0;
    for (const QJsonValue value : record.value(QStringLiteral("written")).toArray()) {
        const QJsonObject written = value.toObject();
        const QString name = written.value(QStringLiteral("path")).toString();
        recorded.insert(name);
        // A name leading out of the folder is no file of this export.
        if (name.isEmpty() || QDir::isAbsolutePath(name) || QDir::cleanPath(name).startsWith(QLatin1String(".."))) {
            say(QStringLiteral("not a file of the export: %1").arg(name));
            ++differences;
            continue;
        }
        ++checked;
        if (!compare(written, QDir(folder).filePath(name), QString()))
            ++differences;
    }
    QDirIterator files(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    QStringList added;
    while (files.hasNext()) {
        const QString name = QDir(folder).relativeFilePath(files.next());
        if (!recorded.contains(name))
            added << name;
    }
    added.sort();
    for (const QString& name : qAsConst(added)) {
        say(QStringLiteral("not in the record: %1").arg(QDir(folder).filePath(name)));
        ++differences;
    }

    const QString backup = record.value(QStringLiteral("backupFolder")).toString();
    const bool reachable = !backup.isEmpty() && QFileInfo(backup).isDir();
    int backupChecked = 0, notChecked = 0;
    for (const QJsonValue value : record.value(QStringLiteral("read")).toArray()) {
        const QJsonObject read = value.toObject();
        if (!reachable || !read.value(QStringLiteral("inBackup")).toBool()) {
            ++notChecked; // the backup is elsewhere now, or this was a decrypted copy
            continue;
        }
        ++backupChecked;
        if (!compare(read, read.value(QStringLiteral("path")).toString(), QStringLiteral(" from the backup")))
            ++differences;
    }
    say(QStringLiteral("%1 written files checked, %2 files of the backup checked%3; %4 differences")
            .arg(checked)
            .arg(backupChecked)
            .arg(notChecked == 0 ? QString()
                                 : reachable ? QStringLiteral(" (%1 decrypted copies not kept)").arg(notChecked)
                                             : QStringLiteral(" (backup %1 not reachable)").arg(backup))
            .arg(differences));
    return differences;
}
