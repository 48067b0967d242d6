// Small generated backups and SQL look-ups for the benchmark's tests.
#pragma once

#include "BackupGenerator.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

// A backup generated into a temporary folder that goes with the object.
struct TestBackup
{
    explicit TestBackup(qint64 messages, quint64 seed = BackupPlan().seed);

    QString sms() const { return folder + QStringLiteral("/SMS/sms.db"); }
    QString addressBook() const { return folder + QStringLiteral("/AddressBook/AddressBook.sqlitedb"); }

    std::unique_ptr<QTemporaryDir> dir;
    QString folder;
    BackupManifest manifest;
    QString error;
};

// True when a sanitizer replaces the allocator: glibc's heap figures are then
// all zero and freed memory is held back, so memory probes tell nothing.
constexpr bool allocatorReplaced()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// What action writes to this process's stderr (the library's log).
QByteArray stderrOf(const std::function<void()>& action);

// The first column of every row of sql, as text.
QStringList column(const QString& dbPath, const QString& sql);
qint64 number(const QString& dbPath, const QString& sql);
