#include "ExportWriter.h"

#include "HtmlWriter.h"
#include "JsonWriter.h"
#include "TextWriter.h"

#include "OutputSink.h"

#include <QDir>
#include <QSaveFile>

ExportWriter::~ExportWriter() = default;

std::unique_ptr<ExportWriter> ExportWriter::create(const QString& format)
{
    if (format == QLatin1String("text"))
        return std::make_unique<TextWriter>();
    if (format == QLatin1String("json"))
        return std::make_unique<JsonWriter>();
    if (format == QLatin1String("html"))
        return std::make_unique<HtmlWriter>();
    return nullptr;
}

QStringList ExportWriter::formats()
{
    return {QStringLiteral("text"), QStringLiteral("json"), QStringLiteral("html")};
}

bool ExportWriter::writeFile(const ExportTarget& target, const QString& fileName,
                             const std::function<bool(OutputSink&)>& body, QString* error)
{
    // A reader never sees half a file, even if the disk fills up.
    QSaveFile file;
    QIODevice* device = target.stream;
    if (!target.folder.isEmpty()) {
        file.setFileName(QDir(target.folder).filePath(fileName));
        device = file.open(QIODevice::WriteOnly) ? &file : nullptr;
    }
    OutputSink out(device);
    if (device && body(out) && out.flush() && (target.folder.isEmpty() || file.commit()))
        return true;
    if (device && !out.failed() && (target.folder.isEmpty() || file.error() == QFileDevice::NoError))
        return false; // body said why
    if (error) {
        *error = target.folder.isEmpty() ? QStringLiteral("cannot write to standard output")
                                         : QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    }
    return false;
}
