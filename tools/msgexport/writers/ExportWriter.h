#pragma once

#include "ExportDocument.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class OutputFolder;
class OutputSink;
class QIODevice;

// Where an export goes: a folder (required by formats that write several
// files), or else a stream such as standard output. progress hears of every
// message written.
struct ExportTarget
{
    const OutputFolder* folder = nullptr;
    QIODevice* stream = nullptr;
    std::function<void(int done, int total)> progress;
};

// How the formats that have a choice write.
struct WriterSettings
{
    bool excel = false; // csv: for a spreadsheet program
    QString pageSize;   // pdf: "a4" or "letter"; empty: the locale's
};

// One output format.
class ExportWriter
{
public:
    virtual ~ExportWriter();

    // Whether the format needs a folder rather than a stream.
    virtual bool needsFolder() const { return false; }

    // False, with the reason in *error, when the output cannot be written.
    virtual bool write(const ExportDocument& document, const ExportTarget& target, QString* error) = 0;

    // "text", "json", "html", "csv", ...; null for an unknown name.
    static std::unique_ptr<ExportWriter> create(const QString& format, const WriterSettings& settings = {});
    static QStringList formats();
    // Whether this build writes PDF (it needs libraries a build may lack).
    static bool pdfBuiltIn();

protected:
    // Writes a file to target.stream, or to fileName in target.folder (which
    // may name a file in a subfolder), as
    // body produces it; body returns false when the export must stop (with
    // *error set unless the output failed).
    static bool writeFile(const ExportTarget& target, const QString& fileName,
                          const std::function<bool(OutputSink&)>& body, QString* error);
};
