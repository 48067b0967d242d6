#include "imports/Log.h"

#include <QFile>
#include <QTemporaryFile>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

TEST(Log, WritesOneWholeLinePerCallWithTagLevelAndMessage)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    std::fflush(stderr);
    const int saved = dup(STDERR_FILENO);
    dup2(file.handle(), STDERR_FILENO);
    const std::string path(10000, 'p');
    Log("MSGSER", 1, "des-construct");
    Log("iTunesBackup", 1, "Fail to query sql \"%s\" for db %s", "select 1", "/b/sms.db");
    Log("iTunesBackup", 0, "Not exists: %s", path.c_str());
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    QFile read(file.fileName());
    ASSERT_TRUE(read.open(QIODevice::ReadOnly));
    EXPECT_EQ(read.readAll(), QByteArray("[MSGSER] 1 des-construct\n"
                                         "[iTunesBackup] 1 Fail to query sql \"select 1\" for db /b/sms.db\n"
                                         "[iTunesBackup] 0 Not exists: ")
                                  + QByteArray::fromStdString(path) + '\n');
}
