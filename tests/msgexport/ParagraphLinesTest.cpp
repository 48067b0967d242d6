// Lines broken from one unbroken layout: where Pango's own wrapping breaks
// ordinary text they break alike; a word longer than a line is cut between
// clusters, each line as full as it can be; what is drawn reads back as the
// lines say.
#include "ParagraphLines.h"
#include "PopplerTools.h"

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cairo-pdf.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define PARAGRAPH_LINES_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PARAGRAPH_LINES_TEST_ASAN 1
#endif
#endif
#if defined(PARAGRAPH_LINES_TEST_ASAN)
// What fontconfig and Cairo keep until the process ends, as for the export
// (pdf-leaks.supp); these tests lay out in their own process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\nleak:libcairo.so\n";
}
#endif

namespace {

struct Unref
{
    void operator()(void* object) const { g_object_unref(object); }
};
using Layout = std::unique_ptr<PangoLayout, Unref>;

// On Windows fontconfig reads its configuration from fonts\ beside the
// program: the one shipped beside msgexport.exe is not beside this test.
void useExportFonts()
{
#ifdef _WIN32
    const QString fonts = QFileInfo(QStringLiteral(MSGEXPORT_FONTS_DIR)).absoluteFilePath();
    qputenv("FONTCONFIG_PATH", QDir::toNativeSeparators(fonts).toUtf8());
#endif
}

// The context and font of the PDF export.
class Pango
{
public:
    Pango()
        : context((useExportFonts(), ParagraphLines::createPrintContext())),
          font(pango_font_description_from_string("Noto Sans 9.5"))
    {
    }
    ~Pango() { pango_font_description_free(font); }

    Layout layout() const
    {
        Layout made(pango_layout_new(context.get()));
        pango_layout_set_font_description(made.get(), font);
        pango_layout_set_wrap(made.get(), PANGO_WRAP_WORD_CHAR);
        return made;
    }

    // Width in points of text on one line, spaces at its end left out.
    double width(const std::string& text) const
    {
        const Layout measured = layout();
        const std::string trimmed = text.substr(0, text.find_last_not_of(' ') + 1);
        pango_layout_set_text(measured.get(), trimmed.data(), static_cast<int>(trimmed.size()));
        int w = 0, h = 0;
        pango_layout_get_size(measured.get(), &w, &h);
        return static_cast<double>(w) / PANGO_SCALE;
    }

private:
    std::unique_ptr<PangoContext, Unref> context;
    PangoFontDescription* font;
};

struct Broken
{
    std::vector<std::string> texts;
    std::vector<double> heights;
};

Broken ours(const Layout& layout, const std::string& text, double width, ParagraphLines* lines)
{
    lines->layOut(layout.get(), text.data(), static_cast<int>(text.size()), width);
    Broken broken;
    for (const ParagraphLines::Line& line : lines->lines()) {
        int start = line.start, end = line.end;
        if (start < 0) {
            const PangoLayoutLine* whole = pango_layout_get_line_readonly(layout.get(), line.index);
            start = whole->start_index;
            end = start + whole->length;
        }
        broken.texts.push_back(text.substr(start, end - start));
        broken.heights.push_back(line.height);
    }
    return broken;
}

Broken pangos(const Pango& pango, const std::string& text, double width)
{
    const Layout layout = pango.layout();
    pango_layout_set_width(layout.get(), static_cast<int>(width * PANGO_SCALE));
    pango_layout_set_text(layout.get(), text.data(), static_cast<int>(text.size()));
    Broken broken;
    PangoLayoutIter* line = pango_layout_get_iter(layout.get());
    do {
        const PangoLayoutLine* whole = pango_layout_iter_get_line_readonly(line);
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(line, nullptr, &logical);
        broken.texts.push_back(text.substr(whole->start_index, whole->length));
        broken.heights.push_back(static_cast<double>(logical.height) / PANGO_SCALE);
    } while (pango_layout_iter_next_line(line));
    pango_layout_iter_free(line);
    return broken;
}

// The first count characters of text, each with the combining accents
// (U+0300 to U+036F) that follow it.
std::string firstCharacters(const std::string& text, int count)
{
    size_t end = 0;
    const auto continuation = [&](size_t at) { return at < text.size() && (text[at] & 0xC0) == 0x80; };
    for (int taken = 0; taken < count && end < text.size(); ++taken) {
        do
            ++end;
        while (continuation(end));
        while (end + 1 < text.size() && (text[end] == '\xCC' || (text[end] == '\xCD' && static_cast<unsigned char>(text[end + 1]) < 0xB0)))
            end += 2;
    }
    return text.substr(0, end);
}

} // namespace

TEST(ParagraphLinesTest, OrdinaryTextBreaksWherePangoBreaksIt)
{
    const Pango pango;
    const std::vector<std::string> texts = {
        "Great coffee and when airport milk later ok appointment have party keys on coffee to milk at running when "
        "get no just game naïve me train school can tickets groceries get doctor where weather bread landed",
        "first paragraph here is long enough to wrap around\nsecond one\n\nfourth after an empty one with more words",
        "来週の金曜日、飲みに行きませんか？来週の金曜日、飲みに行きませんか？ and then some English words after it",
        "Count me in — I'll drive 🚗🚗 and 👩‍👩‍👧 bring snacks 🍫 for everyone, the offices affine efficient",
        // Right-to-left: Pango wraps these itself.
        "أنا أيضاً سأحضر الماء للجميع في الرحلة يوم السبت القادم إن شاء الله",
        "Meet at مقهى النخيل near the station at eight, then we walk together",
    };
    for (const std::string& text : texts) {
        for (const double width : {60.0, 120.0, 250.0, 495.0}) {
            const Layout layout = pango.layout();
            ParagraphLines lines;
            const Broken mine = ours(layout, text, width, &lines);
            const Broken theirs = pangos(pango, text, width);
            EXPECT_EQ(mine.texts, theirs.texts) << text << " at " << width;
            // A line of two fonts measures a few hundredths of a point apart
            // (the union of its runs' extents here); one font, alike.
            ASSERT_EQ(mine.heights.size(), theirs.heights.size());
            for (size_t i = 0; i < mine.heights.size(); ++i)
                EXPECT_NEAR(mine.heights[i], theirs.heights[i], 0.1) << text << " line " << i;
        }
    }
}

TEST(ParagraphLinesTest, WordsLongerThanALineAreCutBetweenClustersAsLateAsTheyFit)
{
    const Pango pango;
    const std::vector<std::string> texts = {
        "https://maps.example.com/place/trailhead?query=ridge-loop-parking-and-more&x=1",
        "affinityefficientofficiallysufficientlyaffinityefficientofficiallysufficiently",
        "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301 and words",
        "SHA-256 efad6bee89aad95bcbba434fab39f0cc314481fc9b57cb7ae80b52d890c8ce7a",
    };
    for (const std::string& text : texts) {
        for (const double width : {30.0, 60.0, 120.0}) {
            const Layout layout = pango.layout();
            ParagraphLines lines;
            const Broken mine = ours(layout, text, width, &lines);
            std::string joined;
            for (size_t i = 0; i < mine.texts.size(); ++i) {
                const std::string& line = mine.texts[i];
                joined += line;
                ASSERT_FALSE(line.empty());
                // Never before a combining mark, nor inside a ligature.
                EXPECT_NE(line.substr(0, 2), "\u0301") << text;
                if (i > 0) {
                    const std::string& before = mine.texts[i - 1];
                    EXPECT_FALSE(before.back() == 'f' && (line[0] == 'f' || line[0] == 'i')) << before << '|' << line;
                }
                // Full but not over: cut inside a word, a few more
                // characters (a ligature is not cut, so up to three) would
                // not have fitted.
                EXPECT_LE(pango.width(line), width + 0.01) << line;
                if (i + 1 < mine.texts.size() && !std::ispunct(static_cast<unsigned char>(line.back()))
                    && line.back() != ' ') {
                    EXPECT_GT(pango.width(line + firstCharacters(mine.texts[i + 1], 3)), width) << line;
                }
            }
            EXPECT_EQ(joined, text);
        }
    }
}

TEST(ParagraphLinesTest, DrawnLinesReadBackAsBroken)
{
    const Pango pango;
    const std::string text = "Trailhead at 8 来週の金曜日、飲みに行きませんか？ then "
                             "https://maps.example.com/place/trailhead?query=ridge_loop_parking and naïve café words "
                             "enough to wrap several times over the narrow page";
    const double width = 110;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("lines.pdf"));
    const Layout layout = pango.layout();
    ParagraphLines lines;
    const Broken mine = ours(layout, text, width, &lines);
    ASSERT_GT(mine.texts.size(), 5u);
    {
        cairo_surface_t* surface = cairo_pdf_surface_create(path.toUtf8().constData(), 200, 800);
        cairo_t* cairo = cairo_create(surface);
        double y = 20;
        for (const ParagraphLines::Line& line : lines.lines()) {
            lines.draw(cairo, line, 20, y + line.baseline);
            y += line.height + 4; // apart, so that each reads back as a line of its own
        }
        cairo_destroy(cairo);
        cairo_surface_finish(surface);
        ASSERT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
        cairo_surface_destroy(surface);
    }
    QStringList read = PopplerTools::run(QStringLiteral("pdftotext"), {PopplerTools::path(path), QStringLiteral("-")})
                           .split(QLatin1Char('\n'));
    read.removeAll(QString());
    read.removeAll(QStringLiteral("\f"));
    std::vector<std::string> expected, readBack;
    for (const std::string& line : mine.texts)
        expected.push_back(QString::fromStdString(line).trimmed().toStdString());
    for (const QString& line : qAsConst(read))
        readBack.push_back(line.trimmed().toStdString());
    EXPECT_EQ(readBack, expected);
}
