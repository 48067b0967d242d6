#pragma once

#include "MsgServiceExport.h"

#include <QString>

// One participant address of a conversation (a row of the handle table).
// The member layout is shared with hosts: never add, remove or reorder.
class MSGSERVICE_EXPORT MsgIdentifier
{
public:
    MsgIdentifier();
    MsgIdentifier(const MsgIdentifier& other);
    ~MsgIdentifier();
    MsgIdentifier& operator=(const MsgIdentifier& other);

    qint64 id;                 // handle.rowid
    QString address;           // handle.id, as stored
    QString country;           // handle.country
    QString uncanonicalizedId; // handle.uncanonicalized_id
    QString contactName;       // from the address book; empty when unknown
};
