#pragma once

#include "ExportWriter.h"

// Plain text for reading in a terminal or a pager: one block per
// conversation, one line per message, local time.
class TextWriter : public ExportWriter
{
public:
    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    // The whole export at once.
    static QString render(const ExportDocument& document);

private:
    static bool writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, QString* error);
};
