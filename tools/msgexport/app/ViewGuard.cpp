#include "ViewGuard.h"

#include "VexoBackup.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <atomic>
#include <csignal>
#include <mutex>

#if defined(_WIN32)
#  include <windows.h>
#  include <chrono>
#  include <thread>
#else
#  include <pthread.h>
#  include <thread>
#endif

namespace {

std::atomic<int> interrupted{0};
// Set once the main thread has removed what it made: the console's close
// events end the process as soon as their handler returns.
std::atomic<bool> finished{false};

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD event)
{
    ViewGuard::interrupt(event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM);
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE; // the main thread stops on its own
    // Closing the console, logging off, shutting down: the system ends the
    // process once this returns, so the main thread is given a few seconds.
    for (int i = 0; i < 40 && !finished.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return FALSE;
}
#endif

void startWatching()
{
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t interruptions;
    sigemptyset(&interruptions);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interruptions, signal);
    // Blocked in this thread and so in every thread started after it; the
    // watcher takes them with sigwait. It only raises the flag: the main
    // thread may be writing into the view, and removes it itself.
    pthread_sigmask(SIG_BLOCK, &interruptions, nullptr);
    std::thread([interruptions] {
        for (;;) {
            int signal = 0;
            if (sigwait(&interruptions, &signal) != 0)
                return;
            ViewGuard::interrupt(signal);
        }
    }).detach();
#endif
}

} // namespace

ViewGuard::ViewGuard(const QString& viewFolder, bool keep)
    : folder(viewFolder)
    , keep(keep)
{
    watchInterruptions();
}

ViewGuard::~ViewGuard()
{
    if (!keep)
        VexoBackup::removeBackupView(folder);
    finished.store(true);
}

void ViewGuard::viewBuilt()
{
    if (keep)
        VexoBackup::keepBackupView(folder);
}

void ViewGuard::watchInterruptions()
{
    static std::once_flag once;
    std::call_once(once, startWatching);
}

void ViewGuard::interrupt(int signal)
{
    int none = 0;
    interrupted.compare_exchange_strong(none, signal);
    VexoBackup::cancelBackupViews();
}

int ViewGuard::interruption()
{
    return interrupted.load();
}

int ViewGuard::exitCode()
{
    return 128 + interruption();
}

QString ViewGuard::temporaryFolder()
{
    const QString base =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/msgservice/views");
    if (!QDir().mkpath(base))
        return QString();
    QTemporaryDir folder(base + QStringLiteral("/msgexport-XXXXXX"));
    folder.setAutoRemove(false);
    return folder.isValid() ? folder.path() : QString();
}
