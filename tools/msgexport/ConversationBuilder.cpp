#include "ConversationBuilder.h"

#include "IosDate.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

const QChar objectReplacement(0xFFFC);

QString senderOf(const MsgContent& content, const ConversationView& conversation)
{
    if (content.isFromMe != 0)
        return QStringLiteral("Me");
    for (const ParticipantView& participant : conversation.participants) {
        if (participant.id == content.handleId)
            return participant.displayName;
    }
    // One-to-one chats sometimes record handle 0 for received messages.
    QSet<QString> names;
    for (const ParticipantView& participant : conversation.participants)
        names.insert(participant.displayName);
    if (names.size() == 1)
        return *names.cbegin();
    return QStringLiteral("Unknown sender");
}

} // namespace

ConversationBuilder::ConversationBuilder(const BackupBoundary& boundary)
    : boundary(boundary)
{
}

QString ConversationBuilder::displayName(const MsgIdentifier& identifier)
{
    return identifier.contactName.isEmpty() ? identifier.address : identifier.contactName;
}

ConversationView ConversationBuilder::build(const MsgSession& session, int index) const
{
    ConversationView view;
    view.index = index;
    view.name = session.name;
    view.unreadCount = session.unreadCount;

    QStringList names;
    for (const MsgIdentifier* identifier : session.participants) {
        if (!identifier)
            continue;
        ParticipantView participant;
        participant.id = identifier->id;
        participant.address = identifier->address;
        participant.country = identifier->country;
        participant.uncanonicalizedId = identifier->uncanonicalizedId;
        participant.contactName = identifier->contactName;
        participant.displayName = displayName(*identifier);
        view.participants.append(participant);
        const QString label = participant.contactName.isEmpty()
                                  ? participant.address
                                  : QStringLiteral("%1 <%2>").arg(participant.contactName, participant.address);
        if (!view.participantLabels.contains(label))
            view.participantLabels.append(label);
        // The SMS and iMessage handles of one number are one person.
        if (!names.contains(participant.displayName))
            names.append(participant.displayName);
    }
    view.title = !session.name.isEmpty() ? session.name
               : !names.isEmpty()        ? names.join(QStringLiteral(", "))
                                         : QStringLiteral("(no participants)");

    // A message joined to two chat rows of the conversation comes twice.
    QSet<qint64> seen;
    for (const MsgContent* content : session.messages) {
        if (!content || seen.contains(content->id))
            continue;
        seen.insert(content->id);
        view.messages.append(buildMessage(*content, view));
    }
    // The library gives each chat row's messages newest first, one row after
    // the other; a reader wants one thread, oldest first.
    std::stable_sort(view.messages.begin(), view.messages.end(), [](const MessageView& a, const MessageView& b) {
        return a.dateSeconds != b.dateSeconds ? a.dateSeconds < b.dateSeconds : a.id < b.id;
    });
    for (const MessageView& message : view.messages) {
        if (message.date.isValid() && (!view.newestDate.isValid() || message.date > view.newestDate))
            view.newestDate = message.date;
    }
    return view;
}

MessageView ConversationBuilder::buildMessage(const MsgContent& content, const ConversationView& conversation) const
{
    MessageView message;
    message.id = content.id;
    message.handleId = content.handleId;
    message.date = IosDate::realDate(content.date);
    message.dateRead = IosDate::realDate(content.dateRead);
    message.dateSeconds = IosDate::storedSeconds(content.date);
    message.dateReadSeconds = IosDate::storedSeconds(content.dateRead);
    message.subject = content.subject;
    message.attributedText = content.attributedText;
    message.isNonSms = content.isNonSms;
    message.isFromMe = content.isFromMe;
    message.isRead = content.isRead;
    message.isSent = content.isSent;
    message.error = content.error;
    message.itemType = content.itemType;
    message.shareStatus = content.shareStatus;
    message.shareDirection = content.shareDirection;
    message.otherHandle = content.otherHandle;
    message.extraFlag = content.extraFlag;
    message.senderName = senderOf(content, conversation);

    QStringList words;
    for (const MsgPiece* piece : content.pieces) {
        if (!piece)
            continue;
        PieceView view;
        view.mimeType = piece->mimeType;
        if (piece->filePath.isEmpty() && piece->previewPath.isEmpty()) {
            view.kind = PieceView::Kind::Text;
            view.text = QString::fromUtf8(piece->data);
            if (!view.text.isEmpty())
                words.append(view.text);
        } else {
            view.kind = PieceView::Kind::Attachment;
            view.attachment = buildAttachment(*piece);
        }
        message.pieces.append(view);
    }
    message.text = words.join(QLatin1Char('\n'));

    // Recent iOS keeps the words only in the archived body. Its placeholders
    // stand for attachments that are shown as pieces already.
    if (message.text.isEmpty()) {
        QString archived = content.attributedText;
        archived.remove(objectReplacement);
        archived = archived.trimmed();
        if (!archived.isEmpty()) {
            message.text = archived;
            message.textFromArchivedBody = true;
        }
    }
    return message;
}

AttachmentView ConversationBuilder::buildAttachment(const MsgPiece& piece) const
{
    AttachmentView attachment;
    attachment.mimeType = piece.mimeType;
    attachment.filePath = piece.filePath;
    attachment.previewPath = piece.previewPath;
    attachment.fileName = QFileInfo(piece.filePath).fileName();
    attachment.fileState = boundary.stateOf(piece.filePath);
    attachment.previewState = boundary.stateOf(piece.previewPath);
    return attachment;
}
