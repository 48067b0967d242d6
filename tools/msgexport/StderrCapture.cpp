#include "StderrCapture.h"

#include <unistd.h>

StderrCapture::StderrCapture()
{
    // A file rather than a pipe: a pipe nobody reads would block the load
    // once it is full.
    sink = std::tmpfile();
    if (!sink)
        return;
    std::fflush(stderr);
    savedFd = ::dup(STDERR_FILENO);
    if (savedFd < 0 || ::dup2(::fileno(sink), STDERR_FILENO) < 0) {
        if (savedFd >= 0)
            ::close(savedFd);
        savedFd = -1;
        std::fclose(sink);
        sink = nullptr;
    }
}

StderrCapture::~StderrCapture()
{
    finish();
}

QByteArray StderrCapture::finish()
{
    if (!active())
        return QByteArray();
    std::fflush(stderr);
    ::dup2(savedFd, STDERR_FILENO);
    ::close(savedFd);
    savedFd = -1;

    QByteArray captured;
    std::rewind(sink);
    char buffer[4096];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, sink)) > 0)
        captured.append(buffer, static_cast<int>(count));
    std::fclose(sink);
    sink = nullptr;
    return captured;
}
