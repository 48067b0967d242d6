#pragma once

#include "ConversationView.h"

#include <QHash>
#include <QString>

#include <functional>

// Copies the attachment and preview files of an export into the output
// folder, below "attachments/" at their place in the backup. Only files
// inside the backup are copied; anything else is left alone.
class AttachmentLinker
{
public:
    using Progress = std::function<void(int done, int total)>;

    AttachmentLinker(const BackupBoundary& boundary, const QString& outputFolder);

    // Fills copiedFile and copiedPreview of every attachment of the document.
    // False, with the reason in *error, when a copy cannot be written.
    bool copyAll(ExportDocument& document, const Progress& progress, QString* error);

    int copiedFiles() const { return copies.size(); }

private:
    QString copyOne(const QString& path, QString* error);

    const BackupBoundary& boundary;
    QString outputFolder;
    QHash<QString, QString> copies; // relative path in the backup -> copy
};
