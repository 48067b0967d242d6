#pragma once

#include "MsgDetail.h"
#include "MsgDetailsExport.h"

#include <QList>
#include <QString>

class MsgService;

// Optional reader of what the fixed model cannot carry (MsgDetail), per
// message rowid. Create it for a backup folder, or for a service (its
// device's backup folder), call load() once and then ask per rowid. It reads
// the message database on its own and changes nothing in a MsgService.
class MSGDETAILS_EXPORT MsgDetails
{
public:
    // folder: laid out as the device's Library folder, as for loadBackup.
    explicit MsgDetails(const QString& folder);
    explicit MsgDetails(MsgService& service);
    ~MsgDetails();

    MsgDetails(const MsgDetails&) = delete;
    MsgDetails& operator=(const MsgDetails&) = delete;

    // One pass over the message table. False when the table could not be
    // read, or not to its end: a database that does not open, has no
    // message table or fails halfway. An empty table loads (true, count 0).
    bool load();

    // Messages read.
    int count() const;
    // False ("none") for a rowid that was not read; else *detail is filled.
    bool find(qint64 rowid, MsgDetail* detail) const;
    // Whether the message of rowid is a reaction to another one: find's
    // answer to isReaction(), without copying the record.
    bool isReaction(qint64 rowid) const;
    // The rowid of a message guid; 0 when unknown.
    qint64 rowidOf(const QString& guid) const;
    // The messages in Recently Deleted, ascending rowid; empty on schemas
    // without it. find() answers for them as for any other message.
    QList<MsgDeletedMessage> deletedMessages() const;
    // The conversations iOS filtered; empty on schemas that do not filter.
    QList<MsgFilteredChat> filteredChats() const;

private:
    class Impl;
    Impl* d;
};
