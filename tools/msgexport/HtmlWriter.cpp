#include "HtmlWriter.h"

#include "IosDate.h"

#include <QDir>
#include <QLocale>
#include <QUrl>

namespace {

const char* const styleSheet = R"css(
:root { color-scheme: light; --sent: #0a84ff; --sent-sms: #30b94d; --received: #e9e9eb; }
* { box-sizing: border-box; }
body { margin: 0; font: 15px/1.4 -apple-system, "Segoe UI", Roboto, "Noto Sans", "Helvetica Neue", Arial, sans-serif;
       color: #1c1c1e; background: #fff; }
header { position: sticky; top: 0; background: #f7f7f8ee; border-bottom: 1px solid #ddd; padding: 12px 20px; }
header h1 { margin: 0; font-size: 20px; }
header p { margin: 2px 0 0; color: #6e6e73; font-size: 13px; }
a { color: #0a66d0; }
main { max-width: 760px; margin: 0 auto; padding: 12px 16px 40px; }
table.conversations { width: 100%; border-collapse: collapse; }
table.conversations th, table.conversations td { text-align: left; padding: 8px 10px; border-bottom: 1px solid #eee;
                                                 vertical-align: top; }
table.conversations td.count { text-align: right; font-variant-numeric: tabular-nums; }
tr.has-unread td.unread { font-weight: 600; color: #d70015; }
.day { text-align: center; color: #6e6e73; font-size: 12px; margin: 18px 0 8px; }
.msg { display: flex; flex-direction: column; margin: 3px 0; }
.msg.sent { align-items: flex-end; }
.msg.received { align-items: flex-start; }
.sender { font-size: 12px; color: #6e6e73; margin: 6px 12px 1px; }
.bubble { max-width: 72%; padding: 7px 12px; border-radius: 18px; overflow-wrap: anywhere; }
.msg.received .bubble { background: var(--received); color: #000; border-bottom-left-radius: 4px; }
.msg.sent .bubble { background: var(--sent); color: #fff; border-bottom-right-radius: 4px; }
.msg.sent.sms .bubble { background: var(--sent-sms); }
.msg.sent .bubble a { color: #fff; }
.text { margin: 0; white-space: pre-wrap; }
.subject { margin: 0 0 2px; font-weight: 600; }
.attachment { display: block; margin: 4px 0; }
.attachment img { display: block; max-width: 240px; max-height: 320px; border-radius: 12px; }
.attachment.missing { font-style: italic; opacity: 0.8; }
.mime { font-size: 12px; opacity: 0.8; }
.meta { font-size: 11px; color: #8e8e93; margin: 1px 12px 0; }
.meta .unread { color: #d70015; font-weight: 600; }
.meta .failed { color: #d70015; }
.event { text-align: center; color: #6e6e73; font-size: 12px; margin: 10px 0; }
.reply { margin: 0 0 4px; padding-left: 8px; border-left: 3px solid #8e8e9366; font-size: 13px; opacity: 0.85; }
.unsent { margin: 0; font-style: italic; opacity: 0.8; }
.link { display: block; margin: 4px 0; padding: 6px 8px; border-radius: 10px; background: #00000014;
        text-decoration: none; color: inherit; }
.link .host { display: block; font-size: 12px; opacity: 0.8; }
.edits { font-size: 12px; margin: 4px 0 0; }
.edits ol { margin: 2px 0; padding-left: 18px; }
.reactions { font-size: 12px; margin: 1px 12px 0; }
.reaction { display: inline-block; background: #f2f2f7; border-radius: 10px; padding: 1px 6px; margin-right: 3px; }
footer { color: #8e8e93; font-size: 12px; text-align: center; padding: 16px; }
)css";

// Pages load nothing but their own images and the attachments they link.
const char* const contentPolicy = "default-src 'none'; img-src 'self' file: data:; style-src 'unsafe-inline'";

QString pageHead(const QString& title)
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
                          "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                          "<meta http-equiv=\"Content-Security-Policy\" content=\"%1\">\n"
                          "<title>%2</title>\n<style>%3</style>\n</head>\n")
        .arg(QLatin1String(contentPolicy), HtmlWriter::escape(title), QLatin1String(styleSheet));
}

QString pageFoot(const ExportDocument& document)
{
    return QStringLiteral("<footer>%1</footer>\n</body>\n</html>\n").arg(HtmlWriter::escape(document.generator));
}

QString timeElement(const QDateTime& date, const QString& shown)
{
    return QStringLiteral("<time datetime=\"%1\">%2</time>").arg(IosDate::isoUtc(date), HtmlWriter::escape(shown));
}

// Where the page may point for a file: its copy, else the file in the backup,
// else nowhere (missing, or outside the backup).
QString linkFor(const QString& copy, const QString& path, BackupBoundary::FileState state)
{
    if (!copy.isEmpty())
        return copy;
    return state == BackupBoundary::FileState::Present ? path : QString();
}

QString attachmentHtml(const AttachmentView& attachment)
{
    const QString fileLink = linkFor(attachment.copiedFile, attachment.filePath, attachment.fileState);
    QString imageLink;
    if (attachment.hasOwnPreview())
        imageLink = linkFor(attachment.copiedPreview, attachment.previewPath, attachment.previewState);
    if (imageLink.isEmpty() && attachment.isImage())
        imageLink = fileLink;
    const QString name = HtmlWriter::escape(attachment.fileName);
    const QString mime = HtmlWriter::escape(attachment.mimeType);

    if (!imageLink.isEmpty()) {
        const QString image = QStringLiteral("<img src=\"%1\" alt=\"%2\" title=\"%2\">")
                                  .arg(HtmlWriter::escape(HtmlWriter::urlFor(imageLink)), name);
        if (fileLink.isEmpty())
            return QStringLiteral("<span class=\"attachment image\">%1</span>\n").arg(image);
        return QStringLiteral("<a class=\"attachment image\" href=\"%1\">%2</a>\n")
            .arg(HtmlWriter::escape(HtmlWriter::urlFor(fileLink)), image);
    }
    if (!fileLink.isEmpty()) {
        return QStringLiteral("<a class=\"attachment file\" href=\"%1\">\U0001F4CE %2</a> <span class=\"mime\">%3</span>\n")
            .arg(HtmlWriter::escape(HtmlWriter::urlFor(fileLink)), name, mime);
    }
    const QString why = attachment.fileState == BackupBoundary::FileState::Outside
                            ? QStringLiteral("outside the backup, not linked")
                            : QStringLiteral("not in the backup");
    return QStringLiteral("<span class=\"attachment missing\">\U0001F4CE %1 (%2) \u2014 %3</span>\n")
        .arg(name, mime, why);
}

// Each label isolated, so that a right-to-left name does not pull its
// neighbours' punctuation around.
QString participantsHtml(const ConversationView& conversation)
{
    QStringList labels;
    for (const QString& label : conversation.participantLabels)
        labels << QStringLiteral("<bdi>%1</bdi>").arg(HtmlWriter::escape(label));
    return labels.join(QStringLiteral(", "));
}

QString textHtml(const QString& text)
{
    return QStringLiteral("<p class=\"text\" dir=\"auto\"><bdi>%1</bdi></p>\n").arg(HtmlWriter::escape(text));
}

QString bdi(const QString& text)
{
    return QStringLiteral("<bdi>%1</bdi>").arg(HtmlWriter::escape(text));
}

// Only web links become links; anything else is shown as text.
QString linkHtml(const LinkView& link)
{
    const QString title = bdi(link.title.isEmpty() ? link.url : link.title);
    const QString host = QStringLiteral("<span class=\"host\">%1</span>")
                             .arg(HtmlWriter::escape(link.host.isEmpty() ? link.url : link.host));
    const QUrl url(link.url);
    if (url.scheme() != QLatin1String("https") && url.scheme() != QLatin1String("http"))
        return QStringLiteral("<div class=\"link\">%1 %2</div>\n").arg(title, host);
    return QStringLiteral("<a class=\"link\" href=\"%1\" rel=\"noreferrer\">%2 %3</a>\n")
        .arg(HtmlWriter::escape(QString::fromLatin1(url.toEncoded())), title, host);
}

QString editsHtml(const MessageDetailsView& details)
{
    QString html = QStringLiteral("<details class=\"edits\"><summary>Edited</summary>\n<ol>\n");
    for (const EditView& edit : details.editHistory) {
        html += QStringLiteral("<li>%1 %2</li>\n")
                    .arg(edit.date.isValid() ? timeElement(edit.date, IosDate::localText(edit.date)) : QString(),
                         bdi(edit.text));
    }
    return html + QStringLiteral("</ol>\n</details>\n");
}

QString reactionsHtml(const QList<ReactionView>& reactions)
{
    QString html = QStringLiteral("<div class=\"reactions\">");
    for (const ReactionView& reaction : reactions) {
        html += QStringLiteral("<span class=\"reaction %1\" title=\"%2\">%3 %4</span>")
                    .arg(HtmlWriter::escape(reaction.kind), HtmlWriter::escape(reaction.kind),
                         HtmlWriter::escape(reaction.symbol()), bdi(reaction.senderName));
    }
    return html + QStringLiteral("</div>\n");
}

QString messageHtml(const MessageView& message, bool showSender)
{
    const MessageDetailsView& details = message.details;
    if (!details.groupEvent.isEmpty())
        return QStringLiteral("<div class=\"event %1\" id=\"m%2\">%3</div>\n")
            .arg(HtmlWriter::escape(details.groupEvent), QString::number(message.id),
                 details.eventLine([](const QString& name) { return bdi(name); }));
    const bool sent = message.isFromMe != 0;
    QString html = QStringLiteral("<div class=\"msg %1 %2\" id=\"m%3\">\n")
                       .arg(sent ? QStringLiteral("sent") : QStringLiteral("received"),
                            message.isNonSms != 0 ? QStringLiteral("nonsms") : QStringLiteral("sms"))
                       .arg(message.id);
    if (showSender && !sent)
        html += QStringLiteral("<div class=\"sender\">%1</div>\n").arg(bdi(message.senderName));
    html += QStringLiteral("<div class=\"bubble\">\n");
    if (!details.replyQuote.isEmpty())
        html += QStringLiteral("<blockquote class=\"reply\" dir=\"auto\">%1</blockquote>\n").arg(bdi(details.replyQuote));
    if (!message.subject.isEmpty())
        html += QStringLiteral("<p class=\"subject\" dir=\"auto\">%1</p>\n").arg(HtmlWriter::escape(message.subject));
    // Words kept only in the archived body have no place among the pieces.
    if (message.textFromArchivedBody)
        html += textHtml(message.text);
    for (const PieceView& piece : message.pieces) {
        if (piece.kind == PieceView::Kind::Attachment)
            html += attachmentHtml(piece.attachment);
        else if (!piece.text.isEmpty())
            html += textHtml(piece.text);
    }
    if (details.unsent && message.text.isEmpty())
        html += QStringLiteral("<p class=\"unsent\">Unsent</p>\n");
    if (!details.link.url.isEmpty())
        html += linkHtml(details.link);
    if (!details.editHistory.isEmpty())
        html += editsHtml(details);
    html += QStringLiteral("</div>\n");
    if (!details.reactions.isEmpty())
        html += reactionsHtml(details.reactions);
    html += QStringLiteral("<div class=\"meta\">");
    QStringList meta;
    if (message.date.isValid())
        meta << timeElement(message.date, message.date.toLocalTime().toString(QStringLiteral("HH:mm")));
    if (message.isNonSms == 0)
        meta << QStringLiteral("SMS");
    if (message.isUnread())
        meta << QStringLiteral("<span class=\"unread\">Unread</span>");
    if (sent && message.dateRead.isValid())
        meta << QStringLiteral("Read ") + timeElement(message.dateRead, IosDate::localText(message.dateRead));
    if (message.error != 0)
        meta << QStringLiteral("<span class=\"failed\">Not delivered (error %1)</span>").arg(message.error);
    if (details.edited)
        meta << QStringLiteral("<span class=\"edited\">Edited</span>");
    if (details.unsent)
        meta << QStringLiteral("<span class=\"unsent-mark\">Unsent</span>");
    if (!details.effect.isEmpty())
        meta << QStringLiteral("Sent with ") + HtmlWriter::escape(details.effect);
    if (details.audio)
        meta << (details.played ? QStringLiteral("Audio message, played") : QStringLiteral("Audio message"));
    html += meta.join(QStringLiteral(" \u00B7 "));
    html += QStringLiteral("</div>\n</div>\n");
    return html;
}

} // namespace

bool HtmlWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    if (target.folder.isEmpty()) {
        if (error)
            *error = QStringLiteral("the html format writes a folder of pages: give --output");
        return false;
    }
    const int total = document.conversations.size() + 1;
    int done = 0;
    for (const ConversationView& conversation : document.conversations) {
        if (!writeDocument(conversationPage(document, conversation).toUtf8(), target, pageName(conversation), error))
            return false;
        if (target.progress)
            target.progress(++done, total);
    }
    if (!writeDocument(indexPage(document).toUtf8(), target, QStringLiteral("index.html"), error))
        return false;
    if (target.progress)
        target.progress(++done, total);
    return true;
}

QString HtmlWriter::indexPage(const ExportDocument& document)
{
    QString html = pageHead(QStringLiteral("Conversations"));
    html += QStringLiteral("<body class=\"index\">\n<header>\n<h1>Conversations</h1>\n<p>%1 conversations, %2 messages "
                           "from <span class=\"backup\">%3</span></p>\n</header>\n<main>\n")
                .arg(document.conversations.size())
                .arg(document.messageCount())
                .arg(escape(document.backupFolder));
    html += QStringLiteral("<table class=\"conversations\">\n<thead><tr><th>Conversation</th><th>Participants</th>"
                           "<th>Messages</th><th>Unread</th><th>Last message</th></tr></thead>\n<tbody>\n");
    for (const ConversationView& conversation : document.conversations) {
        html += QStringLiteral("<tr%1>").arg(conversation.unreadCount > 0 ? QStringLiteral(" class=\"has-unread\"")
                                                                           : QString());
        html += QStringLiteral("<td class=\"title\" dir=\"auto\"><a href=\"%1\">%2</a></td>")
                    .arg(escape(urlFor(pageName(conversation))), escape(conversation.title));
        html += QStringLiteral("<td class=\"participants\">%1</td>").arg(participantsHtml(conversation));
        html += QStringLiteral("<td class=\"count messages\">%1</td><td class=\"count unread\">%2</td>")
                    .arg(conversation.messages.size())
                    .arg(conversation.unreadCount);
        html += QStringLiteral("<td class=\"newest\">%1</td></tr>\n")
                    .arg(conversation.newestDate.isValid()
                             ? timeElement(conversation.newestDate, IosDate::localText(conversation.newestDate))
                             : QString());
    }
    html += QStringLiteral("</tbody>\n</table>\n</main>\n");
    return html + pageFoot(document);
}

QString HtmlWriter::conversationPage(const ExportDocument& document, const ConversationView& conversation)
{
    QString html = pageHead(conversation.title);
    // One arg() pass: a later one would replace a "%1" written in the title.
    html += QStringLiteral("<body class=\"conversation\">\n<header>\n<p><a href=\"index.html\">\u2190 All "
                           "conversations</a></p>\n<h1 dir=\"auto\">%1</h1>\n<p class=\"participants\">%2</p>\n"
                           "<p>%3 messages, %4 unread</p>\n</header>\n<main class=\"thread\">\n")
                .arg(escape(conversation.title), participantsHtml(conversation),
                     QString::number(conversation.messages.size()), QString::number(conversation.unreadCount));
    const bool showSenders = conversation.participantLabels.size() > 1;
    QDate day;
    for (const MessageView& message : conversation.messages) {
        const QDate messageDay = message.date.isValid() ? message.date.toLocalTime().date() : QDate();
        if (messageDay.isValid() && messageDay != day) {
            day = messageDay;
            html += QStringLiteral("<div class=\"day\">%1</div>\n")
                        .arg(escape(QLocale::c().toString(day, QStringLiteral("dddd, d MMMM yyyy"))));
        }
        html += messageHtml(message, showSenders);
    }
    html += QStringLiteral("</main>\n");
    return html + pageFoot(document);
}

QString HtmlWriter::pageName(const ConversationView& conversation)
{
    return QStringLiteral("conversation-%1.html").arg(conversation.index + 1, 4, 10, QLatin1Char('0'));
}

QString HtmlWriter::escape(const QString& text)
{
    QString escaped;
    escaped.reserve(text.size() + text.size() / 8);
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '&': escaped += QLatin1String("&amp;"); break;
        case '<': escaped += QLatin1String("&lt;"); break;
        case '>': escaped += QLatin1String("&gt;"); break;
        case '"': escaped += QLatin1String("&quot;"); break;
        case '\'': escaped += QLatin1String("&#39;"); break;
        default: escaped += c;
        }
    }
    return escaped;
}

QString HtmlWriter::urlFor(const QString& path)
{
    if (QDir::isAbsolutePath(path))
        return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
    QStringList parts;
    for (const QString& part : path.split(QLatin1Char('/')))
        parts << QString::fromLatin1(QUrl::toPercentEncoding(part));
    return parts.join(QLatin1Char('/'));
}
