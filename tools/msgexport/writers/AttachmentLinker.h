#pragma once

#include "ConversationView.h"

#include <QHash>
#include <QString>
#include <QStringList>

class OutputFolder;

// Copies the attachment and preview files of an export into the output
// folder, below "attachments/" at their place in the backup. Only files
// inside the backup are copied; anything else is left alone. A file that
// cannot be copied is skipped with a note, so that one unreadable file does
// not cost the whole export.
class AttachmentLinker
{
public:
    AttachmentLinker(const BackupBoundary& boundary, const OutputFolder& output);

    // Fills copiedFile and copiedPreview of every attachment of the
    // conversation, or copyNote when one of them was skipped.
    void copy(ConversationView& conversation);

    int copiedFiles() const { return copies.size(); }
    // One line for each file skipped, with the reason.
    const QStringList& skipped() const { return skippedFiles; }

private:
    // The copy's path relative to the output folder; empty, with a short
    // reason in *note, when the file was skipped.
    QString copyOne(const QString& path, QString* note);

    const BackupBoundary& boundary;
    const OutputFolder& output;
    QHash<QString, QString> copies; // relative path in the backup -> copy
    QHash<QString, QString> failures; // path -> short reason
    QStringList skippedFiles;
};
