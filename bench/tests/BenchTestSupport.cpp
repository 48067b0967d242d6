#include "BenchTestSupport.h"

#include <QFile>
#include <QTemporaryFile>

#include <sqlite3.h>

#include <cstdio>

#include <unistd.h>

TestBackup::TestBackup(qint64 messages, quint64 seed) : dir(std::make_unique<QTemporaryDir>())
{
    BackupPlan plan;
    plan.messages = messages;
    plan.seed = seed;
    folder = dir->path() + QStringLiteral("/backup");
    generateBackup(folder, plan, &manifest, &error);
}

QStringList column(const QString& dbPath, const QString& sql)
{
    QStringList values;
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(dbPath).constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
            values.append(text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, 0)) : QString());
        }
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return values;
}

qint64 number(const QString& dbPath, const QString& sql)
{
    const QStringList values = column(dbPath, sql);
    return values.isEmpty() ? -1 : values.first().toLongLong();
}

QByteArray stderrOf(const std::function<void()>& action)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QByteArray("no capture file");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    action();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}
