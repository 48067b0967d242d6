// The PDF export read back with poppler's tools: its text, message for
// message, is that of the JSON export in reading order; every font is
// embedded; every page has its "page N of M"; the pictures are in it. One
// page is rendered to the artifacts for a person to look at.
#include "PopplerTools.h"
#include "TestSupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Text as compared: compatibility forms folded, without white space (the
// extraction puts spaces inside joined scripts), without the direction marks it
// adds, and without emoji and other
// symbols, which are drawn as pictures.
QString comparable(const QString& text)
{
    QString kept;
    for (const uint c : text.normalized(QString::NormalizationForm_KC).toUcs4()) {
        const QChar::Category category = QChar::category(c);
        if (QChar::isSpace(c) || category == QChar::Symbol_Other || category == QChar::Symbol_Modifier
            || category == QChar::Mark_Enclosing || category == QChar::Other_Format || c == 0xFE0F)
            continue;
        kept += QString::fromUcs4(&c, 1);
    }
    return kept;
}

using PopplerTools::path;
using PopplerTools::run;

} // namespace

TEST(PdfWriterTest, TextFontsPagesAndPicturesReadBack)
{
    QTemporaryDir output;
    // Under LeakSanitizer, what fontconfig and Cairo keep for the process's life is no leak of the export.
    const ExportRun exported = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("pdf"),
                                             QStringLiteral("--page-size"), QStringLiteral("letter"),
                                             QStringLiteral("--output"), output.path(), QStringLiteral("--quiet")},
                                            {QStringLiteral(MSGEXPORT_PDF_LEAKS)});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    const QJsonArray conversations = QJsonDocument::fromJson(
        runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json")}).out.toUtf8())[QStringLiteral("conversations")].toArray();
    ASSERT_FALSE(conversations.isEmpty());

    const QString index = run(QStringLiteral("pdftotext"), {path(output.filePath(QStringLiteral("index.pdf"))), QStringLiteral("-")});
    for (const QJsonValue conversation : conversations) {
        const int number = conversation[QStringLiteral("index")].toInt();
        const QString file = output.filePath(QStringLiteral("conversation-%1.pdf").arg(number + 1, 4, 10, QLatin1Char('0')));
        const QString title = conversation[QStringLiteral("title")].toString();
        EXPECT_TRUE(comparable(index).contains(comparable(title))) << title.toStdString();

        // Each message's date and words, in order, after the cover (which ends with the tool's name).
        const QString text = comparable(run(QStringLiteral("pdftotext"), {path(file), QStringLiteral("-")}));
        int at = text.indexOf(QStringLiteral("msgexport1."));
        ASSERT_GE(at, 0) << file.toStdString();
        // The extraction may put a right-aligned paragraph (Arabic) after the
        // lines beside it: the dates, on the left, give the order.
        const int cover = at;
        for (const QJsonValue message : conversation[QStringLiteral("messages")].toArray()) {
            const QString event = message[QStringLiteral("details")][QStringLiteral("groupEventText")].toString();
            const QString date = QDateTime::fromString(message[QStringLiteral("date")].toString(), Qt::ISODate)
                                     .toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm"));
            const int found = text.indexOf(comparable(date), at);
            EXPECT_GE(found, 0) << title.toStdString() << ": " << date.toStdString() << " after " << at;
            at = std::max(at, found);
            const QString words = event.isEmpty() ? message[QStringLiteral("text")].toString() : event;
            EXPECT_GE(text.indexOf(comparable(words), cover), 0) << title.toStdString() << ": " << words.toStdString();
        }

        // Page N of M on every page, M the number of pages.
        const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                              .match(run(QStringLiteral("pdfinfo"), {path(file)})).captured(1).toInt();
        ASSERT_GE(pages, 2);
        for (int page = 1; page <= pages; ++page) {
            const QString one = run(QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                                                  QString::number(page), path(file), QStringLiteral("-")});
            EXPECT_TRUE(one.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pages))) << file.toStdString() << " page " << page;
        }

        // Every font embedded (and subset: its name has the six-letter tag).
        const QStringList fonts = run(QStringLiteral("pdffonts"), {path(file)}).split(QLatin1Char('\n'), Qt::SkipEmptyParts).mid(2);
        EXPECT_FALSE(fonts.isEmpty());
        for (const QString& font : fonts) {
            const QStringList columns = font.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            ASSERT_GE(columns.size(), 7) << font.toStdString();
            EXPECT_EQ(columns[columns.size() - 5], QStringLiteral("yes")) << "not embedded: " << font.toStdString();
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^[A-Z]{6}\\+")).match(columns[0]).hasMatch()) << font.toStdString();
        }
    }

    // Letter pages; the two photos of the first conversation as thumbnails.
    const QString first = output.filePath(QStringLiteral("conversation-0001.pdf"));
    EXPECT_TRUE(run(QStringLiteral("pdfinfo"), {path(first)}).contains(QStringLiteral("612 x 792 pts")));
    const auto thumbnails = [](const QString& file) {
        int count = 0;
        for (const QString& line : run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path(file)}).split(QLatin1Char('\n')).mid(2)) {
            const QStringList columns = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (columns.size() > 4 && columns[3].toInt() >= 100 && columns[3].toInt() <= 300)
                ++count;
        }
        return count;
    };
    EXPECT_EQ(thumbnails(first), 2);
#if defined(MSGEXPORT_WITH_MEDIA)
    // Daniel's HEIC photo, sticker and video, from the thumbnails the media conversion made (the
    // sticker's transparency is an image of its own); undecodable HEIC alone would give none.
    EXPECT_GE(thumbnails(output.filePath(QStringLiteral("conversation-0002.pdf"))), 3);
#endif
    ASSERT_TRUE(QDir().mkpath(QStringLiteral(MSGEXPORT_ARTIFACT_DIR)));
    run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-f"),
                                     QStringLiteral("2"), QStringLiteral("-singlefile"), path(output.filePath(QStringLiteral("conversation-0006.pdf"))),
                                     path(QStringLiteral(MSGEXPORT_ARTIFACT_DIR "/msgexport-pdf-page"))});
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral(MSGEXPORT_ARTIFACT_DIR "/msgexport-pdf-page.png")));
}
