// The exported pages in a real browser, from file://: headless chromium
// renders the DOM, and a copy of each page with a small script reports
// whether every image decoded. Skipped only where chromium is not installed.
// A screenshot of a conversation is kept in <build>/artifacts/.
#include "TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

class BrowserTest : public ::testing::Test
{
protected:
    QString chromium = qEnvironmentVariable("MSGEXPORT_CHROMIUM", QStringLiteral("/usr/bin/chromium"));
    QTemporaryDir temp;
    QString pages = temp.path() + QStringLiteral("/pages");

    void SetUp() override
    {
        if (!QFileInfo(chromium).isExecutable())
            GTEST_SKIP() << "chromium not found at " << chromium.toStdString() << " (set MSGEXPORT_CHROMIUM)";
        const ExportRun run = runMsgExport({sampleBackup(), QStringLiteral("--format"), QStringLiteral("html"),
                                            QStringLiteral("--output"), pages, QStringLiteral("--copy-attachments")});
        ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    }

    // Runs headless chromium on a page; returns its standard output.
    QString browse(const QString& page, const QStringList& extra)
    {
        QProcess process;
        process.start(chromium, QStringList{QStringLiteral("--headless"), QStringLiteral("--no-sandbox"),
                                            QStringLiteral("--disable-gpu"), QStringLiteral("--disable-background-networking"),
                                            QStringLiteral("--no-first-run"), QStringLiteral("--disable-component-update"),
                                            QStringLiteral("--disable-sync"), QStringLiteral("--hide-scrollbars"),
                                            QStringLiteral("--user-data-dir=") + temp.path() + QStringLiteral("/profile"),
                                            QStringLiteral("--virtual-time-budget=5000")}
                                    + extra + QStringList{QUrl::fromLocalFile(page).toString()});
        if (!process.waitForFinished(90000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "chromium did not finish on " << page.toStdString();
        }
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QString dumpDom(const QString& page) { return browse(page, {QStringLiteral("--dump-dom")}); }
};

TEST_F(BrowserTest, EveryImageDecodesAndAScreenshotIsKept)
{
    // Decoding is only visible to script, which the pages forbid: a copy of
    // each page with images is allowed inline script, and nothing else changes.
    int checked = 0;
    for (const QString& name : QDir(pages).entryList({QStringLiteral("conversation-*.html")})) {
        QString html = readFile(pages + QLatin1Char('/') + name);
        const int images = html.count(QStringLiteral("<img "));
        if (images == 0)
            continue;
        html.replace(QStringLiteral("default-src 'none';"), QStringLiteral("default-src 'none'; script-src 'unsafe-inline';"));
        html.replace(QStringLiteral("</body>"), QStringLiteral("<script>addEventListener('load', () => { document.body.dataset.images = "
                                                               "[...document.images].map(i => i.complete && i.naturalWidth > 0 ? 'ok' : "
                                                               "'broken').join(' '); });</script></body>"));
        const QString check = pages + QStringLiteral("/check-") + name;
        writeFile(check, html.toUtf8());
        EXPECT_EQ(captures(dumpDom(check), QStringLiteral("data-images=\"([^\"]*)\"")), QStringList{QStringLiteral("ok ").repeated(images).trimmed()})
            << name.toStdString();
        ++checked;
    }
    EXPECT_EQ(checked, 3); // the third with the HEIC photo and sticker, converted (or stand-ins where not built)

    const QString shot = QStringLiteral(MSGEXPORT_ARTIFACT_DIR "/msgexport-conversation.png");
    ASSERT_TRUE(QDir().mkpath(QFileInfo(shot).path()));
    QFile::remove(shot);
    browse(pages + QStringLiteral("/conversation-0006.html"), {QStringLiteral("--window-size=900,1100"), QStringLiteral("--screenshot=") + shot});
    QFile png(shot);
    ASSERT_TRUE(png.open(QIODevice::ReadOnly)) << shot.toStdString();
    EXPECT_EQ(png.read(8), QByteArray("\x89PNG\r\n\x1a\n", 8));
    EXPECT_GT(png.size(), 10000);
}

// What the styles and marks look like once rendered: computed by a script
// in a copy of the pages, as above.
TEST_F(BrowserTest, FormattedTextAndDeletedMarksRenderAsTheySay)
{
    const char* const probe =
        "<script>addEventListener('load', () => { const s = e => e ? getComputedStyle(e) : {};"
        "const q = t => document.querySelector(t); const base = parseFloat(s(q('.text')).fontSize);"
        "document.body.dataset.look = ["
        "parseInt(s(q('.formatted b')).fontWeight) >= 600, s(q('.formatted i')).fontStyle == 'italic',"
        "String(s(q('.formatted u')).textDecorationLine).includes('underline'),"
        "String(s(q('.formatted s')).textDecorationLine).includes('line-through'),"
        "parseFloat(s(q('.effect-big')).fontSize) > base, q('.effect-big') ? q('.effect-big').title : '',"
        "q('.mention') ? q('.mention').textContent : '', q('.formatted a') ? q('.formatted a').textContent : '',"
        "parseFloat(s(q('.msg.deleted .bubble')).opacity) < 1,"
        "q('.msg.deleted .deleted-mark') ? q('.msg.deleted .deleted-mark').innerText : ''].join('|'); });</script>";
    QStringList looks;
    for (const char* name : {"conversation-0001.html", "conversation-0006.html"}) {
        QString html = readFile(pages + QLatin1Char('/') + QLatin1String(name));
        html.replace(QStringLiteral("default-src 'none';"), QStringLiteral("default-src 'none'; script-src 'unsafe-inline';"));
        html.replace(QStringLiteral("</body>"), QLatin1String(probe) + QStringLiteral("</body>"));
        const QString check = pages + QStringLiteral("/look-") + QLatin1String(name);
        writeFile(check, html.toUtf8());
        looks << captures(dumpDom(check), QStringLiteral("data-look=\"([^\"]*)\""));
    }
    // Maya's conversation: a link, a big effect and a deleted message;
    // the group: a mention, bold, italic and strikethrough.
    EXPECT_EQ(looks, (QStringList{QStringLiteral("false|false|true|false|true|Big||trailhead|true|Deleted 2024-05-12 10:15"),
                                  QStringLiteral("true|true|false|true|false||Maya||false|")}));
}

#if defined(MSGEXPORT_WITH_MEDIA)
// The voice message and the video of the sample play from their converted
// files: each element gets at least its metadata (readyState 1), as a
// click on play would ask for.
TEST_F(BrowserTest, ConvertedVoiceMessageAndVideoAreReadyToPlay)
{
    const QString name = QStringLiteral("conversation-0002.html");
    QString html = readFile(pages + QLatin1Char('/') + name);
    ASSERT_EQ(html.count(QStringLiteral("<audio ")), 1);
    ASSERT_EQ(html.count(QStringLiteral("<video ")), 1);
    html.replace(QStringLiteral("default-src 'none';"), QStringLiteral("default-src 'none'; script-src 'unsafe-inline';"));
    html.replace(QStringLiteral("</body>"),
                 QStringLiteral("<script>addEventListener('load', async () => {"
                                "const media = [...document.querySelectorAll('audio, video')];"
                                "await Promise.all(media.map(m => new Promise(done => {"
                                "  if (m.readyState >= 1) return done();"
                                "  m.addEventListener('loadedmetadata', done); m.addEventListener('error', done);"
                                "  m.preload = 'metadata'; m.load(); })));"
                                "document.body.dataset.media = media.map(m => m.tagName.toLowerCase() + ':'"
                                "  + (m.readyState >= 1 ? 'ready' : 'not-ready') + ':' + m.currentSrc.split('.').pop()).join(' ');"
                                "});</script></body>"));
    const QString check = pages + QStringLiteral("/check-media-") + name;
    writeFile(check, html.toUtf8());
    // The browser reads media on its own threads in real time, which a busy
    // machine may not give it before the page's time is up: a page that has
    // not heard back is asked again, a wrong answer is not.
    const QStringList expected{QStringLiteral("audio:ready:ogg video:ready:mp4")};
    QStringList media;
    for (int attempt = 0; attempt < 3 && media != expected; ++attempt) {
        media = captures(dumpDom(check), QStringLiteral("data-media=\"([^\"]*)\""));
        if (!media.isEmpty() && !media.first().contains(QStringLiteral("not-ready")))
            break;
    }
    EXPECT_EQ(media, expected);
}
#endif

} // namespace
