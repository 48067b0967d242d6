#pragma once

#include "ExportWriter.h"

// One JSON document with every field of the model plus the real dates; the
// schema is described in docs/json-schema.md. Laid out as Qt's indented
// JSON (keys sorted, four spaces a level), written as it is produced.
class JsonWriter : public ExportWriter
{
public:
    static constexpr int formatVersion = 1;

    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    // The whole document at once.
    static QByteArray render(const ExportDocument& document);

private:
    static bool writeAll(OutputSink& out, const ExportDocument& document, const ExportTarget& target, QString* error);
};
