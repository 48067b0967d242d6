#include "PopplerTools.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <string>
#endif

namespace {

#ifdef _WIN32
// Wine's own calls, absent from Windows (null there): a file's Unix name and
// back, in memory of the process heap.
using UnixName = char*(CDECL*)(LPCWSTR);
using DosName = WCHAR*(CDECL*)(const char*);

template <typename Function>
Function wineCall(const char* name)
{
    // Through void (*)(), the one cast GCC takes as "any function".
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32"), name)));
}

// Wine starts Unix programs, but passes them none of the standard handles of
// CreateProcess and gives no handle to wait for them. So the tool runs under
// a shell that writes its output and then its status to files, and the status
// file is waited for.
QString runUnix(const QString& tool, const QStringList& arguments)
{
    const auto quoted = [](QString argument) {
        return QLatin1Char('\'') + argument.replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
    };
    QTemporaryDir folder;
    const QString out = PopplerTools::path(folder.filePath(QStringLiteral("out")));
    const QString status = PopplerTools::path(folder.filePath(QStringLiteral("status")));
    QString script = quoted(QStringLiteral(MSGEXPORT_POPPLER_DIR "/") + tool);
    for (const QString& argument : arguments)
        script += QLatin1Char(' ') + quoted(argument);
    script += QStringLiteral(" >%1; echo $? >%2.part; mv %2.part %2").arg(quoted(out), quoted(status));

    WCHAR* shell = wineCall<DosName>("wine_get_dos_file_name")("/bin/sh");
    if (!shell) {
        ADD_FAILURE() << "no /bin/sh for " << tool.toStdString();
        return {};
    }
    std::wstring commandLine = QStringLiteral("\"%1\" -c \"%2\"").arg(QString::fromWCharArray(shell), script).toStdWString();
    HeapFree(GetProcessHeap(), 0, shell);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
        ADD_FAILURE() << "could not start " << tool.toStdString();
        return {};
    }
    if (started.hThread)
        CloseHandle(started.hThread);
    if (started.hProcess)
        CloseHandle(started.hProcess);

    QFile ended(folder.filePath(QStringLiteral("status")));
    for (int waited = 0; !ended.exists() && waited < 60000; waited += 10)
        Sleep(10);
    EXPECT_TRUE(ended.open(QIODevice::ReadOnly)) << tool.toStdString() << " did not end in a minute";
    EXPECT_EQ(ended.readAll().trimmed(), QByteArrayLiteral("0"))
        << tool.toStdString() << ' ' << arguments.join(QLatin1Char(' ')).toStdString();
    QFile output(folder.filePath(QStringLiteral("out")));
    EXPECT_TRUE(output.open(QIODevice::ReadOnly)) << tool.toStdString();
    return QString::fromUtf8(output.readAll());
}
#endif

} // namespace

namespace PopplerTools {

QString path(const QString& path)
{
#ifdef _WIN32
    if (const auto unixName = wineCall<UnixName>("wine_get_unix_file_name")) {
        const QString native = QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(path)));
        if (char* name = unixName(reinterpret_cast<LPCWSTR>(native.utf16()))) {
            const QString found = QString::fromUtf8(name);
            HeapFree(GetProcessHeap(), 0, name);
            return found;
        }
    }
#endif
    return path;
}

QString run(const QString& tool, const QStringList& arguments)
{
#ifdef _WIN32
    if (wineCall<UnixName>("wine_get_unix_file_name"))
        return runUnix(tool, arguments);
#endif
    QProcess process;
    process.start(tool, arguments);
    EXPECT_TRUE(process.waitForFinished(60000)) << tool.toStdString() << ": " << process.errorString().toStdString();
    EXPECT_EQ(process.exitCode(), 0) << tool.toStdString() << ' ' << arguments.join(QLatin1Char(' ')).toStdString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace PopplerTools
