// GLib's headers name a member "signals", which Qt defines as a keyword: they
// come before any of Qt's.
#include <cairo-pdf.h>
#include <cairo.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <pango/pangocairo.h>

#include "ParagraphLines.h"
#include "PdfWriter.h"

#include "IosDate.h"
#include "OutputFolder.h"
#include "OutputSink.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QLocale>
#include <QSize>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

constexpr double sideMargin = 50;
constexpr double headerBaseline = 30;
constexpr double contentTop = 52;
constexpr double bottomMargin = 46;
constexpr double indent = 12;
constexpr double thumbnailSize = 144; // points; drawn from twice the pixels
constexpr double messageGap = 7;
constexpr qint64 maxPicturePixels = 50 * 1000 * 1000;

struct Rgb
{
    double r, g, b;
};
constexpr Rgb black{0.1, 0.1, 0.1};
constexpr Rgb grey{0.42, 0.42, 0.45};

template <typename T, void (*release)(T*)>
struct Releaser
{
    void operator()(T* object) const { release(object); }
};
void unrefObject(void* object) { g_object_unref(object); }
using Layout = std::unique_ptr<PangoLayout, Releaser<void, unrefObject>>;
using Pixbuf = std::unique_ptr<GdkPixbuf, Releaser<void, unrefObject>>;
using Font = std::unique_ptr<PangoFontDescription, Releaser<PangoFontDescription, pango_font_description_free>>;
using Surface = std::unique_ptr<cairo_surface_t, Releaser<cairo_surface_t, cairo_surface_destroy>>;
using Cairo = std::unique_ptr<cairo_t, Releaser<cairo_t, cairo_destroy>>;

// Text as the layouts take it: UTF-8 with the control characters, and the
// bidirectional overrides that could reorder what is shown, replaced.
QByteArray shown(const QString& text)
{
    return OutputSink::withoutControls(text).toUtf8();
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().toString(bytes) + QStringLiteral(" bytes");
}

// A name or other text from the database inside a line of the export: its
// direction does not reorder the line around it.
QString isolate(const QString& text)
{
    return QChar(0x2068) + OutputSink::withoutControls(text) + QChar(0x2069);
}

// The fonts of a document. Fontconfig falls back from Noto Sans to the
// Noto fonts of other scripts and to the colour emoji font.
struct Fonts
{
    Font body{pango_font_description_from_string("Noto Sans 9.5")};
    Font meta{pango_font_description_from_string("Noto Sans Bold 8.5")};
    Font small{pango_font_description_from_string("Noto Sans 7.5")};
    Font italic{pango_font_description_from_string("Noto Sans Italic 8.5")};
    Font title{pango_font_description_from_string("Noto Sans Bold 16")};
};

// A paragraph laid out in a layout of its own, or in one reused.
struct Paragraph
{
    Layout own;
    ParagraphLines lines;
};

// The paragraphs laid out while the pages are counted, kept (up to a bound)
// to be drawn as they are: shaping them again would take as long again.
struct KeptParagraphs
{
    static constexpr size_t bound = 20000; // a few tens of MiB at most
    std::vector<Paragraph> paragraphs;
    size_t next = 0;
};

// Where the next line goes, page after page. Without a Cairo context it only
// counts the pages; with one it draws them, their header included.
class Pages
{
public:
    Pages(PangoContext* context, const Fonts& fonts, const QSizeF& size, const QString& header, cairo_t* cairo,
          int total, KeptParagraphs* kept)
        : context(context), fonts(fonts), size(size), header(header), cairo(cairo), total(total), kept(kept)
    {
    }

    double width() const { return size.width() - 2 * sideMargin; }
    int count() const { return page; }
    bool drawing() const { return cairo != nullptr; }

    void newPage()
    {
        if (cairo && page > 0)
            cairo_show_page(cairo);
        ++page;
        y = contentTop;
        if (cairo)
            drawHeader();
    }

    // Moves to a new page unless height fits below y.
    void need(double height)
    {
        if (y + height > size.height() - bottomMargin && y > contentTop)
            newPage();
    }

    // A line made by the export (date, sender, marks) reads left to right
    // whatever the script of a name in it, each name isolated (isolate());
    // words of a message take the direction of their first letters.
    Layout layout(const QString& text, const Font& font, double left = 0, bool exportLine = false) const
    {
        Layout made(pango_layout_new(context));
        pango_layout_set_font_description(made.get(), font.get());
        pango_layout_set_width(made.get(), static_cast<int>((width() - left) * PANGO_SCALE));
        pango_layout_set_wrap(made.get(), PANGO_WRAP_WORD_CHAR);
        pango_layout_set_auto_dir(made.get(), !exportLine);
        const QByteArray utf8 = exportLine ? text.toUtf8() : shown(text);
        pango_layout_set_text(made.get(), utf8.constData(), utf8.size());
        return made;
    }

    // A paragraph, line by line: a long message goes on over the page.
    void text(const QString& words, const Font& font, Rgb colour = black, double left = 0, bool exportLine = false)
    {
        if (words.isEmpty())
            return;
        const QByteArray utf8 = exportLine ? words.toUtf8() : shown(words);
        Paragraph paragraph;
        if (cairo && kept->next < kept->paragraphs.size()) {
            paragraph = std::move(kept->paragraphs[kept->next++]);
            // The same paragraphs come in the same order; anything else is laid out anew.
            if (std::strcmp(pango_layout_get_text(paragraph.lines.layout()), utf8.constData()) != 0)
                paragraph = Paragraph();
        }
        if (!paragraph.lines.layout()) {
            PangoLayout* layout = nullptr;
            if (!cairo && kept->paragraphs.size() < KeptParagraphs::bound) {
                paragraph.own = this->layout(QString(), font, left, exportLine);
                layout = paragraph.own.get();
            } else {
                layout = reused(font, left, exportLine);
            }
            paragraph.lines.layOut(layout, utf8.constData(), utf8.size(), width() - left);
        }
        for (const ParagraphLines::Line& line : paragraph.lines.lines()) {
            need(line.height);
            if (cairo) {
                cairo_set_source_rgb(cairo, colour.r, colour.g, colour.b);
                paragraph.lines.draw(cairo, line, sideMargin + left, y + line.baseline);
            }
            y += line.height;
        }
        if (!cairo && paragraph.own)
            kept->paragraphs.push_back(std::move(paragraph));
    }

    // A picture of width x height points, drawn from path when drawing; a
    // grey box stands for one that cannot be decoded after all.
    void picture(const QString& path, double pictureWidth, double pictureHeight, double left)
    {
        need(pictureHeight + 2);
        if (cairo) {
            GError* error = nullptr;
            const Pixbuf pixels(gdk_pixbuf_new_from_file_at_scale(QFile::encodeName(path).constData(),
                                                                  static_cast<int>(pictureWidth * 2),
                                                                  static_cast<int>(pictureHeight * 2), TRUE, &error));
            if (error)
                g_error_free(error);
            cairo_save(cairo);
            cairo_translate(cairo, sideMargin + left, y + 1);
            const Surface image(pixels ? toSurface(pixels.get()) : nullptr);
            if (image && cairo_surface_status(image.get()) == CAIRO_STATUS_SUCCESS) {
                cairo_scale(cairo, pictureWidth / gdk_pixbuf_get_width(pixels.get()),
                            pictureHeight / gdk_pixbuf_get_height(pixels.get()));
                cairo_set_source_surface(cairo, image.get(), 0, 0);
                cairo_paint(cairo);
            } else {
                cairo_set_source_rgb(cairo, 0.85, 0.85, 0.87);
                cairo_rectangle(cairo, 0, 0, pictureWidth, pictureHeight);
                cairo_fill(cairo);
            }
            cairo_restore(cairo);
        }
        y += pictureHeight + 2;
    }

    void gap(double height) { y += height; }

private:
    // One layout of each kind, its text replaced for every paragraph: making
    // a layout costs more than laying out a line of a message.
    PangoLayout* reused(const Font& font, double left, bool exportLine)
    {
        for (const Reused& known : layouts) {
            if (known.font == font.get() && known.left == left && known.exportLine == exportLine)
                return known.layout.get();
        }
        layouts.push_back(Reused{font.get(), left, exportLine, layout(QString(), font, left, exportLine)});
        return layouts.back().layout.get();
    }

    void drawHeader()
    {
        // The title is the same on every page: laid out once.
        if (!title) {
            title = layout(isolate(header), fonts.small, 0, true);
            pango_layout_set_width(title.get(), static_cast<int>((width() - 90) * PANGO_SCALE));
            pango_layout_set_ellipsize(title.get(), PANGO_ELLIPSIZE_END);
        }
        const Layout number = layout(QStringLiteral("Page %1 of %2").arg(page).arg(total), fonts.small, 0, true);
        pango_layout_set_alignment(number.get(), PANGO_ALIGN_RIGHT);
        cairo_set_source_rgb(cairo, grey.r, grey.g, grey.b);
        for (PangoLayout* part : {title.get(), number.get()}) {
            const double baseline = static_cast<double>(pango_layout_get_baseline(part)) / PANGO_SCALE;
            cairo_move_to(cairo, sideMargin, headerBaseline - baseline);
            pango_cairo_show_layout(cairo, part);
        }
        cairo_set_line_width(cairo, 0.5);
        cairo_move_to(cairo, sideMargin, headerBaseline + 6);
        cairo_line_to(cairo, size.width() - sideMargin, headerBaseline + 6);
        cairo_stroke(cairo);
    }

    // Cairo wants premultiplied native-endian ARGB; the decoder gives RGB(A) bytes.
    static cairo_surface_t* toSurface(GdkPixbuf* pixels)
    {
        const int w = gdk_pixbuf_get_width(pixels), h = gdk_pixbuf_get_height(pixels);
        const int channels = gdk_pixbuf_get_n_channels(pixels), stride = gdk_pixbuf_get_rowstride(pixels);
        const guchar* from = gdk_pixbuf_read_pixels(pixels);
        cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS || channels < 3)
            return surface;
        cairo_surface_flush(surface);
        unsigned char* to = cairo_image_surface_get_data(surface);
        const int toStride = cairo_image_surface_get_stride(surface);
        for (int row = 0; row < h; ++row) {
            const guchar* in = from + row * stride;
            auto* out = reinterpret_cast<uint32_t*>(to + row * toStride);
            for (int x = 0; x < w; ++x, in += channels) {
                const uint32_t a = channels == 4 ? in[3] : 255;
                const auto premultiplied = [a](uint32_t c) { return (c * a + 127) / 255; };
                out[x] = (a << 24) | (premultiplied(in[0]) << 16) | (premultiplied(in[1]) << 8) | premultiplied(in[2]);
            }
        }
        cairo_surface_mark_dirty(surface);
        return surface;
    }

    struct Reused
    {
        const PangoFontDescription* font;
        double left;
        bool exportLine;
        Layout layout;
    };
    std::vector<Reused> layouts;
    Layout title;
    PangoContext* context;
    const Fonts& fonts;
    QSizeF size;
    QString header;
    cairo_t* cairo;
    int total;
    KeptParagraphs* kept;
    int page = 0;
    double y = contentTop;
};

// What a listed attachment says of its file: read once per document.
struct FileFacts
{
    qint64 size = 0;
    QString sha256;
    bool read = false;
};

class ConversationPages
{
public:
    ConversationPages(const ExportDocument& document, const ConversationView& conversation, const Fonts& fonts,
                      const QString& outputFolder)
        : document(document), conversation(conversation), fonts(fonts), outputFolder(outputFolder)
    {
    }

    void draw(Pages& pages, const std::function<void()>& written)
    {
        pages.newPage();
        cover(pages);
        pages.newPage();
        for (const MessageView& message : conversation.messages) {
            drawMessage(pages, message);
            if (written && pages.drawing())
                written();
        }
    }

private:
    void cover(Pages& pages)
    {
        pages.text(conversation.title, fonts.title);
        pages.gap(10);
        QString first, last;
        for (const MessageView& message : conversation.messages) {
            if (!message.date.isValid())
                continue;
            if (first.isEmpty())
                first = IosDate::localText(message.date);
            last = IosDate::localText(message.date);
        }
        pages.text(QStringLiteral("Participants"), fonts.meta, grey);
        pages.text(participants(conversation, QStringLiteral("\n")), fonts.body, black, indent, true);
        pages.gap(4);
        field(pages, QStringLiteral("Messages"), QString::number(conversation.messages.size()));
        field(pages, QStringLiteral("Dates"), first.isEmpty() ? QStringLiteral("none") : first + QStringLiteral(" \u2013 ") + last);
        documentFields(pages, document, fonts);
    }

public:
    // "Name <address>" of each participant, each name and address isolated
    // so that a right-to-left name does not carry the address along.
    static QString participants(const ConversationView& conversation, const QString& separator)
    {
        QStringList labels;
        for (const ParticipantView& participant : conversation.participants) {
            const QString label = participant.contactName.isEmpty()
                                      ? isolate(participant.address)
                                      : isolate(participant.contactName) + QStringLiteral(" <") + isolate(participant.address)
                                            + QLatin1Char('>');
            if (!labels.contains(label))
                labels << label;
        }
        return labels.join(separator);
    }

    static void field(Pages& pages, const QString& name, const QString& value, const Fonts& fonts)
    {
        pages.text(name, fonts.meta, grey);
        pages.text(value, fonts.body, black, indent);
        pages.gap(4);
    }

    static void documentFields(Pages& pages, const ExportDocument& document, const Fonts& fonts)
    {
        field(pages, QStringLiteral("Time zone"), document.timeZone, fonts);
        field(pages, QStringLiteral("Chosen"),
              document.selection.isEmpty() ? QStringLiteral("all conversations; all dates") : document.selection, fonts);
        field(pages, QStringLiteral("Source backup"), document.backupFolder, fonts);
        if (!document.deviceName.isEmpty() || !document.iosVersion.isEmpty()) {
            QString device = document.deviceName;
            if (!document.iosVersion.isEmpty())
                device += (device.isEmpty() ? QString() : QStringLiteral(", ")) + QStringLiteral("iOS ") + document.iosVersion;
            field(pages, QStringLiteral("Device"), device, fonts);
        }
        field(pages, QStringLiteral("Exported"),
              IosDate::shown(document.exportedAt).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QLatin1Char(' ')
                  + document.timeZone,
              fonts);
        field(pages, QStringLiteral("Tool"), document.generator, fonts);
    }

private:
    void field(Pages& pages, const QString& name, const QString& value) { field(pages, name, value, fonts); }

    static QString marks(const MessageView& message)
    {
        QStringList notes;
        const MessageDetailsView& details = message.details;
        if (message.isNonSms == 0)
            notes << QStringLiteral("SMS");
        if (!details.service.isEmpty())
            notes << (details.service == QLatin1String("RCS") ? QStringLiteral("RCS") : QStringLiteral("satellite"));
        if (details.junk)
            notes << QStringLiteral("junk");
        if (details.scheduled)
            notes << QStringLiteral("Send Later, scheduled %1, %2")
                         .arg(IosDate::localText(details.dateScheduled),
                              details.scheduledSent ? QStringLiteral("sent") : QStringLiteral("not sent yet"));
        if (details.edited)
            notes << QStringLiteral("edited");
        if (details.unsent)
            notes << QStringLiteral("unsent");
        if (message.isUnread())
            notes << QStringLiteral("unread");
        if (message.error != 0)
            notes << QStringLiteral("not delivered, error %1").arg(message.error);
        if (!details.effect.isEmpty())
            notes << QStringLiteral("sent with %1").arg(OutputSink::withoutControls(details.effect));
        if (details.audio)
            notes << (details.played ? QStringLiteral("audio message, played") : QStringLiteral("audio message"));
        if (details.deleted)
            notes << (details.dateDeleted.isValid() ? QStringLiteral("deleted %1").arg(IosDate::localText(details.dateDeleted))
                                                    : QStringLiteral("deleted"));
        return notes.isEmpty() ? QString() : QStringLiteral("  [%1]").arg(notes.join(QStringLiteral(", ")));
    }

    void drawMessage(Pages& pages, const MessageView& message)
    {
        const MessageDetailsView& details = message.details;
        const QString when = message.date.isValid() ? IosDate::localText(message.date) : QStringLiteral("(no date)");
        // The line of the date and sender stays with what follows it.
        pages.need(30);
        if (!details.groupEventText.isEmpty()) {
            pages.text(when + QStringLiteral("  \u2014 ") + details.eventLine(isolate), fonts.italic, grey, 0, true);
            pages.gap(messageGap);
            return;
        }
        pages.text(when + QStringLiteral("  ") + isolate(message.senderName) + marks(message), fonts.meta, black, 0, true);
        if (!details.replyQuote.isEmpty())
            pages.text(QStringLiteral("\u21A9 ") + details.replyQuote, fonts.italic, grey, indent);
        if (!message.subject.isEmpty())
            pages.text(QStringLiteral("Subject: ") + message.subject, fonts.body, black, indent);
        pages.text(message.text, fonts.body, black, indent);
        if (!details.transcription.isEmpty())
            pages.text(QStringLiteral("Transcription: ") + details.transcription, fonts.italic, grey, indent);
        if (!details.app.bundleId.isEmpty())
            pages.text(QStringLiteral("App: ") + details.app.line(), fonts.body, black, indent);
        if (!details.link.url.isEmpty())
            pages.text(QStringLiteral("Link: %1 (%2)")
                           .arg(details.link.title.isEmpty() ? details.link.url : details.link.title,
                                details.link.host.isEmpty() ? details.link.url : details.link.host),
                       fonts.small, grey, indent);
        for (const PieceView& piece : message.pieces) {
            if (piece.kind == PieceView::Kind::Attachment)
                drawAttachment(pages, piece.attachment);
        }
        if (!details.reactions.isEmpty()) {
            QStringList reactions;
            for (const ReactionView& reaction : details.reactions)
                reactions << reaction.symbol() + QLatin1Char(' ') + reaction.senderName;
            pages.text(QStringLiteral("Reactions: ") + reactions.join(QStringLiteral(", ")), fonts.small, grey, indent);
        }
        pages.gap(messageGap);
    }

    void drawAttachment(Pages& pages, const AttachmentView& attachment)
    {
        const bool filePresent = attachment.fileState == BackupBoundary::FileState::Present;
        const QString name = attachment.fileName.isEmpty() ? attachment.filePath : attachment.fileName;
        const QString type = attachment.mimeType.isEmpty() ? QStringLiteral("unknown type") : attachment.mimeType;
        // A picture: the thumbnail the media conversion made (of a HEIC
        // picture, or a video's poster), else the file, else its preview.
        const ConvertedMediaView& converted = attachment.converted;
        QString picture;
        if (!converted.thumbnail.isEmpty())
            picture = QDir(outputFolder).filePath(converted.thumbnail);
        else if (converted.kind == ConvertedMediaView::Kind::Image && !converted.path.isEmpty())
            picture = QDir(outputFolder).filePath(converted.path);
        else if (attachment.isImage() && filePresent)
            picture = attachment.filePath;
        else if (attachment.hasOwnPreview() && attachment.previewState == BackupBoundary::FileState::Present)
            picture = attachment.previewPath;
        const QSize pictureSize = picture.isEmpty() ? QSize() : sizeOf(picture);
        const int w = pictureSize.width(), h = pictureSize.height();
        // Some decoders read the whole picture before scaling it: a huge one
        // is listed, not drawn.
        if (w > 0 && h > 0 && static_cast<qint64>(w) * h <= maxPicturePixels) {
            const double scale = std::min(1.0, std::min(thumbnailSize / w, thumbnailSize / h));
            pages.picture(picture, std::max(1.0, w * scale), std::max(1.0, h * scale), indent);
        }
        if (!filePresent) {
            pages.text(QStringLiteral("Attachment %1 (%2): %3").arg(name, type,
                                                                    attachment.fileState == BackupBoundary::FileState::Missing
                                                                        ? QStringLiteral("not in the backup")
                                                                        : QStringLiteral("outside the backup, not read")),
                       fonts.small, grey, indent);
            return;
        }
        const FileFacts& facts = factsOf(attachment.filePath);
        pages.text(facts.read ? QStringLiteral("Attachment %1 (%2, %3, SHA-256 %4)").arg(name, type, sizeText(facts.size), facts.sha256)
                              : QStringLiteral("Attachment %1 (%2): cannot be read").arg(name, type),
                   fonts.small, grey, indent);
    }

    // A picture's size in pixels, read from its header once for both passes.
    QSize sizeOf(const QString& path)
    {
        auto known = pictureSizes.constFind(path);
        if (known != pictureSizes.constEnd())
            return known.value();
        int w = 0, h = 0;
        if (!gdk_pixbuf_get_file_info(QFile::encodeName(path).constData(), &w, &h))
            w = h = 0;
        return pictureSizes.insert(path, QSize(w, h)).value();
    }

    const FileFacts& factsOf(const QString& path)
    {
        auto known = files.find(path);
        if (known != files.end())
            return known.value();
        FileFacts facts;
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file)) {
            facts.read = true;
            facts.size = file.size();
            facts.sha256 = QString::fromLatin1(hash.result().toHex());
        }
        return files.insert(path, facts).value();
    }

    const ExportDocument& document;
    const ConversationView& conversation;
    const Fonts& fonts;
    QString outputFolder;
    QHash<QString, FileFacts> files; // both passes show the same facts
    QHash<QString, QSize> pictureSizes;
};

// One index entry, kept while the conversations are written.
struct IndexEntry
{
    QString title;
    QString file;
    QString participants;
    QString summary;
};

// Cairo hands its output over in pieces of a few dozen bytes: gathered here,
// they reach the file in large writes instead of one system call each.
class StreamBuffer
{
public:
    explicit StreamBuffer(QIODevice& device) : device(device) { pending.reserve(capacity); }

    static cairo_status_t write(void* closure, const unsigned char* data, unsigned int length)
    {
        auto* buffer = static_cast<StreamBuffer*>(closure);
        buffer->pending.append(reinterpret_cast<const char*>(data), static_cast<int>(length));
        return buffer->pending.size() < capacity || buffer->flush() ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
    }

    bool flush()
    {
        const bool written = device.write(pending) == pending.size();
        pending.resize(0); // keeps the reserved capacity
        return written;
    }

private:
    static constexpr int capacity = 256 * 1024;
    QIODevice& device;
    QByteArray pending;
};

// Lays out a document once to count its pages, then draws it into device.
bool renderPdf(QIODevice& device, PangoContext* context, const Fonts& fonts, const QSizeF& size, const QString& title,
               const QString& creator, const std::function<void(Pages&)>& body)
{
    KeptParagraphs kept;
    Pages counting(context, fonts, size, title, nullptr, 0, &kept);
    body(counting);
    StreamBuffer buffer(device);
    const Surface surface(cairo_pdf_surface_create_for_stream(StreamBuffer::write, &buffer, size.width(), size.height()));
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, shown(title).constData());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, shown(creator).constData());
    {
        const Cairo cairo(cairo_create(surface.get()));
        Pages drawing(context, fonts, size, title, cairo.get(), counting.count(), &kept);
        body(drawing);
        cairo_show_page(cairo.get());
    }
    cairo_surface_finish(surface.get());
    return cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS && buffer.flush();
}

// A Pango context of one thread's own: neither contexts nor Pango's default
// font map (one per thread) may be shared between threads.
struct Renderer
{
    std::unique_ptr<PangoContext, Releaser<void, unrefObject>> context{ParagraphLines::createPrintContext()};
    const Fonts fonts;
};

// The conversations' documents, written on worker threads while the next
// conversations are made: they are independent of each other, and laying
// out text takes most of a PDF export's time. At most two conversations per
// worker wait, so memory stays bounded by a few conversations.
class ConversationJobs
{
public:
    using Render = std::function<bool(const Renderer&, const ConversationView&, QString*)>;

    explicit ConversationJobs(Render render)
        : render(std::move(render))
    {
        const int threads = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
        if (threads < 2)
            return;
        try {
            for (int i = 0; i < threads; ++i)
                workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // Fewer workers, or none: add() then writes on the caller's thread.
        }
    }

    ~ConversationJobs() { finish(nullptr, true); }

    ConversationJobs(const ConversationJobs&) = delete;
    ConversationJobs& operator=(const ConversationJobs&) = delete;

    // False once a document could not be written, with the first reason.
    bool add(const ConversationView& conversation, QString* error)
    {
        if (workers.empty()) {
            if (!inline_)
                inline_ = std::make_unique<Renderer>();
            return render(*inline_, conversation, error);
        }
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return failed || queue.size() < 2 * workers.size(); });
        if (failed) {
            *error = firstError;
            return false;
        }
        queue.push_back(conversation);
        changed.notify_all();
        return true;
    }

    // Waits for every document, or only for those being written when the
    // rest are to be dropped (the export stopped); false when one could not
    // be written.
    bool finish(QString* error, bool drop = false)
    {
        {
            const std::lock_guard<std::mutex> lock(mutex);
            closed = true;
            if (drop)
                queue.clear();
        }
        changed.notify_all();
        for (std::thread& worker : workers)
            worker.join();
        workers.clear();
        if (failed && error)
            *error = firstError;
        return !failed;
    }

private:
    void work()
    {
        const Renderer renderer;
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            changed.wait(lock, [this] { return closed || !queue.empty(); });
            if (queue.empty())
                return;
            const ConversationView conversation = queue.front();
            queue.pop_front();
            changed.notify_all();
            if (failed)
                continue; // the export stops; what is queued is dropped
            lock.unlock();
            QString error;
            const bool written = render(renderer, conversation, &error);
            lock.lock();
            if (!written && !failed) {
                failed = true;
                firstError = error;
                changed.notify_all();
            }
        }
    }

    const Render render;
    std::unique_ptr<Renderer> inline_;
    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<ConversationView> queue;
    bool closed = false;
    bool failed = false;
    QString firstError;
};

} // namespace

PdfWriter::PdfWriter(const QString& pageSize)
    : page(pointSize(pageSize.isEmpty() ? localPageSize() : pageSize))
{
}

QString PdfWriter::localPageSize()
{
    // The countries that print on US Letter.
    switch (QLocale::system().country()) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Venezuela:
    case QLocale::Philippines:
    case QLocale::PuertoRico:
    case QLocale::CostaRica:
    case QLocale::Guatemala:
        return QStringLiteral("letter");
    default:
        return QStringLiteral("a4");
    }
}

QSizeF PdfWriter::pointSize(const QString& pageSize)
{
    if (pageSize == QLatin1String("letter"))
        return QSizeF(612, 792);
    return QSizeF(595.276, 841.89); // 210 x 297 mm
}

QString PdfWriter::fileName(const ConversationView& conversation)
{
    return QStringLiteral("conversation-%1.pdf").arg(conversation.index + 1, 4, 10, QLatin1Char('0'));
}

bool PdfWriter::write(const ExportDocument& document, const ExportTarget& target, QString* error)
{
    if (!target.folder) {
        *error = QStringLiteral("the pdf format writes a folder of files: give --output <dir>");
        return false;
    }
    const int total = document.messageCount();
    int done = 0;
    std::mutex progressLock;
    ConversationJobs jobs([&](const Renderer& renderer, const ConversationView& conversation, QString* failure) {
        ConversationPages pages(document, conversation, renderer.fonts, target.folder->path());
        return target.folder->writeFile(
            fileName(conversation),
            [&](QIODevice& device) {
                return renderPdf(device, renderer.context.get(), renderer.fonts, page, conversation.title,
                                 document.generator, [&](Pages& out) {
                                     pages.draw(out, [&] {
                                         // Counted under the lock: the bar never steps back.
                                         if (target.progress) {
                                             const std::lock_guard<std::mutex> lock(progressLock);
                                             target.progress(++done, total);
                                         }
                                     });
                                 });
            },
            failure);
    });

    QList<IndexEntry> index;
    bool written = document.forEach(
        [&](const ConversationView& conversation) {
            QString first, last;
            for (const MessageView& message : conversation.messages) {
                if (message.date.isValid()) {
                    last = IosDate::localText(message.date);
                    if (first.isEmpty())
                        first = last;
                }
            }
            index.append(IndexEntry{conversation.title, fileName(conversation),
                                    ConversationPages::participants(conversation, QStringLiteral(", ")),
                                    QStringLiteral("%1 messages%2").arg(conversation.messages.size()).arg(
                                        first.isEmpty() ? QString() : QStringLiteral(", %1 \u2013 %2").arg(first, last))});
            return jobs.add(conversation, error);
        },
        error);
    QString failure;
    if (!jobs.finish(&failure, !written) && written) {
        *error = failure;
        written = false;
    }
    if (!written)
        return false;
    const Renderer renderer;
    const Fonts& fonts = renderer.fonts;
    PangoContext* context = renderer.context.get();
    return target.folder->writeFile(
        QStringLiteral("index.pdf"),
        [&](QIODevice& device) {
            return renderPdf(device, context, fonts, page, QStringLiteral("Conversations"), document.generator,
                             [&](Pages& out) {
                                 out.newPage();
                                 out.text(QStringLiteral("Conversations"), fonts.title);
                                 out.gap(10);
                                 ConversationPages::field(out, QStringLiteral("Conversations"),
                                                          QStringLiteral("%1, %2 messages")
                                                              .arg(document.conversationCount())
                                                              .arg(document.messageCount()),
                                                          fonts);
                                 ConversationPages::documentFields(out, document, fonts);
                                 out.gap(8);
                                 for (const IndexEntry& entry : qAsConst(index)) {
                                     out.need(40);
                                     out.text(isolate(entry.title) + QStringLiteral("  \u2014 ") + entry.file, fonts.meta,
                                              black, 0, true);
                                     out.text(entry.participants, fonts.small, grey, indent, true);
                                     out.text(entry.summary, fonts.small, grey, indent);
                                     out.gap(messageGap);
                                 }
                             });
        },
        error);
}
