// Who made a private folder (a backup's view, a database snapshot), written
// into it, so that a later process can tell a folder left behind by a process
// that was killed from one still in use. A process id alone is not enough:
// ids are reused, so the mark also holds the process's start time and, on
// Linux, the boot it belongs to.
#pragma once

#include <QString>

class QFile;

class OwnerMark
{
public:
    // The mark's file name inside a folder.
    static QString fileName();

    // Marks folder as owned by this process (file mode 0600). False when the
    // mark cannot be written.
    static bool write(const QString& folder);
    // Marks folder as kept on purpose: never taken for abandoned.
    static bool keep(const QString& folder);

    // True when folder carries the mark of a process that has ended. A folder
    // without a mark, or kept, or of a live process, or whose owner cannot be
    // told, is not abandoned. *owner describes the mark's owner.
    static bool isAbandoned(const QString& folder, QString* owner = nullptr);

    // This process's mark, as written.
    static QByteArray current();

    // Creates path as a new file open for writing in *file, mode 0600 from its
    // creation on, so that no other user can open it even for a moment; false
    // when it exists already or cannot be made.
    static bool createPrivateFile(const QString& path, QFile* file);
    static bool writePrivateFile(const QString& path, const QByteArray& data);
};
