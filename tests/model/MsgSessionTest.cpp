#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <gtest/gtest.h>

namespace {

MsgIdentifier* participant(qint64 id, const char* address)
{
    auto* identifier = new MsgIdentifier;
    identifier->id = id;
    identifier->address = QString::fromUtf8(address);
    return identifier;
}

MsgContent* messageWithTwoPieces(qint64 id)
{
    auto* message = new MsgContent;
    message->id = id;
    message->pieces << new MsgPiece << new MsgPiece;
    return message;
}

// Two participants, three messages of two pieces each: eleven owned objects.
MsgSession* fullSession()
{
    auto* session = new MsgSession;
    session->name = QStringLiteral("Family");
    session->unreadCount = 2;
    session->participants.insert(5, participant(5, "+15550005"));
    session->participants.insert(9, participant(9, "ann@example.com"));
    session->messages << messageWithTwoPieces(1) << messageWithTwoPieces(2) << messageWithTwoPieces(3);
    return session;
}

} // namespace

TEST(MsgSession, DefaultsAreEmpty)
{
    const MsgSession session;
    EXPECT_TRUE(session.name.isEmpty());
    EXPECT_EQ(session.unreadCount, 0);
    EXPECT_TRUE(session.participants.isEmpty());
    EXPECT_TRUE(session.messages.isEmpty());
}

TEST(MsgSession, DestructorDeletesEveryOwnedObjectOnce)
{
    const long before = AllocationCounter::live();
    MsgSession* session = fullSession();
    EXPECT_GE(AllocationCounter::live() - before, 12); // session + 11 owned objects
    delete session;
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST(MsgSession, DestructorSkipsNullEntries)
{
    const long before = AllocationCounter::live();
    {
        MsgSession session;
        session.participants.insert(1, nullptr);
        session.participants.insert(2, participant(2, "x"));
        session.messages << nullptr << messageWithTwoPieces(1);
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST(MsgSession, CopiesAndAssignmentsOwnTheirOwnObjects)
{
    const long before = AllocationCounter::live();
    {
        MsgSession* source = fullSession();
        MsgSession copy(*source);
        MsgSession assigned;
        assigned.participants.insert(77, participant(77, "gone"));
        assigned.messages << messageWithTwoPieces(99);
        assigned = *source;
        delete source;

        for (const MsgSession* s : {&copy, &assigned}) {
            EXPECT_EQ(s->name, QStringLiteral("Family"));
            EXPECT_EQ(s->unreadCount, 2);
            ASSERT_EQ(s->participants.keys(), (QList<qint64>{5, 9}));
            EXPECT_EQ(s->participants.value(9)->address, QStringLiteral("ann@example.com"));
            ASSERT_EQ(s->messages.size(), 3);
            EXPECT_EQ(s->messages.at(2)->id, 3);
            EXPECT_EQ(s->messages.at(2)->pieces.size(), 2);
        }
        EXPECT_NE(copy.messages.at(0), assigned.messages.at(0));
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}
