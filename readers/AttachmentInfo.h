#pragma once

#include <QString>

// One attachment of a message, as the message database names it.
struct AttachmentInfo
{
    QString filename; // attachment.filename: the device's path of the file
    QString mimeType; // attachment.mime_type
};
