#include "OutputFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QStringList>

#include <string>

#if defined(_WIN32)
#  include <cstdint>
#  include <fcntl.h>
#  include <io.h>
#  include <windows.h>
#else
#  include <cerrno>
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace {

// Of fixed length, so that a long file name cannot make it too long.
QString temporaryName()
{
    return QStringLiteral(".msgexport-%1.tmp").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

bool fail(QString* error, const QString& message)
{
    if (error)
        *error = message;
    return false;
}

#if defined(_WIN32)
std::wstring native(const QString& path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

bool isReparsePoint(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// A junction or link in a name's place is removed; the name itself, never
// what it leads to.
bool removeReparsePoint(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (!isReparsePoint(attributes))
        return true;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(path.c_str()) != 0
                                                   : DeleteFileW(path.c_str()) != 0;
}

bool makeSubfolder(const QString& path)
{
    const std::wstring name = native(path);
    if (!removeReparsePoint(name))
        return false;
    if (!CreateDirectoryW(name.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
        && !isReparsePoint(attributes);
}
#else
// Opens the folder name in parent, making it when missing. A link in its
// place is removed and a real folder made instead: following it could lead
// anywhere, the backup included.
int openSubfolder(int parent, const char* name)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (folder >= 0)
            return folder;
        if (errno == ENOENT) {
            if (::mkdirat(parent, name, 0755) != 0 && errno != EEXIST)
                return -1;
            continue;
        }
        struct stat status;
        if ((errno != ELOOP && errno != ENOTDIR) || ::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) != 0
            || !S_ISLNK(status.st_mode))
            return -1;
        if (::unlinkat(parent, name, 0) != 0)
            return -1;
    }
    errno = ELOOP; // replaced under our feet again and again
    return -1;
}
#endif

} // namespace

struct OutputFolder::Folder
{
#if defined(_WIN32)
    QString path;
#else
    ~Folder()
    {
        if (owned)
            ::close(descriptor);
    }
    int descriptor = -1;
    bool owned = false;
#endif
};

OutputFolder::OutputFolder(const QString& path)
{
    if (!QDir().mkpath(path)) {
        openError = QStringLiteral("cannot create the output folder %1").arg(path);
        return;
    }
    realPath = QFileInfo(path).canonicalFilePath();
#if defined(_WIN32)
    opened = !realPath.isEmpty() && !isReparsePoint(GetFileAttributesW(native(realPath).c_str()));
    if (!opened)
        openError = QStringLiteral("cannot open the output folder %1").arg(path);
#else
    if (!realPath.isEmpty())
        descriptor = ::open(QFile::encodeName(realPath).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0)
        openError = QStringLiteral("cannot open the output folder %1: %2").arg(path, qt_error_string());
#endif
}

OutputFolder::~OutputFolder()
{
#if !defined(_WIN32)
    if (descriptor >= 0)
        ::close(descriptor);
#endif
}

bool OutputFolder::isOpen() const
{
#if defined(_WIN32)
    return opened;
#else
    return descriptor >= 0;
#endif
}

bool OutputFolder::openParent(const QString& relativePath, Folder* folder, QString* name, QString* error) const
{
    const QStringList parts = relativePath.split(QLatin1Char('/'));
    for (const QString& part : parts) {
        if (part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..")
            || part.contains(QLatin1Char('\\')))
            return fail(error, QStringLiteral("%1 is not a name inside the output folder").arg(relativePath));
    }
    if (!isOpen())
        return fail(error, openError);
    *name = parts.last();
#if defined(_WIN32)
    folder->path = realPath;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        folder->path += QLatin1Char('/') + parts[i];
        if (!makeSubfolder(folder->path))
            return fail(error, QStringLiteral("cannot create the folder %1: %2").arg(folder->path, qt_error_string()));
    }
#else
    folder->descriptor = descriptor;
    QString made = realPath;
    for (int i = 0; i + 1 < parts.size(); ++i) {
        made += QLatin1Char('/') + parts[i];
        const int next = openSubfolder(folder->descriptor, QFile::encodeName(parts[i]).constData());
        if (next < 0)
            return fail(error, QStringLiteral("cannot create the folder %1: %2").arg(made, qt_error_string()));
        if (folder->owned)
            ::close(folder->descriptor);
        folder->descriptor = next;
        folder->owned = true;
    }
#endif
    return true;
}

bool OutputFolder::writeFile(const QString& relativePath, const std::function<bool(QIODevice&)>& body,
                             QString* error) const
{
    Folder folder;
    QString name;
    if (!openParent(relativePath, &folder, &name, error))
        return false;
    const QString target = QDir(realPath).filePath(relativePath);
    QString temporary;
    QFile file;
#if defined(_WIN32)
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (int attempt = 0; handle == INVALID_HANDLE_VALUE && attempt < 16; ++attempt) {
        temporary = folder.path + QLatin1Char('/') + temporaryName();
        handle = CreateFileW(native(temporary).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (handle == INVALID_HANDLE_VALUE)
        return fail(error, QStringLiteral("cannot write %1: %2").arg(target, qt_error_string()));
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        DeleteFileW(native(temporary).c_str());
        return fail(error, QStringLiteral("cannot write %1").arg(target));
    }
    const auto closeFile = [descriptor] { return _close(descriptor) == 0; };
    const auto removeTemporary = [&temporary] { DeleteFileW(native(temporary).c_str()); };
    const auto moveIntoPlace = [&] {
        const std::wstring final = native(folder.path + QLatin1Char('/') + name);
        return removeReparsePoint(final)
            && MoveFileExW(native(temporary).c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
    };
#else
    int descriptor = -1;
    QByteArray temporaryBytes;
    for (int attempt = 0; descriptor < 0 && attempt < 16; ++attempt) {
        temporary = temporaryName();
        temporaryBytes = QFile::encodeName(temporary);
        descriptor = ::openat(folder.descriptor, temporaryBytes.constData(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (descriptor < 0 && errno != EEXIST)
            break;
    }
    if (descriptor < 0)
        return fail(error, QStringLiteral("cannot write %1: %2").arg(target, qt_error_string()));
    const auto closeFile = [descriptor] { return ::close(descriptor) == 0; };
    const auto removeTemporary = [&] { ::unlinkat(folder.descriptor, temporaryBytes.constData(), 0); };
    // renameat replaces a link at the final name; it never writes through it.
    const auto moveIntoPlace = [&] {
        return ::renameat(folder.descriptor, temporaryBytes.constData(), folder.descriptor,
                          QFile::encodeName(name).constData())
            == 0;
    };
#endif
    if (!file.open(descriptor, QIODevice::WriteOnly | QIODevice::Unbuffered, QFileDevice::DontCloseHandle)) {
        closeFile();
        removeTemporary();
        return fail(error, QStringLiteral("cannot write %1: %2").arg(target, file.errorString()));
    }
    const bool written = body(file);
    const bool deviceFailed = file.error() != QFileDevice::NoError;
    const QString deviceError = file.errorString();
    file.close();
    const bool closed = closeFile();
    if (written && !deviceFailed && closed && moveIntoPlace()) {
        keepFile(relativePath);
        return true;
    }
    const QString reason = deviceFailed ? deviceError : qt_error_string();
    removeTemporary();
    if (!written && !deviceFailed)
        return false; // body said why
    return fail(error, QStringLiteral("cannot write %1: %2").arg(target, reason));
}

void OutputFolder::keepFile(const QString& relativePath) const
{
    const QMutexLocker lock(&writtenLock);
    if (!writtenSet.contains(relativePath)) {
        writtenSet.insert(relativePath);
        writtenList.append(relativePath);
    }
}

QStringList OutputFolder::writtenFiles() const
{
    const QMutexLocker lock(&writtenLock);
    return writtenList;
}

bool OutputFolder::copyFile(const QString& source, const QString& relativePath, QString* error) const
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(error, QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
    return writeFile(relativePath,
                     [&](QIODevice& out) {
                         QByteArray chunk(256 * 1024, Qt::Uninitialized);
                         for (;;) {
                             const qint64 read = in.read(chunk.data(), chunk.size());
                             if (read < 0)
                                 return fail(error, QStringLiteral("cannot read %1: %2").arg(source, in.errorString()));
                             if (read == 0)
                                 return true;
                             if (out.write(chunk.constData(), read) != read) {
                                 return fail(error, QStringLiteral("cannot write %1: %2")
                                                        .arg(QDir(realPath).filePath(relativePath), out.errorString()));
                             }
                         }
                     },
                     error);
}
