#pragma once

#include <QString>

// Removes the view of a computer backup (decrypted files, for an encrypted
// one) when the export ends, and takes the interruptions that must end it
// early: Ctrl-C, a termination request, a hang-up. Those only raise a flag,
// on a thread of their own; the main thread polls it between the export's
// steps, stops, and removes what it made on its way out, so nothing is
// removed while that thread still writes into it. A kept view stays, and is
// marked so that no later run sweeps it.
class ViewGuard
{
public:
    ViewGuard(const QString& viewFolder, bool keep);
    ~ViewGuard();

    ViewGuard(const ViewGuard&) = delete;
    ViewGuard& operator=(const ViewGuard&) = delete;

    // Marks the view as kept once it is built (a no-op for one to remove).
    void viewBuilt();

    // A fresh private folder for a view in the user's cache folder; empty
    // when none can be made.
    static QString temporaryFolder();

    // Starts taking SIGINT, SIGTERM and SIGHUP (the console's events on
    // Windows), and ignores SIGPIPE so that writing to a closed pipe fails
    // with EPIPE instead of ending the process. Call it before any other
    // thread is started; later calls do nothing.
    static void watchInterruptions();
    // Raises the flag for signal, as a taken interruption does; the first
    // one is kept. Also stops a view being built.
    static void interrupt(int signal);
    // The signal that interrupted the export; 0 while none did.
    static int interruption();
    // The exit code for an interruption: 128 + the signal, as a shell reports
    // a process ended by it.
    static int exitCode();

private:
    QString folder;
    bool keep;
};
