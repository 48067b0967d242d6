#pragma once

#include "MsgServiceExport.h"

#include <QDateTime>
#include <QList>
#include <QString>

class MsgPiece;

// One message of a conversation. Owns its pieces.
// The member layout is shared with hosts: never add, remove or reorder.
//
// Copies are deep: a copy owns copies of the source's pieces, so every piece
// is deleted exactly once whichever object goes first.
class MSGSERVICE_EXPORT MsgContent
{
public:
    MsgContent();
    MsgContent(const MsgContent& other);
    ~MsgContent();
    MsgContent& operator=(const MsgContent& other);

    qint64 id;               // message.rowid
    qint64 handleId;         // message.handle_id
    QDateTime date;          // message.date, in the database's own seconds (no epoch shift)
    QDateTime dateRead;      // message.date_read, likewise
    QString subject;         // message.subject
    QString attributedText;  // decoded from message.attributedBody
    int isNonSms;            // 0 for the "SMS" service, 1 otherwise
    int isFromMe;
    int isRead;
    int isSent;
    int error;
    int itemType;            // 0 where the schema lacks the column
    int shareStatus;         // likewise
    int shareDirection;      // likewise
    int otherHandle;         // likewise
    QList<MsgPiece*> pieces; // owned, in reading order
    bool extraFlag;          // for the host; true on construction
};
