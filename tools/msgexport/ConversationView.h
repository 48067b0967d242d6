// What the writers show: the library's conversations turned into what a
// reader expects (real dates, names, the words of each message, attachment
// files checked against the backup folder). Plain data, filled by
// ConversationBuilder and AttachmentLinker.
#pragma once

#include "BackupBoundary.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

struct ParticipantView
{
    qint64 id = 0;
    QString address;
    QString country;
    QString uncanonicalizedId;
    QString contactName;
    QString displayName; // the contact name, else the address
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
    QList<PieceView> pieces; // as the library cut the message

    QString text;                      // the words to show
    bool textFromArchivedBody = false; // text came from attributedText
    QString senderName;                // "Me" for sent messages

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
    QList<MessageView> messages;         // oldest first
    QDateTime newestDate;
};

struct ExportDocument
{
    QString generator;    // "msgexport 1.0.0"
    QString backupFolder; // with links resolved
    QList<ConversationView> conversations;

    int messageCount() const
    {
        int count = 0;
        for (const ConversationView& conversation : conversations)
            count += conversation.messages.size();
        return count;
    }
};
