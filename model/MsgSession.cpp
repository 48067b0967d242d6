#include "MsgSession.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "OwnedCopies.h"

MsgSession::MsgSession()
    : unreadCount(0)
{
}

MsgSession::MsgSession(const MsgSession& other)
    : name(other.name)
    , unreadCount(other.unreadCount)
    , participants(deepCopy(other.participants))
{
    try {
        messages = deepCopy(other.messages);
    } catch (...) {
        qDeleteAll(participants);
        throw;
    }
}

MsgSession::~MsgSession()
{
    const QList<MsgIdentifier*> owned = participants.values();
    for (MsgIdentifier* participant : owned)
        delete participant;
    participants.clear();
    for (MsgContent* message : qAsConst(messages))
        delete message;
    messages.clear();
}

MsgSession& MsgSession::operator=(const MsgSession& other)
{
    if (this == &other)
        return *this;
    QMap<qint64, MsgIdentifier*> copiedParticipants = deepCopy(other.participants);
    QList<MsgContent*> copiedMessages;
    try {
        copiedMessages = deepCopy(other.messages);
    } catch (...) {
        qDeleteAll(copiedParticipants);
        throw;
    }
    name = other.name;
    unreadCount = other.unreadCount;
    qDeleteAll(participants);
    participants = copiedParticipants;
    qDeleteAll(messages);
    messages = copiedMessages;
    return *this;
}
