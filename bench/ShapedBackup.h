// The short and media backups of the benchmark, whose rows are made by SQL
// in the generated databases rather than one by one.
#pragma once

#include "BackupGenerator.h"

class ShapedBackup
{
public:
    // Writes a new backup of plan.profile (short or media) into folder.
    static bool generate(const QString& folder, const BackupPlan& plan, BackupManifest* manifest, QString* error);
};
