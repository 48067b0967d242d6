#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "contacts/AbPersonQuery.h"

#include <gtest/gtest.h>

TEST(AbPersonQuery, NamesJoinTheNonEmptyPartsInOrderWithOneBlank)
{
    ServiceDoubles::reset();
    TestBackup backup;
    ASSERT_TRUE(backup.writeAddressBook(QStringLiteral(R"(
insert into ABPerson (ROWID, Prefix, First, Middle, Last, Suffix, Organization, Kind, guid) values
  (1, 'Dr.', 'Ann', NULL, 'Lee', NULL, NULL, 0, 'g1'),
  (2, NULL, NULL, NULL, 'Okafor', NULL, NULL, 0, 'g2'),
  (3, NULL, NULL, NULL, NULL, NULL, 'Acme Plumbing', 1, 'g3'),
  (4, 'Sir', '', '', '', 'Jr.', NULL, 0, 'g4'),
  (5, NULL, ' ', NULL, 'Wu', NULL, NULL, 0, 'g5'),
  (6, 'Prof.', 'José', 'María', 'Núñez', 'PhD', NULL, 0, 'g6'),
  (7, NULL, '山田', NULL, '太郎', NULL, NULL, 0, 'g7');
)")));
    AbPersonQuery persons;
    persons.exec({backup.path(QStringLiteral("AddressBook/AddressBook.sqlitedb"))}, nullptr);
    EXPECT_EQ(persons.getName(1), QStringLiteral("Dr. Ann Lee"));
    EXPECT_EQ(persons.getName(2), QStringLiteral("Okafor"));
    EXPECT_EQ(persons.getName(3), QString()) << "a company has no name parts";
    EXPECT_EQ(persons.getName(4), QStringLiteral("Sir Jr."));
    EXPECT_EQ(persons.getName(5), QStringLiteral("  Wu")) << "a blank part is not empty";
    EXPECT_EQ(persons.getName(6), QString::fromUtf8("Prof. José María Núñez PhD"));
    EXPECT_EQ(persons.getName(7), QString::fromUtf8("山田 太郎"));
    EXPECT_EQ(persons.getName(404), QString());
}
