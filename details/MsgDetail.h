// What one message says beyond the fixed model: reactions, replies, edits,
// unsent parts, effects, link previews, group events, audio and delivery.
// Plain data; every field keeps its default where the database has nothing
// (older schemas lack most of the columns).
#pragma once

#include <QList>
#include <QString>

// One earlier or current text of an edited part, oldest first.
struct MsgEdit
{
    int part = 0;
    qint64 date = 0; // seconds since 2001-01-01 UTC
    QString text;
};

// One run of the archived body's attributes, over [start, start + length)
// of its text in UTF-16 units.
struct MsgTextRun
{
    int start = 0;
    int length = 0;
    int part = -1; // the message part, -1 when not given
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikethrough = false;
    QString effect;         // "big", "small", "shake", "nod", "explode", "ripple", "bloom", "jitter"
    QString mention;        // the address a confirmed mention names
    QString link;           // the URL the run links to
    QString attachmentGuid; // the file transfer the run stands for

    bool isStyled() const
    {
        return bold || italic || underline || strikethrough || !effect.isEmpty() || !mention.isEmpty()
               || !link.isEmpty();
    }
};

struct MsgDetail
{
    enum class Reaction { None, Loved, Liked, Disliked, Laughed, Emphasized, Questioned, Emoji, Sticker };
    enum class GroupEvent { None, Added, Removed, Left, Renamed, PhotoChanged, PhotoRemoved };

    qint64 rowid = 0;
    QString guid;

    // A reaction: the message (guid) and part it answers, its kind, and
    // whether it takes an earlier reaction of that kind back.
    Reaction reaction = Reaction::None;
    bool reactionRemoved = false;
    QString reactionTargetGuid;
    int reactionTargetPart = 0;
    QString reactionEmoji;

    // A reply: the message it answers and that message's part; -1 for none.
    QString replyTargetGuid;
    int replyTargetPart = -1;

    // Dates in seconds since 2001-01-01 UTC; 0 when never edited or unsent.
    qint64 dateEdited = 0;
    qint64 dateRetracted = 0;
    QList<MsgEdit> editHistory; // ascending part, oldest first within a part
    QList<int> unsentParts;

    QString effectId;   // bubble or screen effect as stored
    QString effectName; // "Slam", "Confetti", ...; the id when unknown
    QString balloonBundleId;

    QString linkTitle;
    QString linkSummary;
    QString linkUrl;
    QString linkKind; // "place", "App Store", "Apple Music", "collaboration"; empty for a page

    // An iMessage app's balloon (any balloonBundleId but a link's): what its
    // payload names. All empty for a kind whose payload holds none of it.
    QString appName;
    QString appSummary; // the text iOS shows for its own apps
    QString appCaption;
    QString appSubcaption;
    QString appImageTitle;
    QString appImageSubtitle;
    QString appTrailingCaption;
    QString appTrailingSubcaption;

    // A group event: who did it (actorHandle, or the device's owner) and to
    // whom (targetHandle, for added and removed), or the new title.
    GroupEvent groupEvent = GroupEvent::None;
    qint64 actorHandle = 0;
    bool actorIsMe = false;
    qint64 targetHandle = 0;
    QString groupTitle;

    bool isAudio = false;
    bool isPlayed = false;
    bool isDelivered = false;
    qint64 dateDelivered = 0; // seconds since 2001-01-01 UTC
    bool wasDowngraded = false;

    // The archived body's text and runs, read only when a run is styled,
    // mentions someone or links (see MsgTextRun::isStyled); else empty.
    QString bodyText;
    QList<MsgTextRun> textRuns;

    // The service when it is neither iMessage nor SMS: RCS (iOS 18) or a
    // message sent by satellite (stored as "iMessageLite").
    enum class Service { Usual, Rcs, Satellite };
    Service service = Service::Usual;
    // iOS sorted it as junk.
    bool isJunk = false;
    // Send Later (iOS 18): the time it was scheduled for and whether it has
    // gone out; 0 when the message was not scheduled.
    qint64 dateScheduled = 0; // seconds since 2001-01-01 UTC
    bool scheduledSent = false;
    // The transcription iOS wrote of an audio message.
    QString audioTranscription;

    bool isReaction() const { return reaction != Reaction::None; }
};

// A conversation iOS filtered: messages from unknown senders, or junk. It is
// the conversation that holds anchor, as for deleted messages.
struct MsgFilteredChat
{
    qint64 anchor = 0;
    int filter = 0; // chat.is_filtered as stored: 1 unknown sender, 2 junk
};

// A message in Recently Deleted: iOS moves its row from chat_message_join to
// chat_recoverable_message_join for 30 days, so the fixed model never sees
// it. It is placed in the conversation that holds anchor.
struct MsgDeletedMessage
{
    qint64 rowid = 0;
    // A message of the same conversation that is not deleted; 0 when the
    // conversation has none left.
    qint64 anchor = 0;
    qint64 dateDeleted = 0; // seconds since 2001-01-01 UTC
    qint64 date = 0;        // likewise
    qint64 handleId = 0;
    bool isFromMe = false;
    QString service; // "iMessage", "SMS", "RCS", ...
    QString text;    // the text column, else the archived body's words
};
