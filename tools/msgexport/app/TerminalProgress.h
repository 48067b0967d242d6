#pragma once

#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Progress on a terminal: a spinner with the elapsed time while one long call
// blocks the main thread, and a bar for counted work. Writes to its own copy
// of a file descriptor (so it still reaches the terminal while standard error
// is redirected) and does nothing when disabled.
class TerminalProgress
{
public:
    TerminalProgress(int fd, bool enabled);
    ~TerminalProgress();

    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // Whether fd is a terminal; progress is only for people watching.
    static bool isTerminal(int fd);

    bool enabled() const { return fd >= 0; }

    // Draws from a thread of its own until stopSpinner().
    void startSpinner(const QString& label);
    void stopSpinner();

    void bar(const QString& label, int done, int total);
    // Clears the line the spinner or bar used.
    void clear();

private:
    void spin(QString label);
    void draw(const QByteArray& line);

    int fd = -1;
    std::thread spinner;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    int lastBarWidth = -1;
};
