// Decoder of message.payload_data of a link balloon: a keyed archive whose
// rich link metadata holds the page's title, summary and URL.
#pragma once

#include <QByteArray>
#include <QString>

class LinkPayload
{
public:
    // False when the bytes are no keyed archive; true, with empty fields,
    // for an archive without link metadata.
    static bool parse(const QByteArray& blob, QString* title, QString* summary, QString* url);
    // The same, and what the link shows when its metadata is specialized:
    // "place", "App Store", "Apple Music" or "collaboration"; else empty.
    static bool parse(const QByteArray& blob, QString* title, QString* summary, QString* url, QString* kind);
};
