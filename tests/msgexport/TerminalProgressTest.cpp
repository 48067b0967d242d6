// Progress drawing, read back through a pipe standing in for the terminal.
#include "TerminalProgress.h"

#include <QByteArray>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

class TerminalProgressTest : public ::testing::Test
{
protected:
    int fds[2] = {-1, -1};
    void SetUp() override
    {
        ASSERT_EQ(::pipe(fds), 0);
        ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    }
    void TearDown() override
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    QByteArray drawn()
    {
        QByteArray bytes;
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::read(fds[0], buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<int>(count));
        return bytes;
    }
};

TEST_F(TerminalProgressTest, SpinnerRunsUntilStoppedAndClearsItsLine)
{
    TerminalProgress progress(fds[1], true);
    progress.startSpinner(QStringLiteral("Loading backup"));
    // The spinner's first frame comes at once; wait until it is there.
    QByteArray bytes;
    for (int i = 0; i < 500 && !bytes.contains("s\x1b[K"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        bytes += drawn();
    }
    progress.stopSpinner();
    bytes += drawn();
    EXPECT_TRUE(bytes.startsWith("\r| Loading backup ")) << bytes.constData();
    EXPECT_TRUE(bytes.endsWith("\r\x1b[K")) << bytes.constData();
    // Stopped means stopped: nothing is drawn afterwards.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_TRUE(drawn().isEmpty());
}

TEST_F(TerminalProgressTest, DisabledProgressDrawsNothing)
{
    {
        TerminalProgress progress(fds[1], false);
        progress.startSpinner(QStringLiteral("Loading"));
        progress.bar(QStringLiteral("pages"), 1, 2);
        progress.stopSpinner();
    }
    EXPECT_TRUE(drawn().isEmpty());
    EXPECT_FALSE(TerminalProgress::isTerminal(fds[1]));
}

} // namespace
