#pragma once

#include <QByteArray>

#include <cstdio>

// Collects what is written to standard error (the library's log lines) in a
// temporary file, so that it does not mix with msgexport's own messages.
// Keep a duplicate of the descriptor first to reach the terminal meanwhile.
class StderrCapture
{
public:
    StderrCapture();
    ~StderrCapture();

    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    bool active() const { return savedFd >= 0; }

    // Restores standard error and returns everything written meanwhile.
    QByteArray finish();

private:
    std::FILE* sink = nullptr;
    int savedFd = -1;
};
