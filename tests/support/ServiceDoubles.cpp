#include "ServiceDoubles.h"

#include "AllocationCounter.h"
#include "imports/Log.h"
#include "imports/SqlUtils.h"
#include "imports/UserDbHelper.h"
#include "imports/vexobackup/VexoBackup.h"

#include <QFile>

#include <sqlite3.h>

#include <cstdarg>
#include <cstdio>

ServiceDoubles& ServiceDoubles::get()
{
    static ServiceDoubles doubles;
    return doubles;
}

void ServiceDoubles::reset() { get() = ServiceDoubles(); }

std::vector<std::string> ServiceDoubles::logsOf(const std::string& tag) const
{
    std::vector<std::string> lines;
    for (const LogLine& line : logs) {
        if (line.tag == tag)
            lines.push_back(std::to_string(line.level) + " " + line.text);
    }
    return lines;
}

namespace {
void record(const std::string& call)
{
    AllocationCounter::Pause pause;
    ServiceDoubles::get().calls.push_back(call);
}
} // namespace

void Log(const char* tag, int level, const char* format, ...)
{
    AllocationCounter::Pause pause;
    va_list args;
    va_start(args, format);
    char buffer[4096];
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    ServiceDoubles::get().logs.push_back({tag, level, buffer, AllocationCounter::live()});
    record(std::string("Log ") + tag + " " + std::to_string(level) + " " + buffer);
}

QString VexoBackup::getDeviceBackupPath(const QString& deviceId)
{
    record("VexoBackup::getDeviceBackupPath(" + deviceId.toStdString() + ")");
    return ServiceDoubles::get().backupPath;
}

bool VexoBackup::isDeviceBackuping(const QString& deviceId)
{
    record("VexoBackup::isDeviceBackuping(" + deviceId.toStdString() + ")");
    return ServiceDoubles::get().backuping;
}

void VexoBackup::cancelBackup(const QString& deviceId) { record("VexoBackup::cancelBackup(" + deviceId.toStdString() + ")"); }

UserDbHelper* UserDbHelper::instance()
{
    record("UserDbHelper::instance()");
    static UserDbHelper helper;
    return &helper;
}

void UserDbHelper::release() { record("UserDbHelper::release()"); }

namespace {
// sqlite3_close reports the close before it refuses a connection that still
// has statements, so only a connection without any counts as closed.
int countClose(unsigned type, void*, void* connection, void*)
{
    if (type == SQLITE_TRACE_CLOSE && !sqlite3_next_stmt(static_cast<sqlite3*>(connection), nullptr))
        ++ServiceDoubles::get().closes;
    return 0;
}
} // namespace

int SqlUtils::openSqlite(const QString& path, sqlite3** db)
{
    ServiceDoubles& doubles = ServiceDoubles::get();
    record("SqlUtils::openSqlite(" + path.toStdString() + ")");
    *db = nullptr;
    doubles.openedPaths.append(path);
    if (doubles.failingOpens.count(++doubles.openAttempts))
        return SQLITE_CANTOPEN;
    // Plain read-only opening: fixtures are rollback-journal databases, for
    // which this writes nothing and creates no file.
    sqlite3* handle = nullptr;
#if defined(_WIN32)
    const QByteArray name = path.toUtf8(); // SQLite's file names are UTF-8 there
#else
    const QByteArray name = QFile::encodeName(path);
#endif
    const int rc = sqlite3_open_v2(name.constData(), &handle, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        sqlite3_close(handle);
        return rc;
    }
    ++doubles.opens;
    // Mapped as the service maps it, so that readers can be seen to turn it off.
    sqlite3_exec(handle, "PRAGMA mmap_size=1048576", nullptr, nullptr, nullptr);
    sqlite3_trace_v2(handle, SQLITE_TRACE_CLOSE, countClose, nullptr);
    *db = handle;
    return SQLITE_OK;
}

int SqlUtils::prepareSqlite(sqlite3* db, const char* sql, int nByte, sqlite3_stmt** stmt, const char** tail)
{
    ServiceDoubles& doubles = ServiceDoubles::get();
    record(std::string("SqlUtils::prepareSqlite(") + sql + ")");
    {
        AllocationCounter::Pause pause;
        doubles.preparedSql.push_back(sql);
    }
    *stmt = nullptr;
    if (doubles.failingSql.count(sql))
        return SQLITE_ERROR;
    return sqlite3_prepare_v2(db, sql, nByte, stmt, tail);
}
