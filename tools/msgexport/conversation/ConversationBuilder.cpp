#include "ConversationBuilder.h"

#include "ConversationSelection.h"
#include "IosDate.h"

#include "MsgContent.h"
#include "MsgDetails.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <QFileInfo>
#include <QHash>
#include <QPair>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace {

const QChar objectReplacement(0xFFFC);

QString senderOf(bool isFromMe, qint64 handleId, const ConversationView& conversation, const QString* onlyName)
{
    if (isFromMe)
        return QStringLiteral("Me");
    for (const ParticipantView& participant : conversation.participants) {
        if (participant.id == handleId)
            return participant.displayName;
    }
    // One-to-one chats sometimes record handle 0 for received messages.
    return onlyName ? *onlyName : QStringLiteral("Unknown sender");
}

QString nameOfHandle(qint64 handle, bool isMe, const ConversationView& conversation)
{
    if (isMe)
        return QStringLiteral("You");
    for (const ParticipantView& participant : conversation.participants) {
        if (participant.id == handle)
            return participant.displayName;
    }
    return QStringLiteral("Someone");
}

QString groupEventName(MsgDetail::GroupEvent event)
{
    using Event = MsgDetail::GroupEvent;
    switch (event) {
    case Event::Added: return QStringLiteral("added");
    case Event::Removed: return QStringLiteral("removed");
    case Event::Left: return QStringLiteral("left");
    case Event::Renamed: return QStringLiteral("renamed");
    case Event::PhotoChanged: return QStringLiteral("photoChanged");
    case Event::PhotoRemoved: return QStringLiteral("photoRemoved");
    case Event::None: break;
    }
    return QString();
}

QString reactionKind(MsgDetail::Reaction reaction)
{
    static const char* const names[] = {"",         "loved",      "liked",      "disliked", "laughed",
                                        "emphasized", "questioned", "emoji", "sticker"};
    return QString::fromLatin1(names[static_cast<int>(reaction)]);
}

// A short quote of the message a reply answers.
QString quoteOf(const MessageView& target)
{
    QString text = target.text.simplified();
    if (text.isEmpty())
        return target.pieces.isEmpty() ? QString() : QStringLiteral("Attachment");
    const int limit = 60;
    return text.size() > limit ? text.left(limit).trimmed() + QChar(0x2026) : text;
}

// The apps iOS brings along, by the bundle id of their balloon.
QString appKind(const QString& bundleId)
{
    static const char* const kinds[][2] = {
        {"com.apple.Handwriting.HandwritingProvider", "Handwriting"},
        {"com.apple.DigitalTouchBalloonProvider", "Digital Touch"},
        {"PeerPaymentMessagesExtension", "Apple Cash"},
        {"SafetyMonitor", "Check In"},
        {"FindMy", "Find My"},
        {"com.apple.messages.Polls", "Poll"},
        {"com.apple.mobileslideshow.PhotosMessagesApp", "Photos"},
        {"com.apple.Stickers", "Stickers"},
    };
    for (const auto& kind : kinds) {
        if (bundleId.contains(QLatin1String(kind[0]), Qt::CaseInsensitive))
            return QString::fromLatin1(kind[1]);
    }
    return QString();
}

void fillDetails(MessageDetailsView& view, const MsgDetail& d, const ConversationView& conversation)
{
    view.guid = d.guid;
    view.replyToGuid = d.replyTargetGuid;
    view.unsent = d.dateRetracted != 0 || !d.unsentParts.isEmpty();
    view.unsentParts = d.unsentParts;
    view.edited = !d.editHistory.isEmpty() || (d.dateEdited != 0 && !view.unsent);
    for (const MsgEdit& edit : d.editHistory) {
        EditView version;
        version.part = edit.part;
        version.dateSeconds = edit.date;
        if (edit.date != 0)
            version.date = QDateTime::fromSecsSinceEpoch(edit.date + IosDate::epochOffset, Qt::UTC);
        version.text = edit.text;
        view.editHistory.append(version);
    }
    view.effect = d.effectName;
    view.effectId = d.effectId;
    view.balloonBundleId = d.balloonBundleId;
    if (!d.balloonBundleId.isEmpty() && d.balloonBundleId != QLatin1String("com.apple.messages.URLBalloonProvider")) {
        AppView& app = view.app;
        // Third-party apps: "com.apple.messages.MSMessageExtensionBalloonPlugin:TEAM:BUNDLE".
        app.bundleId = d.balloonBundleId.section(QLatin1Char(':'), -1);
        app.kind = appKind(d.balloonBundleId);
        app.name = d.appName;
        app.summary = d.appSummary;
        app.caption = d.appCaption;
        app.subcaption = d.appSubcaption;
        app.imageTitle = d.appImageTitle;
        app.imageSubtitle = d.appImageSubtitle;
        app.trailingCaption = d.appTrailingCaption;
        app.trailingSubcaption = d.appTrailingSubcaption;
    }
    view.link.kind = d.linkKind;
    view.link.title = d.linkTitle;
    view.link.summary = d.linkSummary;
    view.link.url = d.linkUrl;
    if (!d.linkUrl.isEmpty())
        view.link.host = QUrl(d.linkUrl).host();
    view.groupEvent = groupEventName(d.groupEvent);
    if (!view.groupEvent.isEmpty()) {
        view.groupActor = nameOfHandle(d.actorHandle, d.actorIsMe, conversation);
        view.groupTarget = nameOfHandle(d.targetHandle, false, conversation);
        view.groupTitle = d.groupTitle;
        view.groupEventText = view.eventLine([](const QString& name) { return name; });
    }
    view.audio = d.isAudio;
    view.played = d.isAudio && d.isPlayed;
    view.bodyText = d.bodyText;
    view.textRuns = d.textRuns;
    view.service = d.service == MsgDetail::Service::Rcs         ? QStringLiteral("RCS")
                   : d.service == MsgDetail::Service::Satellite ? QStringLiteral("Satellite")
                                                                : QString();
    view.junk = d.isJunk;
    view.scheduled = d.dateScheduled != 0;
    view.dateScheduledSeconds = d.dateScheduled;
    if (view.scheduled)
        view.dateScheduled = IosDate::fromStored(d.dateScheduled);
    view.scheduledSent = view.scheduled && d.scheduledSent;
    view.transcription = d.audioTranscription;
}

// chat.is_filtered as a reader says it.
QString filterName(int filter)
{
    return filter == 1 ? QStringLiteral("unknown sender") : filter == 2 ? QStringLiteral("junk") : QStringLiteral("filtered");
}

} // namespace

ConversationBuilder::ConversationBuilder(const BackupBoundary& boundary, const MsgDetails* details, bool skipDeleted)
    : boundary(boundary), details(details)
{
    if (!details)
        return;
    for (const MsgFilteredChat& chat : details->filteredChats())
        filterByAnchor.insert(chat.anchor, chat.filter);
    if (skipDeleted)
        return;
    deleted = details->deletedMessages();
    for (int i = 0; i < deleted.size(); ++i) {
        if (deleted[i].anchor != 0)
            deletedByAnchor[deleted[i].anchor].append(i);
    }
}

QList<const MsgDeletedMessage*> ConversationBuilder::deletedOf(const MsgSession& session) const
{
    QList<const MsgDeletedMessage*> found;
    if (deletedByAnchor.isEmpty())
        return found;
    for (const MsgContent* content : session.messages) {
        const auto it = content ? deletedByAnchor.constFind(content->id) : deletedByAnchor.cend();
        if (it == deletedByAnchor.cend())
            continue;
        for (int index : *it) {
            if (!found.contains(&deleted[index]))
                found.append(&deleted[index]);
        }
    }
    return found;
}

void ConversationBuilder::buildDeleted(const MsgDeletedMessage& source, const ConversationView& conversation,
                                       const QString* onlyName, MessageView& message) const
{
    message.id = source.rowid;
    message.handleId = source.handleId;
    message.dateSeconds = source.date;
    message.date = IosDate::fromStored(source.date);
    message.isFromMe = source.isFromMe ? 1 : 0;
    message.isSent = message.isFromMe;
    message.isRead = 1; // a deleted message asks for no attention
    message.isNonSms = source.service == QLatin1String("SMS") ? 0 : 1;
    message.senderName = senderOf(source.isFromMe, source.handleId, conversation, onlyName);
    QString words = source.text;
    words.remove(objectReplacement);
    message.text = words.trimmed();
    message.details.deleted = true;
    message.details.dateDeletedSeconds = source.dateDeleted;
    message.details.dateDeleted = IosDate::fromStored(source.dateDeleted);
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

    // The library gives each chat row's messages newest first, one row after
    // the other; a reader wants one thread, oldest first. The order is found
    // before anything is built, so that no built message is moved.
    struct Slot
    {
        qint64 seconds;
        qint64 id;
        int position;
        const MsgContent* content;
        const MsgDeletedMessage* deleted;
    };
    std::vector<Slot> order;
    order.reserve(static_cast<size_t>(session.messages.size()));
    for (int i = 0; i < session.messages.size(); ++i) {
        if (const MsgContent* content = session.messages.at(i)) {
            const qint64 seconds = IosDate::storedSeconds(content->date);
            if (!selection || selection->contains(seconds))
                order.push_back(Slot{seconds, content->id, i, content, nullptr});
        }
    }
    // Recently Deleted in place, by date.
    for (const MsgDeletedMessage* gone : deletedOf(session)) {
        if (!selection || selection->contains(gone->date))
            order.push_back(Slot{gone->date, gone->rowid, session.messages.size(), nullptr, gone});
    }
    // A message joined to two chat rows of the conversation comes twice, read
    // from one row, so with one date: its copies meet in this order, and the
    // first one is kept.
    std::sort(order.begin(), order.end(), [](const Slot& a, const Slot& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.id != b.id ? a.id < b.id : a.position < b.position;
    });
    order.erase(std::unique(order.begin(), order.end(), [](const Slot& a, const Slot& b) { return a.id == b.id; }),
                order.end());

    view.messages.resize(static_cast<int>(order.size()));
    MessageView* message = view.messages.data();
    const QString* onlyName = names.size() == 1 ? &names.first() : nullptr;
    for (const Slot& slot : order) {
        if (slot.content)
            buildMessage(*slot.content, slot.seconds, view, onlyName, *message++);
        else
            buildDeleted(*slot.deleted, view, onlyName, *message++);
    }
    if (details)
        applyDetails(view);
    qint64 newest = 0;
    for (const MessageView& kept : view.messages) {
        // What is in Recently Deleted is no longer the conversation's latest word.
        if (kept.date.isValid() && !kept.details.deleted && (newest == 0 || kept.dateSeconds > newest))
            newest = kept.dateSeconds;
    }
    view.newestDate = IosDate::fromStored(newest);
    for (const MsgContent* content : session.messages) {
        if (!filterByAnchor.isEmpty() && content && filterByAnchor.contains(content->id)) {
            view.filtered = filterName(filterByAnchor.value(content->id));
            break;
        }
    }
    return view;
}

void ConversationBuilder::buildMessage(const MsgContent& content, qint64 dateSeconds,
                                       const ConversationView& conversation, const QString* onlyName,
                                       MessageView& message) const
{
    message.id = content.id;
    message.handleId = content.handleId;
    message.dateSeconds = dateSeconds;
    message.dateReadSeconds = IosDate::storedSeconds(content.dateRead);
    message.date = IosDate::fromStored(message.dateSeconds);
    message.dateRead = IosDate::fromStored(message.dateReadSeconds);
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
    message.senderName = senderOf(content.isFromMe != 0, content.handleId, conversation, onlyName);

    // The words of the text pieces, one line each.
    bool hasWords = false;
    message.pieces.reserve(content.pieces.size());
    for (const MsgPiece* piece : content.pieces) {
        if (!piece)
            continue;
        message.pieces.append(PieceView());
        PieceView& view = message.pieces.last();
        view.mimeType = piece->mimeType;
        if (piece->filePath.isEmpty() && piece->previewPath.isEmpty()) {
            view.kind = PieceView::Kind::Text;
            view.text = QString::fromUtf8(piece->data);
            if (view.text.isEmpty())
                continue;
            if (hasWords)
                message.text += QLatin1Char('\n') + view.text;
            else
                message.text = view.text;
            hasWords = true;
        } else {
            view.kind = PieceView::Kind::Attachment;
            view.attachment = buildAttachment(*piece);
        }
    }

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
}

AttachmentView ConversationBuilder::buildAttachment(const MsgPiece& piece) const
{
    AttachmentView attachment;
    attachment.mimeType = piece.mimeType;
    attachment.filePath = piece.filePath;
    attachment.previewPath = piece.previewPath;
    attachment.fileName = QFileInfo(piece.filePath).fileName();
    attachment.fileState = boundary.stateOf(piece.filePath);
    attachment.previewState =
        piece.previewPath == piece.filePath ? attachment.fileState : boundary.stateOf(piece.previewPath);
    return attachment;
}

void ConversationBuilder::applyDetails(ConversationView& view) const
{
    struct Pending
    {
        QString target;
        bool removed;
        ReactionView reaction;
    };
    QList<Pending> reactions;
    QVector<MessageView>& kept = view.messages;
    std::vector<bool> isReaction(kept.size());
    for (int i = 0; i < kept.size(); ++i) {
        MessageView& message = kept[i];
        MsgDetail d;
        if (!details->find(message.id, &d))
            continue;
        if (d.isReaction()) {
            isReaction[i] = true;
            ReactionView reaction;
            reaction.kind = reactionKind(d.reaction);
            reaction.emoji = d.reactionEmoji;
            reaction.senderName = message.senderName;
            reaction.part = d.reactionTargetPart;
            reaction.dateSeconds = message.dateSeconds;
            reactions.append(Pending{d.reactionTargetGuid, d.reactionRemoved, reaction});
            continue;
        }
        fillDetails(message.details, d, view);
    }
    // Reactions are no messages of their own.
    if (!reactions.isEmpty()) {
        int to = 0;
        for (int from = 0; from < kept.size(); ++from) {
            if (!isReaction[from])
                std::swap(kept[to++], kept[from]);
        }
        kept.erase(kept.begin() + to, kept.end());
    }

    // Only the messages that are answered are looked up by guid.
    QSet<QString> answered;
    for (const Pending& pending : reactions)
        answered.insert(pending.target);
    for (const MessageView& message : kept) {
        if (!message.details.replyToGuid.isEmpty())
            answered.insert(message.details.replyToGuid);
    }
    if (answered.isEmpty())
        return;
    QHash<QString, int> byGuid;
    for (int i = 0; i < kept.size(); ++i) {
        const QString& guid = kept[i].details.guid;
        if (!guid.isEmpty() && answered.contains(guid))
            byGuid.insert(guid, i);
    }
    for (MessageView& message : kept) {
        const int target = message.details.replyToGuid.isEmpty() ? -1 : byGuid.value(message.details.replyToGuid, -1);
        if (target >= 0) {
            message.details.replyToId = kept[target].id;
            message.details.replyQuote = quoteOf(kept[target]);
        }
    }
    // In date order: one reaction per person and part, a later one replaces
    // it, and a removal takes back the one of its kind. A message holds at
    // most one reaction per person and part, found by hash rather than by a
    // scan of its list: a message may gather a great many.
    struct Placed
    {
        int target;
        ReactionView reaction;
        bool live;
    };
    std::vector<Placed> placed; // in the order the lists end up in
    QHash<QPair<QPair<int, int>, QString>, size_t> current; // (message, part), person -> its live entry
    for (const Pending& pending : reactions) {
        const int target = byGuid.value(pending.target, -1);
        if (target < 0)
            continue; // its message is not in this conversation
        const auto key = qMakePair(qMakePair(target, pending.reaction.part), pending.reaction.senderName);
        const auto found = current.find(key);
        if (found != current.end()) {
            Placed& old = placed[found.value()];
            if (!pending.removed || old.reaction.kind == pending.reaction.kind) {
                old.live = false;
                current.erase(found);
            }
        }
        if (!pending.removed) {
            current.insert(key, placed.size());
            placed.push_back(Placed{target, pending.reaction, true});
        }
    }
    for (Placed& entry : placed) {
        if (entry.live)
            kept[entry.target].details.reactions.append(std::move(entry.reaction));
    }
}

int ConversationBuilder::messageCount(const MsgSession& session) const
{
    std::vector<qint64> ids;
    ids.reserve(static_cast<size_t>(session.messages.size()));
    for (const MsgContent* content : session.messages) {
        if (content && !(details && details->isReaction(content->id))
            && (!selection || selection->contains(IosDate::storedSeconds(content->date))))
            ids.push_back(content->id);
    }
    for (const MsgDeletedMessage* gone : deletedOf(session)) {
        if (!details->isReaction(gone->rowid) && (!selection || selection->contains(gone->date)))
            ids.push_back(gone->rowid);
    }
    std::sort(ids.begin(), ids.end());
    return static_cast<int>(std::unique(ids.begin(), ids.end()) - ids.begin());
}
