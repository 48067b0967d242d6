#include "Ios6Handle.h"

#include "MsgIdentifier.h"

#include <sqlite3.h>

#include <memory>

Ios6Handle::Ios6Handle(QMap<qint64, QMap<qint64, MsgIdentifier*>>* handleTable)
    : handleTable(handleTable)
{
    selectSqls.append(QStringLiteral(
        "select chat.rowid, h.rowid, h.id, h.country, h.uncanonicalized_id from handle as h "
        "inner join chat_handle_join as chj on h.rowid = chj.handle_id "
        "inner join chat on chat.rowid = chj.chat_id"));
    countSqls.append(QStringLiteral(
        "select count(*) from handle as h "
        "inner join chat_handle_join as chj on h.rowid = chj.handle_id "
        "inner join chat on chat.rowid = chj.chat_id"));
}

Ios6Handle::~Ios6Handle() = default;

bool Ios6Handle::handleRow(sqlite3_stmt* stmt)
{
    const qint64 chatRowid = sqlite3_column_int64(stmt, 0);
    const qint64 handleRowid = sqlite3_column_int64(stmt, 1);

    auto identifier = std::make_unique<MsgIdentifier>();
    identifier->id = handleRowid;
    identifier->address = columnText(stmt, 2);
    identifier->country = columnText(stmt, 3);
    identifier->uncanonicalizedId = columnText(stmt, 4);

    // A repeated (chat, handle) pair replaces the identifier of the earlier row.
    MsgIdentifier*& slot = (*handleTable)[chatRowid][handleRowid];
    delete slot;
    slot = identifier.release();
    return true;
}
