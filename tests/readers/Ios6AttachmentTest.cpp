#include "AllocationCounter.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "readers/Ios6Attachment.h"

#include <gtest/gtest.h>

namespace {

QStringList filenames(const QList<AttachmentInfo*>& records)
{
    QStringList names;
    for (const AttachmentInfo* record : records)
        names << record->filename;
    return names;
}

class Ios6AttachmentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into message (ROWID, guid, text) values (1, 'm1', 'a'), (2, 'm2', 'b'), (3, 'm3', 'c');
insert into attachment (ROWID, guid, original_guid, filename, mime_type, transfer_name, total_bytes) values
  (4,  'a4',  'o4',  '~/Library/SMS/Attachments/04/04/G4/IMG_0004.jpeg', 'image/jpeg', 'IMG_0004.jpeg', 1024),
  (9,  'a9',  'o9',  '~/Library/SMS/Attachments/09/09/G9/clip.mov', 'video/quicktime', 'clip.mov', 2048),
  (12, 'a12', 'o12', NULL, NULL, NULL, 0),
  (20, 'a20', 'o20', '/var/mobile/Library/SMS/Attachments/20/20/G20/shared.pdf', 'application/pdf', 'shared.pdf', 10);
insert into message_attachment_join (message_id, attachment_id) values
  (1, 12), (1, 4), (1, 9), (2, 20), (3, 20), (404, 4), (3, 404);
)")));
    }

    TestBackup backup;
};

} // namespace

TEST_F(Ios6AttachmentTest, RecordsOfAMessageComeInAttachmentRowidOrder)
{
    Ios6Attachment reader;
    reader.exec({backup.smsDbPath()}, nullptr);
    const QList<AttachmentInfo*>& first = reader.getAttachments(1);
    ASSERT_EQ(first.size(), 3);
    EXPECT_EQ(filenames(first), (QStringList{QStringLiteral("~/Library/SMS/Attachments/04/04/G4/IMG_0004.jpeg"),
                                             QStringLiteral("~/Library/SMS/Attachments/09/09/G9/clip.mov"),
                                             QString()}));
    EXPECT_EQ(first.at(1)->mimeType, QStringLiteral("video/quicktime"));
    EXPECT_TRUE(first.at(2)->mimeType.isEmpty()) << "NULL columns read as empty, the record is kept";
}

TEST_F(Ios6AttachmentTest, SharedAttachmentGivesOneRecordPerMessageAndDanglingJoinsGiveNone)
{
    Ios6Attachment reader;
    reader.exec({backup.smsDbPath()}, nullptr);
    ASSERT_EQ(reader.getAttachments(2).size(), 1);
    ASSERT_EQ(reader.getAttachments(3).size(), 1) << "the join to attachment 404 yields nothing";
    EXPECT_NE(reader.getAttachments(2).at(0), reader.getAttachments(3).at(0));
    EXPECT_EQ(reader.getAttachments(2).at(0)->filename, reader.getAttachments(3).at(0)->filename);
    EXPECT_TRUE(reader.getAttachments(404).isEmpty()) << "message 404 does not exist";
}

TEST_F(Ios6AttachmentTest, UnknownMessageGetsTheSharedEmptyListWithoutAKeyBeingAdded)
{
    const long before = AllocationCounter::live();
    {
        Ios6Attachment reader;
        reader.exec({backup.smsDbPath()}, nullptr);
        const QList<AttachmentInfo*>& none = reader.getAttachments(77);
        EXPECT_TRUE(none.isEmpty());
        EXPECT_EQ(&none, &reader.getAttachments(78));
        EXPECT_NE(&none, &reader.getAttachments(1));
        EXPECT_GT(AllocationCounter::live(), before);
    }
    EXPECT_EQ(AllocationCounter::live(), before) << "the destructor frees every record";
}
