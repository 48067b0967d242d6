#include "AllocationCounter.h"
#include "MsgContent.h"
#include "MsgIdentifier.h"
#include "MsgPiece.h"
#include "MsgSession.h"
#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "service/MsgDbLoader.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#if defined(__linux__)
#include <dirent.h>
#include <dlfcn.h>

#include <cstring>

namespace {

// Listings of one folder, counted by standing in for the C library's opendir
// (found next in the search order). Plain storage: opendir may run before
// any constructor.
char countedFolder[4096];
int countedListings = 0;

} // namespace

extern "C" DIR* opendir(const char* name)
{
    using Open = DIR* (*)(const char*);
    static const Open next = reinterpret_cast<Open>(dlsym(RTLD_NEXT, "opendir"));
    if (countedFolder[0] && std::strcmp(name, countedFolder) == 0)
        ++countedListings;
    return next(name);
}
#endif

namespace {

// One person over SMS (chat 3) and iMessage (chat 7) under one identifier, a
// group, a chat without messages, and a message of a chat that does not
// exist; the group's message has two attachments and a join to none.
const char* const conversations = R"(
insert into handle (ROWID, id, service) values (2, '+15550002', 'SMS'), (5, '+15550005', 'SMS'), (8, 'amy@x.com', 'iMessage');
insert into chat (ROWID, guid, chat_identifier, room_name) values
  (3, 'g3', '+15550005', 'Old name'), (7, 'g7', '+15550005', NULL), (4, 'g4', 'Ann', 'Climbing'), (6, 'g6', '+15550002', NULL);
insert into attachment (ROWID, guid, original_guid, filename, mime_type) values (9, 'a9', 'o9', '~/Library/b.mov', 'video/quicktime'),
  (4, 'a4', 'o4', '~/Library/a.jpeg', 'image/jpeg');
insert into message_attachment_join (message_id, attachment_id) values (41, 9), (41, 4), (41, 404), (404, 4);
insert into chat_handle_join (chat_id, handle_id) values (3, 5), (7, 5), (7, 8), (4, 5), (4, 8), (6, 2);
insert into message (ROWID, guid, text, date, is_from_me, is_read) values (31, 'm31', 'sms old', 100, 0, 1),
  (32, 'm32', 'sms new', 900, 1, 0), (71, 'm71', 'imsg old', 200, 0, 0), (72, 'm72', 'imsg new', 800, 0, 0),
  (41, 'm41', 'a ' || char(65532) || ' b ' || char(65532), 500, 0, 0), (99, 'm99', 'no chat', 999, 0, 0);
insert into chat_message_join (chat_id, message_id) values (3, 31), (3, 32), (7, 71), (7, 72), (7, 32), (4, 41), (404, 99);
)";

} // namespace

TEST(SessionAssembly, ChatRowsSharingAnIdentifierMakeOneConversationAndNothingLeaks)
{
    ServiceDoubles::reset();
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(conversations)));
    const long before = AllocationCounter::live();
    {
        MsgDbLoader loader;
        ASSERT_TRUE(loader.load(backup.folder()));
        // By identifier code units; "+15550002" has no message.
        ASSERT_EQ(loader.sessionCount(), 2);
        const MsgSession* person = loader.sessionAt(0);
        const MsgSession* group = loader.sessionAt(1);
        EXPECT_EQ(group->name, QStringLiteral("Climbing"));
        EXPECT_EQ(person->name, QString()) << "the later chat row names the session, even without a name";
        QStringList pieces;
        for (const MsgPiece* piece : group->messages.at(0)->pieces)
            pieces << piece->mimeType + QLatin1Char(' ') + QString::fromUtf8(piece->data) + QFileInfo(piece->filePath).fileName();
        EXPECT_EQ(pieces, (QStringList{QStringLiteral("text/plain a"), QStringLiteral("image/jpeg a.jpeg"), QStringLiteral("text/plain b"),
                                       QStringLiteral("video/quicktime b.mov")})) << "attachments in rowid order";
        QStringList texts;
        for (const MsgContent* message : person->messages)
            texts << QString::fromUtf8(message->pieces.at(0)->data);
        EXPECT_EQ(texts, (QStringList{QStringLiteral("sms new"), QStringLiteral("sms old"), QStringLiteral("sms new"),
                                      QStringLiteral("imsg new"), QStringLiteral("imsg old")})) << "chat row by chat row";
        EXPECT_EQ(person->participants.keys(), (QList<qint64>{5, 8}));
        EXPECT_NE(person->participants.value(5), group->participants.value(5)) << "each session owns its copy";
        EXPECT_EQ(person->unreadCount, 2) << "received and unread only";
        EXPECT_EQ(group->unreadCount, 1);
        const long loaded = AllocationCounter::live();
        ASSERT_TRUE(loader.load(backup.folder()));
        EXPECT_EQ(AllocationCounter::live(), loaded) << "a reload frees what the last load made";
        const QList<MsgSession*> stored = loader.sessionList();
        for (const unsigned int i : {1u, 0u, 1u, 2u, 0u})
            EXPECT_EQ(loader.sessionAt(i), stored.value(static_cast<int>(i))) << "any order, after a reload: " << i;
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

TEST(SessionAssembly, FailedChatReadLeavesNoSessionsAndNoMessagesBehind)
{
    ServiceDoubles::reset();
    TestBackup backup;
    ASSERT_TRUE(backup.writeSmsDb(QString::fromUtf8(conversations)));
    ServiceDoubles::get().failingSql.insert("select rowid, chat_identifier, room_name, properties from chat");
    const long before = AllocationCounter::live();
    {
        MsgDbLoader loader;
        EXPECT_TRUE(loader.load(backup.folder()));
        EXPECT_EQ(loader.sessionCount(), 0);
    }
    EXPECT_EQ(AllocationCounter::live(), before);
}

#if defined(__linux__)
TEST(SessionAssembly, AFolderSharedByManyAttachmentsIsListedOnce)
{
    ServiceDoubles::reset();
    TestBackup backup;
    // 300 received messages, each with one attachment in the same folder;
    // every third file is missing, the others have a preview of each side.
    const int count = 300;
    const QString folder = QStringLiteral("SMS/Attachments/ff/00/shared/");
    for (int i = 0; i < count; ++i) {
        if (i % 3 == 0)
            continue;
        for (const QString& name : {QStringLiteral("IMG_%1.jpeg"), QStringLiteral("IMG_%1-preview-right.jpg"),
                                    QStringLiteral("IMG_%1-preview-left.jpg")})
            backup.writeFile(folder + name.arg(i, 4, 10, QLatin1Char('0')));
    }
    ASSERT_TRUE(backup.writeSmsDb(QStringLiteral(R"(
insert into handle (ROWID, id, service) values (1, '+15550001', 'SMS');
insert into chat (ROWID, guid, chat_identifier) values (1, 'g1', '+15550001');
insert into chat_handle_join (chat_id, handle_id) values (1, 1);
with recursive n(i) as (select 0 union all select i + 1 from n where i + 1 < %1)
insert into attachment (ROWID, guid, original_guid, filename, mime_type)
  select i + 1, 'a' || i, 'o' || i, '~/Library/%2IMG_' || substr('0000' || i, -4) || '.jpeg', 'image/jpeg' from n;
with recursive n(i) as (select 0 union all select i + 1 from n where i + 1 < %1)
insert into message (ROWID, guid, text, date, is_from_me) select i + 1, 'm' || i, char(65532), i, 0 from n;
insert into message_attachment_join (message_id, attachment_id) select ROWID, ROWID from message;
insert into chat_message_join (chat_id, message_id) select 1, ROWID from message;
)").arg(count).arg(folder)));
    const QByteArray listed = QFile::encodeName(backup.path(folder.chopped(1)));
    ASSERT_LT(listed.size(), int(sizeof countedFolder));
    std::memcpy(countedFolder, listed.constData(), static_cast<size_t>(listed.size()) + 1);
    countedListings = 0;

    MsgDbLoader loader;
    ASSERT_TRUE(loader.load(backup.folder()));
    countedFolder[0] = 0;
    EXPECT_LE(countedListings, 2) << "once scanned directly, once kept";

    ASSERT_EQ(loader.sessionCount(), 1);
    const MsgSession* session = loader.sessionAt(0);
    ASSERT_EQ(session->messages.size(), count);
    int checked = 0;
    for (const MsgContent* message : session->messages) {
        ASSERT_EQ(message->pieces.size(), 1);
        const MsgPiece* piece = message->pieces.at(0);
        const QString name = QFileInfo(piece->filePath).fileName();
        const int i = name.mid(4, name.indexOf(QLatin1Char('.')) - 4).toInt();
        EXPECT_EQ(piece->filePath, backup.path(folder + name));
        EXPECT_EQ(QFileInfo(piece->previewPath).fileName(),
                  i % 3 == 0 ? name : QStringLiteral("IMG_%1-preview-left.jpg").arg(i, 4, 10, QLatin1Char('0')))
            << name.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, count);
    EXPECT_EQ(ServiceDoubles::get().logsOf("MsgDbLoader").size(), static_cast<size_t>(count / 3));
}
#endif
