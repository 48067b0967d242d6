#pragma once

#include "ExportWriter.h"

#include <QSizeF>

// Pages to print or hand over: one PDF per conversation and index.pdf, laid
// out with Pango (shaping of every script, right-to-left paragraphs, font
// fallback through fontconfig to the Noto fonts) and drawn with Cairo, which
// embeds subsets of the fonts and colour emoji as images. Every page has a
// running header (the conversation, page N of M); the first is a cover.
// Pictures that can be decoded are drawn at thumbnail size, other
// attachments are listed with name, size and SHA-256.
//
// Each document's paragraphs are laid out once to count its pages and kept
// (up to a bound) to be drawn. The conversations' documents are written on
// worker threads, one per core (up to four), each with a Pango context of its
// own; a few conversations are held at a time.
class PdfWriter : public ExportWriter
{
public:
    // pageSize: "a4" or "letter"; empty: the one of the system's locale.
    explicit PdfWriter(const QString& pageSize = QString());

    bool needsFolder() const override { return true; }
    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    // "letter" where the locale's country uses it, else "a4".
    static QString localPageSize();
    // The size in points of "a4" or "letter".
    static QSizeF pointSize(const QString& pageSize);
    static QString fileName(const ConversationView& conversation);

private:
    QSizeF page;
};
