// A device folder whose message database keeps its rows only in the "-wal"
// file, loaded the way msgexport loads it (the service and the details reader
// at once, on two threads) and by two services at once: every load sees every
// row, as a lone load does, and nothing is written beside the backup.
#include "ComputerBackup.h"
#include "TestSupport.h"

#include "MsgDetails.h"
#include "MsgService.h"
#include "MsgSession.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <thread>

#include <gtest/gtest.h>

namespace {

struct Loaded
{
    bool ok = false;
    int sessions = 0;
    int messages = 0;
    bool operator==(const Loaded& other) const
    {
        return ok == other.ok && sessions == other.sessions && messages == other.messages;
    }
};

std::ostream& operator<<(std::ostream& out, const Loaded& loaded)
{
    return out << (loaded.ok ? "loaded " : "refused ") << loaded.sessions << " sessions, " << loaded.messages
               << " messages";
}

Loaded loadService(const QString& folder)
{
    MsgService service(QStringLiteral("concurrent"), false);
    Loaded loaded;
    loaded.ok = service.loadBackup(folder);
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        ++loaded.sessions;
        loaded.messages += static_cast<int>(service.msgSession(i)->messages.size());
    }
    return loaded;
}

Loaded loadDetails(const QString& folder)
{
    MsgDetails details(folder);
    Loaded loaded;
    loaded.ok = details.load();
    loaded.messages = details.count();
    return loaded;
}

// Two chats; their messages alternate between them.
const QString rows = QStringLiteral(R"(
insert into handle (ROWID, id, service) values (1, '+1555', 'SMS'), (2, 'a@example.com', 'iMessage');
insert into chat (ROWID, guid, chat_identifier, room_name) values (1, 'c1', '+1555', ''), (2, 'c2', 'a@example.com', '');
insert into chat_handle_join values (1, 1), (2, 2);
with recursive n(i) as (select 1 union all select i + 1 from n where i < 300)
insert into message (ROWID, guid, text, handle_id, date) select i, 'm' || i, 'message ' || i, 1 + i % 2, i * 1000000000 from n;
insert into chat_message_join (chat_id, message_id) select 1 + ROWID % 2, ROWID from message;
)");

class ConcurrentLoadTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = temp.filePath(QStringLiteral("Library"));
        makeBackup(folder, rows, true);
        ASSERT_GT(QFileInfo(folder + QStringLiteral("/SMS/sms.db-wal")).size(), 0) << "the rows lie in the WAL";
        listing = ComputerBackup::listing(folder);
    }

    QTemporaryDir temp;
    QString folder;
    QString listing;
};

} // namespace

TEST_F(ConcurrentLoadTest, ServicesAndDetailsOnTwoThreadsSeeTheRowsOfTheWalAsALoneLoadDoes)
{
    const Loaded lone = loadService(folder);
    const Loaded loneDetails = loadDetails(folder);
    ASSERT_EQ(lone, (Loaded{true, 2, 300}));
    ASSERT_EQ(loneDetails, (Loaded{true, 0, 300}));

    for (int round = 0; round < 25; ++round) {
        Loaded service;
        Loaded details;
        std::thread other([&] { details = loadDetails(folder); });
        service = loadService(folder);
        other.join();
        EXPECT_EQ(service, lone) << "round " << round << ", beside the details";
        EXPECT_EQ(details, loneDetails) << "round " << round;

        Loaded first;
        Loaded second;
        std::thread another([&] { second = loadService(folder); });
        first = loadService(folder);
        another.join();
        EXPECT_EQ(first, lone) << "round " << round << ", two services";
        EXPECT_EQ(second, lone) << "round " << round << ", two services";
        if (HasFailure())
            break;
    }
    EXPECT_EQ(ComputerBackup::listing(folder), listing) << "nothing written beside the backup";
}

TEST_F(ConcurrentLoadTest, MsgexportExportsTheRowsOfTheWal)
{
    const QString output = temp.filePath(QStringLiteral("out"));
    const QString tmp = temp.filePath(QStringLiteral("tmp"));
    QDir().mkpath(tmp);
    const ExportRun run = runMsgExport({folder, QStringLiteral("--output"), output},
                                       {QStringLiteral("TMPDIR=") + tmp,
                                        QStringLiteral("XDG_CACHE_HOME=") + temp.filePath(QStringLiteral("cache"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("2 conversations, 300 messages written to"))) << run.err.toStdString();
    EXPECT_EQ(ComputerBackup::listing(folder), listing);
    EXPECT_EQ(QDir(tmp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList())
        << "the private copy of the database goes with the run";
}
