#include "ViewGuard.h"

#include "VexoBackup.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdlib>
#include <mutex>

#if defined(_WIN32)
#  include <windows.h>
#else
#  include <csignal>
#  include <pthread.h>
#  include <thread>
#endif

namespace {

std::mutex pendingMutex;
QString pending; // the view to remove on an interruption

void removePending()
{
    std::lock_guard<std::mutex> lock(pendingMutex);
    if (!pending.isEmpty())
        VexoBackup::removeBackupView(pending);
    pending.clear();
}

#if defined(_WIN32)
BOOL WINAPI onConsoleEvent(DWORD)
{
    removePending();
    return FALSE; // the default handler ends the process
}
#endif

// Interruptions are taken by a thread of their own, which may remove files:
// a signal handler may not.
void watchInterruptions()
{
#if defined(_WIN32)
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
#else
    sigset_t interruptions;
    sigemptyset(&interruptions);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interruptions, signal);
    // Blocked in this thread and so in every thread started after it; the
    // watcher takes them with sigwait.
    pthread_sigmask(SIG_BLOCK, &interruptions, nullptr);
    std::thread([interruptions] {
        int signal = 0;
        if (sigwait(&interruptions, &signal) != 0)
            return;
        removePending();
        std::_Exit(128 + signal);
    }).detach();
#endif
}

} // namespace

ViewGuard::ViewGuard(const QString& viewFolder, bool keep)
    : folder(viewFolder)
    , keep(keep)
{
    if (keep)
        return;
    static std::once_flag once;
    std::call_once(once, watchInterruptions);
    std::lock_guard<std::mutex> lock(pendingMutex);
    pending = folder;
}

ViewGuard::~ViewGuard()
{
    if (!keep)
        removePending();
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
