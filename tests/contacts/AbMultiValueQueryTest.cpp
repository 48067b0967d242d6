#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "contacts/AbMultiValueQuery.h"

#include <gtest/gtest.h>

namespace {

class AbMultiValueQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeAddressBook(QStringLiteral(R"(
insert into ABMultiValueLabel (value) values ('_$!<Mobile>!$_'), ('_$!<Home>!$_');
insert into ABMultiValue (UID, record_id, property, identifier, label, value, guid) values
  (1, 10, 3, 0, 1, '+1 (919) 208-4530', 'v1'),
  (2, 11, 3, 0, 1, '(919) 888-7386', 'v2'),
  (3, 12, 3, 0, 2, '919.555.0100', 'v3'),
  (4, 13, 3, 0, 2, '919' || char(160) || '555' || char(160) || '0101', 'v4'),
  (5, 14, 4, 0, 2, 'Ann.Lee@Example.com', 'v5'),
  (6, 15, 4, 0, 2, 'ann.lee@example.com', 'v6'),
  (7, 16, 3, 0, 1, '+19192084530', 'v7'),
  (8, 17, 3, 0, 1, NULL, 'v8'),
  (9, 18, 5, 0, 1, '1 Infinite Loop', 'v9'),
  (10, 19, 22, 0, 1, 'https://example.com', 'v10'),
  (11, 20, 3, 0, 1, '1-800-MY-APPLE', 'v11');
)")));
        addresses.exec({backup.path(QStringLiteral("AddressBook/AddressBook.sqlitedb"))}, nullptr);
    }

    qint64 owner(const QString& address) const
    {
        qint64 recordId = -1;
        return addresses.getRecordId(address, recordId) ? recordId : -1;
    }

    TestBackup backup;
    AbMultiValueQuery addresses;
};

} // namespace

TEST_F(AbMultiValueQueryTest, PhoneNumbersLoseBracketsHyphensAndBlanksOnly)
{
    EXPECT_EQ(owner(QStringLiteral("9198887386")), 11);
    EXPECT_EQ(owner(QStringLiteral("(919) 888-7386")), -1) << "the stored form is not a key";
    EXPECT_EQ(owner(QStringLiteral("919.555.0100")), 12) << "dots stay";
    EXPECT_EQ(owner(QStringLiteral("919") + QChar(0xA0) + QStringLiteral("555") + QChar(0xA0) + QStringLiteral("0101")), 13)
        << "non-breaking spaces stay";
    EXPECT_EQ(owner(QStringLiteral("1800MYAPPLE")), 20);
    EXPECT_EQ(addresses.normalizePhone(QStringLiteral(" +44 (20) 7946-0018 / ext.2")), QStringLiteral("+442079460018/ext.2"));
}

TEST_F(AbMultiValueQueryTest, SharedAddressBelongsToTheRowReadLast)
{
    // '+1 (919) 208-4530' (record 10) and '+19192084530' (record 16) make one key.
    EXPECT_EQ(owner(QStringLiteral("+19192084530")), 16);
}

TEST_F(AbMultiValueQueryTest, EmailAddressesKeepTheirCase)
{
    EXPECT_EQ(owner(QStringLiteral("Ann.Lee@Example.com")), 14);
    EXPECT_EQ(owner(QStringLiteral("ann.lee@example.com")), 15);
    EXPECT_EQ(owner(QStringLiteral("ANN.LEE@EXAMPLE.COM")), -1);
}

TEST_F(AbMultiValueQueryTest, OtherPropertiesAreIgnoredAndNullIsTheEmptyKey)
{
    EXPECT_EQ(owner(QStringLiteral("1 Infinite Loop")), -1);
    EXPECT_EQ(owner(QStringLiteral("https://example.com")), -1);
    EXPECT_EQ(owner(QString()), 17);

    qint64 untouched = 99;
    EXPECT_FALSE(addresses.getRecordId(QStringLiteral("nobody"), untouched));
    EXPECT_EQ(untouched, 99);
}
