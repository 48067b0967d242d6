// The shared library as a Windows host runs it: the default backup root under
// %APPDATA%, native paths, and a backup another program holds open.
#include "FixtureDatabase.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

// A backup with one conversation, its newest rows only in the "-wal" file.
bool makeBackup(const QString& folder)
{
    QDir().mkpath(folder + QStringLiteral("/SMS"));
    const QString sql = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql")) + QStringLiteral(R"(
insert into handle (ROWID, id, service) values (1, '+15550001', 'SMS');
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', '+15550001');
insert into chat_handle_join (chat_id, handle_id) values (1, 1);
insert into message (ROWID, guid, text, date) values (1, 'm1', 'hi', 1);
insert into chat_message_join (chat_id, message_id) values (1, 1);
)");
    return FixtureDatabase::create(folder + QStringLiteral("/SMS/sms.db"), sql, FixtureDatabase::Journal::WalOnly);
}

unsigned sessionsIn(const QString& folder)
{
    MsgService service(QStringLiteral("windows-host"), false);
    return service.loadBackup(folder) ? service.msgSessionCount() : 0;
}

// Sets a variable of the process for the lifetime of the object (wide, as
// Qt reads it on Windows).
class EnvironmentOverride
{
public:
    EnvironmentOverride(const wchar_t* name, const QString& value) : name(name)
    {
        if (const wchar_t* old = _wgetenv(name))
            previous = old;
        _wputenv_s(name, reinterpret_cast<const wchar_t*>(value.utf16()));
    }
    ~EnvironmentOverride() { _wputenv_s(name, previous.c_str()); }

private:
    const wchar_t* name;
    std::wstring previous;
};

} // namespace

TEST(WindowsHost, DefaultBackupRootIsUnderAppDataOfANonAsciiUser)
{
    QTemporaryDir dir;
    const QString appData = QDir::toNativeSeparators(dir.filePath(QStringLiteral("Users/Zo\u00eb/AppData/Roaming")));
    ASSERT_TRUE(makeBackup(appData + QStringLiteral("/Apple Computer/MobileSync/Backup/dev-\u00eb")));
    EnvironmentOverride root(L"VEXOBACKUP_ROOT", QString());
    EnvironmentOverride appDataOverride(L"APPDATA", appData);

    MsgService service(QStringLiteral("dev-\u00eb"), false);
    EXPECT_EQ(service.getBDPath(), appData + QStringLiteral("\\Apple Computer\\MobileSync\\Backup\\dev-\u00eb/SMS/sms.db"));
    EXPECT_EQ(service.loadSMSOnly(), 1);
    EXPECT_EQ(service.msgSessionCount(), 1u);
}

TEST(WindowsHost, DriveLettersBackslashesAndRelativePathsLoad)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("b\u00e4ckup #1"));
    ASSERT_TRUE(makeBackup(folder));
    const QString native = QDir::toNativeSeparators(folder);
    ASSERT_EQ(native.mid(1, 2), QStringLiteral(":\\"));
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const QString& path : {native, native + QLatin1Char('\\'), folder, native.left(3) + folder.mid(3),
                                QStringLiteral(".\\b\u00e4ckup #1\\SMS\\..")}) {
        EXPECT_EQ(sessionsIn(path), 1u) << path.toStdString();
    }
    QDir::setCurrent(previous);
}

TEST(WindowsHost, BackupHeldOpenForWritingByAnotherProgramLoads)
{
    QTemporaryDir dir;
    ASSERT_TRUE(makeBackup(dir.path()));
    std::vector<HANDLE> held;
    for (const char* name : {"/SMS/sms.db", "/SMS/sms.db-wal"}) {
        const QString path = QDir::toNativeSeparators(dir.path() + QLatin1String(name));
        held.push_back(CreateFileW(reinterpret_cast<const wchar_t*>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_NE(held.back(), INVALID_HANDLE_VALUE);
    }
    EXPECT_EQ(sessionsIn(dir.path()), 1u);
    for (HANDLE handle : held)
        CloseHandle(handle);
}
