// Small generated backups and SQL look-ups for the benchmark's tests.
#pragma once

#include "BackupGenerator.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// A backup generated into a temporary folder that goes with the object.
struct TestBackup
{
    explicit TestBackup(qint64 messages, quint64 seed = BackupSpec().seed);

    QString sms() const { return folder + QStringLiteral("/SMS/sms.db"); }
    QString addressBook() const { return folder + QStringLiteral("/AddressBook/AddressBook.sqlitedb"); }

    std::unique_ptr<QTemporaryDir> dir;
    QString folder;
    BackupManifest manifest;
    QString error;
};

// The first column of every row of sql, as text.
QStringList column(const QString& dbPath, const QString& sql);
qint64 number(const QString& dbPath, const QString& sql);
