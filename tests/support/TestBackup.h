#pragma once

#include "FixtureDatabase.h"

#include <QString>
#include <QTemporaryDir>

// A backup folder in a temporary directory, laid out as the device's Library
// folder, with databases built from SQL text in the real iOS table shapes.
class TestBackup
{
public:
    TestBackup();

    QString folder() const { return dir.path(); }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString smsDbPath() const { return path(QStringLiteral("SMS/sms.db")); }

    // SMS/sms.db: the named table shapes (a file of tools/fixture/schemas),
    // then rows. Returns false (and fails the test) when the SQL is refused.
    bool writeSmsDb(const QString& rows, const QString& schema = QStringLiteral("ios14-sms.sql"));
    // AddressBook/AddressBook.sqlitedb in the iOS address-book shape, then rows.
    bool writeAddressBook(const QString& rows);
    // Any database at a relative path, from SQL text alone.
    bool writeDatabase(const QString& relative, const QString& sql,
                       FixtureDatabase::Journal journal = FixtureDatabase::Journal::Rollback);
    // A plain file (its folders made as needed).
    void writeFile(const QString& relative, const QByteArray& content = QByteArray("data"));

    static QString schema(const QString& name);

private:
    QTemporaryDir dir;
};
