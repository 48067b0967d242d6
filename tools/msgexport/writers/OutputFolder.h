#pragma once

#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

class QIODevice;

// The folder an export goes to, opened once. Every file and folder below it
// is made from that handle without following a symbolic link (on Windows: a
// reparse point) at any name: a link left in the folder, perhaps leading into
// the backup, is replaced, never written through.
class OutputFolder
{
public:
    // Makes path when it does not exist yet, then opens the folder it is.
    explicit OutputFolder(const QString& path);
    ~OutputFolder();

    OutputFolder(const OutputFolder&) = delete;
    OutputFolder& operator=(const OutputFolder&) = delete;

    bool isOpen() const;
    // The folder with links resolved; empty when it could not be made.
    const QString& path() const { return realPath; }
    // Why the folder could not be made or opened.
    const QString& errorString() const { return openError; }

    // Writes relativePath ('/'-separated; missing folders are made) as body
    // produces it on a device. The file grows under a temporary name that is
    // renamed into place only once body returns true, and is removed
    // otherwise. A failure of the folder sets *error; one of body does not.
    bool writeFile(const QString& relativePath, const std::function<bool(QIODevice&)>& body, QString* error) const;
    // Copies the file at source to relativePath, the same way.
    bool copyFile(const QString& source, const QString& relativePath, QString* error) const;
    // Every file written so far, as relativePath, each once. Files may be
    // written from two threads (pages and copied attachments).
    QStringList writtenFiles() const;
    // Lists a file an earlier export left (a converted picture it reuses)
    // with the written ones: it is part of this export too.
    void keepFile(const QString& relativePath) const;

private:
    struct Folder;
    // Opens (making it as needed) the folder of relativePath and splits off
    // the file name.
    bool openParent(const QString& relativePath, Folder* folder, QString* name, QString* error) const;

    QString realPath;
    QString openError;
    mutable QMutex writtenLock;
    mutable QStringList writtenList;
    mutable QSet<QString> writtenSet;
#if defined(_WIN32)
    bool opened = false;
#else
    int descriptor = -1;
#endif
};
