#include "MsgContent.h"

#include "MsgPiece.h"
#include "OwnedCopies.h"

MsgContent::MsgContent()
    : id(0)
    , handleId(0)
    , isNonSms(0)
    , isFromMe(0)
    , isRead(0)
    , isSent(0)
    , error(0)
    , itemType(0)
    , shareStatus(0)
    , shareDirection(0)
    , otherHandle(0)
    , extraFlag(true)
{
}

MsgContent::MsgContent(const MsgContent& other)
    : id(other.id)
    , handleId(other.handleId)
    , date(other.date)
    , dateRead(other.dateRead)
    , subject(other.subject)
    , attributedText(other.attributedText)
    , isNonSms(other.isNonSms)
    , isFromMe(other.isFromMe)
    , isRead(other.isRead)
    , isSent(other.isSent)
    , error(other.error)
    , itemType(other.itemType)
    , shareStatus(other.shareStatus)
    , shareDirection(other.shareDirection)
    , otherHandle(other.otherHandle)
    , pieces(deepCopy(other.pieces))
    , extraFlag(other.extraFlag)
{
}

MsgContent::~MsgContent()
{
    for (int i = 0; i < pieces.size(); ++i)
        delete pieces.at(i);
    pieces.clear();
}

MsgContent& MsgContent::operator=(const MsgContent& other)
{
    if (this == &other)
        return *this;
    // Copy first: if that throws, this object is left as it was.
    QList<MsgPiece*> copiedPieces = deepCopy(other.pieces);
    id = other.id;
    handleId = other.handleId;
    date = other.date;
    dateRead = other.dateRead;
    subject = other.subject;
    attributedText = other.attributedText;
    isNonSms = other.isNonSms;
    isFromMe = other.isFromMe;
    isRead = other.isRead;
    isSent = other.isSent;
    error = other.error;
    itemType = other.itemType;
    shareStatus = other.shareStatus;
    shareDirection = other.shareDirection;
    otherHandle = other.otherHandle;
    qDeleteAll(pieces);
    pieces = copiedPieces;
    extraFlag = other.extraFlag;
    return *this;
}
