// Pages must show every text as text and point only at files that may be
// shown.
#include "HtmlWriter.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

namespace {

const QString hostile = QStringLiteral("<script>alert(\"x\")</script> & 'quoted' %1");

AttachmentView attachment(const QString& name, const QString& mime, BackupBoundary::FileState state)
{
    AttachmentView view;
    view.mimeType = mime;
    view.fileName = name;
    view.filePath = QStringLiteral("/backup/SMS/Attachments/") + name;
    view.previewPath = view.filePath;
    view.fileState = state;
    view.previewState = state;
    return view;
}

PieceView piece(const AttachmentView& attachment)
{
    PieceView view;
    view.kind = PieceView::Kind::Attachment;
    view.attachment = attachment;
    return view;
}

ExportDocument hostileDocument()
{
    using State = BackupBoundary::FileState;
    MessageView message;
    message.id = 1;
    message.isNonSms = 1;
    message.subject = hostile;
    message.senderName = hostile;
    message.text = hostile;
    message.textFromArchivedBody = true;
    message.pieces << piece(attachment(QStringLiteral("\" onerror=\"alert(1).jpg"), QStringLiteral("image/jpeg"),
                                       State::Present));
    message.pieces << piece(attachment(QStringLiteral("passwd"), QStringLiteral("text/plain"), State::Outside));
    message.pieces << piece(attachment(QStringLiteral("gone.mov"), QStringLiteral("video/quicktime"), State::Missing));
    AttachmentView copied = attachment(QStringLiteral("Jorge Fontanería #1.vcf"), QStringLiteral("text/vcard"),
                                       State::Present);
    copied.copiedFile = QStringLiteral("attachments/SMS/Jorge Fontanería #1.vcf");
    message.pieces << piece(copied);

    ConversationView conversation;
    conversation.title = hostile;
    conversation.participantLabels << hostile << QStringLiteral("Maya Chen <+14155550132>");
    conversation.unreadCount = 3;
    conversation.messages << message;
    ExportDocument document;
    document.generator = QStringLiteral("msgexport test");
    document.backupFolder = hostile;
    document.conversations << conversation;
    return document;
}

TEST(HtmlWriterTest, EscapesMarkupAmpersandsAndBothQuotes)
{
    EXPECT_EQ(HtmlWriter::escape(hostile),
              QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;quoted&#39; %1"));
}

TEST(HtmlWriterTest, PagesShowHostileTextAsText)
{
    const ExportDocument document = hostileDocument();
    for (const QString& html : {HtmlWriter::conversationPage(document, document.conversations.at(0)),
                                HtmlWriter::indexPage(document)}) {
        EXPECT_FALSE(html.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
        EXPECT_FALSE(html.contains(QStringLiteral("\" onerror")));
        EXPECT_TRUE(html.contains(QStringLiteral("&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt; &amp; &#39;quoted&#39; %1")));
        EXPECT_TRUE(html.contains(QStringLiteral("Maya Chen &lt;+14155550132&gt;")));
    }
    const QString page = HtmlWriter::conversationPage(document, document.conversations.at(0));
    // Title (twice), participants, sender, subject and words.
    EXPECT_EQ(page.count(QStringLiteral("&lt;script&gt;")), 6);
}

TEST(HtmlWriterTest, LinksOnlyFilesThatMayBeShown)
{
    const ExportDocument document = hostileDocument();
    const QString page = HtmlWriter::conversationPage(document, document.conversations.at(0));
    EXPECT_EQ(pageLinks(page), QStringList({
                               QStringLiteral("index.html"),
                               QStringLiteral("file:///backup/SMS/Attachments/%22%20onerror=%22alert(1).jpg"),
                               QStringLiteral("file:///backup/SMS/Attachments/%22%20onerror=%22alert(1).jpg"),
                               QStringLiteral("attachments/SMS/Jorge%20Fontaner%C3%ADa%20%231.vcf"),
                           }));
    EXPECT_TRUE(page.contains(QStringLiteral("passwd (text/plain) \u2014 outside the backup, not linked")));
    EXPECT_TRUE(page.contains(QStringLiteral("gone.mov (video/quicktime) \u2014 not in the backup")));
}

TEST(HtmlWriterTest, ImagesShowTheirPreviewAndLinkTheFile)
{
    using State = BackupBoundary::FileState;
    AttachmentView photo = attachment(QStringLiteral("IMG_1.jpeg"), QStringLiteral("image/jpeg"), State::Present);
    photo.previewPath = QStringLiteral("/backup/SMS/Attachments/IMG_1-preview-left.jpg");
    photo.copiedFile = QStringLiteral("attachments/IMG_1.jpeg");
    photo.copiedPreview = QStringLiteral("attachments/IMG_1-preview-left.jpg");
    // A video whose file is gone still shows its preview, without a link.
    AttachmentView video = attachment(QStringLiteral("clip.mov"), QStringLiteral("video/quicktime"), State::Missing);
    video.previewPath = QStringLiteral("/backup/SMS/Attachments/clip-preview-left.jpg");
    video.previewState = State::Present;

    ExportDocument document = hostileDocument();
    MessageView& message = document.conversations[0].messages[0];
    message.pieces = {piece(photo), piece(video)};
    const QString page = HtmlWriter::conversationPage(document, document.conversations.at(0));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "<a class=\"attachment image\" href=\"attachments/IMG_1.jpeg\"><img src=\"attachments/IMG_1-preview-left.jpg\"")));
    EXPECT_TRUE(page.contains(QStringLiteral(
        "<span class=\"attachment image\"><img src=\"file:///backup/SMS/Attachments/clip-preview-left.jpg\"")));
}

} // namespace
