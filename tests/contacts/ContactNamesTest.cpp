// The address-book readers and the names they put on participants.
#include "MsgIdentifier.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "contacts/AbMultiValueQuery.h"
#include "contacts/AbPersonQuery.h"
#include "service/MsgDbLoader.h"

#include <gtest/gtest.h>

namespace {

// Person n has the n-th address of the table below.
const QString addressBook = QStringLiteral(R"(
insert into ABPerson (ROWID, Prefix, First, Middle, Last, Suffix, guid) values
  (1, 'Dr.', 'Ann', NULL, 'Lee', 'PhD', 'p1'), (2, NULL, NULL, NULL, 'Okafor', NULL, 'p2'), (3, 'Sir', '', '', '', 'Jr.', 'p3'),
  (4, NULL, ' ', NULL, 'Wu', NULL, 'p4'), (5, NULL, '山田', NULL, '太郎', NULL, 'p5'), (6, NULL, NULL, NULL, NULL, NULL, 'p6'),
  (7, NULL, 'Gus', NULL, NULL, NULL, 'p7'), (8, NULL, 'Hal', NULL, NULL, NULL, 'p8');
insert into ABMultiValue (UID, record_id, property, value, guid) values
  (1, 1, 3, '+1 (919) 208-4530', 'v1'), (2, 2, 3, '919.555.0100', 'v2'), (3, 3, 4, 'Ann.Lee@Example.com', 'v3'),
  (4, 4, 3, '1-800-MY-APPLE', 'v4'), (5, 5, 5, '1 Infinite Loop', 'v5'), (6, 6, 3, NULL, 'v6'),
  (7, 7, 3, '+19192084530', 'v7'), (8, 8, 3, '(919) 888-7386', 'v8');
)");

class ContactNamesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeAddressBook(addressBook));
    }
    TestBackup backup;
};

} // namespace

TEST_F(ContactNamesTest, NamesJoinTheNonEmptyPartsAndPhoneNumbersLoseOnlyBracketsHyphensAndBlanks)
{
    AbPersonQuery persons;
    AbMultiValueQuery addresses;
    const QStringList paths{backup.path(QStringLiteral("AddressBook/AddressBook.sqlitedb"))};
    persons.exec(paths, nullptr);
    addresses.exec(paths, nullptr);
    const QStringList names{QStringLiteral("Dr. Ann Lee PhD"), QStringLiteral("Okafor"), QStringLiteral("Sir Jr."),
                            QStringLiteral("  Wu"), QStringLiteral("山田 太郎"), QString()};
    for (int id = 1; id <= names.size(); ++id)
        EXPECT_EQ(persons.getName(id), names.at(id - 1)) << id;

    const struct
    {
        const char* address;
        qint64 owner; // -1: none
    } keys[] = {{"+19192084530", 7}, // the row read last wins
                {"9198887386", 8},   {"(919) 888-7386", -1}, {"919.555.0100", 2}, {"Ann.Lee@Example.com", 3},
                {"ann.lee@example.com", -1}, {"1800MYAPPLE", 4}, {"1 Infinite Loop", -1}, {"", 6}};
    for (const auto& key : keys) {
        qint64 owner = -1;
        addresses.getRecordId(QString::fromUtf8(key.address), owner);
        EXPECT_EQ(owner, key.owner) << key.address;
    }
    EXPECT_EQ(addresses.normalizePhone(QStringLiteral(" +44 (20) 7946-0018 / ext.2")), QStringLiteral("+442079460018/ext.2"));
}

TEST_F(ContactNamesTest, ParticipantsMatchByTheTypedAddressElseTheCanonicalOne)
{
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into handle (ROWID, id, service, uncanonicalized_id) values (1, '+19192084530', 'SMS', '+19192084530'),
  (2, 'Ann.Lee@Example.com', 'iMessage', NULL), (3, '+19198887386', 'SMS', '(919) 888-7386'),
  (4, '9198887386', 'SMS', '5550199'), (5, '+15550000', 'SMS', '9198887386');
insert into chat (ROWID, guid, chat_identifier) values (1, 'c1', 'a'), (2, 'c2', 'b');
insert into chat_handle_join (chat_id, handle_id) values (1, 1), (1, 2), (1, 3), (1, 4), (1, 5), (2, 1);
insert into message (ROWID, guid, text, date) values (1, 'm1', 'x', 1), (2, 'm2', 'y', 2);
insert into chat_message_join (chat_id, message_id) values (1, 1), (2, 2);
)")));
    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));
    QStringList names;
    for (const MsgIdentifier* participant : loader.sessionAt(0)->participants)
        names << participant->contactName;
    EXPECT_EQ(names, (QStringList{QStringLiteral("Gus"), QStringLiteral("Sir Jr."), QString(), QString(), QStringLiteral("Hal")}));
    EXPECT_EQ(loader.sessionAt(1)->participants.value(1)->contactName, QStringLiteral("Gus"));
    int runs = 0;
    for (const std::string& sql : ServiceDoubles::get().preparedSql)
        runs += sql.find("from abperson") != std::string::npos || sql.find("from abmultivalue") != std::string::npos;
    EXPECT_EQ(runs, 4) << "each reader counts and reads once, whatever the number of participants";
}
