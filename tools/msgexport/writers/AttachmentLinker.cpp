#include "AttachmentLinker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

AttachmentLinker::AttachmentLinker(const BackupBoundary& boundary, const QString& outputFolder)
    : boundary(boundary)
    , outputFolder(outputFolder)
{
}

bool AttachmentLinker::copy(ConversationView& conversation, QString* error)
{
    for (MessageView& message : conversation.messages) {
        for (PieceView& piece : message.pieces) {
            if (piece.kind != PieceView::Kind::Attachment)
                continue;
            AttachmentView& attachment = piece.attachment;
            if (attachment.fileState == BackupBoundary::FileState::Present) {
                attachment.copiedFile = copyOne(attachment.filePath, error);
                if (attachment.copiedFile.isEmpty())
                    return false;
            }
            if (attachment.previewState == BackupBoundary::FileState::Present) {
                attachment.copiedPreview = copyOne(attachment.previewPath, error);
                if (attachment.copiedPreview.isEmpty())
                    return false;
            }
        }
    }
    return true;
}

QString AttachmentLinker::copyOne(const QString& path, QString* error)
{
    // The relative path comes from the resolved location, so it holds no
    // ".." and the copy cannot land outside the output folder.
    const QString relative = boundary.relativePath(path);
    if (relative.isEmpty() || relative.startsWith(QLatin1String(".."))) {
        if (error)
            *error = QStringLiteral("%1 is not inside the backup").arg(path);
        return QString();
    }
    const auto known = copies.constFind(relative);
    if (known != copies.constEnd())
        return *known;

    const QString link = QStringLiteral("attachments/") + relative;
    const QString target = QDir(outputFolder).filePath(link);
    const QString folder = QFileInfo(target).absolutePath();
    // A link inside the output folder could lead back into the backup.
    if (boundary.contains(folder) || !QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create the folder %1").arg(folder);
        return QString();
    }
    QFile::remove(target); // an earlier export into the same folder
    if (!QFile::copy(QFileInfo(path).canonicalFilePath(), target)) {
        if (error)
            *error = QStringLiteral("cannot copy %1 to %2").arg(path, target);
        return QString();
    }
    // Backups are often read-only; the copies belong to the user.
    QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner | QFile::ReadOwner);
    copies.insert(relative, link);
    return link;
}
