#pragma once

#include "ConversationView.h"

#include <QHash>
#include <QString>


// Copies the attachment and preview files of an export into the output
// folder, below "attachments/" at their place in the backup. Only files
// inside the backup are copied; anything else is left alone.
class AttachmentLinker
{
public:
    AttachmentLinker(const BackupBoundary& boundary, const QString& outputFolder);

    // Fills copiedFile and copiedPreview of every attachment of the
    // conversation. False, with the reason in *error, when a copy cannot be
    // written.
    bool copy(ConversationView& conversation, QString* error);

    int copiedFiles() const { return copies.size(); }

private:
    QString copyOne(const QString& path, QString* error);

    const BackupBoundary& boundary;
    QString outputFolder;
    QHash<QString, QString> copies; // relative path in the backup -> copy
};
