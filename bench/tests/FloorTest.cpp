// The floor, the load's counts and the report, on small generated backups.
#include "BenchTestSupport.h"

#include "FixtureDatabase.h"

#include "Benchmark.h"
#include "Floor.h"
#include "MsgService.h"
#include "Report.h"

#include <QDir>
#include <QFile>

#include <cstdlib>

#include <gtest/gtest.h>

namespace {

class SmallBackup : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { backup = new TestBackup(2000, 11); }
    static void TearDownTestSuite()
    {
        delete backup;
        backup = nullptr;
    }
    static TestBackup* backup;
};
TestBackup* SmallBackup::backup = nullptr;

LoadCounts loadCounts(const QString& folder)
{
    MsgService service(QStringLiteral("test"), false);
    const bool loaded = service.loadBackup(folder);
    return countLoad(service, loaded);
}

SizeResult sizeResult(qint64 messages, double floorSeconds, double loadSeconds, qint64 peakBytes)
{
    SizeResult size;
    size.messages = messages;
    size.manifest.messages = messages;
    for (int i = 0; i < 3; ++i) {
        size.floorSeconds.append(floorSeconds * (1.0 + 0.1 * (i - 1)));
        LoadRun run;
        run.loadSeconds = loadSeconds * (1.0 + 0.1 * (1 - i));
        run.peakRssBytes = peakBytes;
        run.peakReset = true;
        size.loads.push_back(run);
    }
    return size;
}

} // namespace

TEST_F(SmallBackup, FloorReadsEveryRowAndListsEachPresentAttachmentFolder)
{
    ASSERT_TRUE(backup->error.isEmpty()) << qPrintable(backup->error);
    const FloorCounts floor = runFloor(backup->folder);
    const BackupManifest& m = backup->manifest;
    EXPECT_TRUE(floor.schemaFound);
    EXPECT_EQ(floor.chatRows, m.chatRows);
    EXPECT_EQ(floor.handleRows, number(backup->sms(), QStringLiteral("select count(*) from chat_handle_join")));
    EXPECT_EQ(floor.messageRows, m.messages);
    EXPECT_EQ(floor.attachmentRows, m.attachments);
    EXPECT_EQ(floor.foldersListed, m.attachmentsOnDisk);
    EXPECT_EQ(floor.personRows, m.contacts);
    EXPECT_EQ(floor.addressRows, number(backup->addressBook(), QStringLiteral("select count(*) from abmultivalue where property in (3, 4)")));
    EXPECT_TRUE(mismatches(m, floor, loadCounts(backup->folder)).isEmpty());
    // The same rows give the same checksum.
    EXPECT_EQ(runFloor(backup->folder).checksum, floor.checksum);
}

TEST_F(SmallBackup, FloorFindsTheOlderAddressBookName)
{
    QTemporaryDir copy;
    const QString folder = copy.path() + QStringLiteral("/b");
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/SMS")));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/AddressBook")));
    ASSERT_TRUE(QFile::copy(backup->sms(), folder + QStringLiteral("/SMS/sms.db")));
    ASSERT_TRUE(QFile::copy(backup->addressBook(), folder + QStringLiteral("/AddressBook/AddressBook.db")));
    const FloorCounts floor = runFloor(folder);
    EXPECT_EQ(floor.personRows, backup->manifest.contacts);
    EXPECT_EQ(floor.foldersListed, 0); // the attachment files were not copied
}

TEST(Floor, StopsAtTheSchemaTestLikeTheLoad)
{
    // iOS 5 databases have no chat_message_join; the load refuses them.
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/SMS")));
    ASSERT_TRUE(FixtureDatabase::create(dir.path() + QStringLiteral("/SMS/sms.db"),
                                        FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios5-sms.sql"))));
    const FloorCounts refused = runFloor(dir.path());
    EXPECT_FALSE(refused.schemaFound);
    EXPECT_EQ(refused.chatRows + refused.messageRows + refused.personRows, 0);
    EXPECT_EQ(refused.checksum, 0u);
    EXPECT_FALSE(runFloor(dir.path() + QStringLiteral("/missing")).schemaFound);
}

TEST(LoadChecks, NameEveryCountThatDiffers)
{
    BackupManifest manifest;
    manifest.messages = 10;
    manifest.sessions = 2;
    manifest.attachments = 1;
    manifest.attachmentsOnDisk = 1;
    FloorCounts floor;
    floor.schemaFound = true;
    floor.messageRows = 10;
    floor.attachmentRows = 1;
    floor.foldersListed = 1;
    LoadCounts load;
    load.loaded = true;
    load.sessions = 2;
    load.messages = 10;
    load.attachmentPieces = 1;
    EXPECT_TRUE(mismatches(manifest, floor, load).isEmpty());

    load.messages = 9;
    floor.foldersListed = 0;
    const QStringList problems = mismatches(manifest, floor, load);
    ASSERT_EQ(problems.size(), 2);
    EXPECT_TRUE(problems.at(0).contains(QStringLiteral("folders"))) << qPrintable(problems.at(0));
    EXPECT_TRUE(problems.at(1).contains(QStringLiteral("load messages: 9, expected 10"))) << qPrintable(problems.at(1));

    load = LoadCounts();
    EXPECT_TRUE(mismatches(manifest, floor, load).join(QLatin1Char('\n')).contains(QStringLiteral("returned false")));
}

TEST_F(SmallBackup, MeasuredLoadCountsWhatTheHostSeesAndLeavesNoHeapBehind)
{
    measureLoad(backup->folder, true); // first-use statics of Qt and SQLite
    const LoadRun run = measureLoad(backup->folder, true);
    EXPECT_TRUE(run.counts.loaded);
    EXPECT_EQ(run.counts.sessions, backup->manifest.sessions);
    EXPECT_EQ(run.counts.namedParticipants, backup->manifest.namedParticipants);
    EXPECT_GT(run.loadSeconds, 0.0);
    EXPECT_GE(run.peakRssBytes, run.baseRssBytes);
    if (allocatorReplaced())
        return; // no heap figures to judge
    EXPECT_GT(run.retainedHeapBytes, backup->manifest.messages * 100);
    // Allocator caches make the figure move by a few kilobytes; a leak of the
    // messages would not.
    EXPECT_LT(std::llabs(run.leftoverHeapBytes), run.retainedHeapBytes / 50);
}

TEST(Report, JudgesTheTargetsFromTheMedians)
{
    const MachineInfo machine = describeMachine();
    EXPECT_FALSE(machine.cpu.isEmpty());
    EXPECT_GT(machine.cores, 0);
    EXPECT_GT(machine.memoryBytes, 0);

    const qint64 gib = 1024LL * 1024 * 1024;
    const QVector<SizeResult> fast{sizeResult(100000, 0.5, 0.6, gib / 8), sizeResult(1000000, 5.0, 6.0, gib / 2)};
    const QString page = markdownReport(fast, machine, 3);
    EXPECT_TRUE(page.contains(QStringLiteral("    bench/run.sh\n")));
    EXPECT_TRUE(page.contains(QStringLiteral("| 1 000 000 | 5.000 | 6.000 | 1.20 | 0.000 | 0.000 | 512 |")));
    EXPECT_TRUE(page.contains(QStringLiteral("| 1.20 × | met (stretch met) |")));
    EXPECT_TRUE(page.contains(QStringLiteral("| × 10.00 (floor × 10.00) | met |")));
    EXPECT_FALSE(page.contains(QStringLiteral("not met")));
    EXPECT_FALSE(page.contains(QStringLiteral("refused to reset")));

    QVector<SizeResult> slow{sizeResult(100000, 0.5, 0.5, gib / 8), sizeResult(1000000, 5.0, 8.0, 2 * gib)};
    slow[0].loads[1].peakReset = false;
    const QString late = markdownReport(slow, machine, 3);
    EXPECT_TRUE(late.contains(QStringLiteral("refused to reset")));
    EXPECT_TRUE(late.contains(QStringLiteral("| 1.60 × | **not met** |")));
    EXPECT_TRUE(late.contains(QStringLiteral("| 2048 MiB | **not met** |")));
    EXPECT_TRUE(late.contains(QStringLiteral("| × 16.00 (floor × 10.00) | **not met** |")));

    // Without a million-message run there is nothing to judge.
    EXPECT_FALSE(markdownReport({sizeResult(10000, 0.1, 0.2, gib / 16)}, machine, 3).contains(QStringLiteral("Targets")));
    EXPECT_EQ(plotData(fast), QStringLiteral("# messages floor_seconds load_seconds\n100000 0.5000 0.6000\n1000000 5.0000 6.0000\n"));
}
