// msgexport interrupted at its different steps: by Ctrl-C, a termination
// request or a hang-up while it decrypts or writes, by a reader that goes
// away (`msgexport ... | head`), and killed outright. Whatever happens, no
// decrypted file and no private copy of a database is left once the run
// ends, or, after a kill, once the next run has started. Signals are POSIX.
#include "ComputerBackup.h"
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <iostream>
#include <memory>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#  include <csignal>
#endif

namespace {

// Many messages, for an export that takes a while to write; many
// attachments, for a decryption that takes a while; the rows in the WAL, for
// a private copy of the database.
void makeLibrary(const QString& folder)
{
    makeBackup(folder, QStringLiteral(R"(
insert into handle (ROWID, id, service) values (1, '+1555', 'SMS');
insert into chat (ROWID, guid, chat_identifier, room_name) values (1, 'c1', '+1555', '');
insert into chat_handle_join values (1, 1);
with recursive n(i) as (select 1 union all select i + 1 from n where i < 10000)
insert into message (ROWID, guid, text, handle_id, date)
select i, 'm' || i, 'message number ' || i || ' of the long conversation', 1, i * 1000000000 from n;
insert into chat_message_join (chat_id, message_id) select 1, ROWID from message;
)"),
               true);
    const QByteArray content(32 * 1024, 'x');
    for (int i = 0; i < 240; ++i)
        writeFile(folder + QStringLiteral("/SMS/Attachments/%1/%2/file-%3.bin").arg(i % 16).arg(i % 7).arg(i), content);
}

class InterruptionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        fixtures = std::make_unique<QTemporaryDir>();
        const QString library = fixtures->filePath(QStringLiteral("Library"));
        makeLibrary(library);
        ComputerBackup encrypted;
        encrypted.password = QStringLiteral("secret");
        ASSERT_TRUE(encrypted.write(library, fixtures->filePath(QStringLiteral("encrypted"))));
        writeFile(fixtures->filePath(QStringLiteral("password")), "secret\n");
        // Readable by its owner only, or msgexport warns about it.
        QFile::setPermissions(fixtures->filePath(QStringLiteral("password")), QFile::ReadOwner | QFile::WriteOwner);
    }
    static void TearDownTestSuite() { fixtures.reset(); }

    void SetUp() override
    {
#if defined(_WIN32)
        GTEST_SKIP() << "POSIX signals";
#endif
        for (const char* name : {"home", "cache", "tmp"})
            QDir().mkpath(at(QLatin1String(name)));
    }

    QString at(const QString& name) const { return temp.filePath(name); }
    static QString library() { return fixtures->filePath(QStringLiteral("Library")); }
    static QString encrypted() { return fixtures->filePath(QStringLiteral("encrypted")); }
    static QStringList encryptedArguments()
    {
        return {encrypted(), QStringLiteral("--password-file"), fixtures->filePath(QStringLiteral("password"))};
    }
    QString viewsRoot() const { return at(QStringLiteral("cache/msgservice/views")); }

    // msgexport started with its home, cache and temporary folders in temp.
    void start(QProcess& process, const QStringList& arguments,
               const QString& program = QStringLiteral(MSGEXPORT_EXE)) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
        env.insert(QStringLiteral("HOME"), at(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), at(QStringLiteral("cache")));
        env.insert(QStringLiteral("TMPDIR"), at(QStringLiteral("tmp")));
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        ASSERT_TRUE(process.waitForStarted());
    }

    // Every file below the cache and temporary folders, marks of kept views aside.
    QStringList leftovers(const QStringList& keptViews = {}) const
    {
        QStringList files;
        for (const char* name : {"cache", "tmp"}) {
            QDirIterator it(at(QLatin1String(name)), QDir::Files | QDir::Hidden | QDir::System,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                const QString path = it.next();
                bool kept = false;
                for (const QString& view : keptViews)
                    kept = kept || path.startsWith(view + QLatin1Char('/'));
                if (!kept)
                    files << path.mid(temp.path().size() + 1);
            }
        }
        return files;
    }

    // Whether the view of the running export holds a decrypted file yet.
    bool decrypting() const
    {
        QDirIterator it(viewsRoot(), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            if (it.next().contains(QLatin1String("/SMS/")))
                return true;
        }
        return false;
    }

    static bool waitFor(QProcess& process, const std::function<bool()>& condition)
    {
        while (!condition()) {
            if (process.state() == QProcess::NotRunning)
                return false;
            process.waitForReadyRead(2);
        }
        return true;
    }

    static std::unique_ptr<QTemporaryDir> fixtures;
    QTemporaryDir temp;
};

std::unique_ptr<QTemporaryDir> InterruptionTest::fixtures;

} // namespace

#if !defined(_WIN32)

TEST_F(InterruptionTest, EachSignalDuringDecryptionStopsItAndRemovesTheView)
{
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        QProcess process;
        start(process, encryptedArguments());
        ASSERT_TRUE(waitFor(process, [this] { return decrypting(); })) << "the export ended before decrypting";
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(process.exitCode(), 128 + signal);
        EXPECT_TRUE(process.readAllStandardError().contains("msgexport: interrupted")) << signal;
        EXPECT_EQ(leftovers(), QStringList()) << "signal " << signal;
    }
}

TEST_F(InterruptionTest, ASignalWhileWritingRemovesTheViewAndItsSnapshot)
{
    for (const bool fromEncrypted : {true, false}) {
        QProcess process;
        start(process, fromEncrypted ? encryptedArguments() : QStringList{library()});
        // The export's first bytes: the view and the copy of its WAL database exist.
        ASSERT_TRUE(waitFor(process, [&process] { return process.bytesAvailable() > 0; }));
        ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 128 + SIGTERM) << fromEncrypted;
        EXPECT_EQ(leftovers(), QStringList()) << (fromEncrypted ? "encrypted" : "Library folder");
    }
}

TEST_F(InterruptionTest, AReaderThatGoesAwayEndsTheExportAsSigpipeWouldWithEverythingRemoved)
{
    for (const bool fromEncrypted : {true, false}) {
        // `msgexport ... | head -n 1`, with msgexport's own exit code.
        QProcess process;
        start(process, QStringList{QStringLiteral("-c"),
                                   QStringLiteral("\"$0\" \"$@\" | head -n 1 >/dev/null; exit ${PIPESTATUS[0]}"),
                                   QStringLiteral(MSGEXPORT_EXE)}
                                   + (fromEncrypted ? encryptedArguments() : QStringList{library()})
                                   << QStringLiteral("--quiet"),
              QStringLiteral("/bin/bash"));
        ASSERT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitCode(), 128 + SIGPIPE) << "not killed by SIGPIPE: " << fromEncrypted;
        const QByteArray err = process.readAllStandardError();
        EXPECT_FALSE(err.contains("msgexport: ")) << "a closed pipe is no error: " << err.toStdString();
        EXPECT_EQ(leftovers(), QStringList()) << (fromEncrypted ? "encrypted" : "Library folder");
    }
}

TEST_F(InterruptionTest, RunsKilledAtAnyMomentAreSweptByTheNextRunButAKeptViewStays)
{
    // A view kept on purpose, in the folder where runs make theirs.
    const QString kept = viewsRoot() + QStringLiteral("/kept");
    QProcess keeping;
    start(keeping, encryptedArguments() << QStringLiteral("--keep-view") << kept << QStringLiteral("--quiet"));
    ASSERT_TRUE(keeping.waitForFinished(60000));
    ASSERT_EQ(keeping.exitCode(), 0) << keeping.readAllStandardError().toStdString();
    ASSERT_TRUE(QFileInfo(kept + QStringLiteral("/SMS/sms.db")).isFile());

    // The length of a whole run, to spread the kills over it.
    QElapsedTimer clock;
    clock.start();
    QProcess whole;
    start(whole, encryptedArguments());
    ASSERT_TRUE(whole.waitForFinished(60000));
    ASSERT_EQ(whole.exitCode(), 0);
    const qint64 length = clock.elapsed();
    ASSERT_EQ(leftovers({kept}), QStringList());

    int sweptFolders = 0;
    for (int moment = 0; moment < 10; ++moment) {
        QProcess process;
        start(process, encryptedArguments());
        // Reads what is written so that the export never waits on a full pipe.
        clock.restart();
        while (clock.elapsed() < length * moment / 10 && process.state() == QProcess::Running) {
            process.waitForReadyRead(1);
            process.readAllStandardOutput();
        }
        process.kill();
        process.waitForFinished(60000);

        // The folders the killed run left: its marked view and copies of databases.
        int leftBehind = 0;
        for (const QFileInfo& view : QDir(viewsRoot()).entryInfoList({QStringLiteral("msgexport-*")}, QDir::Dirs))
            leftBehind += QFileInfo::exists(view.filePath() + QStringLiteral("/.msgservice-owner")) ? 1 : 0;
        leftBehind += QDir(at(QStringLiteral("tmp"))).entryList({QStringLiteral("msgservice-*")}, QDir::Dirs).size();
        sweptFolders += leftBehind;
        // The next run, even one that finds no backup, sweeps them.
        QProcess next;
        start(next, {at(QStringLiteral("no backup here")), QStringLiteral("--verbose")});
        ASSERT_TRUE(next.waitForFinished(60000));
        EXPECT_EQ(next.exitCode(), 2);
        const QString log = QString::fromUtf8(next.readAllStandardError());
        EXPECT_EQ(log.count(QStringLiteral(" left by process ")), leftBehind) << "one line each: " << log.toStdString();
        EXPECT_EQ(leftovers({kept}), QStringList()) << "killed at moment " << moment;
    }
    std::cout << sweptFolders << " folders of the 10 killed runs were swept" << std::endl;
    EXPECT_TRUE(QFileInfo(kept + QStringLiteral("/SMS/sms.db")).isFile()) << "a kept view is no run's leftover";
}

#endif
