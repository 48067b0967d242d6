// Reader of the "attachment" table joined to "message" through
// "message_attachment_join": the attachment records of every message.
#pragma once

#include "AttachmentInfo.h"
#include "query/CISQLiteQuery.h"

#include <QList>
#include <QMap>
#include <QSet>

class Ios6Attachment : public CISQLiteQuery
{
public:
    Ios6Attachment();
    // Deletes every record; references from getAttachments die with it.
    ~Ios6Attachment() override;

    bool handleRow(sqlite3_stmt* stmt) override;

    // The records of a message in ascending attachment rowid, or an empty list.
    // The records stay owned by the reader.
    const QList<AttachmentInfo*>& getAttachments(qint64 messageRowid) const;

private:
    QList<AttachmentInfo*> emptyList;
    QMap<qint64, QList<AttachmentInfo*>> attachments; // by message rowid; owned
    // One string per distinct MIME type, shared by the records and the
    // pieces made from them: a few types serve every attachment.
    QSet<QString> mimeTypes;
};
