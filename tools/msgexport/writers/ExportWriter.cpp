#include "ExportWriter.h"

#include "CsvWriter.h"
#include "HtmlWriter.h"
#include "JsonWriter.h"
#if defined(MSGEXPORT_WITH_PDF)
#include "PdfWriter.h"
#endif
#include "TextWriter.h"

#include "OutputFolder.h"
#include "OutputSink.h"

ExportWriter::~ExportWriter() = default;

std::unique_ptr<ExportWriter> ExportWriter::create(const QString& format, const WriterSettings& settings)
{
    if (format == QLatin1String("text"))
        return std::make_unique<TextWriter>();
    if (format == QLatin1String("json"))
        return std::make_unique<JsonWriter>();
    if (format == QLatin1String("html"))
        return std::make_unique<HtmlWriter>();
    if (format == QLatin1String("csv"))
        return std::make_unique<CsvWriter>(settings.excel);
#if defined(MSGEXPORT_WITH_PDF)
    if (format == QLatin1String("pdf"))
        return std::make_unique<PdfWriter>(settings.pageSize);
#endif
    return nullptr;
}

QStringList ExportWriter::formats()
{
    QStringList names{QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("html"), QStringLiteral("csv")};
    if (pdfBuiltIn())
        names << QStringLiteral("pdf");
    return names;
}

bool ExportWriter::pdfBuiltIn()
{
#if defined(MSGEXPORT_WITH_PDF)
    return true;
#else
    return false;
#endif
}

bool ExportWriter::writeFile(const ExportTarget& target, const QString& fileName,
                             const std::function<bool(OutputSink&)>& body, QString* error)
{
    if (target.folder) {
        // A reader never sees half a file, even if the disk fills up.
        return target.folder->writeFile(
            fileName,
            [&](QIODevice& device) {
                OutputSink out(&device);
                return body(out) && out.flush();
            },
            error);
    }
    OutputSink out(target.stream);
    if (target.stream && body(out) && out.flush())
        return true;
    if (target.stream && !out.failed())
        return false; // body said why
    if (error)
        *error = QStringLiteral("cannot write to standard output");
    return false;
}
