#include "HtmlWriter.h"

#include "IosDate.h"
#include "OutputSink.h"

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
.attachment audio { display: block; max-width: 100%; }
.attachment video { display: block; max-width: 320px; max-height: 320px; border-radius: 12px; }
.original { font-size: 12px; opacity: 0.8; }
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
.msg.sent.rcs .bubble, .msg.sent.satellite .bubble { background: var(--sent-sms); }
.app { margin: 4px 0; padding: 6px 8px; border-radius: 10px; background: #00000014; }
.transcription { margin: 4px 0 0; font-size: 13px; font-style: italic; opacity: 0.85; }
.filtered { color: #d70015; }
.msg.deleted .bubble { opacity: 0.6; outline: 1px dashed #8e8e93; }
.meta .deleted-mark { color: #d70015; }
.text .mention { font-weight: 600; }
.text .effect { display: inline-block; }
.text .effect-big { font-size: 1.6em; }
.text .effect-small { font-size: 0.7em; }
.text .effect-shake { animation: effect-shake 0.4s 3; }
.text .effect-nod { animation: effect-nod 0.5s 3; }
.text .effect-jitter { animation: effect-shake 0.15s 8; }
.text .effect-explode, .text .effect-bloom { animation: effect-grow 0.8s 1; }
.text .effect-ripple { animation: effect-nod 0.8s 2; }
@keyframes effect-shake { 25% { transform: translateX(-2px); } 75% { transform: translateX(2px); } }
@keyframes effect-nod { 50% { transform: translateY(-3px); } }
@keyframes effect-grow { 0% { transform: scale(0.4); } 60% { transform: scale(1.3); } }
footer { color: #8e8e93; font-size: 12px; text-align: center; padding: 16px; }
)css";

// Pages load nothing but their own images and the attachments they link.
const char* const contentPolicy =
    "default-src 'none'; img-src 'self' file: data:; media-src 'self' file:; style-src 'unsafe-inline'";

void pageHead(OutputSink& out, const QString& title)
{
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\""
        << contentPolicy << "\">\n<title>";
    out.html(title) << "</title>\n<style>" << styleSheet << "</style>\n</head>\n";
}

void pageFoot(OutputSink& out, const ExportDocument& document)
{
    out << "<footer>";
    out.html(document.generator) << "</footer>\n</body>\n</html>\n";
}

void timeElement(OutputSink& out, const QDateTime& date, bool timeOnly = false)
{
    out << "<time datetime=\"";
    IosDate::appendIsoUtc(out, date);
    out << "\">";
    IosDate::appendLocal(out, date, timeOnly);
    out << "</time>";
}

void bdi(OutputSink& out, const QString& text)
{
    out << "<bdi>";
    out.html(text) << "</bdi>";
}

// Where the page may point for a file: its copy, else the file in the backup,
// else nowhere (missing, or outside the backup).
QString linkFor(const QString& copy, const QString& path, BackupBoundary::FileState state)
{
    if (!copy.isEmpty())
        return copy;
    return state == BackupBoundary::FileState::Present ? path : QString();
}

void writeCopyNote(OutputSink& out, const AttachmentView& attachment)
{
    if (!attachment.copyNote.isEmpty()) {
        out << "<span class=\"note\">";
        out.html(attachment.copyNote) << "</span>\n";
    }
}

void writeOriginalLink(OutputSink& out, const QString& fileLink)
{
    out << "<a class=\"original\" href=\"";
    out.html(HtmlWriter::urlFor(fileLink)) << "\">original</a>\n";
}

// A converted picture is a thumbnail linking to its full-size copy; audio and
// video play from their converted files. Each links to the original too.
// False when the bubble shows the attachment as it is.
bool writeConverted(OutputSink& out, const AttachmentView& attachment, const QString& fileLink)
{
    const ConvertedMediaView& media = attachment.converted;
    if (media.isEmpty() || fileLink.isEmpty())
        return false;
    if (!media.note.isEmpty()) {
        out << "<span class=\"attachment missing\">\U0001F4CE ";
        out.html(attachment.fileName) << " \u2014 ";
        out.html(media.note) << "</span>\n";
        writeOriginalLink(out, fileLink);
        return true;
    }
    const QString playable = media.path.isEmpty() ? fileLink : media.path;
    switch (media.kind) {
    case ConvertedMediaView::Kind::Image:
        if (media.thumbnail.isEmpty())
            return false;
        out << "<a class=\"attachment image\" href=\"";
        out.html(HtmlWriter::urlFor(playable)) << "\"><img src=\"";
        out.html(HtmlWriter::urlFor(media.thumbnail)) << "\" alt=\"";
        out.html(attachment.fileName) << "\" title=\"";
        out.html(attachment.fileName) << "\"></a>\n";
        break;
    case ConvertedMediaView::Kind::Audio:
        out << "<span class=\"attachment audio\"><audio controls preload=\"metadata\" src=\"";
        out.html(HtmlWriter::urlFor(playable)) << "\" title=\"";
        out.html(attachment.fileName) << "\"></audio></span>\n";
        break;
    case ConvertedMediaView::Kind::Video:
        if (media.path.isEmpty()) {
            // A codec browsers may not play: the poster, linking to the file.
            if (media.thumbnail.isEmpty())
                return false;
            out << "<a class=\"attachment image\" href=\"";
            out.html(HtmlWriter::urlFor(fileLink)) << "\"><img src=\"";
            out.html(HtmlWriter::urlFor(media.thumbnail)) << "\" alt=\"";
            out.html(attachment.fileName) << "\" title=\"";
            out.html(attachment.fileName) << "\"></a>\n";
            return true;
        }
        out << "<span class=\"attachment video\"><video controls preload=\"none\"";
        if (!media.thumbnail.isEmpty()) {
            out << " poster=\"";
            out.html(HtmlWriter::urlFor(media.thumbnail)) << "\"";
        }
        out << " src=\"";
        out.html(HtmlWriter::urlFor(media.path)) << "\" title=\"";
        out.html(attachment.fileName) << "\"></video></span>\n";
        break;
    case ConvertedMediaView::Kind::None:
        return false;
    }
    if (!media.path.isEmpty())
        writeOriginalLink(out, fileLink);
    return true;
}

void writeAttachment(OutputSink& out, const AttachmentView& attachment)
{
    writeCopyNote(out, attachment);
    const QString fileLink = linkFor(attachment.copiedFile, attachment.filePath, attachment.fileState);
    if (writeConverted(out, attachment, fileLink))
        return;
    QString imageLink;
    if (attachment.hasOwnPreview())
        imageLink = linkFor(attachment.copiedPreview, attachment.previewPath, attachment.previewState);
    if (imageLink.isEmpty() && attachment.isImage())
        imageLink = fileLink;

    if (!imageLink.isEmpty()) {
        if (fileLink.isEmpty()) {
            out << "<span class=\"attachment image\">";
        } else {
            out << "<a class=\"attachment image\" href=\"";
            out.html(HtmlWriter::urlFor(fileLink)) << "\">";
        }
        out << "<img src=\"";
        out.html(HtmlWriter::urlFor(imageLink)) << "\" alt=\"";
        out.html(attachment.fileName) << "\" title=\"";
        out.html(attachment.fileName) << "\">" << (fileLink.isEmpty() ? "</span>\n" : "</a>\n");
        return;
    }
    if (!fileLink.isEmpty()) {
        out << "<a class=\"attachment file\" href=\"";
        out.html(HtmlWriter::urlFor(fileLink)) << "\">\U0001F4CE ";
        out.html(attachment.fileName) << "</a> <span class=\"mime\">";
        out.html(attachment.mimeType) << "</span>\n";
        return;
    }
    out << "<span class=\"attachment missing\">\U0001F4CE ";
    out.html(attachment.fileName) << " (";
    // One wording whether the file is missing or lies outside the backup: a
    // page that is passed on must not tell what exists on this computer.
    out.html(attachment.mimeType) << ") \u2014 not in the backup</span>\n";
}

// Each label isolated, so that a right-to-left name does not pull its
// neighbours' punctuation around.
void writeParticipants(OutputSink& out, const ConversationView& conversation)
{
    for (int i = 0; i < conversation.participantLabels.size(); ++i) {
        out << (i ? ", " : "");
        bdi(out, conversation.participantLabels[i]);
    }
}

void writeText(OutputSink& out, const QString& text)
{
    out << "<p class=\"text\" dir=\"auto\"><bdi>";
    out.html(text) << "</bdi></p>\n";
}

bool isWebUrl(const QUrl& url)
{
    return url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http");
}

QString effectLabel(const QString& effect)
{
    return effect.isEmpty() ? effect : effect.left(1).toUpper() + effect.mid(1);
}

// The archived body run by run: styles as elements, an effect as a class
// (and its name as a title), a mention and a web link as what they are. The
// placeholders of attachments are left out; the attachments follow.
void writeFormattedText(OutputSink& out, const MessageDetailsView& details)
{
    out << "<p class=\"text formatted\" dir=\"auto\"><bdi>";
    for (const MsgTextRun& run : details.textRuns) {
        QString words = details.bodyText.mid(run.start, run.length);
        words.remove(QChar(0xFFFC));
        if (words.isEmpty())
            continue;
        QStringList closers;
        const QUrl url(run.link);
        if (!run.link.isEmpty() && isWebUrl(url)) {
            out << "<a href=\"";
            out.html(QString::fromLatin1(url.toEncoded())) << "\" rel=\"noreferrer\">";
            closers.prepend(QStringLiteral("</a>"));
        }
        if (!run.mention.isEmpty()) {
            out << "<span class=\"mention\" title=\"";
            out.html(run.mention) << "\">";
            closers.prepend(QStringLiteral("</span>"));
        }
        if (!run.effect.isEmpty()) {
            out << "<span class=\"effect effect-";
            out.html(run.effect) << "\" title=\"";
            out.html(effectLabel(run.effect)) << "\">";
            closers.prepend(QStringLiteral("</span>"));
        }
        const struct
        {
            bool on;
            const char* tag;
        } styles[] = {{run.bold, "b"}, {run.italic, "i"}, {run.underline, "u"}, {run.strikethrough, "s"}};
        for (const auto& style : styles) {
            if (style.on) {
                out << '<' << style.tag << '>';
                closers.prepend(QStringLiteral("</%1>").arg(QLatin1String(style.tag)));
            }
        }
        out.html(words);
        for (const QString& closer : qAsConst(closers))
            out << closer;
    }
    out << "</bdi></p>\n";
}

// Only web links become links; anything else is shown as text.
void writeLink(OutputSink& out, const LinkView& link)
{
    const QUrl url(link.url);
    const bool web = isWebUrl(url);
    if (web) {
        out << "<a class=\"link\" href=\"";
        out.html(QString::fromLatin1(url.toEncoded())) << "\" rel=\"noreferrer\">";
    } else {
        out << "<div class=\"link\">";
    }
    bdi(out, link.title.isEmpty() ? link.url : link.title);
    if (!link.kind.isEmpty())
        (out << " <span class=\"link-kind\">").html(link.kind) << "</span>";
    out << " <span class=\"host\">";
    out.html(link.host.isEmpty() ? link.url : link.host) << "</span>" << (web ? "</a>\n" : "</div>\n");
}

void writeEdits(OutputSink& out, const MessageDetailsView& details)
{
    out << "<details class=\"edits\"><summary>Edited</summary>\n<ol>\n";
    for (const EditView& edit : details.editHistory) {
        out << "<li>";
        if (edit.date.isValid())
            timeElement(out, edit.date);
        out << ' ';
        bdi(out, edit.text);
        out << "</li>\n";
    }
    out << "</ol>\n</details>\n";
}

void writeReactions(OutputSink& out, const QList<ReactionView>& reactions)
{
    out << "<div class=\"reactions\">";
    for (const ReactionView& reaction : reactions) {
        out << "<span class=\"reaction ";
        out.html(reaction.kind) << "\" title=\"";
        out.html(reaction.kind) << "\">";
        out.html(reaction.symbol()) << ' ';
        bdi(out, reaction.senderName);
        out << "</span>";
    }
    out << "</div>\n";
}

void writeMessage(OutputSink& out, const MessageView& message, bool showSender)
{
    const MessageDetailsView& details = message.details;
    if (!details.groupEvent.isEmpty()) {
        out << "<div class=\"event ";
        out.html(details.groupEvent) << "\" id=\"m";
        out.number(message.id) << "\">"
                               << details.eventLine([](const QString& name) {
                                      return QStringLiteral("<bdi>%1</bdi>").arg(HtmlWriter::escape(name));
                                  })
                               << "</div>\n";
        return;
    }
    const bool sent = message.isFromMe != 0;
    out << "<div class=\"msg " << (sent ? "sent " : "received ") << (message.isNonSms != 0 ? "nonsms" : "sms")
        << (details.deleted ? " deleted" : "")
        << (details.service.isEmpty() ? "" : details.service == QLatin1String("RCS") ? " rcs" : " satellite")
        << "\" id=\"m";
    out.number(message.id) << "\">\n";
    if (showSender && !sent) {
        out << "<div class=\"sender\">";
        bdi(out, message.senderName);
        out << "</div>\n";
    }
    out << "<div class=\"bubble\">\n";
    if (!details.replyQuote.isEmpty()) {
        out << "<blockquote class=\"reply\" dir=\"auto\">";
        bdi(out, details.replyQuote);
        out << "</blockquote>\n";
    }
    if (!message.subject.isEmpty()) {
        out << "<p class=\"subject\" dir=\"auto\">";
        out.html(message.subject) << "</p>\n";
    }
    // Words kept only in the archived body have no place among the pieces;
    // a formatted body stands for the text pieces.
    const bool formatted = !details.textRuns.isEmpty();
    if (formatted)
        writeFormattedText(out, details);
    else if (message.textFromArchivedBody || (details.deleted && !message.text.isEmpty()))
        writeText(out, message.text);
    for (const PieceView& piece : message.pieces) {
        if (piece.kind == PieceView::Kind::Attachment)
            writeAttachment(out, piece.attachment);
        else if (!piece.text.isEmpty() && !formatted)
            writeText(out, piece.text);
    }
    if (details.unsent && message.text.isEmpty())
        out << "<p class=\"unsent\">Unsent</p>\n";
    if (!details.transcription.isEmpty()) {
        out << "<p class=\"transcription\" dir=\"auto\">";
        bdi(out, details.transcription);
        out << "</p>\n";
    }
    if (!details.link.url.isEmpty())
        writeLink(out, details.link);
    if (!details.app.bundleId.isEmpty()) {
        out << "<div class=\"app\" title=\"";
        out.html(details.app.bundleId) << "\">\U0001F9E9 ";
        bdi(out, details.app.line());
        out << "</div>\n";
    }
    if (!details.editHistory.isEmpty())
        writeEdits(out, details);
    out << "</div>\n";
    if (!details.reactions.isEmpty())
        writeReactions(out, details.reactions);
    out << "<div class=\"meta\">";
    const char* separator = "";
    const auto meta = [&out, &separator]() -> OutputSink& {
        out << separator;
        separator = " \u00B7 ";
        return out;
    };
    if (message.date.isValid())
        timeElement(meta(), message.date, true);
    if (message.isNonSms == 0)
        meta() << "SMS";
    if (!details.service.isEmpty())
        meta().html(details.service);
    if (details.junk)
        meta() << "<span class=\"junk\">Junk</span>";
    if (details.scheduled) {
        meta() << "<span class=\"scheduled\">Send Later";
        if (details.dateScheduled.isValid())
            timeElement(out << ", scheduled ", details.dateScheduled);
        out << (details.scheduledSent ? ", sent" : ", not sent yet") << "</span>";
    }
    if (message.isUnread())
        meta() << "<span class=\"unread\">Unread</span>";
    if (sent && message.dateRead.isValid())
        timeElement(meta() << "Read ", message.dateRead);
    if (message.error != 0)
        (meta() << "<span class=\"failed\">Not delivered (error ").number(message.error) << ")</span>";
    if (details.edited)
        meta() << "<span class=\"edited\">Edited</span>";
    if (details.unsent)
        meta() << "<span class=\"unsent-mark\">Unsent</span>";
    if (!details.effect.isEmpty())
        (meta() << "Sent with ").html(details.effect);
    if (details.audio)
        meta() << (details.played ? "Audio message, played" : "Audio message");
    QStringList effects;
    for (const MsgTextRun& run : details.textRuns) {
        if (!run.effect.isEmpty() && !effects.contains(effectLabel(run.effect)))
            effects.append(effectLabel(run.effect));
    }
    if (!effects.isEmpty())
        (meta() << "<span class=\"text-effects\">Text effect" << (effects.size() > 1 ? "s: " : ": "))
                .html(effects.join(QStringLiteral(", ")))
            << "</span>";
    if (details.deleted) {
        meta() << "<span class=\"deleted-mark\">Deleted";
        if (details.dateDeleted.isValid())
            timeElement(out << ' ', details.dateDeleted);
        out << "</span>";
    }
    out << "</div>\n</div>\n";
}

void indexHead(OutputSink& out, const ExportDocument& document)
{
    pageHead(out, QStringLiteral("Conversations"));
    out << "<body class=\"index\">\n<header>\n<h1>Conversations</h1>\n<p>";
    out.number(document.conversationCount()) << " conversations, ";
    out.number(document.messageCount()) << " messages from <span class=\"backup\">";
    out.html(document.backupFolder) << "</span></p>\n";
    if (!document.selection.isEmpty()) {
        out << "<p class=\"selection\">Chosen: ";
        out.html(document.selection) << "</p>\n";
    }
    out << "</header>\n<main>\n"
                                       "<table class=\"conversations\">\n<thead><tr><th>Conversation</th><th>Participants</th>"
                                       "<th>Messages</th><th>Unread</th><th>Last message</th></tr></thead>\n<tbody>\n";
}

void indexRow(OutputSink& out, const ConversationView& conversation)
{
    out << "<tr" << (conversation.unreadCount > 0 ? " class=\"has-unread\"" : "") << "><td class=\"title\" dir=\"auto\"><a href=\"";
    out.html(HtmlWriter::urlFor(HtmlWriter::pageName(conversation))) << "\">";
    out.html(conversation.title) << "</a></td><td class=\"participants\">";
    writeParticipants(out, conversation);
    out << "</td><td class=\"count messages\">";
    out.number(conversation.messages.size()) << "</td><td class=\"count unread\">";
    out.number(conversation.unreadCount) << "</td><td class=\"newest\">";
    if (conversation.newestDate.isValid())
        timeElement(out, conversation.newestDate);
    out << "</td></tr>\n";
}

void indexFoot(OutputSink& out, const ExportDocument& document)
{
    out << "</tbody>\n</table>\n</main>\n";
    pageFoot(out, document);
}

// A page, flushed after every message: one conversation may be most of a backup.
bool writePage(OutputSink& out, const ExportDocument& document, const ConversationView& conversation,
               const std::function<void()>& written)
{
    pageHead(out, conversation.title);
    // Written in pieces: a title may hold "%1" and the like.
    out << "<body class=\"conversation\">\n<header>\n<p><a href=\"index.html\">\u2190 All "
           "conversations</a></p>\n<h1 dir=\"auto\">";
    out.html(conversation.title) << "</h1>\n<p class=\"participants\">";
    writeParticipants(out, conversation);
    out << "</p>\n<p>";
    out.number(conversation.messages.size()) << " messages, ";
    out.number(conversation.unreadCount) << " unread</p>\n";
    if (!conversation.filtered.isEmpty())
        (out << "<p class=\"filtered\">Filtered by iOS: ").html(conversation.filtered) << "</p>\n";
    out << "</header>\n<main class=\"thread\">\n";
    const bool showSenders = conversation.participantLabels.size() > 1;
    QDate day;
    for (const MessageView& message : conversation.messages) {
        const QDate messageDay = IosDate::localDay(message.date);
        if (messageDay.isValid() && messageDay != day) {
            day = messageDay;
            out << "<div class=\"day\">";
            out.html(QLocale::c().toString(day, QStringLiteral("dddd, d MMMM yyyy"))) << "</div>\n";
        }
        writeMessage(out, message, showSenders);
        if (written)
            written();
        if (!out.maybeFlush())
            return false;
    }
    out << "</main>\n";
    pageFoot(out, document);
    return true;
}

} // namespace

bool HtmlWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    if (!target.folder) {
        if (error)
            *error = QStringLiteral("the html format writes a folder of pages: give --output");
        return false;
    }
    // The index grows beside the pages, a row per conversation.
    return writeFile(target, QStringLiteral("index.html"), [&](OutputSink& index) {
        indexHead(index, document);
        const int total = document.messageCount();
        int done = 0;
        const auto written = [&target, &done, total] {
            if (target.progress)
                target.progress(++done, total);
        };
        const bool pages = document.forEach(
            [&](const ConversationView& conversation) {
                indexRow(index, conversation);
                return index.maybeFlush() && writeFile(target, pageName(conversation), [&](OutputSink& out) {
                    return writePage(out, document, conversation, written);
                }, error);
            },
            error);
        if (pages)
            indexFoot(index, document);
        return pages;
    }, error);
}

QString HtmlWriter::indexPage(const ExportDocument& document)
{
    OutputSink out;
    indexHead(out, document);
    document.forEach([&out](const ConversationView& conversation) { indexRow(out, conversation); return true; }, nullptr);
    indexFoot(out, document);
    return QString::fromUtf8(out.data());
}

QString HtmlWriter::conversationPage(const ExportDocument& document, const ConversationView& conversation)
{
    OutputSink out;
    writePage(out, document, conversation, nullptr);
    return QString::fromUtf8(out.data());
}

QString HtmlWriter::pageName(const ConversationView& conversation)
{
    return QStringLiteral("conversation-%1.html").arg(conversation.index + 1, 4, 10, QLatin1Char('0'));
}

QString HtmlWriter::escape(const QString& text)
{
    OutputSink out;
    out.html(text);
    return QString::fromUtf8(out.data());
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
