// Decoder of message.payload_data of an iMessage app's balloon: a keyed
// archive whose root dictionary names the app ("an"), may hold the text iOS
// shows for its own apps ("ldtext"), and keeps the template layout the app
// filled in under "userInfo" (caption, subcaption, image title and
// subtitle, trailing caption and subcaption).
#pragma once

#include <QByteArray>
#include <QString>

class AppPayload
{
public:
    QString appName;
    QString summary; // ldtext
    QString caption;
    QString subcaption;
    QString imageTitle;
    QString imageSubtitle;
    QString trailingCaption;
    QString trailingSubcaption;

    // False when the bytes are no keyed archive; true, with empty fields,
    // for an archive that holds none of them.
    static bool parse(const QByteArray& blob, AppPayload* payload);
};
