#include "Ios6Attachment.h"

#include <sqlite3.h>

#include <memory>

Ios6Attachment::Ios6Attachment()
{
    // Ordered by attachment rowid: the order in which the message's text
    // places them.
    selectSqls.append(QStringLiteral(
        "select m.rowid, a.rowid, a.filename, a.mime_type from attachment as a "
        "inner join message_attachment_join as maj on a.rowid = maj.attachment_id "
        "inner join message as m on m.rowid = maj.message_id order by a.rowid"));
    countSqls.append(QStringLiteral(
        "select count(*) from attachment as a "
        "inner join message_attachment_join as maj on a.rowid = maj.attachment_id "
        "inner join message as m on m.rowid = maj.message_id"));
}

Ios6Attachment::~Ios6Attachment()
{
    for (const QList<AttachmentInfo*>& records : qAsConst(attachments))
        qDeleteAll(records);
    attachments = QMap<qint64, QList<AttachmentInfo*>>();
}

bool Ios6Attachment::handleRow(sqlite3_stmt* stmt)
{
    const qint64 messageRowid = sqlite3_column_int64(stmt, 0);
    auto record = std::make_unique<AttachmentInfo>();
    record->filename = columnText(stmt, 2);
    record->mimeType = *mimeTypes.insert(columnText(stmt, 3));
    attachments[messageRowid].append(record.get());
    record.release();
    return true;
}

const QList<AttachmentInfo*>& Ios6Attachment::getAttachments(qint64 messageRowid) const
{
    const auto it = attachments.constFind(messageRowid);
    return it != attachments.cend() ? it.value() : emptyList;
}
