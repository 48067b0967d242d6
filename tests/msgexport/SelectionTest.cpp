// Choosing what to export (conversations, days in a time zone) and the CSV
// export, read back with a strict RFC 4180 reader and held against the JSON
// export of the same backup.
#include "TestSupport.h"

#include "ExportWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

QJsonObject jsonExport(const QStringList& extra)
{
    const ExportRun run = runMsgExport(QStringList{sampleBackup(), QStringLiteral("--format"), QStringLiteral("json")} + extra);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return QJsonDocument::fromJson(run.out.toUtf8()).object();
}

// (conversation index, message id) of every message, with its date.
QMap<QPair<int, qint64>, QDateTime> messagesOf(const QJsonObject& exported)
{
    QMap<QPair<int, qint64>, QDateTime> messages;
    for (const QJsonValue conversation : exported.value(QStringLiteral("conversations")).toArray()) {
        for (const QJsonValue message : conversation[QStringLiteral("messages")].toArray())
            messages.insert(qMakePair(conversation[QStringLiteral("index")].toInt(),
                                      static_cast<qint64>(message[QStringLiteral("id")].toDouble())),
                            QDateTime::fromString(message[QStringLiteral("date")].toString(), Qt::ISODate));
    }
    return messages;
}

// RFC 4180, strictly: a quote inside an unquoted field, text after a closing
// quote, a bare LF as row end or an unclosed quote fail the test.
QList<QStringList> parseCsv(const QByteArray& bytes)
{
    const QString text = QString::fromUtf8(bytes);
    QList<QStringList> rows;
    QStringList row;
    QString field;
    int i = 0;
    const auto endField = [&] { row << field; field.clear(); };
    while (i < text.size()) {
        if (text[i] == QLatin1Char('"') && field.isEmpty()) {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unclosed quote";
                    return rows;
                }
                if (text[i] == QLatin1Char('"')) {
                    if (i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += text[i];
            }
            if (i < text.size() && text[i] != QLatin1Char(',') && text[i] != QLatin1Char('\r')) {
                ADD_FAILURE() << "text after a closing quote in row " << rows.size();
                return rows;
            }
            continue;
        }
        if (text[i] == QLatin1Char(',')) {
            endField();
        } else if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n')) {
            endField();
            rows << row;
            row.clear();
            ++i;
        } else if (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\n') || text[i] == QLatin1Char('\r')) {
            ADD_FAILURE() << "bare quote or line end in row " << rows.size();
            return rows;
        } else {
            field += text[i];
        }
        ++i;
    }
    EXPECT_TRUE(row.isEmpty() && field.isEmpty()) << "the last row has no CRLF";
    return rows;
}

} // namespace

TEST(SelectionTest, ChosenConversationsAndDaysAreExactlyThoseOfTheZone)
{
    const auto all = messagesOf(jsonExport({}));
    ASSERT_FALSE(all.isEmpty());
    // Days that begin and end at a different moment in each zone: what one
    // zone puts on a day the other puts on the next.
    for (const char* zoneName : {"Asia/Tokyo", "America/Los_Angeles"}) {
        const QTimeZone zone(zoneName);
        const QDate since(2024, 5, 3), until(2024, 5, 10);
        const QJsonObject chosen =
            jsonExport({QStringLiteral("--since"), since.toString(Qt::ISODate), QStringLiteral("--until"),
                        until.toString(Qt::ISODate), QStringLiteral("--timezone"), QLatin1String(zoneName)});
        EXPECT_EQ(chosen[QStringLiteral("timeZone")].toString(), QLatin1String(zoneName));
        EXPECT_TRUE(chosen[QStringLiteral("selection")].toString().contains(QStringLiteral("2024-05-03 to 2024-05-10")));
        QMap<QPair<int, qint64>, QDateTime> expected;
        for (auto it = all.begin(); it != all.end(); ++it) {
            const QDate day = it.value().toTimeZone(zone).date();
            if (day >= since && day <= until)
                expected.insert(it.key(), it.value());
        }
        EXPECT_EQ(messagesOf(chosen).keys(), expected.keys()) << zoneName;
        EXPECT_LT(expected.size(), all.size());
    }

    // By name (any case), by address written another way, by number; numbers stay those of the whole export.
    const ExportRun run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json"),
                                        QStringLiteral("--conversation"), QStringLiteral("maya CHEN"),
                                        QStringLiteral("--conversation"), QStringLiteral("+1 (415) 555-0177"),
                                        QStringLiteral("--conversation"), QStringLiteral("3"),
                                        QStringLiteral("--conversation"), QStringLiteral("nobody at all")});
    ASSERT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.contains(QStringLiteral("no conversation matches --conversation nobody at all"))) << run.err.toStdString();
    const QJsonArray conversations = QJsonDocument::fromJson(run.out.toUtf8())[QStringLiteral("conversations")].toArray();
    QStringList found;
    for (const QJsonValue conversation : conversations)
        found << QStringLiteral("%1 %2").arg(conversation[QStringLiteral("index")].toInt()).arg(conversation[QStringLiteral("title")].toString());
    const QJsonArray everything = QJsonDocument::fromJson(runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("json")}).out.toUtf8())[QStringLiteral("conversations")].toArray();
    // Maya's own conversation, Daniel's, number 3, and the groups Maya is in.
    QStringList expected;
    for (const QJsonValue conversation : everything) {
        const QString text = QString::fromUtf8(QJsonDocument(conversation[QStringLiteral("participants")].toArray()).toJson());
        const int index = conversation[QStringLiteral("index")].toInt();
        if (index == 3 || text.contains(QStringLiteral("+14155550132")) || text.contains(QStringLiteral("+14155550177")))
            expected << QStringLiteral("%1 %2").arg(index).arg(conversation[QStringLiteral("title")].toString());
    }
    EXPECT_EQ(found, expected);

    // Times are shown in the zone: text and HTML alike.
    const ExportRun tokyo = runMsgExport({sampleBackup(), QStringLiteral("--timezone"), QStringLiteral("Asia/Tokyo")});
    EXPECT_TRUE(tokyo.out.contains(QStringLiteral("2024-05-11 03:02  Maya Chen: Are we still on"))) << tokyo.out.toStdString();

    for (const QStringList& wrong : {QStringList{QStringLiteral("--timezone"), QStringLiteral("Mars/Olympus")},
                                     QStringList{QStringLiteral("--since"), QStringLiteral("10/05/2024")},
                                     QStringList{QStringLiteral("--since"), QStringLiteral("2024-05-11"), QStringLiteral("--until"), QStringLiteral("2024-05-10")}}) {
        EXPECT_EQ(runMsgExport(QStringList{sampleBackup()} + wrong).exitCode, 1) << wrong.join(QLatin1Char(' ')).toStdString();
    }
}

TEST(SelectionTest, CsvReadsBackAsTheJsonExportMessageForMessage)
{
    QTemporaryDir output;
    const ExportRun run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--excel"),
                                        QStringLiteral("--output"), output.path(), QStringLiteral("--quiet")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QFile file(output.filePath(QStringLiteral("messages.csv")));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QList<QStringList> rows = parseCsv(bytes.mid(3));
    ASSERT_FALSE(rows.isEmpty());

    // The header is the documented list of columns.
    const QStringList documented = captures(readFile(QStringLiteral(MSGEXPORT_CSV_DOC)), QStringLiteral("(?m)^\\| `(\\w+)` \\|"));
    EXPECT_EQ(rows.first(), documented);
    const int id = documented.indexOf(QStringLiteral("message_id")), text = documented.indexOf(QStringLiteral("text")),
              utc = documented.indexOf(QStringLiteral("date_utc")), number = documented.indexOf(QStringLiteral("conversation_number"));

    const QJsonObject json = jsonExport({});
    QStringList expected, actual;
    for (const QJsonValue conversation : json[QStringLiteral("conversations")].toArray()) {
        for (const QJsonValue message : conversation[QStringLiteral("messages")].toArray()) {
            const QString groupText = message[QStringLiteral("details")][QStringLiteral("groupEventText")].toString();
            QString words = groupText.isEmpty() ? message[QStringLiteral("text")].toString() : groupText;
            if (words.startsWith(QLatin1Char('=')) || words.startsWith(QLatin1Char('@')))
                words.prepend(QLatin1Char('\''));
            expected << QStringList{QString::number(conversation[QStringLiteral("index")].toInt()),
                                    QString::number(message[QStringLiteral("id")].toInt()),
                                    message[QStringLiteral("date")].toString(), words}
                            .join(QLatin1Char('|'));
        }
    }
    for (int r = 1; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), documented.size()) << "row " << r;
        actual << QStringList{rows[r][number], rows[r][id], rows[r][utc], rows[r][text]}.join(QLatin1Char('|'));
    }
    EXPECT_EQ(actual, expected);
    // Line breaks, quotes and commas of the sample's texts survived the round trip.
    EXPECT_TRUE(actual.join(QString()).contains(QLatin1Char('\n')));
    EXPECT_TRUE(actual.join(QString()).contains(QLatin1Char('"')));
}

// A build without the PDF libraries (the Windows one) says so, and refuses the format with a reason.
TEST(SelectionTest, PdfIsThereOrRefusedWithAReason)
{
    QTemporaryDir output;
    const ExportRun version = runMsgExport({QStringLiteral("--version")});
    const ExportRun pdf = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("pdf"), QStringLiteral("--output"),
                                        output.path(), QStringLiteral("--quiet")},
                                       {QStringLiteral(MSGEXPORT_PDF_LEAKS)});
    if (ExportWriter::pdfBuiltIn()) {
        EXPECT_FALSE(version.out.contains(QStringLiteral("not built in")));
        EXPECT_EQ(pdf.exitCode, 0) << pdf.err.toStdString();
    } else {
        EXPECT_TRUE(version.out.contains(QStringLiteral("(PDF export not built in)")));
        EXPECT_EQ(pdf.exitCode, 1);
        EXPECT_TRUE(pdf.err.contains(QStringLiteral("built without PDF export"))) << pdf.err.toStdString();
    }
}
