#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "query/CISQLiteQuery.h"
#include "query/QueryProgress.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

// A reader of the test's own: column 0 as an integer, column 1 as text.
class ItemReader : public CISQLiteQuery
{
public:
    ItemReader(const QStringList& rowStatements, const QStringList& countStatements, int stopOnCall = 0)
        : stopOnCall(stopOnCall)
    {
        selectSqls = rowStatements;
        countSqls = countStatements;
    }

    bool handleRow(sqlite3_stmt* stmt) override
    {
        ids.append(sqlite3_column_int64(stmt, 0));
        labels.append(columnText(stmt, 1));
        return ++calls != stopOnCall;
    }

    double step() const { return progressStep; }

    QList<qint64> ids;
    QStringList labels;
    int calls = 0;

private:
    int stopOnCall;
};

class RecordingProgress : public QueryProgress
{
public:
    RecordingProgress(int range, int stopOnStep) : range(range), stopOnStep(stopOnStep) {}
    int progressRange() override { return range; }
    bool advance(double step) override
    {
        steps.push_back(step);
        return static_cast<int>(steps.size()) != stopOnStep;
    }
    std::vector<double> steps;

private:
    int range;
    int stopOnStep;
};

const QString selectItems = QStringLiteral("select id, label from item order by id");
const QString countItems = QStringLiteral("select count(*) from item");

class CISQLiteQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeDatabase(QStringLiteral("items.db"), QStringLiteral(R"(
create table item (id integer, label text, big integer);
insert into item values (1, 'plain', 1), (2, NULL, 2), (3, 'Grüße 👋 日本語', 3), (4, '', 4);
create table empty_item (id integer, label text);
)")));
        db = backup.path(QStringLiteral("items.db"));
    }
    void TearDown() override
    {
        EXPECT_EQ(ServiceDoubles::get().opens, ServiceDoubles::get().closes) << "a connection was left open";
    }
    ServiceDoubles& doubles() { return ServiceDoubles::get(); }
    std::vector<std::string> queryLogs() const { return ServiceDoubles::get().logsOf("iTunesBackup"); }

    TestBackup backup;
    QString db;
};

} // namespace

TEST_F(CISQLiteQueryTest, EmptyCandidateListEndsTheRunSilently)
{
    ItemReader reader({selectItems}, {countItems});
    reader.exec(QStringList(), nullptr);
    EXPECT_EQ(reader.calls, 0);
    EXPECT_TRUE(doubles().calls.empty());
}

TEST_F(CISQLiteQueryTest, FirstExistingCandidateIsUsedAndLaterOnesAreNotExamined)
{
    const QString missing = backup.path(QStringLiteral("missing.db"));
    const QString alsoMissing = backup.path(QStringLiteral("also-missing.db"));
    ItemReader reader({selectItems}, {countItems});
    reader.exec({missing, db, alsoMissing}, nullptr);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"0 Not exists: " + missing.toStdString()}));
    EXPECT_EQ(reader.ids, (QList<qint64>{1, 2, 3, 4}));
    EXPECT_FALSE(doubles().openedPaths.contains(missing));
    EXPECT_FALSE(doubles().openedPaths.contains(alsoMissing));
}

TEST_F(CISQLiteQueryTest, NoExistingCandidateLogsEachAndOpensNothing)
{
    const QString a = backup.path(QStringLiteral("a.db"));
    const QString b = backup.path(QStringLiteral("b.db"));
    ItemReader reader({selectItems}, {countItems});
    reader.exec({a, b}, nullptr);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"0 Not exists: " + a.toStdString(),
                                                     "0 Not exists: " + b.toStdString()}));
    EXPECT_EQ(doubles().opens, 0);
}

TEST_F(CISQLiteQueryTest, ZeroCountRunsNoRowStatement)
{
    ItemReader reader({QStringLiteral("select id, label from empty_item")}, {QStringLiteral("select count(*) from empty_item")});
    reader.exec({db}, nullptr);
    EXPECT_EQ(reader.calls, 0);
    EXPECT_EQ(doubles().preparedSql, (std::vector<std::string>{"select count(*) from empty_item"}));
}

TEST_F(CISQLiteQueryTest, CountStatementsFallBackInOrderAndFailuresAreReported)
{
    const QString broken = QStringLiteral("select count(*) from no_such_table");
    // The first count statement fails, the second's count is used: the
    // observer's range is spread over its 4 rows.
    RecordingProgress progress(100, 0);
    ItemReader reader({selectItems}, {broken, countItems});
    reader.exec({db}, &progress);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"1 Fail to query sql \"" + broken.toStdString() + "\" for db "
                                                     + db.toStdString()}));
    EXPECT_EQ(reader.calls, 4);
    EXPECT_DOUBLE_EQ(reader.step(), 25.0);

    EXPECT_EQ(CISQLiteQuery::countRows(db, {countItems}), 4);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {}), 0);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {countItems, broken}), 4) << "a success ends the walk";
    EXPECT_EQ(CISQLiteQuery::countRows(db, {broken}), -1);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {QStringLiteral("select 1 where 0")}), 0) << "no row counts as 0";
    const QString missing = backup.path(QStringLiteral("gone.db"));
    doubles().logs.clear();
    EXPECT_EQ(CISQLiteQuery::countRows(missing, {countItems}), -2);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"1 Fail to open db file: " + missing.toStdString()}));
}

TEST_F(CISQLiteQueryTest, RowStatementThatDoesNotPrepareFallsBackToTheNext)
{
    const QString richer = QStringLiteral("select id, label, missing_column from item");
    ItemReader reader({richer, selectItems}, {countItems});
    reader.exec({db}, nullptr);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"1 Fail to query sql \"" + richer.toStdString() + "\" for db "
                                                     + db.toStdString()}));
    EXPECT_EQ(reader.ids, (QList<qint64>{1, 2, 3, 4}));
}

TEST_F(CISQLiteQueryTest, RowStatementThatPreparesButYieldsNothingEndsTheSearch)
{
    ItemReader reader({QStringLiteral("select id, label from item where id > 100"), selectItems}, {countItems});
    reader.exec({db}, nullptr);
    EXPECT_EQ(reader.calls, 0);
    EXPECT_EQ(doubles().preparedSql.back(), "select id, label from item where id > 100");
}

TEST_F(CISQLiteQueryTest, DatabaseThatFailsToOpenForARowStatementFallsBackToTheNext)
{
    doubles().failingOpens = {2}; // the count opens first, then the first row statement
    ItemReader reader({QStringLiteral("select id, label from item where id = 1"), selectItems}, {countItems});
    reader.exec({db}, nullptr);
    EXPECT_EQ(queryLogs(), (std::vector<std::string>{"1 Fail to open db file: " + db.toStdString()}));
    EXPECT_EQ(reader.ids, (QList<qint64>{1, 2, 3, 4}));
}

TEST_F(CISQLiteQueryTest, EveryRowStatementFailingCollectsNothing)
{
    const QString a = QStringLiteral("select nope from item");
    const QString b = QStringLiteral("select id, label from nowhere");
    ItemReader reader({a, b}, {countItems});
    reader.exec({db}, nullptr);
    EXPECT_EQ(reader.calls, 0);
    EXPECT_EQ(queryLogs().size(), 2u);
    EXPECT_EQ(reader.runQuery(db, a), -1);
    EXPECT_EQ(reader.runQuery(backup.path(QStringLiteral("gone.db")), selectItems), -2);
}

TEST_F(CISQLiteQueryTest, HandlerReturningFalseEndsTheRunAndThatRowIsNotCounted)
{
    ItemReader reader({selectItems}, {countItems}, 3);
    EXPECT_EQ(reader.runQuery(db, selectItems), 2);
    EXPECT_EQ(reader.calls, 3);
}

TEST_F(CISQLiteQueryTest, ObserverGetsItsShareOfEachRowAndCanStopTheRun)
{
    RecordingProgress all(100, 0);
    ItemReader reader({selectItems}, {countItems});
    reader.exec({db}, &all);
    EXPECT_EQ(all.steps, (std::vector<double>{25.0, 25.0, 25.0, 25.0}));

    RecordingProgress stopping(100, 2);
    ItemReader stopped({selectItems}, {countItems});
    stopped.exec({db}, &stopping);
    EXPECT_EQ(stopped.calls, 2);
    EXPECT_EQ(stopping.steps.size(), 2u);
}

TEST_F(CISQLiteQueryTest, SteppingErrorEndsTheRunQuietlyKeepingTheRowsSoFar)
{
    // abs() of the smallest 64-bit integer fails while stepping the third row.
    ASSERT_TRUE(backup.writeDatabase(QStringLiteral("overflow.db"), QStringLiteral(R"(
create table item (id integer, label text);
insert into item values (1, 'a'), (2, 'b'), (-9223372036854775808, 'c'), (4, 'd');
)")));
    const QString overflow = backup.path(QStringLiteral("overflow.db"));
    ItemReader reader({QStringLiteral("select abs(id), label from item order by rowid")}, {countItems});
    reader.exec({overflow}, nullptr);
    EXPECT_EQ(reader.labels, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    EXPECT_TRUE(queryLogs().empty());
}

TEST_F(CISQLiteQueryTest, ColumnTextDecodesUtf8AndGivesEmptyForNull)
{
    ItemReader reader({selectItems}, {countItems});
    reader.exec({db}, nullptr);
    ASSERT_EQ(reader.labels.size(), 4);
    EXPECT_EQ(reader.labels.at(0), QStringLiteral("plain"));
    EXPECT_TRUE(reader.labels.at(1).isEmpty());
    EXPECT_EQ(reader.labels.at(2), QString::fromUtf8("Grüße 👋 日本語"));
    EXPECT_EQ(reader.labels.at(2).size(), 12); // the emoji is two UTF-16 units
    EXPECT_TRUE(reader.labels.at(3).isEmpty());
}
