#pragma once

#include "MsgServiceExport.h"

#include <QByteArray>
#include <QString>

// One piece of a message: a run of text, or one attachment file.
// The member layout is shared with hosts: never add, remove or reorder.
class MSGSERVICE_EXPORT MsgPiece
{
public:
    MsgPiece();
    MsgPiece(const MsgPiece& other);
    ~MsgPiece();
    MsgPiece& operator=(const MsgPiece& other);

    QString mimeType;    // "text/plain", or the attachment's MIME type
    QByteArray data;     // a text piece's UTF-8 text; empty for attachments
    QString previewPath; // absolute path of the preview image (or of the file itself)
    QString filePath;    // absolute path of the attachment file
};
