#include "TextWriter.h"

#include "IosDate.h"
#include "OutputSink.h"

namespace {

const char* stateNote(BackupBoundary::FileState state)
{
    switch (state) {
    case BackupBoundary::FileState::Present:
        return "";
    case BackupBoundary::FileState::Missing:
        return " (not in the backup)";
    case BackupBoundary::FileState::Outside:
        return " (outside the backup, ignored)";
    }
    return "";
}

void writeNotes(OutputSink& out, const MessageView& message)
{
    const char* separator = " [";
    const auto note = [&out, &separator]() -> OutputSink& {
        out << separator;
        separator = ", ";
        return out;
    };
    const MessageDetailsView& details = message.details;
    if (message.isNonSms == 0)
        note() << "SMS";
    if (!details.service.isEmpty())
        note() << (details.service == QLatin1String("RCS") ? "RCS" : "satellite");
    if (details.junk)
        note() << "junk";
    if (message.isUnread())
        note() << "unread";
    if (message.error != 0)
        (note() << "not delivered, error ").number(message.error);
    if (details.scheduled) {
        note() << "Send Later, scheduled ";
        if (details.dateScheduled.isValid())
            IosDate::appendLocal(out, details.dateScheduled);
        out << (details.scheduledSent ? ", sent" : ", not sent yet");
    }
    if (details.edited)
        note() << "edited";
    if (details.unsent)
        note() << "unsent";
    if (!details.effect.isEmpty())
        note() << "sent with " << details.effect;
    if (details.audio)
        note() << (details.played ? "audio message, played" : "audio message");
    if (details.deleted) {
        note() << "deleted";
        if (details.dateDeleted.isValid())
            IosDate::appendLocal(out << ' ', details.dateDeleted);
    }
    if (separator[0] == ',')
        out << ']';
}

void writeMessage(OutputSink& out, const MessageView& message)
{
    const int width = message.date.isValid() ? IosDate::appendLocal(out, message.date) : 0;
    if (!message.date.isValid())
        out << "(no date)";
    // Continuation lines start under the sender.
    const QString indent(message.date.isValid() ? width + 2 : 11, QLatin1Char(' '));
    const MessageDetailsView& details = message.details;
    if (!details.groupEventText.isEmpty()) {
        out << "  \u2014 " << details.groupEventText << '\n';
        return;
    }
    out << "  " << message.senderName;
    writeNotes(out, message);
    out << ':';
    // The first line follows the sender, the rest line up under it.
    const char* lead = " ";
    const auto line = [&]() -> OutputSink& {
        if (lead[0] == ' ') {
            out << lead;
            lead = "";
        } else {
            out << indent;
        }
        return out;
    };
    if (!details.replyQuote.isEmpty())
        line() << "> " << details.replyQuote << '\n';
    if (!message.subject.isEmpty())
        line() << "Subject: " << message.subject << '\n';
    if (!message.text.isEmpty()) {
        for (const QStringRef& words : message.text.splitRef(QLatin1Char('\n')))
            line() << words << '\n';
    }
    if (!details.app.bundleId.isEmpty())
        line() << "App: " << details.app.line() << '\n';
    if (!details.transcription.isEmpty())
        line() << "Transcription: " << details.transcription.simplified() << '\n';
    if (!details.link.url.isEmpty()) {
        line() << "Link" << (details.link.kind.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(details.link.kind))
               << ": " << (details.link.title.isEmpty() ? details.link.url : details.link.title) << " ("
               << (details.link.host.isEmpty() ? details.link.url : details.link.host) << ")\n";
    }
    if (lead[0] == ' ')
        out << '\n';

    for (const PieceView& piece : message.pieces) {
        if (piece.kind != PieceView::Kind::Attachment)
            continue;
        const AttachmentView& attachment = piece.attachment;
        out << indent << "Attachment " << attachment.fileName << " ("
            << (attachment.mimeType.isEmpty() ? QStringLiteral("unknown type") : attachment.mimeType)
            << "): " << attachment.filePath << stateNote(attachment.fileState);
        if (!attachment.copyNote.isEmpty())
            out << " (" << attachment.copyNote << ')';
        out << '\n';
        if (attachment.hasOwnPreview())
            out << indent << "Preview: " << attachment.previewPath << stateNote(attachment.previewState) << '\n';
    }
    if (!details.reactions.isEmpty()) {
        out << indent << "Reactions: ";
        for (int i = 0; i < details.reactions.size(); ++i)
            out << (i ? ", " : "") << details.reactions[i].symbol() << ' ' << details.reactions[i].senderName;
        out << '\n';
    }
}

} // namespace

bool TextWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    return writeFile(target, QStringLiteral("conversations.txt"),
                     [&](OutputSink& out) { return writeAll(out, document, target, error); }, error);
}

QString TextWriter::render(const ExportDocument& document)
{
    OutputSink out;
    writeAll(out, document, ExportTarget(), nullptr);
    return QString::fromUtf8(out.data());
}

bool TextWriter::writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, QString* error)
{
    out.replaceControls();
    const int total = document.messageCount();
    out.number(document.conversationCount()) << " conversations, ";
    out.number(total) << " messages from " << document.backupFolder << '\n';
    if (!document.selection.isEmpty())
        out << "Chosen: " << document.selection << '\n';
    int done = 0;
    return document.forEach(
        [&](const ConversationView& conversation) {
            out << "\n== " << conversation.title << " ==\n";
            out << "Participants: " << conversation.participantLabels.join(QStringLiteral(", ")) << '\n';
            if (!conversation.filtered.isEmpty())
                out << "Filtered by iOS: " << conversation.filtered << '\n';
            out << "Messages: ";
            out.number(conversation.messages.size()) << ", unread: ";
            out.number(conversation.unreadCount) << "\n\n";
            for (const MessageView& message : conversation.messages) {
                writeMessage(out, message);
                if (target.progress)
                    target.progress(++done, total);
                if (!out.maybeFlush())
                    return false;
            }
            return true;
        },
        error);
}
