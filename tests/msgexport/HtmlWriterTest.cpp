// Pages must show every text as text and point only at files that may be shown.
#include "HtmlWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const QString hostile = QStringLiteral("<script>alert(\"x\")</script> & 'quoted' %1");
const QString escaped = QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;quoted&#39; %1");

PieceView piece(const QString& name, const QString& mime, BackupBoundary::FileState state, const QString& copy = {},
                const QString& preview = {}, BackupBoundary::FileState previewState = BackupBoundary::FileState::Present)
{
    PieceView view;
    view.kind = PieceView::Kind::Attachment;
    AttachmentView& a = view.attachment;
    a.mimeType = mime;
    a.fileName = name;
    a.filePath = QStringLiteral("/backup/SMS/") + name;
    a.previewPath = preview.isEmpty() ? a.filePath : QStringLiteral("/backup/SMS/") + preview;
    a.fileState = state;
    a.previewState = preview.isEmpty() ? state : previewState;
    a.copiedFile = copy;
    return view;
}

} // namespace

TEST(HtmlWriterTest, PagesShowHostileTextAsTextAndLinkOnlyFilesThatMayBeShown)
{
    using State = BackupBoundary::FileState;
    MessageView message;
    message.subject = message.senderName = message.text = hostile;
    message.textFromArchivedBody = true;
    message.details.edited = true;
    message.details.editHistory << EditView{0, 0, QDateTime(), hostile};
    message.pieces << piece(QStringLiteral("\" onerror=\"alert(1).jpg"), QStringLiteral("image/jpeg"), State::Present)
                   << piece(QStringLiteral("passwd"), QStringLiteral("text/plain"), State::Outside)
                   << piece(QStringLiteral("gone.mov"), QStringLiteral("video/quicktime"), State::Missing, {},
                            QStringLiteral("gone-preview-left.jpg"), State::Present)
                   << piece(QStringLiteral("Jorge #1.vcf"), QStringLiteral("text/vcard"), State::Present, QStringLiteral("attachments/Jorge #1.vcf"));
    ConversationView conversation;
    conversation.title = hostile;
    conversation.participantLabels << hostile << QStringLiteral("Maya Chen <+14155550132>");
    conversation.messages << message;
    ExportDocument document;
    document.backupFolder = hostile;
    document.conversations << conversation;

    EXPECT_EQ(HtmlWriter::escape(hostile), escaped);
    const QString page = HtmlWriter::conversationPage(document, conversation);
    for (const QString& html : {page, HtmlWriter::indexPage(document)}) {
        EXPECT_FALSE(html.contains(QStringLiteral("<script"), Qt::CaseInsensitive) || html.contains(QStringLiteral("\" onerror")));
        EXPECT_TRUE(html.contains(escaped) && html.contains(QStringLiteral("Maya Chen &lt;+14155550132&gt;")));
    }
    EXPECT_EQ(page.count(QStringLiteral("&lt;script&gt;")), 7) << "title twice, participants, sender, subject, words, earlier words";
    EXPECT_TRUE(page.contains(QStringLiteral("<span class=\"edited\">Edited</span>")));
    EXPECT_EQ(pageLinks(page), QStringList({QStringLiteral("index.html"), QStringLiteral("file:///backup/SMS/%22%20onerror=%22alert(1).jpg"),
                                            QStringLiteral("file:///backup/SMS/%22%20onerror=%22alert(1).jpg"),
                                            QStringLiteral("file:///backup/SMS/gone-preview-left.jpg"),
                                            QStringLiteral("attachments/Jorge%20%231.vcf")}));
    EXPECT_TRUE(page.contains(QStringLiteral("passwd (text/plain) \u2014 not in the backup")));
    EXPECT_FALSE(page.contains(QStringLiteral("outside"))) << "the page does not tell outside from missing";
    EXPECT_TRUE(page.contains(QStringLiteral("<span class=\"attachment image\"><img src=\"file:///backup/SMS/gone-preview-left.jpg\"")))
        << "a missing video still shows its preview, without a link";
}

// Formatted runs, mentions, effects and app lines come from the database as
// much as the words do: all escaped, and only web links become links.
TEST(HtmlWriterTest, FormattedRunsAndAppLinesAreEscapedAndLinkOnlyTheWeb)
{
    MessageView message;
    message.text = message.senderName = QStringLiteral("x");
    MessageDetailsView& details = message.details;
    details.bodyText = hostile.arg(QStringLiteral("tail"));
    const int cut = details.bodyText.indexOf(QLatin1Char('&'));
    MsgTextRun script;
    script.length = cut;
    script.bold = true;
    script.mention = QStringLiteral("\" onclick=\"x");
    script.link = QStringLiteral("javascript:alert(1)");
    script.effect = QStringLiteral("\"><script>");
    MsgTextRun rest;
    rest.start = cut;
    rest.length = details.bodyText.size() - cut;
    rest.link = QStringLiteral("https://example.com/a\"b");
    details.textRuns << script << rest;
    details.app.bundleId = QStringLiteral("org.example.<b>");
    details.app.caption = hostile.arg(QStringLiteral("caption"));
    ConversationView conversation;
    conversation.title = QStringLiteral("t");
    conversation.messages << message;
    ExportDocument document;
    document.conversations << conversation;

    const QString page = HtmlWriter::conversationPage(document, conversation);
    EXPECT_FALSE(page.contains(QStringLiteral("<script"), Qt::CaseInsensitive) || page.contains(QStringLiteral("\" onclick"))
                 || page.contains(QStringLiteral("javascript:")));
    EXPECT_TRUE(page.contains(QStringLiteral("<b>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; </b>")));
    EXPECT_EQ(pageLinks(page), QStringList({QStringLiteral("index.html"), QStringLiteral("https://example.com/a%22b")}));
    EXPECT_TRUE(page.contains(escaped.arg(QStringLiteral("caption")) + QStringLiteral(" (unknown app org.example.&lt;b&gt;)")));
}

// Converted media: a picture is its thumbnail linking the full-size copy,
// sound and video play from their converted files, a video browsers may not
// decode keeps its poster, and a file that could not be converted is a note
// where its picture would be. Each links its original as well.
TEST(HtmlWriterTest, ConvertedMediaShowsItsThumbnailPlayerOrNote)
{
    using State = BackupBoundary::FileState;
    using Kind = ConvertedMediaView::Kind;
    const auto converted = [](PieceView view, Kind kind, const QString& path, const QString& thumbnail,
                              const QString& note = {}) {
        view.attachment.converted.kind = kind;
        view.attachment.converted.path = path;
        view.attachment.converted.thumbnail = thumbnail;
        view.attachment.converted.note = note;
        return view;
    };
    MessageView message;
    message.pieces << converted(piece(QStringLiteral("IMG_1.HEIC"), QStringLiteral("image/heic"), State::Present), Kind::Image,
                                QStringLiteral("media/aa/aa.jpg"), QStringLiteral("media/aa/aa-thumb.jpg"))
                   << converted(piece(QStringLiteral("Audio Message.caf"), QStringLiteral("audio/x-caf"), State::Present),
                                Kind::Audio, QStringLiteral("media/bb/bb.ogg"), QString())
                   << converted(piece(QStringLiteral("IMG_2.MOV"), QStringLiteral("video/quicktime"), State::Present),
                                Kind::Video, QStringLiteral("media/cc/cc.mp4"), QStringLiteral("media/cc/cc-poster.jpg"))
                   << converted(piece(QStringLiteral("IMG_3.MOV"), QStringLiteral("video/quicktime"), State::Present),
                                Kind::Video, QString(), QStringLiteral("media/dd/dd-poster.jpg"))
                   << converted(piece(QStringLiteral("bomb.heic"), QStringLiteral("image/heic"), State::Present), Kind::Image,
                                QString(), QString(), QStringLiteral("picture too large to convert (30000 \u00D7 30000)"));
    ConversationView conversation;
    conversation.messages << message;
    ExportDocument document;
    document.conversations << conversation;
    const QString page = HtmlWriter::conversationPage(document, conversation);

    EXPECT_EQ(pageLinks(page).join(QLatin1Char(' ')).toStdString(),
              QStringList({QStringLiteral("index.html"), QStringLiteral("media/aa/aa.jpg"), QStringLiteral("media/aa/aa-thumb.jpg"),
                           QStringLiteral("file:///backup/SMS/IMG_1.HEIC"), QStringLiteral("media/bb/bb.ogg"),
                           QStringLiteral("file:///backup/SMS/Audio%20Message.caf"), QStringLiteral("media/cc/cc.mp4"), QStringLiteral("file:///backup/SMS/IMG_2.MOV"),
                           QStringLiteral("file:///backup/SMS/IMG_3.MOV"), QStringLiteral("media/dd/dd-poster.jpg"),
                           QStringLiteral("file:///backup/SMS/bomb.heic")})
                  .join(QLatin1Char(' ')).toStdString());
    EXPECT_TRUE(page.contains(QStringLiteral("<audio controls")));
    EXPECT_TRUE(page.contains(QStringLiteral("<video controls preload=\"none\" poster=\"media/cc/cc-poster.jpg\"")));
    EXPECT_TRUE(page.contains(QStringLiteral("bomb.heic \u2014 picture too large to convert (30000 \u00D7 30000)</span>")));
    EXPECT_EQ(page.count(QStringLiteral("<img ")), 2);
}
