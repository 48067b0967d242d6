#include "ParagraphLines.h"

#include <algorithm>
#include <cstring>

namespace {

// A line's logical extents in Pango units: how far it reaches above and
// below its baseline.
struct Extents
{
    int ascent = 0, descent = 0;
    void add(const PangoRectangle& logical)
    {
        ascent = std::max(ascent, -logical.y);
        descent = std::max(descent, logical.y + logical.height);
    }
    void add(const Extents& other)
    {
        ascent = std::max(ascent, other.ascent);
        descent = std::max(descent, other.descent);
    }
};

} // namespace

PangoContext* ParagraphLines::createPrintContext()
{
#ifdef _WIN32
    // Pango's default font map (one per thread) is set before it is first
    // asked for: made, it would have read every font of the system.
    thread_local const bool fontconfigMap = [] {
        PangoFontMap* made = pango_cairo_font_map_new_for_font_type(CAIRO_FONT_TYPE_FT);
        if (!made)
            return false;
        pango_cairo_font_map_set_default(PANGO_CAIRO_FONT_MAP(made)); // takes its own reference
        g_object_unref(made);
        return true;
    }();
    static_cast<void>(fontconfigMap);
#endif
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    // Both passes and every page measure alike, whatever the screen.
    pango_cairo_context_set_resolution(context, 72);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    // Rounded to whole points (Pango's default, made for screens) every
    // glyph of a line would be moved by a number in the page's text,
    // tripling it, and the spacing of printed words would be uneven.
    pango_context_set_round_glyph_positions(context, FALSE);
    return context;
}

void ParagraphLines::layOut(PangoLayout* layout, const char* text, int length, double width)
{
    laidOut = layout;
    broken.clear();
    const int lineWidth = static_cast<int>(width * PANGO_SCALE);
    pango_layout_set_width(layout, -1);
    pango_layout_set_text(layout, text, length);
    if (breakUnwrapped(lineWidth))
        return;
    broken.clear();
    pango_layout_set_width(layout, lineWidth);
    PangoLayoutIter* line = pango_layout_get_iter(layout);
    int index = 0;
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(line, nullptr, &logical);
        broken.push_back(Line{index++, -1, -1, static_cast<double>(logical.height) / PANGO_SCALE,
                              static_cast<double>(pango_layout_iter_get_baseline(line) - logical.y) / PANGO_SCALE,
                              static_cast<double>(logical.x) / PANGO_SCALE});
    } while (pango_layout_iter_next_line(line));
    pango_layout_iter_free(line);
}

bool ParagraphLines::breakUnwrapped(int width)
{
    PangoLayout* layout = laidOut;
    const char* text = pango_layout_get_text(layout);
    int attributeCount = 0;
    const PangoLogAttr* attributes = pango_layout_get_log_attrs_readonly(layout, &attributeCount);
    PangoLayoutIter* iter = pango_layout_get_iter(layout);
    bool breakable = true;
    int index = 0;
    do {
        PangoRectangle logical;
        pango_layout_iter_get_line_extents(iter, nullptr, &logical);
        PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
        const double baseline = static_cast<double>(pango_layout_iter_get_baseline(iter) - logical.y) / PANGO_SCALE;
        if (logical.width <= width || !line->runs) {
            broken.push_back(Line{index++, -1, -1, static_cast<double>(logical.height) / PANGO_SCALE, baseline,
                                  static_cast<double>(logical.x) / PANGO_SCALE});
            continue;
        }
        // The characters of the line: their bytes and widths, left to right.
        const int firstChar = static_cast<int>(g_utf8_pointer_to_offset(text, text + line->start_index));
        std::vector<int> bytes;
        for (const char* at = text + line->start_index; at < text + line->start_index + line->length;
             at = g_utf8_next_char(at))
            bytes.push_back(static_cast<int>(at - text));
        const int count = static_cast<int>(bytes.size());
        bytes.push_back(line->start_index + line->length);
        std::vector<int> widths(count);
        // Where a glyph cluster starts: a line is cut only there (a
        // ligature is never split).
        std::vector<bool> clusterStart(count + 1, false);
        clusterStart[count] = true;
        std::vector<std::pair<PangoGlyphItem*, Extents>> runs;
        int filled = 0;
        for (GSList* run = line->runs; run; run = run->next) {
            auto* glyphs = static_cast<PangoGlyphItem*>(run->data);
            if (glyphs->item->analysis.level % 2 != 0 || filled + glyphs->item->num_chars > count
                || std::memchr(text + glyphs->item->offset, '\t', glyphs->item->length)) {
                breakable = false;
                break;
            }
            pango_glyph_item_get_logical_widths(glyphs, text, widths.data() + filled);
            for (int glyph = 0; glyph < glyphs->glyphs->num_glyphs; ++glyph) {
                const int byte = glyphs->item->offset + glyphs->glyphs->log_clusters[glyph];
                const auto found = std::lower_bound(bytes.begin() + filled, bytes.end(), byte);
                if (found != bytes.end() && *found == byte)
                    clusterStart[found - bytes.begin()] = true;
            }
            filled += glyphs->item->num_chars;
            PangoRectangle runLogical;
            pango_glyph_string_extents(glyphs->glyphs, glyphs->item->analysis.font, nullptr, &runLogical);
            Extents extents;
            extents.add(runLogical);
            runs.emplace_back(glyphs, extents);
        }
        if (!breakable || filled != count || firstChar + count >= attributeCount) {
            breakable = false;
            break;
        }
        const PangoLogAttr* attribute = attributes + firstChar;
        const auto addLine = [&](int from, int to) {
            Extents extents;
            for (const auto& run : runs) {
                if (run.first->item->offset < bytes[to] && run.first->item->offset + run.first->item->length > bytes[from])
                    extents.add(run.second);
            }
            broken.push_back(Line{index, bytes[from], bytes[to],
                                  static_cast<double>(extents.ascent + extents.descent) / PANGO_SCALE,
                                  static_cast<double>(extents.ascent) / PANGO_SCALE, 0});
        };
        // Greedy, as Pango does: a line ends at the last break that fits;
        // spaces at its end hang; a word longer than a line is broken
        // between characters.
        int start = 0, used = 0, lastBreak = -1;
        for (int at = 0; at < count; ++at) {
            if (at > start && attribute[at].is_line_break && clusterStart[at])
                lastBreak = at;
            used += widths[at];
            if (used <= width || attribute[at].is_white)
                continue;
            int end = lastBreak;
            if (end <= start) {
                end = at;
                const auto cuttable = [&](int before) { return attribute[before].is_cursor_position && clusterStart[before]; };
                while (end > start && !cuttable(end))
                    --end;
                if (end <= start) { // one character wider than the line
                    end = at + 1;
                    while (end < count && !cuttable(end))
                        ++end;
                }
            }
            addLine(start, end);
            start = end;
            lastBreak = -1;
            used = 0;
            at = start - 1; // the next line is measured from its first character
        }
        if (start < count)
            addLine(start, count);
        ++index;
    } while (pango_layout_iter_next_line(iter));
    pango_layout_iter_free(iter);
    return breakable;
}

// A whole line of the layout is drawn as Pango draws it; a part of one as
// the runs of its bytes, cut where the part begins or ends inside a run.
void ParagraphLines::draw(cairo_t* cairo, const Line& line, double x, double baseline) const
{
    PangoLayoutLine* whole = laidOut ? pango_layout_get_line_readonly(laidOut, line.index) : nullptr;
    if (!whole)
        return;
    if (line.start < 0) {
        cairo_move_to(cairo, x + line.x, baseline);
        pango_cairo_show_layout_line(cairo, whole);
        return;
    }
    const char* text = pango_layout_get_text(laidOut);
    for (GSList* run = whole->runs; run; run = run->next) {
        auto* glyphs = static_cast<PangoGlyphItem*>(run->data);
        const int from = glyphs->item->offset, to = from + glyphs->item->length;
        if (to <= line.start || from >= line.end)
            continue;
        PangoGlyphItem* part = glyphs;
        PangoGlyphItem* cut = nullptr;
        if (from < line.start || to > line.end) {
            cut = pango_glyph_item_copy(glyphs);
            if (from < line.start)
                pango_glyph_item_free(pango_glyph_item_split(cut, text, line.start - from));
            if (to > line.end) {
                PangoGlyphItem* rest = cut;
                cut = pango_glyph_item_split(rest, text, line.end - rest->item->offset);
                pango_glyph_item_free(rest);
            }
            part = cut;
        }
        cairo_move_to(cairo, x, baseline);
        pango_cairo_show_glyph_item(cairo, text, part);
        x += static_cast<double>(pango_glyph_string_get_width(part->glyphs)) / PANGO_SCALE;
        if (cut)
            pango_glyph_item_free(cut);
    }
}
