// The value classes own what their lists point at: copies are deep, and
// each object is deleted exactly once.
#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"

#include <gtest/gtest.h>

namespace {

MsgContent* message(qint64 id, const char* text)
{
    auto* content = new MsgContent;
    content->id = id;
    content->pieces << new MsgPiece << nullptr;
    content->pieces.first()->data = text;
    return content;
}

} // namespace

TEST(ValueClasses, CopiesAndAssignmentsAreDeepAndFreeWhatTheyReplace)
{
    const long before = AllocationCounter::live();
    {
        auto* source = new MsgSession;
        source->name = QStringLiteral("Family");
        source->participants.insert(5, new MsgIdentifier);
        source->participants.insert(6, nullptr);
        source->messages << message(1, "one") << nullptr << message(2, "two");
        MsgSession copy(*source);
        MsgSession assigned;
        assigned.messages << message(9, "old");
        assigned = *source;
        MsgSession& alias = assigned;
        assigned = alias;
        MsgContent content(*source->messages.at(0));
        MsgContent target;
        target.pieces << new MsgPiece;
        target = content;
        delete source;
        for (const MsgSession* s : {&copy, &assigned}) {
            ASSERT_EQ(s->messages.size(), 3);
            EXPECT_EQ(s->name, QStringLiteral("Family"));
            EXPECT_EQ(s->messages.at(2)->pieces.at(0)->data, QByteArray("two"));
        }
        EXPECT_NE(copy.messages.at(0), assigned.messages.at(0));
        EXPECT_NE(copy.participants.value(5), assigned.participants.value(5));
        EXPECT_EQ(target.id, 1);
        EXPECT_NE(target.pieces.at(0), content.pieces.at(0));
        EXPECT_EQ(target.pieces.at(0)->data, QByteArray("one"));
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}
