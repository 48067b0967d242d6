#pragma once

#include <QString>
#include <QStringList>

#include <set>
#include <string>
#include <vector>

// Doubles of the four imported services, linked into the unit tests in place
// of the real libraries. Every call lands in one journal, in order, so tests
// can check both what was called and when.
struct LogLine
{
    std::string tag;
    int level;
    std::string text;
    long liveObjects; // AllocationCounter::live() when the line was written
};

class ServiceDoubles
{
public:
    static ServiceDoubles& get();
    // Forgets every call and every scripted answer.
    static void reset();

    // The journal: "Log TAG LEVEL text", "VexoBackup::isDeviceBackuping(id)",
    // "UserDbHelper::instance()", "SqlUtils::openSqlite(path)", ...
    std::vector<std::string> calls;
    std::vector<LogLine> logs;

    // VexoBackup answers.
    QString backupPath;
    bool backuping = false;

    // SqlUtils: what was opened and prepared, and connections still open.
    QStringList openedPaths;
    std::vector<std::string> preparedSql;
    int openAttempts = 0;
    int opens = 0;  // successful ones
    int closes = 0;
    // The n-th open attempt (1-based, counted over the whole test) fails.
    std::set<int> failingOpens;
    // Statements that fail to prepare, as if the database refused them.
    std::set<std::string> failingSql;

    // Only the log lines of one tag, as "LEVEL text".
    std::vector<std::string> logsOf(const std::string& tag) const;
};
