#include "ModelDump.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <cstring>

namespace {

// A QDateTime's own bytes when it keeps its state inline (the low bit is
// set), so that two equal dates built differently still tell apart; its
// value and offset otherwise.
QByteArray dateState(const QDateTime& date)
{
    quintptr raw = 0;
    static_assert(sizeof(QDateTime) == sizeof(raw), "QDateTime is one pointer wide");
    std::memcpy(&raw, static_cast<const void*>(&date), sizeof(raw));
    if (raw & 1)
        return "inline:" + QByteArray::number(static_cast<qulonglong>(raw), 16);
    return "shared:" + QByteArray::number(date.toMSecsSinceEpoch()) + '/' + QByteArray::number(date.offsetFromUtc()) + '/'
        + QByteArray::number(static_cast<int>(date.timeSpec())) + '/' + QByteArray::number(date.isValid() ? 1 : 0);
}

// Null and empty are told apart: a host can see the difference.
QByteArray quoted(const QString& text)
{
    return text.isNull() ? QByteArray("null") : '"' + text.toUtf8().toPercentEncoding(" /:.@+-_~()") + '"';
}

} // namespace

QByteArray dumpModel(const MsgService& service)
{
    QByteArray out;
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        const MsgSession* session = service.msgSession(i);
        out += "session " + QByteArray::number(i) + " name=" + quoted(session->name) + " unread="
            + QByteArray::number(session->unreadCount) + '\n';
        for (auto it = session->participants.cbegin(); it != session->participants.cend(); ++it) {
            const MsgIdentifier* p = it.value();
            out += " participant " + QByteArray::number(it.key()) + " id=" + QByteArray::number(p->id) + " address="
                + quoted(p->address) + " country=" + quoted(p->country) + " uncanonicalized=" + quoted(p->uncanonicalizedId)
                + " contact=" + quoted(p->contactName) + '\n';
        }
        for (const MsgContent* m : session->messages) {
            out += " message id=" + QByteArray::number(m->id) + " handle=" + QByteArray::number(m->handleId) + " date="
                + dateState(m->date) + " read=" + dateState(m->dateRead) + " subject=" + quoted(m->subject) + " body="
                + quoted(m->attributedText) + " flags=" + QByteArray::number(m->isNonSms) + ','
                + QByteArray::number(m->isFromMe) + ',' + QByteArray::number(m->isRead) + ','
                + QByteArray::number(m->isSent) + ',' + QByteArray::number(m->error) + ','
                + QByteArray::number(m->itemType) + ',' + QByteArray::number(m->shareStatus) + ','
                + QByteArray::number(m->shareDirection) + ',' + QByteArray::number(m->otherHandle) + ','
                + QByteArray::number(m->extraFlag ? 1 : 0) + '\n';
            for (const MsgPiece* piece : m->pieces) {
                out += "  piece mime=" + quoted(piece->mimeType) + " data=" + (piece->data.isNull() ? QByteArray("null") : piece->data.toHex()) + " preview="
                    + quoted(piece->previewPath) + " file=" + quoted(piece->filePath) + '\n';
            }
        }
    }
    return out;
}
