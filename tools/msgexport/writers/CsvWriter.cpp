#include "CsvWriter.h"

#include "IosDate.h"
#include "OutputSink.h"

namespace {

// Whether text is a plain number such as a phone number, which a
// spreadsheet program takes as a value, not a formula.
bool isNumberLike(const QString& text)
{
    for (const QChar c : text) {
        if (!c.isDigit() && c != QLatin1Char('+') && c != QLatin1Char('-') && c != QLatin1Char(' ')
            && c != QLatin1Char('(') && c != QLatin1Char(')') && c != QLatin1Char('.'))
            return false;
    }
    return true;
}

// One field, quoted when it holds a comma, quote or line end (or begins or
// ends with a space, which some readers trim).
void field(OutputSink& out, const QString& value, bool formulaSafe = false)
{
    QString text = value;
    // A spreadsheet program runs a cell beginning with these as a formula.
    if (formulaSafe && !text.isEmpty()
        && (text[0] == QLatin1Char('=') || text[0] == QLatin1Char('+') || text[0] == QLatin1Char('-')
            || text[0] == QLatin1Char('@') || text[0] == QLatin1Char('\t') || text[0] == QLatin1Char('\r'))
        && !isNumberLike(text))
        text.prepend(QLatin1Char('\''));
    bool quote = !text.isEmpty() && (text[0] == QLatin1Char(' ') || text.endsWith(QLatin1Char(' ')));
    for (const QChar c : qAsConst(text)) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            quote = true;
            break;
        }
    }
    if (!quote) {
        out << text;
        return;
    }
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    out << '"' << text << '"';
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString addressOf(const ConversationView& conversation, const MessageView& message)
{
    if (message.isFromMe != 0)
        return QString();
    for (const ParticipantView& participant : conversation.participants) {
        if (participant.id == message.handleId)
            return participant.address;
    }
    // One-to-one chats sometimes record handle 0 for received messages.
    return conversation.participants.size() == 1 ? conversation.participants.first().address : QString();
}

// "2024-05-10 20:02:11 +02:00" in the export's zone.
QString localDate(const QDateTime& date)
{
    if (!date.isValid())
        return QString();
    const QDateTime shown = IosDate::shown(date);
    const int offset = shown.offsetFromUtc();
    const int minutes = (offset < 0 ? -offset : offset) / 60;
    return shown.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss "))
        + QStringLiteral("%1%2:%3")
              .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
              .arg(minutes / 60, 2, 10, QLatin1Char('0'))
              .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

void writeRow(OutputSink& out, const ConversationView& conversation, const MessageView& message, bool excel)
{
    const MessageDetailsView& details = message.details;
    QStringList attachments;
    for (const PieceView& piece : message.pieces) {
        if (piece.kind == PieceView::Kind::Attachment)
            attachments << (piece.attachment.fileName.isEmpty() ? piece.attachment.filePath : piece.attachment.fileName);
    }
    QStringList reactions;
    for (const ReactionView& reaction : details.reactions)
        reactions << QStringLiteral("%1 %2").arg(reaction.symbol(), reaction.senderName);
    const QString text = details.groupEventText.isEmpty() ? message.text : details.groupEventText;

    field(out, QString::number(conversation.index));
    out << ',';
    field(out, conversation.title, excel);
    out << ',';
    field(out, QString::number(message.id));
    out << ',';
    out << IosDate::isoUtc(message.date) << ',' << localDate(message.date) << ',';
    field(out, message.senderName, excel);
    out << ',';
    field(out, addressOf(conversation, message), excel);
    out << ',' << (message.isFromMe != 0 ? "sent" : "received") << ',' << (message.isNonSms != 0 ? "iMessage" : "SMS")
        << ',';
    field(out, message.subject, excel);
    out << ',';
    field(out, text, excel);
    out << ',';
    field(out, attachments.join(QStringLiteral("; ")), excel);
    out << ',';
    field(out, reactions.join(QStringLiteral("; ")), excel);
    out << ',';
    field(out, details.replyQuote, excel);
    out << ',' << yesNo(details.edited) << ',' << yesNo(details.unsent) << ',' << yesNo(message.isRead != 0 || message.isFromMe != 0)
        << ',';
    if (message.error != 0)
        out.number(message.error);
    out << "\r\n";
}

} // namespace

QStringList CsvWriter::columns()
{
    return {QStringLiteral("conversation_number"), QStringLiteral("conversation"), QStringLiteral("message_id"),
            QStringLiteral("date_utc"),            QStringLiteral("date_local"),   QStringLiteral("sender"),
            QStringLiteral("sender_address"),      QStringLiteral("direction"),    QStringLiteral("service"),
            QStringLiteral("subject"),             QStringLiteral("text"),         QStringLiteral("attachments"),
            QStringLiteral("reactions"),           QStringLiteral("reply_to"),     QStringLiteral("edited"),
            QStringLiteral("unsent"),              QStringLiteral("read"),         QStringLiteral("error")};
}

bool CsvWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    return writeFile(target, QStringLiteral("messages.csv"),
                     [&](OutputSink& out) { return writeAll(out, document, target, excel, error); }, error);
}

QByteArray CsvWriter::render(const ExportDocument& document, bool excel)
{
    OutputSink out;
    writeAll(out, document, ExportTarget(), excel, nullptr);
    return out.data();
}

bool CsvWriter::writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, bool excel,
                         QString* error)
{
    if (excel)
        out << "\xEF\xBB\xBF";
    out << columns().join(QLatin1Char(',')) << "\r\n";
    const int total = document.messageCount();
    int done = 0;
    return document.forEach(
        [&](const ConversationView& conversation) {
            for (const MessageView& message : conversation.messages) {
                writeRow(out, conversation, message, excel);
                if (target.progress)
                    target.progress(++done, total);
                if (!out.maybeFlush())
                    return false;
            }
            return true;
        },
        error);
}
