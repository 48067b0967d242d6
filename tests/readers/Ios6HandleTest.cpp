#include "AllocationCounter.h"
#include "MsgIdentifier.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/Ios6Handle.h"

#include <gtest/gtest.h>

namespace {

const char* const chatsAndHandles = R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'group'), (2, 'c2', '+15550005'), (3, 'c3', 'lonely');
insert into handle (ROWID, id, country, service, uncanonicalized_id, person_centric_id) values
  (5, '+15550005', 'us', 'SMS', '(555) 000-5', NULL),
  (9, ' ann@example.com ', NULL, 'iMessage', NULL, 'p9'),
  (11, '+15550011', 'gb', 'iMessage', '', NULL);
)";

class Ios6HandleTest : public ::testing::Test
{
protected:
    void SetUp() override { ServiceDoubles::reset(); }
    void TearDown() override
    {
        for (const auto& inner : qAsConst(handles))
            qDeleteAll(inner);
    }
    void read(const QString& joins)
    {
        ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(chatsAndHandles) + joins));
        reader.exec({backup.smsDbPath()}, nullptr);
    }

    TestBackup backup;
    QMap<qint64, QMap<qint64, MsgIdentifier*>> handles;
    Ios6Handle reader{&handles};
};

} // namespace

TEST_F(Ios6HandleTest, ParticipantsAreFiledByChatThenHandle)
{
    // Join rows in descending order: the maps order them anyway. The last two
    // rows point at a handle and a chat that do not exist.
    read(QStringLiteral(R"(
insert into chat_handle_join (chat_id, handle_id) values (1, 9), (1, 5), (2, 5), (1, 404), (404, 5);
)"));
    ASSERT_EQ(handles.keys(), (QList<qint64>{1, 2})) << "no entry for a chat without handles";
    EXPECT_EQ(handles.value(1).keys(), (QList<qint64>{5, 9}));
    EXPECT_EQ(handles.value(2).keys(), (QList<qint64>{5}));

    const MsgIdentifier* inGroup = handles.value(1).value(5);
    const MsgIdentifier* alone = handles.value(2).value(5);
    EXPECT_NE(inGroup, alone) << "one object per (chat, handle)";
    for (const MsgIdentifier* identifier : {inGroup, alone}) {
        EXPECT_EQ(identifier->id, 5);
        EXPECT_EQ(identifier->address, QStringLiteral("+15550005"));
        EXPECT_EQ(identifier->country, QStringLiteral("us"));
        EXPECT_EQ(identifier->uncanonicalizedId, QStringLiteral("(555) 000-5"));
        EXPECT_TRUE(identifier->contactName.isEmpty());
    }
    const MsgIdentifier* ann = handles.value(1).value(9);
    EXPECT_EQ(ann->address, QStringLiteral(" ann@example.com ")) << "blanks are kept";
    EXPECT_TRUE(ann->country.isEmpty());
    EXPECT_TRUE(ann->uncanonicalizedId.isEmpty());
}

TEST_F(Ios6HandleTest, RepeatedJoinRowKeepsTheObjectOfTheLaterRowOnly)
{
    const long before = AllocationCounter::live();
    // chat_handle_join is unique on (chat_id, handle_id) in real databases;
    // an older copy without that constraint can hold the pair twice.
    read(QStringLiteral(R"(
drop table chat_handle_join;
create table chat_handle_join (chat_id INTEGER, handle_id INTEGER);
insert into chat_handle_join values (3, 11), (3, 11), (3, 11);
)"));
    ASSERT_EQ(handles.value(3).size(), 1);
    EXPECT_EQ(handles.value(3).value(11)->country, QStringLiteral("gb"));
    delete handles[3][11];
    handles.clear();
    EXPECT_EQ(AllocationCounter::live(), before) << "the replaced identifiers were deleted";
}

TEST_F(Ios6HandleTest, HandleTableWithoutUncanonicalizedIdYieldsNoParticipants)
{
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'x');
alter table handle drop column uncanonicalized_id;
insert into handle (ROWID, id, service) values (1, '+1', 'SMS');
insert into chat_handle_join values (1, 1);
)")));
    reader.exec({backup.smsDbPath()}, nullptr);
    EXPECT_TRUE(handles.isEmpty());
}
