#pragma once

#include "BackupCatalog.h"

#include <QByteArray>
#include <QStringList>
#include <QVector>

// What --list prints: one line per backup, or the same as JSON data.
class BackupListWriter
{
public:
    // Columns padded to their widest value; a header line first.
    static QByteArray text(const QVector<BackupSummary>& backups);
    // {"roots": [...], "backups": [...]} as docs/msgexport.md describes it.
    static QByteArray json(const QStringList& roots, const QVector<BackupSummary>& backups);
    // "complete", "in progress" or "damaged: <reason>".
    static QString stateText(const BackupSummary& backup);
    // One line naming a backup, for messages.
    static QString brief(const BackupSummary& backup);
};
