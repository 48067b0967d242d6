#include "StderrCapture.h"

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

// The C runtime's descriptors under their POSIX and Windows names.
#if defined(_WIN32)
constexpr int stderrFd = 2;
int duplicate(int fd) { return ::_dup(fd); }
int duplicateTo(int fd, int target) { return ::_dup2(fd, target); }
int closeFd(int fd) { return ::_close(fd); }
int fdOf(std::FILE* file) { return ::_fileno(file); }

// The C runtime's tmpfile() puts its file in the root of the current drive,
// where users may not write; this one lies in %TEMP% and goes when closed.
std::FILE* temporaryFile()
{
    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    if (!GetTempPathW(MAX_PATH + 1, folder) || !GetTempFileNameW(folder, L"msg", 0, name))
        return nullptr;
    return ::_wfopen(name, L"w+bTD");
}
#else
constexpr int stderrFd = STDERR_FILENO;
int duplicate(int fd) { return ::dup(fd); }
int duplicateTo(int fd, int target) { return ::dup2(fd, target); }
int closeFd(int fd) { return ::close(fd); }
int fdOf(std::FILE* file) { return ::fileno(file); }
std::FILE* temporaryFile() { return std::tmpfile(); }
#endif

} // namespace

StderrCapture::StderrCapture()
{
    // A file rather than a pipe: a pipe nobody reads would block the load
    // once it is full.
    sink = temporaryFile();
    if (!sink)
        return;
    std::fflush(stderr);
    savedFd = duplicate(stderrFd);
    if (savedFd < 0 || duplicateTo(fdOf(sink), stderrFd) < 0) {
        if (savedFd >= 0)
            closeFd(savedFd);
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
    duplicateTo(savedFd, stderrFd);
    closeFd(savedFd);
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
