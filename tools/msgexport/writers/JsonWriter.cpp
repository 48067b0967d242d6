#include "JsonWriter.h"

#include "IosDate.h"
#include "OutputSink.h"

#include <vector>

namespace {

// Qt's indented layout: members and elements on lines of their own, keys in
// the order Qt sorts them (the callers pass them so).
class JsonOut
{
public:
    explicit JsonOut(OutputSink& out) : out(out) {}

    JsonOut& object() { return open('{'); }
    JsonOut& array() { return open('['); }
    JsonOut& end()
    {
        const char close = closers.back();
        closers.pop_back();
        out << '\n';
        indent();
        out << close;
        started = false;
        return *this;
    }
    // Before a member's value.
    JsonOut& key(const char* name)
    {
        next();
        out << '"' << name << "\": ";
        return *this;
    }
    // Before an element of an array.
    JsonOut& element()
    {
        next();
        return *this;
    }

    JsonOut& value(const QString& text) { out.json(text); return *this; }
    JsonOut& value(qint64 number) { out.jsonNumber(number); return *this; }
    JsonOut& value(int number) { out.jsonNumber(number); return *this; }
    JsonOut& value(bool flag) { out << (flag ? "true" : "false"); return *this; }
    JsonOut& null() { out << "null"; return *this; }
    JsonOut& optional(const QString& text) { return text.isEmpty() ? null() : value(text); }
    JsonOut& date(const QDateTime& date)
    {
        if (!date.isValid())
            return null();
        out << '"';
        IosDate::appendIsoUtc(out, date);
        out << '"';
        return *this;
    }

    OutputSink& out;

private:
    JsonOut& open(char c)
    {
        out << c;
        closers.push_back(c == '{' ? '}' : ']');
        started = true;
        return *this;
    }
    void next()
    {
        out << (started ? "\n" : ",\n");
        started = false;
        indent();
    }
    void indent()
    {
        static const char spaces[] = "                                                                ";
        size_t width = 4 * closers.size();
        for (; width > sizeof spaces - 1; width -= sizeof spaces - 1)
            out << QLatin1String(spaces, static_cast<int>(sizeof spaces - 1));
        out << QLatin1String(spaces, static_cast<int>(width));
    }

    std::vector<char> closers;
    bool started = false; // nothing in the innermost container yet
};

const char* stateName(BackupBoundary::FileState state)
{
    switch (state) {
    case BackupBoundary::FileState::Present:
        return "\"present\"";
    case BackupBoundary::FileState::Missing:
        return "\"missing\"";
    case BackupBoundary::FileState::Outside:
        return "\"outside\"";
    }
    return "\"\"";
}

void writePiece(JsonOut& json, const PieceView& piece)
{
    json.object();
    if (piece.kind == PieceView::Kind::Text) {
        json.key("mimeType").value(piece.mimeType);
        json.key("text").value(piece.text);
        json.key("type").out << "\"text\"";
        json.end();
        return;
    }
    const AttachmentView& attachment = piece.attachment;
    const ConvertedMediaView& media = attachment.converted;
    json.key("converted");
    if (media.isEmpty()) {
        json.null();
    } else {
        json.object();
        if (media.kind == ConvertedMediaView::Kind::Image)
            json.key("durationMs").null();
        else
            json.key("durationMs").value(media.durationMs);
        const bool sized = media.kind != ConvertedMediaView::Kind::Audio && media.width > 0;
        if (sized)
            json.key("height").value(media.height);
        else
            json.key("height").null();
        json.key("mimeType").optional(media.mimeType);
        json.key("note").optional(media.note);
        json.key("path").optional(media.path);
        json.key("thumbnail").optional(media.thumbnail);
        if (sized)
            json.key("width").value(media.width);
        else
            json.key("width").null();
        json.end();
    }
    json.key("copiedFile").optional(attachment.copiedFile);
    json.key("copiedPreview").optional(attachment.copiedPreview);
    json.key("fileName").value(attachment.fileName);
    json.key("filePath").value(attachment.filePath);
    json.key("fileState").out << stateName(attachment.fileState);
    json.key("mimeType").value(piece.mimeType);
    json.key("previewPath").value(attachment.previewPath);
    json.key("previewState").out << stateName(attachment.previewState);
    json.key("type").out << "\"attachment\"";
    json.end();
}

// The archived body and its runs; offsets count UTF-16 units of text.
void writeFormattedText(JsonOut& json, const MessageDetailsView& details)
{
    json.key("formattedText").object();
    json.key("runs").array();
    for (const MsgTextRun& run : details.textRuns) {
        json.element().object();
        json.key("attachmentGuid").optional(run.attachmentGuid);
        json.key("bold").value(run.bold);
        json.key("effect").optional(run.effect);
        json.key("italic").value(run.italic);
        json.key("length").value(run.length);
        json.key("link").optional(run.link);
        json.key("mention").optional(run.mention);
        if (run.part >= 0)
            json.key("part").value(run.part);
        else
            json.key("part").null();
        json.key("start").value(run.start);
        json.key("strikethrough").value(run.strikethrough);
        json.key("underline").value(run.underline);
        json.end();
    }
    json.end();
    json.key("text").value(details.bodyText);
    json.end();
}

void writeDetails(JsonOut& json, const MessageDetailsView& details)
{
    json.object();
    if (!details.app.bundleId.isEmpty()) {
        const AppView& app = details.app;
        json.key("app").object();
        json.key("bundleId").value(app.bundleId);
        json.key("caption").optional(app.caption);
        json.key("imageSubtitle").optional(app.imageSubtitle);
        json.key("imageTitle").optional(app.imageTitle);
        json.key("kind").optional(app.kind);
        json.key("line").value(app.line());
        json.key("name").optional(app.name);
        json.key("subcaption").optional(app.subcaption);
        json.key("summary").optional(app.summary);
        json.key("trailingCaption").optional(app.trailingCaption);
        json.key("trailingSubcaption").optional(app.trailingSubcaption);
        json.end();
    }
    json.key("audio").value(details.audio);
    json.key("balloonBundleId").optional(details.balloonBundleId);
    // Only on what is in Recently Deleted or formatted, so other messages keep their shape.
    if (details.deleted) {
        json.key("deleted").object();
        json.key("date").date(details.dateDeleted);
        json.key("dateSeconds").value(details.dateDeletedSeconds);
        json.end();
    }
    json.key("editHistory").array();
    for (const EditView& edit : details.editHistory) {
        json.element().object();
        json.key("date").date(edit.date);
        json.key("dateSeconds").value(edit.dateSeconds);
        json.key("part").value(edit.part);
        json.key("text").value(edit.text);
        json.end();
    }
    json.end();
    json.key("edited").value(details.edited);
    json.key("effect").optional(details.effect);
    json.key("effectId").optional(details.effectId);
    if (!details.textRuns.isEmpty())
        writeFormattedText(json, details);
    json.key("groupEvent").optional(details.groupEvent);
    json.key("groupEventText").optional(details.groupEventText);
    json.key("guid").value(details.guid);
    if (details.junk)
        json.key("junk").value(true);
    const LinkView& link = details.link;
    if (link.url.isEmpty()) {
        json.key("link").null();
    } else {
        json.key("link").object();
        json.key("host").optional(link.host);
        if (!link.kind.isEmpty())
            json.key("kind").value(link.kind);
        json.key("summary").optional(link.summary);
        json.key("title").optional(link.title);
        json.key("url").value(link.url);
        json.end();
    }
    json.key("played").value(details.played);
    json.key("reactions").array();
    for (const ReactionView& reaction : details.reactions) {
        json.element().object();
        json.key("dateSeconds").value(reaction.dateSeconds);
        json.key("emoji").optional(reaction.emoji);
        json.key("kind").value(reaction.kind);
        json.key("part").value(reaction.part);
        json.key("sender").value(reaction.senderName);
        json.end();
    }
    json.end();
    json.key("replyQuote").optional(details.replyQuote);
    json.key("replyToGuid").optional(details.replyToGuid);
    if (details.replyToId != 0)
        json.key("replyToId").value(details.replyToId);
    else
        json.key("replyToId").null();
    if (details.scheduled) {
        json.key("scheduled").object();
        json.key("date").date(details.dateScheduled);
        json.key("dateSeconds").value(details.dateScheduledSeconds);
        json.key("sent").value(details.scheduledSent);
        json.end();
    }
    if (!details.service.isEmpty())
        json.key("service").value(details.service);
    if (!details.transcription.isEmpty())
        json.key("transcription").value(details.transcription);
    json.key("unsent").value(details.unsent);
    json.key("unsentParts").array();
    for (int part : details.unsentParts)
        json.element().value(part);
    json.end();
    json.end();
}

void writeMessage(JsonOut& json, const MessageView& message)
{
    json.object();
    json.key("attributedText").value(message.attributedText);
    json.key("date").date(message.date);
    json.key("dateRead").date(message.dateRead);
    json.key("dateReadSeconds").value(message.dateReadSeconds);
    json.key("dateSeconds").value(message.dateSeconds);
    // Only where there is something to say, so older backups export as before.
    if (!message.details.isEmpty()) {
        json.key("details");
        writeDetails(json, message.details);
    }
    json.key("error").value(message.error);
    json.key("extraFlag").value(message.extraFlag);
    json.key("handleId").value(message.handleId);
    json.key("id").value(message.id);
    json.key("isFromMe").value(message.isFromMe);
    json.key("isNonSms").value(message.isNonSms);
    json.key("isRead").value(message.isRead);
    json.key("isSent").value(message.isSent);
    json.key("itemType").value(message.itemType);
    json.key("otherHandle").value(message.otherHandle);
    json.key("pieces").array();
    for (const PieceView& piece : message.pieces) {
        json.element();
        writePiece(json, piece);
    }
    json.end();
    json.key("sender").value(message.senderName);
    json.key("shareDirection").value(message.shareDirection);
    json.key("shareStatus").value(message.shareStatus);
    json.key("subject").value(message.subject);
    json.key("text").value(message.text);
    json.key("textFromArchivedBody").value(message.textFromArchivedBody);
    json.end();
}

} // namespace

bool JsonWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    return writeFile(target, QStringLiteral("conversations.json"),
                     [&](OutputSink& out) { return writeAll(out, document, target, error); }, error);
}

QByteArray JsonWriter::render(const ExportDocument& document)
{
    OutputSink out;
    writeAll(out, document, ExportTarget(), nullptr);
    return out.data();
}

bool JsonWriter::writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, QString* error)
{
    const int total = document.messageCount();
    int done = 0;
    JsonOut json(out);
    json.object();
    json.key("backupFolder").value(document.backupFolder);
    json.key("conversationCount").value(document.conversationCount());
    json.key("conversations").array();
    const bool made = document.forEach(
        [&](const ConversationView& conversation) {
            json.element().object();
            if (!conversation.filtered.isEmpty())
                json.key("filtered").value(conversation.filtered);
            json.key("index").value(conversation.index);
            json.key("messageCount").value(conversation.messages.size());
            json.key("messages").array();
            for (const MessageView& message : conversation.messages) {
                json.element();
                writeMessage(json, message);
                if (target.progress)
                    target.progress(++done, total);
                if (!out.maybeFlush())
                    return false;
            }
            json.end();
            json.key("name").value(conversation.name);
            json.key("newestDate").date(conversation.newestDate);
            json.key("participants").array();
            for (const ParticipantView& participant : conversation.participants) {
                json.element().object();
                json.key("address").value(participant.address);
                json.key("contactName").value(participant.contactName);
                json.key("country").value(participant.country);
                json.key("displayName").value(participant.displayName);
                json.key("id").value(participant.id);
                json.key("uncanonicalizedId").value(participant.uncanonicalizedId);
                json.end();
            }
            json.end();
            json.key("title").value(conversation.title);
            json.key("unreadCount").value(conversation.unreadCount);
            json.end();
            return true;
        },
        error);
    if (!made)
        return false;
    json.end();
    json.key("format").out << "\"msgexport\"";
    json.key("formatVersion").value(formatVersion);
    json.key("generator").value(document.generator);
    json.key("messageCount").value(total);
    json.key("selection").value(document.selection);
    json.key("timeZone").value(document.timeZone);
    json.end();
    out << '\n';
    return true;
}
