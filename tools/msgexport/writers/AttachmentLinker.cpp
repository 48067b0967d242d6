#include "AttachmentLinker.h"

#include "OutputFolder.h"

#include <QFileInfo>

AttachmentLinker::AttachmentLinker(const BackupBoundary& boundary, const OutputFolder& output)
    : boundary(boundary)
    , output(output)
{
}

void AttachmentLinker::copy(ConversationView& conversation)
{
    for (MessageView& message : conversation.messages) {
        for (PieceView& piece : message.pieces) {
            if (piece.kind != PieceView::Kind::Attachment)
                continue;
            AttachmentView& attachment = piece.attachment;
            if (attachment.fileState == BackupBoundary::FileState::Present)
                attachment.copiedFile = copyOne(attachment.filePath, &attachment.copyNote);
            if (attachment.hasOwnPreview() && attachment.previewState == BackupBoundary::FileState::Present) {
                QString note;
                attachment.copiedPreview = copyOne(attachment.previewPath, &note);
                if (attachment.copyNote.isEmpty() && !note.isEmpty())
                    attachment.copyNote = QStringLiteral("preview %1").arg(note);
            } else if (attachment.previewState == BackupBoundary::FileState::Present) {
                attachment.copiedPreview = attachment.copiedFile;
            }
        }
    }
}

QString AttachmentLinker::copyOne(const QString& path, QString* note)
{
    const auto failed = failures.constFind(path);
    if (failed != failures.constEnd()) {
        *note = *failed;
        return QString();
    }
    const auto skip = [&](const QString& reason, const QString& detail) {
        failures.insert(path, reason);
        skippedFiles << QStringLiteral("%1: %2").arg(path, detail);
        *note = reason;
        return QString();
    };
    // The relative path comes from the resolved location, so it holds no
    // "..". In a computer backup's view a file of the backup that the view
    // does not link to has no place of its own.
    const QString relative = boundary.relativePath(path);
    if (relative.isEmpty() || relative.startsWith(QLatin1String("..")))
        return skip(QStringLiteral("not copied: outside the backup's view"), QStringLiteral("outside the backup's view"));
    const auto known = copies.constFind(relative);
    if (known != copies.constEnd())
        return *known;

    const QString link = QStringLiteral("attachments/") + relative;
    QString error;
    if (!output.copyFile(QFileInfo(path).canonicalFilePath(), link, &error))
        return skip(QStringLiteral("not copied: cannot be read or written"), error);
    copies.insert(relative, link);
    return link;
}
