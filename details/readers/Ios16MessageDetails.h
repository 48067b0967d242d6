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
    // keep a full MsgDetail in rich. A guid of the usual form (36 characters,
    // upper-case hex in groups of 8-4-4-4-12) is kept as its 16 bytes (flag
    // Uuid), any other in one buffer: a million separate strings would cost
    // more than the rest of the pass.
    struct Entry
    {
        qint64 rowid;
        qint64 dateDelivered;
        union {
            quint8 uuid[16];
            struct
            {
                quint32 offset; // into Table::guids
                quint32 length;
            } text;
        } guid;
        qint32 rich; // index into rich, or -1
        quint8 flags;
    };
    enum Flag : quint8 { Delivered = 1, Audio = 2, Played = 4, Downgraded = 8, Uuid = 16, Rcs = 32, Satellite = 64, Junk = 128 };
    struct Table
    {
        std::vector<Entry> entries; // ascending rowid
        QByteArray guids;
        std::vector<MsgDetail> rich;
    };

    // columns: the names the message table has (lower case).
    Ios16MessageDetails(const QStringList& columns, Table* table);

    bool handleRow(sqlite3_stmt* stmt) override;
    void rowsCounted(int count) override;
    // The rows the count statement found; 0 until it ran (it does not run,
    // or is not reported, when it fails or finds none).
    int rowsExpected() const { return expected; }
    // A host may read the details while the service loads the same file.
    bool memoryMapped() const override { return false; }

    // The guid of e as bytes: written into buffer (36 bytes) when it is kept
    // as 16, else in table's buffer. Its length goes to *length.
    static const char* guidOf(const Entry& e, const Table& table, char* buffer, int* length);

    // "Slam", "Confetti", ...; the id itself when unknown.
    static QString effectName(const QString& id);

private:
    Table* table;
    int expected = 0;
};
