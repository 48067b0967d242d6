#include "imports/Log.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

namespace {

// Runs f with standard error going to a file, and returns what was written.
template <typename F>
QByteArray captureStderr(F f)
{
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
    f();
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    QFile read(file.fileName());
    read.open(QIODevice::ReadOnly);
    return read.readAll();
}

} // namespace

TEST(Log, WritesOneLineWithTagLevelAndFormattedMessage)
{
    const QByteArray out = captureStderr([] {
        Log("MSGSER", 1, "des-construct");
        Log("iTunesBackup", 1, "Fail to query sql \"%s\" for db %s", "select 1", "/b/sms.db");
        Log("MsgDbLoader", 0, "attachment %s not exists.", "SMS/Attachments/ä.jpg");
    });
    EXPECT_EQ(out, QByteArray("[MSGSER] 1 des-construct\n"
                              "[iTunesBackup] 1 Fail to query sql \"select 1\" for db /b/sms.db\n"
                              "[MsgDbLoader] 0 attachment SMS/Attachments/ä.jpg not exists.\n"));
}

TEST(Log, LongMessagesAreNotCut)
{
    const std::string path(10000, 'p');
    const QByteArray out = captureStderr([&] { Log("iTunesBackup", 0, "Not exists: %s", path.c_str()); });
    EXPECT_EQ(out.size(), static_cast<int>(std::string("[iTunesBackup] 0 Not exists: \n").size() + path.size()));
    EXPECT_TRUE(out.endsWith(QByteArray("ppp\n")));
}
