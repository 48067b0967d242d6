#include "TextWriter.h"

#include "IosDate.h"

namespace {

QString stateNote(BackupBoundary::FileState state)
{
    switch (state) {
    case BackupBoundary::FileState::Present:
        return QString();
    case BackupBoundary::FileState::Missing:
        return QStringLiteral(" (not in the backup)");
    case BackupBoundary::FileState::Outside:
        return QStringLiteral(" (outside the backup, ignored)");
    }
    return QString();
}

QString messageNotes(const MessageView& message)
{
    QStringList notes;
    if (message.isNonSms == 0)
        notes << QStringLiteral("SMS");
    if (message.isUnread())
        notes << QStringLiteral("unread");
    if (message.error != 0)
        notes << QStringLiteral("not delivered, error %1").arg(message.error);
    const MessageDetailsView& details = message.details;
    if (details.edited)
        notes << QStringLiteral("edited");
    if (details.unsent)
        notes << QStringLiteral("unsent");
    if (!details.effect.isEmpty())
        notes << QStringLiteral("sent with %1").arg(details.effect);
    if (details.audio)
        notes << (details.played ? QStringLiteral("audio message, played") : QStringLiteral("audio message"));
    return notes.isEmpty() ? QString() : QStringLiteral(" [%1]").arg(notes.join(QStringLiteral(", ")));
}

void renderMessage(QString& out, const MessageView& message)
{
    const QString stamp = message.date.isValid() ? IosDate::localText(message.date) : QStringLiteral("(no date)");
    const QString indent(stamp.size() + 2, QLatin1Char(' '));
    const MessageDetailsView& details = message.details;
    if (!details.groupEventText.isEmpty()) {
        out += stamp + QStringLiteral("  \u2014 ") + details.groupEventText + QLatin1Char('\n');
        return;
    }
    out += stamp + QStringLiteral("  ") + message.senderName + messageNotes(message) + QLatin1Char(':');
    QStringList lines;
    if (!details.replyQuote.isEmpty())
        lines << QStringLiteral("> ") + details.replyQuote;
    if (!message.subject.isEmpty())
        lines << QStringLiteral("Subject: ") + message.subject;
    if (!message.text.isEmpty())
        lines << message.text.split(QLatin1Char('\n'));
    if (!details.link.url.isEmpty()) {
        const QString title = details.link.title.isEmpty() ? details.link.url : details.link.title;
        lines << QStringLiteral("Link: %1 (%2)").arg(title, details.link.host.isEmpty() ? details.link.url
                                                                                       : details.link.host);
    }
    // The first line follows the sender, the rest line up under it.
    out += lines.isEmpty() ? QString() : QLatin1Char(' ') + lines.takeFirst();
    out += QLatin1Char('\n');
    for (const QString& line : lines)
        out += indent + line + QLatin1Char('\n');

    for (const PieceView& piece : message.pieces) {
        if (piece.kind != PieceView::Kind::Attachment)
            continue;
        const AttachmentView& attachment = piece.attachment;
        out += indent + QStringLiteral("Attachment %1 (%2): %3%4\n")
                            .arg(attachment.fileName, attachment.mimeType.isEmpty() ? QStringLiteral("unknown type")
                                                                                   : attachment.mimeType,
                                 attachment.filePath, stateNote(attachment.fileState));
        if (attachment.hasOwnPreview())
            out += indent + QStringLiteral("Preview: %1%2\n").arg(attachment.previewPath,
                                                                  stateNote(attachment.previewState));
    }
    if (!details.reactions.isEmpty()) {
        QStringList reactions;
        for (const ReactionView& reaction : details.reactions)
            reactions << reaction.symbol() + QLatin1Char(' ') + reaction.senderName;
        out += indent + QStringLiteral("Reactions: ") + reactions.join(QStringLiteral(", ")) + QLatin1Char('\n');
    }
}

} // namespace

bool TextWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    return writeDocument(render(document).toUtf8(), target, QStringLiteral("conversations.txt"), error);
}

QString TextWriter::render(const ExportDocument& document)
{
    QString out;
    out += QStringLiteral("%1 conversations, %2 messages from %3\n")
               .arg(document.conversations.size())
               .arg(document.messageCount())
               .arg(document.backupFolder);
    for (const ConversationView& conversation : document.conversations) {
        out += QStringLiteral("\n== %1 ==\n").arg(conversation.title);
        out += QStringLiteral("Participants: %1\n").arg(conversation.participantLabels.join(QStringLiteral(", ")));
        out += QStringLiteral("Messages: %1, unread: %2\n\n")
                   .arg(conversation.messages.size())
                   .arg(conversation.unreadCount);
        for (const MessageView& message : conversation.messages)
            renderMessage(out, message);
    }
    return out;
}
