// Reader of the typedstream archive iOS keeps a message body in
// (message.attributedBody): a general decoder of the stream (classes,
// objects, back references, strings, numbers, dictionaries, arrays) and, on
// top of it, the attributed string's text and attribute runs.
#pragma once

#include "MsgDetail.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ArchivedBody
{
public:
    QString text;
    QList<MsgTextRun> runs; // in text order, each at least one unit long
    QString transcription;  // of an audio message, when the body holds one

    // False, with a cleared body, for bytes that are no attributed string or
    // exceed the reader's bounds.
    static bool parse(const QByteArray& blob, ArchivedBody* body);

    // Whether blob may carry a styled run or a transcription: a cheap look
    // for the attribute names, so that plain bodies are not decoded.
    static bool mayBeStyled(const char* blob, int size);

    // "big", "small", ...; empty for an unknown value.
    static QString effectName(qint64 value);
};
