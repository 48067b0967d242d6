// Reader of the "message" table joined to "chat" through "chat_message_join":
// one message object per (message, chat) pair, newest first.
#pragma once

#include "query/CISQLiteQuery.h"

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>

#include <vector>

class MsgContent;

class Ios6Message : public CISQLiteQuery
{
public:
    // Messages made here pass to the owner of messageTable (chat rowid to
    // that chat's messages, in read order).
    explicit Ios6Message(QMap<qint64, QList<MsgContent*>>* messageTable);
    ~Ios6Message() override;

    bool handleRow(sqlite3_stmt* stmt) override;
    void rowsCounted(int count) override;

    // message.text of a message rowid (of the last row read for it); an
    // empty text for an unknown rowid. Call once the run is over.
    QString& getText(qint64 messageRowid);
    // Frees the text index once every text has been looked up.
    void releaseTexts();

    // A database date in the form the model carries: seconds, unshifted.
    static QDateTime toDateTime(qint64 value);

private:
    struct TextEntry
    {
        qint64 rowid;
        QString text;
    };
    void sortTexts();

    QString emptyText;
    // The text index: rowid and text in read order during the run, then
    // sorted by rowid on the first lookup. Rows come in date order, and a
    // million inserts into an ordered map cost a cache miss per level where
    // one sort of a flat array does not.
    std::vector<TextEntry> messageTexts;
    bool textsSorted = true;
    QMap<qint64, QList<MsgContent*>>* messageTable;
};
