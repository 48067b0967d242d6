#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace {

MsgPiece* textPiece(const char* text)
{
    auto* piece = new MsgPiece;
    piece->mimeType = QStringLiteral("text/plain");
    piece->data = text;
    return piece;
}

template <typename T, typename A, typename B>
std::ptrdiff_t distance(const T& object, const A& from, const B& to)
{
    Q_UNUSED(object);
    return reinterpret_cast<const char*>(&to) - reinterpret_cast<const char*>(&from);
}

} // namespace

TEST(MsgContent, DefaultsAreEmptyAndFlagged)
{
    const MsgContent message;
    EXPECT_EQ(message.id, 0);
    EXPECT_EQ(message.handleId, 0);
    EXPECT_TRUE(message.date.isNull());
    EXPECT_TRUE(message.dateRead.isNull());
    EXPECT_TRUE(message.subject.isEmpty());
    EXPECT_TRUE(message.attributedText.isEmpty());
    EXPECT_EQ(message.isNonSms, 0);
    EXPECT_EQ(message.isFromMe, 0);
    EXPECT_EQ(message.isRead, 0);
    EXPECT_EQ(message.isSent, 0);
    EXPECT_EQ(message.error, 0);
    EXPECT_EQ(message.itemType, 0);
    EXPECT_EQ(message.shareStatus, 0);
    EXPECT_EQ(message.shareDirection, 0);
    EXPECT_EQ(message.otherHandle, 0);
    EXPECT_TRUE(message.pieces.isEmpty());
    EXPECT_TRUE(message.extraFlag);
}

// Hosts read the members straight out of the object, so their order and the
// run of nine consecutive 32-bit integers are part of the interface.
TEST(MsgContent, MembersLieInDeclaredOrder)
{
    const MsgContent m;
    EXPECT_EQ(distance(m, m, m.id), 0);
    EXPECT_GT(distance(m, m.id, m.handleId), 0);
    EXPECT_GT(distance(m, m.handleId, m.date), 0);
    EXPECT_GT(distance(m, m.date, m.dateRead), 0);
    EXPECT_GT(distance(m, m.dateRead, m.subject), 0);
    EXPECT_GT(distance(m, m.subject, m.attributedText), 0);
    EXPECT_GT(distance(m, m.attributedText, m.isNonSms), 0);
    const int* integers[] = {&m.isNonSms, &m.isFromMe, &m.isRead, &m.isSent, &m.error,
                             &m.itemType, &m.shareStatus, &m.shareDirection, &m.otherHandle};
    for (int i = 1; i < 9; ++i)
        EXPECT_EQ(integers[i] - integers[0], i) << "integer member " << i;
    static_assert(sizeof(m.isNonSms) == 4, "32-bit integers");
    EXPECT_GT(distance(m, m.otherHandle, m.pieces), 0);
    EXPECT_GT(distance(m, m.pieces, m.extraFlag), 0);

    const MsgIdentifier identifier;
    EXPECT_EQ(distance(identifier, identifier, identifier.id), 0);
    EXPECT_GT(distance(identifier, identifier.id, identifier.address), 0);
    EXPECT_GT(distance(identifier, identifier.address, identifier.country), 0);
    EXPECT_GT(distance(identifier, identifier.country, identifier.uncanonicalizedId), 0);
    EXPECT_GT(distance(identifier, identifier.uncanonicalizedId, identifier.contactName), 0);

    const MsgPiece piece;
    EXPECT_EQ(distance(piece, piece, piece.mimeType), 0);
    EXPECT_GT(distance(piece, piece.mimeType, piece.data), 0);
    EXPECT_GT(distance(piece, piece.data, piece.previewPath), 0);
    EXPECT_GT(distance(piece, piece.previewPath, piece.filePath), 0);
}

TEST(MsgContent, DestructorDeletesPiecesAndSkipsNull)
{
    const long before = AllocationCounter::live();
    {
        auto* message = new MsgContent;
        message->pieces << textPiece("a") << nullptr << textPiece("b");
        delete message;
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST(MsgContent, CopyIsDeepSoEachPieceIsDeletedOnce)
{
    const long before = AllocationCounter::live();
    {
        auto* source = new MsgContent;
        source->id = 42;
        source->handleId = 7;
        source->date = QDateTime::fromTime_t(500000000);
        source->dateRead = QDateTime::fromTime_t(500000100);
        source->subject = QStringLiteral("subject");
        source->attributedText = QStringLiteral("body");
        source->isNonSms = 1;
        source->isFromMe = 1;
        source->isRead = 1;
        source->isSent = 1;
        source->error = 3;
        source->itemType = 4;
        source->shareStatus = 5;
        source->shareDirection = 6;
        source->otherHandle = 8;
        source->extraFlag = false;
        source->pieces << textPiece("one") << nullptr;

        auto* copy = new MsgContent(*source);
        EXPECT_EQ(copy->id, 42);
        EXPECT_EQ(copy->handleId, 7);
        EXPECT_EQ(copy->date, source->date);
        EXPECT_EQ(copy->dateRead, source->dateRead);
        EXPECT_EQ(copy->subject, QStringLiteral("subject"));
        EXPECT_EQ(copy->attributedText, QStringLiteral("body"));
        EXPECT_EQ(copy->isNonSms + copy->isFromMe + copy->isRead + copy->isSent, 4);
        EXPECT_EQ(copy->error, 3);
        EXPECT_EQ(copy->itemType, 4);
        EXPECT_EQ(copy->shareStatus, 5);
        EXPECT_EQ(copy->shareDirection, 6);
        EXPECT_EQ(copy->otherHandle, 8);
        EXPECT_FALSE(copy->extraFlag);
        ASSERT_EQ(copy->pieces.size(), 2);
        EXPECT_NE(copy->pieces.at(0), source->pieces.at(0));
        EXPECT_EQ(copy->pieces.at(0)->data, QByteArray("one"));
        EXPECT_EQ(copy->pieces.at(1), nullptr);

        delete copy;
        EXPECT_EQ(source->pieces.at(0)->data, QByteArray("one")); // still alive
        delete source;
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST(MsgContent, AssignmentReleasesWhatTheTargetOwnedAndSurvivesSelfAssignment)
{
    const long before = AllocationCounter::live();
    {
        MsgContent source;
        source.id = 1;
        source.pieces << textPiece("new");
        MsgContent target;
        target.pieces << textPiece("old1") << textPiece("old2");

        target = source;
        ASSERT_EQ(target.pieces.size(), 1);
        EXPECT_EQ(target.pieces.at(0)->data, QByteArray("new"));
        EXPECT_NE(target.pieces.at(0), source.pieces.at(0));
        EXPECT_EQ(target.id, 1);

        MsgContent& alias = target;
        target = alias;
        ASSERT_EQ(target.pieces.size(), 1);
        EXPECT_EQ(target.pieces.at(0)->data, QByteArray("new"));
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}
