#pragma once

#include <QString>

class QFile;

// The password of an encrypted backup: typed on the terminal without echo,
// or the first line of a file. Never taken from the command line, where
// other users could read it.
class PasswordPrompt
{
public:
    // Whether standard input is a terminal that can be asked.
    static bool canAsk();
    // Writes prompt to out, reads one line with echo off. False at end of input.
    static bool ask(QFile& out, const QString& prompt, QString* password);
    // The first line of path, without its line end. False when unreadable.
    // A file that other users may read is still read, with a line for the
    // user in *warning.
    static bool fromFile(const QString& path, QString* password, QString* warning = nullptr);
    // Overwrites the password's characters before it is let go, so that no
    // copy lingers in freed memory.
    static void wipe(QString* password);
};
