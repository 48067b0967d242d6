#include "MsgIdentifier.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "service/MsgDbLoader.h"

#include <gtest/gtest.h>

namespace {

// Handles in the shapes iOS stores them, two conversations sharing handle 1.
const char* const messages = R"(
insert into handle (ROWID, id, service, uncanonicalized_id) values
  (1, '+19192084530', 'SMS', '+19192084530'),
  (2, 'ann.lee@example.com', 'iMessage', NULL),
  (3, 'Bob@Example.com', 'iMessage', ''),
  (4, '+19198887386', 'SMS', '(919) 888-7386'),
  (5, '+15550100', 'SMS', '5550199'),
  (6, '', 'SMS', NULL),
  (7, '9195550123', 'SMS', NULL);
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'a-first'), (2, 'c2', 'b-second');
insert into chat_handle_join (chat_id, handle_id) values (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (1, 6), (2, 1), (2, 7);
insert into message (ROWID, guid, text, date) values (1, 'm1', 'x', 1), (2, 'm2', 'y', 2);
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2);
)";

const char* const addressBook = R"(
insert into ABPerson (ROWID, First, Last, guid) values
  (1, 'Dana', 'Reyes', 'p1'), (2, 'Ann', 'Lee', 'p2'), (3, 'Bob', NULL, 'p3'), (4, 'Cy', 'Moss', 'p4'),
  (5, 'Eve', NULL, 'p5'), (6, 'Nobody', 'Empty', 'p6'), (7, 'Gus', NULL, 'p7');
insert into ABMultiValue (UID, record_id, property, value, guid) values
  (1, 1, 3, '+1 (919) 208-4530', 'v1'),
  (2, 2, 4, 'ann.lee@example.com', 'v2'),
  (3, 3, 4, 'bob@example.com', 'v3'),
  (4, 4, 3, '(919) 888-7386', 'v4'),
  (5, 5, 3, '+15550100', 'v5'),
  (6, 6, 3, '', 'v6'),
  (7, 7, 3, '+1 919-555-0123', 'v7');
)";

QMap<qint64, QString> namesOf(const MsgSession* session)
{
    QMap<qint64, QString> names;
    for (auto it = session->participants.cbegin(); it != session->participants.cend(); ++it)
        names.insert(it.key(), it.value()->contactName);
    return names;
}

class ContactNamesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(messages)));
    }
    TestBackup backup;
};

} // namespace

TEST_F(ContactNamesTest, ParticipantsMatchTheAddressBookExactly)
{
    ASSERT_TRUE(backup.writeAddressBook(QString::fromUtf8(addressBook)));
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));
    ASSERT_EQ(loader.sessionCount(), 2);

    const QMap<qint64, QString> first = namesOf(loader.sessionAt(0));
    EXPECT_EQ(first.value(1), QStringLiteral("Dana Reyes")) << "bare number matches the normalised entry";
    EXPECT_EQ(first.value(2), QStringLiteral("Ann Lee")) << "no uncanonicalized id: the address is the key";
    EXPECT_EQ(first.value(3), QString()) << "e-mail case differs";
    EXPECT_EQ(first.value(4), QString()) << "the stored form keeps its brackets, the book's does not";
    EXPECT_EQ(first.value(5), QString()) << "a non-matching uncanonicalized id is not followed by the address";
    EXPECT_EQ(first.value(6), QStringLiteral("Nobody Empty")) << "empty meets empty";

    const QMap<qint64, QString> second = namesOf(loader.sessionAt(1));
    EXPECT_EQ(second.value(1), QStringLiteral("Dana Reyes")) << "the same handle in a second conversation";
    EXPECT_EQ(second.value(7), QString()) << "no country-code or trailing-digit matching";
    EXPECT_NE(loader.sessionAt(0)->participants.value(1), loader.sessionAt(1)->participants.value(1));
}

TEST_F(ContactNamesTest, WithoutAnAddressBookEveryNameIsEmptyAndTheLoadSucceeds)
{
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));
    for (const MsgSession* session : loader.sessionList())
        for (const MsgIdentifier* participant : session->participants)
            EXPECT_TRUE(participant->contactName.isEmpty()) << participant->id;
}

TEST_F(ContactNamesTest, EachAddressBookReaderRunsOnceWhateverTheNumberOfParticipants)
{
    ASSERT_TRUE(backup.writeAddressBook(QString::fromUtf8(addressBook)));
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));
    int personRuns = 0;
    int addressRuns = 0;
    for (const std::string& sql : ServiceDoubles::get().preparedSql) {
        personRuns += sql == "select rowid, prefix, first, middle, last, suffix from abperson";
        addressRuns += sql == "select record_id, value, property from abmultivalue where property in (3, 4)";
    }
    EXPECT_EQ(personRuns, 1);
    EXPECT_EQ(addressRuns, 1);
}
