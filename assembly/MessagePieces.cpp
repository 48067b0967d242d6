// MsgDbLoader::buildPieces and the attachment resolution behind it: a message
// cut into text pieces and attachment pieces whose files lie in the backup.
#include "service/MsgDbLoader.h"

#include "MsgContent.h"
#include "MsgPiece.h"
#include "assembly/PreviewFinder.h"
#include "imports/Log.h"
#include "readers/AttachmentInfo.h"

#include <QDir>
#include <QFileInfo>

#include <memory>

namespace {

// U+FFFC OBJECT REPLACEMENT CHARACTER marks where an attachment stands.
const QString& placeholder()
{
    static const QString marker = QString::fromUtf8("\xEF\xBF\xBC");
    return marker;
}

void appendPiece(MsgContent* message, std::unique_ptr<MsgPiece> piece)
{
    message->pieces.append(piece.get());
    piece.release(); // the message owns it now
}

} // namespace

void MsgDbLoader::buildPieces(MsgContent* message, const QString& text, const QList<AttachmentInfo*>& attachments)
{
    if (!text.contains(placeholder())) {
        if (attachments.isEmpty()) {
            addTextPiece(message, text);
        } else {
            // Attachments without placeholders: the text is not shown.
            for (const AttachmentInfo* attachment : attachments)
                addAttachmentPiece(message, attachment);
        }
        return;
    }

    // Text and attachments alternate in the order of the text. A placeholder
    // without a record, or a record without a placeholder, yields nothing.
    const QStringList parts = text.split(placeholder(), Qt::KeepEmptyParts);
    for (int i = 0; i < parts.size(); ++i) {
        const QString part = parts.at(i).trimmed();
        if (!part.isEmpty()) {
            auto piece = std::make_unique<MsgPiece>();
            piece->mimeType = QStringLiteral("text/plain");
            piece->data = part.toUtf8();
            appendPiece(message, std::move(piece));
        }
        if (i < parts.size() - 1 && i < attachments.size())
            addAttachmentPiece(message, attachments.at(i));
    }
}

void MsgDbLoader::addTextPiece(MsgContent* message, const QString& text)
{
    auto piece = std::make_unique<MsgPiece>();
    piece->mimeType = QStringLiteral("text/plain");
    piece->data = text.toUtf8();
    appendPiece(message, std::move(piece));
}

void MsgDbLoader::addAttachmentPiece(MsgContent* message, const AttachmentInfo* attachment)
{
    // The device's path, made relative to the backup, whose layout mirrors
    // the device's Library folder. Newer devices store "~/Library/...",
    // older ones "/var/mobile/Library/...".
    QString path = attachment->filename;
    static const QString homePrefix = QStringLiteral("~/Library/");
    static const QString mobilePrefix = QStringLiteral("/var/mobile/Library/");
    if (path.startsWith(homePrefix))
        path = path.mid(homePrefix.size());
    if (path.startsWith(mobilePrefix))
        path = path.mid(mobilePrefix.size());

    QDir dir(backupFolder);
    if (path.isEmpty() || !dir.exists(path))
        Log("MsgDbLoader", 0, "attachment %s not exists.", path.toUtf8().constData());

    const int slash = path.lastIndexOf(QLatin1Char('/'));
    const QString fileName = path.mid(slash + 1);
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString baseName = dot >= 0 ? fileName.left(dot) : fileName;

    // A folder missing from the backup leaves the paths under the backup
    // folder itself.
    const QString folderPart = path.left(path.size() - fileName.size());
    if (!folderPart.isEmpty())
        dir.cd(folderPart);

    // Older backups keep a preview beside the file: "-preview-right" for
    // sent messages, "-preview-left" for received ones.
    const QString pattern = message->isFromMe != 0 ? QStringLiteral("%1*preview*r*").arg(baseName, 0)
                                                   : QStringLiteral("%1*preview*l*").arg(baseName, 0);
    QString candidate = PreviewFinder::firstMatch(dir.absolutePath(), pattern);
    if (candidate.isEmpty())
        candidate = fileName;

    auto piece = std::make_unique<MsgPiece>();
    piece->mimeType = attachment->mimeType;
    if (!candidate.isEmpty())
        piece->previewPath = dir.absoluteFilePath(candidate);
    piece->filePath = dir.absoluteFilePath(fileName);
    appendPiece(message, std::move(piece));
}
