// Reader of the "message" table for what the fixed model leaves out:
// reactions, replies, edits and unsent parts (iOS 16), effects, link
// previews, group events, audio and delivery. One pass in rowid order; the
// columns a schema lacks are read as NULL.
#pragma once

#include "MsgDetail.h"
#include "query/CISQLiteQuery.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

class Ios16MessageDetails : public CISQLiteQuery
{
public:
    // Every message is an entry; the few with more than a guid and flags
    // keep a full MsgDetail in rich. Guids live in one buffer: a million
    // separate strings would cost more than the rest of the pass.
    struct Entry
    {
        qint64 rowid;
        qint64 dateDelivered;
        quint32 guidOffset;
        quint32 guidLength;
        qint32 rich; // index into rich, or -1
        quint8 flags;
    };
    enum Flag : quint8 { Delivered = 1, Audio = 2, Played = 4, Downgraded = 8 };
    struct Table
    {
        std::vector<Entry> entries; // ascending rowid
        QByteArray guids;
        std::vector<MsgDetail> rich;
    };

    // columns: the names the message table has (lower case).
    Ios16MessageDetails(const QStringList& columns, Table* table);

    bool handleRow(sqlite3_stmt* stmt) override;

    // "Slam", "Confetti", ...; the id itself when unknown.
    static QString effectName(const QString& id);

private:
    Table* table;
};
