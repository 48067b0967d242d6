// The view model: real dates, the words of a message, names and order.
// Attachment files are judged by BackupBoundary (its own suite).
#include "BackupBoundary.h"
#include "ConversationBuilder.h"
#include "IosDate.h"

#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// As the library builds dates: the database's seconds with no epoch shift.
QDateTime libraryDate(qint64 storedSeconds)
{
    return QDateTime::fromSecsSinceEpoch(storedSeconds);
}

MsgIdentifier* handle(qint64 id, const QString& address, const QString& contactName = QString())
{
    auto* identifier = new MsgIdentifier;
    identifier->id = id;
    identifier->address = address;
    identifier->contactName = contactName;
    return identifier;
}

MsgPiece* textPiece(const QString& text)
{
    auto* piece = new MsgPiece;
    piece->mimeType = QStringLiteral("text/plain");
    piece->data = text.toUtf8();
    return piece;
}

MsgPiece* attachmentPiece(const QString& file, const QString& preview, const QString& mime = QStringLiteral("image/jpeg"))
{
    auto* piece = new MsgPiece;
    piece->mimeType = mime;
    piece->filePath = file;
    piece->previewPath = preview;
    return piece;
}

MsgContent* message(qint64 id, qint64 storedSeconds, qint64 handleId = 1, int fromMe = 0)
{
    auto* content = new MsgContent;
    content->id = id;
    content->handleId = handleId;
    content->date = libraryDate(storedSeconds);
    content->dateRead = libraryDate(0);
    content->isFromMe = fromMe;
    return content;
}

class ConversationBuilderTest : public ::testing::Test
{
protected:
    QTemporaryDir temp;
    QString backup = temp.path() + QStringLiteral("/backup");
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(backup)); }
    ConversationView build(const MsgSession& session)
    {
        const BackupBoundary boundary(backup);
        return ConversationBuilder(boundary).build(session, 0);
    }
};

TEST(IosDateTest, AddsTheOffsetOf2001AndTreatsZeroAsNever)
{
    EXPECT_EQ(IosDate::isoUtc(IosDate::realDate(libraryDate(737056931))), QStringLiteral("2024-05-10T18:02:11Z"));
    EXPECT_EQ(IosDate::storedSeconds(libraryDate(737056931)), 737056931);
    EXPECT_FALSE(IosDate::realDate(libraryDate(0)).isValid());
    EXPECT_FALSE(IosDate::realDate(QDateTime()).isValid());
    EXPECT_EQ(IosDate::isoUtc(IosDate::realDate(libraryDate(1))), QStringLiteral("2001-01-01T00:00:01Z"));
}

TEST_F(ConversationBuilderTest, WordsComeFromTheArchivedBodyOnlyWhenTheTextIsEmpty)
{
    MsgSession session;
    MsgContent* archivedOnly = message(1, 100);
    archivedOnly->pieces << textPiece(QString());
    archivedOnly->attributedText = QStringLiteral("¿Vienes el sábado?");
    MsgContent* both = message(2, 200);
    both->pieces << textPiece(QStringLiteral("plain words"));
    both->attributedText = QStringLiteral("archived words");
    // An attachment-only message: the archived body holds just its placeholder.
    MsgContent* placeholderOnly = message(3, 300);
    placeholderOnly->pieces << attachmentPiece(backup + QStringLiteral("/a.jpg"), backup + QStringLiteral("/a.jpg"));
    placeholderOnly->attributedText = QString(QChar(0xFFFC));
    MsgContent* caption = message(4, 400);
    caption->pieces << attachmentPiece(backup + QStringLiteral("/b.jpg"), backup + QStringLiteral("/b.jpg"));
    caption->attributedText = QString(QChar(0xFFFC)) + QStringLiteral(" caption ");
    session.messages << archivedOnly << both << placeholderOnly << caption;

    const ConversationView view = build(session);
    ASSERT_EQ(view.messages.size(), 4);
    EXPECT_EQ(view.messages[0].text, QStringLiteral("¿Vienes el sábado?"));
    EXPECT_TRUE(view.messages[0].textFromArchivedBody);
    EXPECT_EQ(view.messages[1].text, QStringLiteral("plain words"));
    EXPECT_FALSE(view.messages[1].textFromArchivedBody);
    EXPECT_TRUE(view.messages[2].text.isEmpty());
    EXPECT_FALSE(view.messages[2].textFromArchivedBody);
    EXPECT_EQ(view.messages[3].text, QStringLiteral("caption"));
}

TEST_F(ConversationBuilderTest, TitleAndSendersUseContactNamesElseAddresses)
{
    MsgSession unnamed;
    // The SMS and iMessage handles of one number are one person.
    unnamed.participants.insert(2, handle(2, QStringLiteral("+14155550177"), QStringLiteral("Daniel Okafor")));
    unnamed.participants.insert(3, handle(3, QStringLiteral("+14155550177"), QStringLiteral("Daniel Okafor")));
    unnamed.participants.insert(7, handle(7, QStringLiteral("+14155550199")));
    unnamed.messages << message(1, 100, 3) << message(2, 200, 7) << message(3, 300, 2, 1) << message(4, 400, 0);
    const ConversationView view = build(unnamed);
    EXPECT_EQ(view.title, QStringLiteral("Daniel Okafor, +14155550199"));
    EXPECT_EQ(view.participants.size(), 3);
    EXPECT_EQ(view.participantLabels,
              QStringList({QStringLiteral("Daniel Okafor <+14155550177>"), QStringLiteral("+14155550199")}));
    EXPECT_EQ(view.messages[0].senderName, QStringLiteral("Daniel Okafor"));
    EXPECT_EQ(view.messages[1].senderName, QStringLiteral("+14155550199"));
    EXPECT_EQ(view.messages[2].senderName, QStringLiteral("Me"));
    EXPECT_EQ(view.messages[3].senderName, QStringLiteral("Unknown sender"));

    MsgSession named;
    named.name = QStringLiteral("Hiking crew");
    named.participants.insert(1, handle(1, QStringLiteral("+14155550132"), QStringLiteral("Maya Chen")));
    named.messages << message(1, 100, 0);
    const ConversationView group = build(named);
    EXPECT_EQ(group.title, QStringLiteral("Hiking crew"));
    // With one participant, a received message without a handle is theirs.
    EXPECT_EQ(group.messages[0].senderName, QStringLiteral("Maya Chen"));
}

TEST_F(ConversationBuilderTest, MessagesOfTwoChatRowsBecomeOneThreadOldestFirst)
{
    // Each chat row's messages come newest first; message 5 is joined to both.
    MsgSession session;
    session.messages << message(6, 600) << message(5, 500) << message(2, 200) << message(5, 500) << message(3, 300)
                     << message(1, 100);
    const ConversationView view = build(session);
    QList<qint64> ids;
    for (const MessageView& m : view.messages)
        ids << m.id;
    EXPECT_EQ(ids, QList<qint64>({1, 2, 3, 5, 6}));
    EXPECT_EQ(IosDate::isoUtc(view.newestDate), IosDate::isoUtc(IosDate::realDate(libraryDate(600))));
}

} // namespace
