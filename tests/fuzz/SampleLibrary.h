// The sample backup's Library folder in memory: its message database and
// address book from the SQL text beside the example, and stand-ins for its
// attachment files. Shared by the seed maker and the whole-backup fuzz target.
#pragma once

#include "ComputerBackupWriter.h"

#include <QByteArray>
#include <QString>

#include <map>

class SampleLibrary
{
public:
    // Relative path below Library -> content. Empty when the SQL cannot be run.
    static std::map<QString, QByteArray> files(const QString& scratchFolder);
    // Writes files below folder; false when one cannot be written.
    static bool write(const std::map<QString, QByteArray>& files, const QString& folder);
    // The writer of computer-backup form 1 to 4: Manifest.db (1, 2) or
    // Manifest.mbdb (3, 4), encrypted with password in forms 2 and 4.
    static ComputerBackupWriter writerFor(int form, const QString& password);
};
