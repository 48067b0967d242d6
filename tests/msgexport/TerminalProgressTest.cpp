// Progress drawing, read back through a pipe standing in for the terminal.
#include "TerminalProgress.h"

#include <QByteArray>

#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

TEST(TerminalProgress, DrawsSpinnerAndBarOnOneLineAndNothingWhenDisabled)
{
    int fds[2] = {-1, -1};
#if defined(_WIN32)
    ASSERT_EQ(::_pipe(fds, 1 << 16, _O_BINARY), 0);
#else
    ASSERT_EQ(::pipe(fds), 0);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
#endif
    const auto drawn = [&fds] {
        QByteArray bytes;
        char buffer[4096];
#if defined(_WIN32)
        // Windows pipes do not read without blocking; read what is there.
        DWORD available = 0;
        while (PeekNamedPipe(reinterpret_cast<HANDLE>(::_get_osfhandle(fds[0])), nullptr, 0, nullptr, &available, nullptr)
               && available > 0)
            bytes.append(buffer, ::_read(fds[0], buffer, std::min<unsigned>(available, sizeof buffer)));
#else
        ssize_t count = 0;
        while ((count = ::read(fds[0], buffer, sizeof buffer)) > 0)
            bytes.append(buffer, static_cast<int>(count));
#endif
        return bytes;
    };
    {
        TerminalProgress progress(fds[1], true);
        progress.startSpinner(QStringLiteral("Loading backup"));
        QByteArray spun; // the first frame comes at once; wait until it is there
        for (int i = 0; i < 500 && !spun.contains("s\x1b[K"); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            spun += drawn();
        }
        progress.stopSpinner();
        spun += drawn();
        EXPECT_TRUE(spun.startsWith("\r| Loading backup ") && spun.endsWith("\r\x1b[K")) << spun.constData();
        for (int done : {1, 2, 3, 3})
            progress.bar(QStringLiteral("pages"), done, 3);
    }
    // Redrawn when the bar grows and whenever the work ends, then cleared.
    EXPECT_EQ(drawn(), QByteArray("\r[##########....................] 1/3 pages\x1b[K\r[####################..........] 2/3 pages\x1b[K"
                                  "\r[##############################] 3/3 pages\x1b[K\r[##############################] 3/3 pages\x1b[K\r\x1b[K"));
    {
        TerminalProgress progress(fds[1], false);
        progress.startSpinner(QStringLiteral("Loading"));
        progress.bar(QStringLiteral("pages"), 1, 2);
        progress.stopSpinner();
    }
    EXPECT_TRUE(drawn().isEmpty());
    EXPECT_FALSE(TerminalProgress::isTerminal(fds[1]));
    ::close(fds[0]);
    ::close(fds[1]);
}
