// The view model: real dates, the words of a message, names and order.
#include "BackupBoundary.h"
#include "ConversationBuilder.h"
#include "IosDate.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// A message as the library builds it: the database's seconds with no epoch
// shift, a piece per text (empty for none) or attachment path.
MsgContent* message(qint64 id, qint64 storedSeconds, qint64 handleId, const QStringList& pieces = {}, const QString& archived = {})
{
    auto* content = new MsgContent;
    content->id = id;
    content->handleId = handleId;
    content->isFromMe = handleId < 0;
    content->date = QDateTime::fromSecsSinceEpoch(storedSeconds);
    content->attributedText = archived;
    for (const QString& piece : pieces) {
        content->pieces << new MsgPiece;
        if (piece.startsWith(QLatin1Char('/')))
            content->pieces.last()->filePath = piece;
        else
            content->pieces.last()->data = piece.toUtf8();
    }
    return content;
}

MsgIdentifier* handle(qint64 id, const char* address, const char* contactName = "")
{
    auto* identifier = new MsgIdentifier;
    identifier->id = id;
    identifier->address = QString::fromUtf8(address);
    identifier->contactName = QString::fromUtf8(contactName);
    return identifier;
}

ConversationView build(const MsgSession& session)
{
    QTemporaryDir backup;
    return ConversationBuilder(BackupBoundary(backup.path())).build(session, 0);
}

} // namespace

TEST(ConversationBuilder, OneThreadOldestFirstWithWordsFromTheArchivedBodyOnlyWhenThereAreNoOthers)
{
    // Two chat rows, each newest first; message 5 is joined to both.
    MsgSession session;
    session.participants.insert(2, handle(2, "+14155550177", "Daniel Okafor"));
    session.participants.insert(3, handle(3, "+14155550177", "Daniel Okafor")); // SMS and iMessage of one number
    session.participants.insert(7, handle(7, "+14155550199"));
    const QString placeholder(QChar(0xFFFC));
    session.messages << message(6, 600, 0) << message(5, 500, -1, {QStringLiteral("plain words")}, QStringLiteral("archived"))
                     << message(2, 200, 7, {QString()}, QStringLiteral("¿Vienes?")) << message(5, 500, -1)
                     << message(3, 300, 3, {QStringLiteral("/b.jpg")}, placeholder + QStringLiteral(" caption "))
                     << message(1, 100, 2, {QStringLiteral("/a.jpg")}, placeholder)
                     << message(4, 300, 3, {QStringLiteral("one"), QString(), QStringLiteral("two")});
    const ConversationView view = build(session);
    EXPECT_EQ(view.title, QStringLiteral("Daniel Okafor, +14155550199"));
    EXPECT_EQ(view.participantLabels, QStringList({QStringLiteral("Daniel Okafor <+14155550177>"), QStringLiteral("+14155550199")}));
    QStringList lines;
    for (const MessageView& m : view.messages)
        lines << QStringLiteral("%1 %2: %3%4").arg(m.id).arg(m.senderName, m.text, m.textFromArchivedBody ? QStringLiteral(" (archived)") : QString());
    EXPECT_EQ(lines, (QStringList{QStringLiteral("1 Daniel Okafor: "), QStringLiteral("2 +14155550199: ¿Vienes? (archived)"),
                                  QStringLiteral("3 Daniel Okafor: caption (archived)"), QStringLiteral("4 Daniel Okafor: one\ntwo"),
                                  QStringLiteral("5 Me: plain words"),
                                  QStringLiteral("6 Unknown sender: ")}));
    EXPECT_EQ(view.messages[3].pieces.size(), 3) << "an empty text piece is still a piece";
    EXPECT_EQ(IosDate::isoUtc(view.newestDate), QStringLiteral("2001-01-01T00:10:00Z"));

    MsgSession named;
    named.name = QStringLiteral("Hiking crew");
    named.participants.insert(1, handle(1, "+14155550132", "Maya Chen"));
    named.messages << message(1, 100, 0);
    const ConversationView group = build(named);
    EXPECT_EQ(group.title, QStringLiteral("Hiking crew"));
    EXPECT_EQ(group.messages[0].senderName, QStringLiteral("Maya Chen")) << "handle 0 with one participant is theirs";
}
