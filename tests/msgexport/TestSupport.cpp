#include "TestSupport.h"

#include "FixtureDatabase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

ExportRun runMsgExport(const QStringList& arguments, const QStringList& environment)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TZ"), QStringLiteral("UTC"));
    for (const QString& entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(MSGEXPORT_EXE), arguments);
    ExportRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "msgexport did not finish: " << process.errorString().toStdString();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
#if defined(_WIN32)
    run.err.remove(QLatin1Char('\r')); // standard error stays a text stream there
#endif
    return run;
}

QString sampleBackup()
{
    return QFileInfo(QStringLiteral(MSGEXPORT_SAMPLE_BACKUP)).canonicalFilePath();
}

void makeBackup(const QString& folder, const QString& sql, bool walOnly)
{
    const QString schema = FixtureDatabase::readText(QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"));
    ASSERT_TRUE(QDir().mkpath(folder + QStringLiteral("/SMS")));
    QString error;
    ASSERT_TRUE(FixtureDatabase::create(folder + QStringLiteral("/SMS/sms.db"), schema + sql,
                                        walOnly ? FixtureDatabase::Journal::WalOnly : FixtureDatabase::Journal::Rollback,
                                        &error))
        << error.toStdString();
}

QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(content);
}

QStringList captures(const QString& text, const QString& pattern)
{
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(text);
    while (it.hasNext())
        found << it.next().captured(1);
    return found;
}

QStringList pageLinks(const QString& html)
{
    return captures(html, QStringLiteral("(?:href|src)=\"([^\"]*)\""));
}
