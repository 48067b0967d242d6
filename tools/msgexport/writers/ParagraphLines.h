#pragma once

// GLib's headers name a member "signals", which Qt defines as a keyword: this
// header comes before any of Qt's.
#include <pango/pangocairo.h>

#include <vector>

// A paragraph laid out and broken into the lines of a page. Pango's own
// wrapping shapes a paragraph again for each line it breaks, which doubles
// the cost of laying out: left-to-right text is laid out as one unbroken line
// per paragraph and broken here where Pango's wrapping would break it (word
// boundaries, else between characters, never inside a cluster of glyphs).
// Right-to-left text and tabs, whose places depend on the line, are wrapped
// by Pango itself.
class ParagraphLines
{
public:
    struct Line
    {
        int index = 0; // of the layout's line
        int start = -1, end = -1; // bytes of the text; -1: the whole line of the layout
        double height = 0, baseline = 0, x = 0; // points
    };

    // A new context for pages, the caller's to unref: from this thread's
    // fontconfig font map (on Windows too, where Pango's default would draw
    // with the system's fonts instead of those shipped beside the program),
    // in points, with metrics that do not depend on a screen and glyphs
    // where the font puts them.
    static PangoContext* createPrintContext();

    // Sets text as layout's own and breaks it into lines of at most width
    // points (but for a character wider than that). layout is not owned; it
    // must outlive this and keep the text.
    void layOut(PangoLayout* layout, const char* text, int length, double width);

    PangoLayout* layout() const { return laidOut; }
    const std::vector<Line>& lines() const { return broken; }

    // Draws line with the left end of its baseline at (x, baseline).
    void draw(cairo_t* cairo, const Line& line, double x, double baseline) const;

private:
    bool breakUnwrapped(int width);

    PangoLayout* laidOut = nullptr;
    std::vector<Line> broken;
};
