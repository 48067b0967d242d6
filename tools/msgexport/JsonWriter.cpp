#include "JsonWriter.h"

#include "IosDate.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

QJsonValue dateValue(const QDateTime& date)
{
    return date.isValid() ? QJsonValue(IosDate::isoUtc(date)) : QJsonValue(QJsonValue::Null);
}

QJsonValue optionalText(const QString& text)
{
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString stateName(BackupBoundary::FileState state)
{
    switch (state) {
    case BackupBoundary::FileState::Present:
        return QStringLiteral("present");
    case BackupBoundary::FileState::Missing:
        return QStringLiteral("missing");
    case BackupBoundary::FileState::Outside:
        return QStringLiteral("outside");
    }
    return QString();
}

QJsonObject pieceJson(const PieceView& piece)
{
    QJsonObject json{{QStringLiteral("mimeType"), piece.mimeType}};
    if (piece.kind == PieceView::Kind::Text) {
        json.insert(QStringLiteral("type"), QStringLiteral("text"));
        json.insert(QStringLiteral("text"), piece.text);
        return json;
    }
    const AttachmentView& attachment = piece.attachment;
    json.insert(QStringLiteral("type"), QStringLiteral("attachment"));
    json.insert(QStringLiteral("fileName"), attachment.fileName);
    json.insert(QStringLiteral("filePath"), attachment.filePath);
    json.insert(QStringLiteral("previewPath"), attachment.previewPath);
    json.insert(QStringLiteral("fileState"), stateName(attachment.fileState));
    json.insert(QStringLiteral("previewState"), stateName(attachment.previewState));
    json.insert(QStringLiteral("copiedFile"), optionalText(attachment.copiedFile));
    json.insert(QStringLiteral("copiedPreview"), optionalText(attachment.copiedPreview));
    return json;
}

QJsonObject detailsJson(const MessageDetailsView& details)
{
    QJsonArray reactions;
    for (const ReactionView& reaction : details.reactions) {
        reactions.append(QJsonObject{
            {QStringLiteral("kind"), reaction.kind},
            {QStringLiteral("emoji"), optionalText(reaction.emoji)},
            {QStringLiteral("sender"), reaction.senderName},
            {QStringLiteral("part"), reaction.part},
            {QStringLiteral("dateSeconds"), reaction.dateSeconds},
        });
    }
    QJsonArray history;
    for (const EditView& edit : details.editHistory) {
        history.append(QJsonObject{
            {QStringLiteral("part"), edit.part},
            {QStringLiteral("date"), dateValue(edit.date)},
            {QStringLiteral("dateSeconds"), edit.dateSeconds},
            {QStringLiteral("text"), edit.text},
        });
    }
    QJsonArray unsentParts;
    for (int part : details.unsentParts)
        unsentParts.append(part);
    const LinkView& link = details.link;
    const QJsonValue linkValue = link.url.isEmpty() ? QJsonValue(QJsonValue::Null)
                                                    : QJsonValue(QJsonObject{
                                                          {QStringLiteral("title"), optionalText(link.title)},
                                                          {QStringLiteral("summary"), optionalText(link.summary)},
                                                          {QStringLiteral("url"), link.url},
                                                          {QStringLiteral("host"), optionalText(link.host)},
                                                      });
    return QJsonObject{
        {QStringLiteral("guid"), details.guid},
        {QStringLiteral("reactions"), reactions},
        {QStringLiteral("replyToId"), details.replyToId != 0 ? QJsonValue(details.replyToId) : QJsonValue()},
        {QStringLiteral("replyToGuid"), optionalText(details.replyToGuid)},
        {QStringLiteral("replyQuote"), optionalText(details.replyQuote)},
        {QStringLiteral("edited"), details.edited},
        {QStringLiteral("editHistory"), history},
        {QStringLiteral("unsent"), details.unsent},
        {QStringLiteral("unsentParts"), unsentParts},
        {QStringLiteral("effect"), optionalText(details.effect)},
        {QStringLiteral("effectId"), optionalText(details.effectId)},
        {QStringLiteral("balloonBundleId"), optionalText(details.balloonBundleId)},
        {QStringLiteral("link"), linkValue},
        {QStringLiteral("groupEvent"), optionalText(details.groupEvent)},
        {QStringLiteral("groupEventText"), optionalText(details.groupEventText)},
        {QStringLiteral("audio"), details.audio},
        {QStringLiteral("played"), details.played},
    };
}

QJsonObject messageJson(const MessageView& message)
{
    QJsonArray pieces;
    for (const PieceView& piece : message.pieces)
        pieces.append(pieceJson(piece));
    QJsonObject json{
        {QStringLiteral("id"), message.id},
        {QStringLiteral("handleId"), message.handleId},
        {QStringLiteral("date"), dateValue(message.date)},
        {QStringLiteral("dateSeconds"), message.dateSeconds},
        {QStringLiteral("dateRead"), dateValue(message.dateRead)},
        {QStringLiteral("dateReadSeconds"), message.dateReadSeconds},
        {QStringLiteral("subject"), message.subject},
        {QStringLiteral("attributedText"), message.attributedText},
        {QStringLiteral("text"), message.text},
        {QStringLiteral("textFromArchivedBody"), message.textFromArchivedBody},
        {QStringLiteral("sender"), message.senderName},
        {QStringLiteral("isNonSms"), message.isNonSms},
        {QStringLiteral("isFromMe"), message.isFromMe},
        {QStringLiteral("isRead"), message.isRead},
        {QStringLiteral("isSent"), message.isSent},
        {QStringLiteral("error"), message.error},
        {QStringLiteral("itemType"), message.itemType},
        {QStringLiteral("shareStatus"), message.shareStatus},
        {QStringLiteral("shareDirection"), message.shareDirection},
        {QStringLiteral("otherHandle"), message.otherHandle},
        {QStringLiteral("extraFlag"), message.extraFlag},
        {QStringLiteral("pieces"), pieces},
    };
    // Only where there is something to say, so older backups export as before.
    if (!message.details.isEmpty())
        json.insert(QStringLiteral("details"), detailsJson(message.details));
    return json;
}

QJsonObject conversationJson(const ConversationView& conversation)
{
    QJsonArray participants;
    for (const ParticipantView& participant : conversation.participants) {
        participants.append(QJsonObject{
            {QStringLiteral("id"), participant.id},
            {QStringLiteral("address"), participant.address},
            {QStringLiteral("country"), participant.country},
            {QStringLiteral("uncanonicalizedId"), participant.uncanonicalizedId},
            {QStringLiteral("contactName"), participant.contactName},
            {QStringLiteral("displayName"), participant.displayName},
        });
    }
    QJsonArray messages;
    for (const MessageView& message : conversation.messages)
        messages.append(messageJson(message));
    return QJsonObject{
        {QStringLiteral("index"), conversation.index},
        {QStringLiteral("title"), conversation.title},
        {QStringLiteral("name"), conversation.name},
        {QStringLiteral("unreadCount"), conversation.unreadCount},
        {QStringLiteral("messageCount"), conversation.messages.size()},
        {QStringLiteral("newestDate"), dateValue(conversation.newestDate)},
        {QStringLiteral("participants"), participants},
        {QStringLiteral("messages"), messages},
    };
}

} // namespace

bool JsonWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    // Written conversation by conversation, never the whole export at once:
    // Qt lays out the document around an empty list, and each conversation
    // is laid out alone and indented as an element of that list.
    const QByteArray page = QJsonDocument(headerJson(document)).toJson(QJsonDocument::Indented);
    const QByteArray list = "\"conversations\": [\n";
    const int empty = page.indexOf(list + "    ]");
    if (empty < 0) // not Qt's layout of an empty list: the whole document then
        return writeDocument(QJsonDocument(toJson(document)).toJson(QJsonDocument::Indented), target,
                             QStringLiteral("conversations.json"), error);
    const int split = empty + list.size();

    QSaveFile file;
    QIODevice* device = target.stream;
    if (!target.folder.isEmpty()) {
        file.setFileName(QDir(target.folder).filePath(QStringLiteral("conversations.json")));
        device = file.open(QIODevice::WriteOnly) ? &file : nullptr;
    }
    const auto put = [device](const QByteArray& bytes) { return device && device->write(bytes) == bytes.size(); };
    bool ok = put(page.left(split));
    const int count = document.conversations.size();
    for (int i = 0; ok && i < count; ++i) {
        QByteArray element = QJsonDocument(conversationJson(document.conversations.at(i))).toJson(QJsonDocument::Indented);
        element.chop(1);
        ok = put("        " + element.replace('\n', "\n        ") + (i + 1 < count ? ",\n" : "\n"));
    }
    ok = ok && put(page.mid(split)) && (target.folder.isEmpty() || file.commit());
    if (!ok && error) {
        *error = target.folder.isEmpty() ? QStringLiteral("cannot write to standard output")
                                         : QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    }
    return ok;
}

QJsonObject JsonWriter::headerJson(const ExportDocument& document)
{
    return QJsonObject{
        {QStringLiteral("format"), QStringLiteral("msgexport")},
        {QStringLiteral("formatVersion"), formatVersion},
        {QStringLiteral("generator"), document.generator},
        {QStringLiteral("backupFolder"), document.backupFolder},
        {QStringLiteral("conversationCount"), document.conversations.size()},
        {QStringLiteral("messageCount"), document.messageCount()},
        {QStringLiteral("conversations"), QJsonArray()},
    };
}

QJsonObject JsonWriter::toJson(const ExportDocument& document)
{
    QJsonArray conversations;
    for (const ConversationView& conversation : document.conversations)
        conversations.append(conversationJson(conversation));
    QJsonObject json = headerJson(document);
    json.insert(QStringLiteral("conversations"), conversations);
    return json;
}
