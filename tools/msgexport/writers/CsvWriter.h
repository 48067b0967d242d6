#pragma once

#include "ExportWriter.h"

// A spreadsheet: messages.csv, one row per message after a header row
// (RFC 4180: commas, CRLF line ends, fields quoted where they must be), in
// UTF-8. For a spreadsheet program (excel) it begins with a byte-order mark,
// without which such a program reads it in the system's code page, and text
// that would be taken for a formula is marked as text. The columns are those
// of docs/csv-columns.md.
class CsvWriter : public ExportWriter
{
public:
    explicit CsvWriter(bool excel = false)
        : excel(excel)
    {
    }

    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    // The whole export at once.
    static QByteArray render(const ExportDocument& document, bool excel = false);
    static QStringList columns();

private:
    static bool writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, bool excel,
                         QString* error);

    bool excel;
};
