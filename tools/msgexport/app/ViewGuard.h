#pragma once

#include <QString>

// Removes the view of a computer backup (decrypted files, for an encrypted
// one) when the export ends, and also when it is interrupted by Ctrl-C or
// a termination request; a kept view stays.
class ViewGuard
{
public:
    ViewGuard(const QString& viewFolder, bool keep);
    ~ViewGuard();

    ViewGuard(const ViewGuard&) = delete;
    ViewGuard& operator=(const ViewGuard&) = delete;

    // A fresh private folder for a view in the user's cache folder; empty
    // when none can be made.
    static QString temporaryFolder();

private:
    QString folder;
    bool keep;
};
