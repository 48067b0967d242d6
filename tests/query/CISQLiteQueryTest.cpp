#include "ServiceDoubles.h"
#include "TestBackup.h"
#include "query/CISQLiteQuery.h"
#include "query/QueryProgress.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

// Column 0 as an integer and column 1 as text; the handler stops the run on
// its stopAt-th call, the observer on its stopAt-th step.
class ItemReader : public CISQLiteQuery, public QueryProgress
{
public:
    ItemReader(const QStringList& rowStatements, const QStringList& countStatements, int stopAt = 0) : stopAt(stopAt)
    {
        selectSqls = rowStatements;
        countSqls = countStatements;
    }
    bool handleRow(sqlite3_stmt* stmt) override
    {
        ids.append(sqlite3_column_int64(stmt, 0));
        labels.append(columnText(stmt, 1));
        return ids.size() != stopAt;
    }
    int progressRange() override { return 100; }
    bool advance(double step) override
    {
        steps.push_back(step);
        return -static_cast<int>(steps.size()) != stopAt;
    }
    QList<qint64> ids;
    QStringList labels;
    std::vector<double> steps;
    int stopAt;
};

const QString selectItems = QStringLiteral("select id, label from item order by id");
const QString countItems = QStringLiteral("select count(*) from item");
const QString broken = QStringLiteral("select nothing from item");

class CISQLiteQueryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ServiceDoubles::reset();
        ASSERT_TRUE(backup.writeDatabase(QStringLiteral("items.db"), QStringLiteral(
            "create table item (id integer, label text); create table empty (id integer, label text);"
            "insert into item values (1, 'plain'), (2, NULL), (3, 'Grüße 👋'), (-9223372036854775808, 'overflow');")));
    }
    std::vector<std::string> logs() const { return ServiceDoubles::get().logsOf("iTunesBackup"); }
    std::string failed(const QString& sql) const
    {
        return "1 Fail to query sql \"" + sql.toStdString() + "\" for db " + db.toStdString();
    }

    TestBackup backup;
    QString db = backup.path(QStringLiteral("items.db"));
    QString missing = backup.path(QStringLiteral("missing.db"));
};

} // namespace

TEST_F(CISQLiteQueryTest, FirstExistingCandidateAndFirstPreparedStatementAreUsed)
{
    ItemReader reader({broken, selectItems}, {broken, countItems});
    reader.exec({missing, db, backup.path(QStringLiteral("later.db"))}, &reader);
    EXPECT_EQ(logs(), (std::vector<std::string>{"0 Not exists: " + missing.toStdString(), failed(broken), failed(broken)}));
    EXPECT_EQ(reader.ids, (QList<qint64>{-9223372036854775807 - 1, 1, 2, 3}));
    EXPECT_EQ(reader.labels, (QStringList{QStringLiteral("overflow"), QStringLiteral("plain"), QString(),
                                          QString::fromUtf8("Grüße 👋")}));
    EXPECT_EQ(reader.steps, (std::vector<double>{25.0, 25.0, 25.0, 25.0})) << "the range spread over the count";
    EXPECT_EQ(ServiceDoubles::get().openedPaths, (QStringList{db, db, db}));
}

TEST_F(CISQLiteQueryTest, RunsEndWhereTheyShould)
{
    ItemReader emptyTable({QStringLiteral("select id, label from empty")}, {QStringLiteral("select count(*) from empty")});
    emptyTable.exec({db}, nullptr);
    EXPECT_EQ(ServiceDoubles::get().preparedSql.size(), 1u) << "a zero count runs no row statement";
    ItemReader noRows({QStringLiteral("select id, label from item where id > 100"), selectItems}, {countItems});
    noRows.exec({db}, nullptr);
    ItemReader observerStops({selectItems}, {countItems}, -2);
    observerStops.exec({db}, &observerStops);
    ItemReader steppingError({QStringLiteral("select abs(id), label from item order by rowid")}, {countItems});
    steppingError.exec({db}, nullptr);
    // Rows or none, a statement that runs ends the search; an error while stepping keeps the rows so far.
    EXPECT_EQ(QList<int>({noRows.ids.size(), observerStops.ids.size(), steppingError.ids.size(),
                          ItemReader({selectItems}, {countItems}, 3).runQuery(db, selectItems)}), QList<int>({0, 2, 3, 2}));
    EXPECT_TRUE(logs().empty());
}

// The memory map each connection of a run had, as its rows saw it.
class MapReader : public CISQLiteQuery
{
public:
    explicit MapReader(bool mapped) : mapped(mapped)
    {
        selectSqls = QStringList{selectItems};
        countSqls = QStringList{countItems};
    }
    bool handleRow(sqlite3_stmt* stmt) override
    {
        sqlite3_stmt* pragma = nullptr;
        sqlite3_prepare_v2(sqlite3_db_handle(stmt), "PRAGMA mmap_size", -1, &pragma, nullptr);
        if (pragma && sqlite3_step(pragma) == SQLITE_ROW)
            maps.append(sqlite3_column_int64(pragma, 0));
        sqlite3_finalize(pragma);
        return true;
    }
    bool memoryMapped() const override { return mapped; }
    bool mapped;
    QList<qint64> maps;
};

TEST_F(CISQLiteQueryTest, AReaderMayReadPagesInsteadOfMappingThem)
{
    MapReader mapped(true);
    mapped.exec({db}, nullptr);
    MapReader unmapped(false);
    unmapped.exec({db}, nullptr);
    EXPECT_EQ(mapped.maps, QList<qint64>({1048576, 1048576, 1048576, 1048576}));
    EXPECT_EQ(unmapped.maps, QList<qint64>({0, 0, 0, 0}));
    EXPECT_TRUE(logs().empty());
}

TEST_F(CISQLiteQueryTest, FailuresGiveTheirCodesAndLogLines)
{
    ServiceDoubles::get().failingOpens = {2}; // the first row statement's connection
    ItemReader reader({selectItems, selectItems}, {countItems});
    reader.exec({db}, nullptr);
    EXPECT_EQ(reader.ids.size(), 4) << "the next statement is tried";
    EXPECT_EQ(CISQLiteQuery::countRows(db, {countItems, broken}), 4);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {}), 0);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {broken}), -1);
    EXPECT_EQ(CISQLiteQuery::countRows(db, {QStringLiteral("select 1 where 0")}), 0);
    EXPECT_EQ(CISQLiteQuery::countRows(missing, {countItems}), -2);
    EXPECT_EQ(reader.runQuery(db, broken), -1);
    EXPECT_EQ(reader.runQuery(missing, selectItems), -2);
    const std::string openFailed = "1 Fail to open db file: ";
    EXPECT_EQ(logs(), (std::vector<std::string>{openFailed + db.toStdString(), failed(broken), openFailed + missing.toStdString(),
                                                failed(broken), openFailed + missing.toStdString()}));
}
