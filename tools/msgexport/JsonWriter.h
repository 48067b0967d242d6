#pragma once

#include "ExportWriter.h"

class QJsonObject;

// One JSON document with every field of the model plus the real dates; the
// schema is described in docs/json-schema.md.
class JsonWriter : public ExportWriter
{
public:
    static constexpr int formatVersion = 1;

    bool write(const ExportDocument& document, const ExportTarget& target, QString* error) override;

    static QJsonObject toJson(const ExportDocument& document);

private:
    // Everything but the conversations, whose list is left empty.
    static QJsonObject headerJson(const ExportDocument& document);
};
