// Decoder of message.attributedBody: the text of an attributed string archived
// in the typedstream format ("streamtyped" header).
#pragma once

#include <QByteArray>
#include <QString>

// The archived string's text, NFC-normalized; empty when none is found.
// Never reads outside body and never trusts a length beyond what body holds.
QString textFromAttributedBody(QByteArray body);
