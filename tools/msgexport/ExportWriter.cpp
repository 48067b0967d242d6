#include "ExportWriter.h"

#include "HtmlWriter.h"
#include "JsonWriter.h"
#include "TextWriter.h"

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

bool ExportWriter::writeDocument(const QByteArray& bytes, const ExportTarget& target, const QString& fileName,
                                 QString* error)
{
    if (target.folder.isEmpty()) {
        if (target.stream && target.stream->write(bytes) == bytes.size())
            return true;
        if (error)
            *error = QStringLiteral("cannot write to standard output");
        return false;
    }
    // A reader never sees half a file, even if the disk fills up.
    QSaveFile file(QDir(target.folder).filePath(fileName));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return false;
}
