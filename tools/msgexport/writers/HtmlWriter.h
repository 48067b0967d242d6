#pragma once

#include "ExportWriter.h"

// A folder of self-contained pages that work from file://: index.html lists
// the conversations, and each conversation has a page of bubbles, oldest
// first. No scripts, fonts or style sheets are loaded from anywhere.
class HtmlWriter : public ExportWriter
{
public:
    bool needsFolder() const override { return true; }
    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    static QString indexPage(const ExportDocument& document);
    static QString conversationPage(const ExportDocument& document, const ConversationView& conversation);
    static QString pageName(const ConversationView& conversation);

    // Text made safe for element content and quoted attribute values.
    static QString escape(const QString& text);
    // A URL for an href or src: a relative path of the output folder is
    // percent-encoded as it stands, an absolute path becomes a file:// URL.
    static QString urlFor(const QString& path);
};
