#include "ManifestReader.h"

#include "PropertyListLimits.h"
#include "SqlUtils.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <memory>

namespace {

const char* const selectFiles = R"(
SELECT fileID, domain, relativePath, file FROM Files
WHERE flags = 1 AND (
  (domain = 'HomeDomain' AND relativePath IN (
    'Library/SMS/sms.db', 'Library/SMS/sms.db-wal',
    'Library/AddressBook/AddressBook.sqlitedb', 'Library/AddressBook/AddressBook.sqlitedb-wal',
    'Library/AddressBook/AddressBook.db', 'Library/AddressBook/AddressBook.db-wal'))
  OR (domain = 'MediaDomain' AND substr(relativePath, 1, 24) = 'Library/SMS/Attachments/'))
)";

QString text(sqlite3_stmt* statement, int column)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return bytes ? QString::fromUtf8(bytes, sqlite3_column_bytes(statement, column)) : QString();
}

} // namespace

bool ManifestReader::isSafePath(const QString& relativePath)
{
    if (relativePath.isEmpty() || relativePath.startsWith(QLatin1Char('/')) || relativePath.contains(QLatin1Char('\\'))
        || relativePath.contains(QLatin1Char(':')) || relativePath.contains(QChar(0)))
        return false;
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String(".."))
            return false;
    }
    return true;
}

bool ManifestReader::read(const QString& manifestPath, std::vector<ManifestEntry>* entries)
{
    entries->clear();
    sqlite3* handle = nullptr;
    if (SqlUtils::openSqlite(manifestPath, &handle) != SQLITE_OK)
        return false;
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(handle, &sqlite3_close);
    sqlite3_stmt* prepared = nullptr;
    if (SqlUtils::prepareSqlite(db.get(), selectFiles, -1, &prepared, nullptr) != SQLITE_OK)
        return false;
    const std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> statement(prepared, &sqlite3_finalize);

    static const QRegularExpression hashed(QStringLiteral("^[0-9a-f]{40}$"));
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
        ManifestEntry entry;
        entry.fileID = text(statement.get(), 0);
        entry.domain = text(statement.get(), 1);
        entry.relativePath = text(statement.get(), 2);
        const QByteArray record(static_cast<const char*>(sqlite3_column_blob(statement.get(), 3)),
                                sqlite3_column_bytes(statement.get(), 3));
        if (!hashed.match(entry.fileID).hasMatch() || !isSafePath(entry.relativePath))
            continue;
        // The phone writes small, flat records; one nested deeper than any of
        // them was crafted, and the manifest holding it is not trusted.
        if (!PropertyListLimits::acceptable(record.constData(), static_cast<size_t>(record.size())))
            return false;
        if (!record.isEmpty() && !FileRecord::parse(record, &entry.record))
            continue;
        entries->push_back(std::move(entry));
    }
    return rc == SQLITE_DONE;
}
