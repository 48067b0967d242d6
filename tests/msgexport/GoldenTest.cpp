// The sample backup in all three formats, against files checked in under
// golden/. After an intended change of the output, regenerate them with
//   MSGEXPORT_UPDATE_GOLDEN=1 ctest --test-dir <build> -R Golden
// and review the diff. The backup's absolute path is written as @BACKUP@.
#include "TestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace {

QString normalized(QString text)
{
    return text.replace(sampleBackup(), QStringLiteral("@BACKUP@"));
}

void compareWithGolden(const QString& name, const QString& actual)
{
    const QString path = QStringLiteral(MSGEXPORT_GOLDEN_DIR "/") + name;
    if (qEnvironmentVariableIsSet("MSGEXPORT_UPDATE_GOLDEN")) {
        writeFile(path, actual.toUtf8());
        std::cout << "updated " << path.toStdString() << '\n';
        return;
    }
    const QString expected = readFile(path);
    ASSERT_FALSE(expected.isEmpty()) << "no golden file " << path.toStdString()
                                     << "; create it with MSGEXPORT_UPDATE_GOLDEN=1";
    EXPECT_EQ(actual.toStdString(), expected.toStdString()) << "differs from " << path.toStdString();
}

TEST(GoldenTest, TextAndJson)
{
    for (const char* format : {"text", "json"}) {
        // The zone by name, so that the JSON names it alike on every system (it reads the system's by its file).
        const ExportRun run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QLatin1String(format),
                                            QStringLiteral("--timezone"), QStringLiteral("UTC")});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
        compareWithGolden(QStringLiteral("sample.") + QLatin1String(format == std::string("text") ? "txt" : "json"), normalized(run.out));
    }
    // The sample holds every kind of value, so its JSON has every key; docs/json-schema.md names exactly those.
    QStringList documented = captures(readFile(QStringLiteral(MSGEXPORT_SCHEMA_DOC)), QStringLiteral("(?m)^\\| `(\\w+)` \\|"));
    QStringList written = captures(readFile(QStringLiteral(MSGEXPORT_GOLDEN_DIR "/sample.json")), QStringLiteral("\"(\\w+)\": "));
    for (QStringList* keys : {&documented, &written}) {
        keys->removeDuplicates();
        keys->sort();
    }
    EXPECT_EQ(written, documented);
}

// Every file written, pages and copies, is listed; the index and one page of
// each layout (one-to-one with images, a group with senders) are compared.
TEST(GoldenTest, Html)
{
    QTemporaryDir output;
    const ExportRun run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("html"), QStringLiteral("--output"),
                                        output.path(), QStringLiteral("--copy-attachments"), QStringLiteral("--quiet"),
                                        QStringLiteral("--no-convert")}); // the same on builds without conversion
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    QStringList files;
    QDirIterator it(output.path(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << QDir(output.path()).relativeFilePath(it.next());
    files.sort();
    compareWithGolden(QStringLiteral("html/files.txt"), files.join(QLatin1Char('\n')) + QLatin1Char('\n'));
    // Every page carries the same style sheet, a constant of the writer; the goldens hold what varies.
    const QRegularExpression style(QStringLiteral("<style>.*</style>"), QRegularExpression::DotMatchesEverythingOption);
    const QString indexStyle = style.match(readFile(output.filePath(QStringLiteral("index.html")))).captured(0);
    ASSERT_FALSE(indexStyle.isEmpty());
    for (const QString& file : files.filter(QStringLiteral(".html"))) {
        QString page = normalized(readFile(output.filePath(file)));
        EXPECT_EQ(style.match(page).captured(0), indexStyle) << file.toStdString();
        if (QFile::exists(QStringLiteral(MSGEXPORT_GOLDEN_DIR "/html/") + file))
            compareWithGolden(QStringLiteral("html/") + file, page.replace(style, QStringLiteral("<style>@STYLE@</style>")));
    }
}

} // namespace
