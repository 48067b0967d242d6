// What the writers show: the library's conversations turned into what a
// reader expects (real dates, names, the words of each message, attachment
// files checked against the backup folder). Plain data, filled by
// ConversationBuilder and AttachmentLinker.
#pragma once

#include "BackupBoundary.h"
#include "MsgDetail.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

struct ParticipantView
{
    qint64 id = 0;
    QString address;
    QString country;
    QString uncanonicalizedId;
    QString contactName;
    QString displayName; // the contact name, else the address
};

// A browser-readable form of an attachment, made by msgexport's conversion.
struct ConvertedMediaView
{
    enum class Kind { None, Image, Audio, Video };
    Kind kind = Kind::None;
    QString path;      // relative to the output folder; empty when the original is shown as it is
    QString mimeType;  // of path
    QString thumbnail; // a picture's thumbnail or a video's poster, relative to the output folder
    int width = 0;
    int height = 0;
    qint64 durationMs = 0;
    QString note; // why the file could not be converted; shown in place of the picture

    bool isEmpty() const { return kind == Kind::None; }
};

struct AttachmentView
{
    QString mimeType;
    QString fileName;
    QString filePath;    // as the library resolved it
    QString previewPath; // equals filePath when there is no preview
    BackupBoundary::FileState fileState = BackupBoundary::FileState::Missing;
    BackupBoundary::FileState previewState = BackupBoundary::FileState::Missing;
    // Paths of the copies, relative to the output folder; empty when the
    // file was not copied.
    QString copiedFile;
    QString copiedPreview;
    // Why the file or its preview was not copied, when it was to be.
    QString copyNote;
    ConvertedMediaView converted;

    bool isImage() const { return mimeType.startsWith(QLatin1String("image/")); }
    bool hasOwnPreview() const { return !previewPath.isEmpty() && previewPath != filePath; }
};

struct PieceView
{
    enum class Kind { Text, Attachment };
    Kind kind = Kind::Text;
    QString mimeType;
    QString text; // a text piece's words
    AttachmentView attachment;
};

// A reaction shown under the message it answers.
struct ReactionView
{
    QString kind;  // "loved", "liked", ..., "emoji", "sticker"
    QString emoji; // of an emoji reaction
    QString senderName;
    int part = 0;
    qint64 dateSeconds = 0;

    // What a chat app shows for it.
    QString symbol() const
    {
        static const char* const kinds[][2] = {{"loved", "\u2764\uFE0F"}, {"liked", "\U0001F44D"},
                                               {"disliked", "\U0001F44E"}, {"laughed", "\U0001F602"},
                                               {"emphasized", "\u203C\uFE0F"}, {"questioned", "\u2753"},
                                               {"sticker", "\U0001F5BC\uFE0F"}};
        for (const auto& k : kinds) {
            if (kind == QLatin1String(k[0]))
                return QString::fromUtf8(k[1]);
        }
        return emoji.isEmpty() ? kind : emoji;
    }
};

// One version of an edited part, oldest first.
struct EditView
{
    int part = 0;
    qint64 dateSeconds = 0;
    QDateTime date;
    QString text;
};

struct LinkView
{
    QString kind; // "place", "App Store", "Apple Music", "collaboration"; empty for a page
    QString title;
    QString summary;
    QString url;
    QString host;
};

// An iMessage app's balloon: the app, by its kind or name, and what its
// template layout says.
struct AppView
{
    QString bundleId;
    QString kind; // "Handwriting", "Digital Touch", "Apple Cash", ...; empty when unknown
    QString name; // the app's own name, from its payload
    QString summary;
    QString caption;
    QString subcaption;
    QString imageTitle;
    QString imageSubtitle;
    QString trailingCaption;
    QString trailingSubcaption;

    // One line that is never empty: "GamePigeon: 8 Ball — Your move", or
    // the bundle id of a kind nobody knows.
    QString line() const
    {
        const QString who = !name.isEmpty() ? name : kind;
        QStringList parts;
        for (const QString* text : {&summary, &imageTitle, &imageSubtitle, &caption, &subcaption, &trailingCaption,
                                    &trailingSubcaption}) {
            if (!text->isEmpty() && *text != who && !parts.contains(*text))
                parts << *text;
        }
        const QString what = parts.join(QStringLiteral(" \u2014 "));
        if (who.isEmpty())
            return what.isEmpty() ? QStringLiteral("unknown app %1").arg(bundleId)
                                  : QStringLiteral("%1 (unknown app %2)").arg(what, bundleId);
        return what.isEmpty() ? who : QStringLiteral("%1: %2").arg(who, what);
    }
};

// What the optional details add to a message; all empty on older schemas.
struct MessageDetailsView
{
    QString guid;
    QList<ReactionView> reactions;
    qint64 replyToId = 0; // 0 when the answered message is not in the conversation
    QString replyToGuid;
    QString replyQuote;
    bool edited = false;
    QList<EditView> editHistory;
    bool unsent = false;
    QList<int> unsentParts;
    QString effect;
    QString effectId;
    QString balloonBundleId;
    LinkView link;
    AppView app; // empty bundleId unless an app's balloon
    QString groupEvent; // "added", "removed", "left", "renamed", "photoChanged", "photoRemoved"
    QString groupActor; // "You" for the device's owner
    QString groupTarget;
    QString groupTitle;
    QString groupEventText; // eventLine() as plain text
    bool audio = false;
    bool played = false;
    // In Recently Deleted since dateDeleted.
    bool deleted = false;
    qint64 dateDeletedSeconds = 0;
    QDateTime dateDeleted;
    // The archived body with its runs, when a run is styled (bold, an
    // effect, a mention, a link); offsets in UTF-16 units of bodyText.
    QString bodyText;
    QList<MsgTextRun> textRuns;
    QString service; // "RCS" or "Satellite"; empty for iMessage and SMS
    bool junk = false;
    // Send Later: when it was scheduled for and whether it went out.
    bool scheduled = false;
    qint64 dateScheduledSeconds = 0;
    QDateTime dateScheduled;
    bool scheduledSent = false;
    QString transcription; // of an audio message

    // The system line of a group event, "Maya Chen named the conversation
    // “Hiking crew”", with each name and the title passed through name().
    template <typename Wrap>
    QString eventLine(Wrap name) const
    {
        const QString actor = name(groupActor);
        if (groupEvent == QLatin1String("added"))
            return QStringLiteral("%1 added %2 to the conversation").arg(actor, name(groupTarget));
        if (groupEvent == QLatin1String("removed"))
            return QStringLiteral("%1 removed %2 from the conversation").arg(actor, name(groupTarget));
        if (groupEvent == QLatin1String("left"))
            return QStringLiteral("%1 left the conversation").arg(actor);
        if (groupEvent == QLatin1String("renamed"))
            return groupTitle.isEmpty()
                       ? QStringLiteral("%1 removed the conversation name").arg(actor)
                       : QStringLiteral("%1 named the conversation \u201C%2\u201D").arg(actor, name(groupTitle));
        if (groupEvent == QLatin1String("photoChanged"))
            return QStringLiteral("%1 changed the group photo").arg(actor);
        if (groupEvent == QLatin1String("photoRemoved"))
            return QStringLiteral("%1 removed the group photo").arg(actor);
        return QString();
    }

    bool isEmpty() const
    {
        return reactions.isEmpty() && replyToGuid.isEmpty() && !edited && !unsent && effectId.isEmpty()
               && balloonBundleId.isEmpty() && link.url.isEmpty() && groupEvent.isEmpty() && !audio && !deleted
               && textRuns.isEmpty() && service.isEmpty() && !junk && !scheduled && transcription.isEmpty();
    }
};

struct MessageView
{
    qint64 id = 0;
    qint64 handleId = 0;
    QDateTime date;      // real date, UTC; null when the database holds 0
    QDateTime dateRead;  // likewise
    qint64 dateSeconds = 0;     // as stored: seconds since 2001
    qint64 dateReadSeconds = 0; // likewise
    QString subject;
    QString attributedText;
    int isNonSms = 0;
    int isFromMe = 0;
    int isRead = 0;
    int isSent = 0;
    int error = 0;
    int itemType = 0;
    int shareStatus = 0;
    int shareDirection = 0;
    int otherHandle = 0;
    bool extraFlag = true;
    QVector<PieceView> pieces; // as the library cut the message

    QString text;                      // the words to show
    bool textFromArchivedBody = false; // text came from attributedText
    QString senderName;                // "Me" for sent messages
    MessageDetailsView details;        // empty unless details were read

    bool isUnread() const { return isFromMe == 0 && isRead == 0; }
};

struct ConversationView
{
    int index = 0; // position in the library's order, from 0
    QString name;  // the room name, often empty
    QString title;
    int unreadCount = 0;
    QList<ParticipantView> participants; // ascending handle id
    QStringList participantLabels;       // "Name <address>" or the address, each once
    QVector<MessageView> messages;       // oldest first
    QDateTime newestDate;
    QString filtered; // "unknown sender" or "junk" when iOS filtered the conversation
};
