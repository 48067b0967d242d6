// libFuzzer target for a whole load: a backup folder built in a temporary
// folder from the sample Library, in one of five forms (the Library folder;
// a computer backup with Manifest.db or Manifest.mbdb, plain or encrypted),
// with one of its files damaged; then the view, MsgService::loadBackup, the
// message details and a text or JSON export, as msgexport makes them.
//
// Input: form, file, mode, page (16-bit little-endian), then the payload.
//   file: 0 the message database, 1 the address book, 2 the manifest,
//         3 Manifest.plist;
//   mode & 3: 0 the payload replaces the file, 1 it overwrites the 4096-byte
//         page, 2 it is XORed into the page, 3 the file is cut inside the page;
//   mode & 4: a JSON export rather than text.
// The database and address book are damaged before the backup is written,
// so that an encrypted backup holds them damaged but well encrypted.
#include "BackupBoundary.h"
#include "ComputerBackupWriter.h"
#include "ConversationBuilder.h"
#include "ExportDocument.h"
#include "ExportWriter.h"
#include "MsgDetails.h"
#include "MsgService.h"
#include "MsgSession.h"
#include "SampleLibrary.h"
#include "VexoBackup.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

constexpr int pageSize = 4096;
const QString password = QStringLiteral("fuzz");

struct Fixture
{
    QTemporaryDir root; // every file of a run lies below it; emptied after each
    std::map<QString, QByteArray> library;
};

Fixture* fixture = nullptr;

QByteArray damaged(QByteArray file, int mode, unsigned page, const QByteArray& payload)
{
    if ((mode & 3) == 0)
        return payload;
    const int pages = qMax(1, (file.size() + pageSize - 1) / pageSize);
    const int start = static_cast<int>(page % static_cast<unsigned>(pages)) * pageSize;
    const QByteArray patch = payload.left(pageSize);
    if ((mode & 3) == 3) {
        const unsigned char cut = patch.isEmpty() ? 0 : static_cast<unsigned char>(patch.at(0));
        file.truncate(qMin(file.size(), start + cut * 16));
        return file;
    }
    if (file.size() < start + patch.size())
        file.resize(start + patch.size());
    for (int i = 0; i < patch.size(); ++i)
        file[start + i] = (mode & 3) == 1 ? patch.at(i) : char(file.at(start + i) ^ patch.at(i));
    return file;
}

bool rewrite(const QString& path, int mode, unsigned page, const QByteArray& payload)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray changed = damaged(file.readAll(), mode, page, payload);
    file.close();
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(changed) == changed.size();
}

// The load, the details and the export of a folder laid out like Library.
void load(const QString& library, const QString& format)
{
    const BackupBoundary boundary(library);
    MsgService service(QStringLiteral("fuzz"), false);
    MsgDetails details(boundary.root());
    details.load();
    if (!service.loadBackup(boundary.root()))
        return;
    const ConversationBuilder builder(boundary, &details);
    std::vector<const MsgSession*> sessions;
    ExportDocument document;
    for (unsigned int i = 0; i < service.msgSessionCount(); ++i) {
        if (const MsgSession* session = service.msgSession(i)) {
            sessions.push_back(session);
            document.madeMessages += builder.messageCount(*session);
        }
    }
    document.madeConversations = static_cast<int>(sessions.size());
    document.make = [&](int i, ConversationView* view, QString*) {
        *view = builder.build(*sessions[static_cast<size_t>(i)], i);
        return true;
    };
    document.messagesOf = [&sessions](int i) { return sessions[static_cast<size_t>(i)]->messages.size(); };
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    ExportTarget target;
    target.stream = &out;
    QString error;
    const std::unique_ptr<ExportWriter> writer = ExportWriter::create(format);
    if (!writer || !writer->write(document, target, &error))
        std::abort(); // a loaded backup always exports
}

QString formatOf(int mode)
{
    return (mode & 4) ? QStringLiteral("json") : (mode & 16) ? QStringLiteral("csv") : QStringLiteral("text");
}

void run(const std::uint8_t* data, std::size_t size, const QString& folder)
{
    const int form = data[0] % 5;
    const int file = data[1] % 4;
    const int mode = data[2];
    const unsigned page = data[3] | (data[4] << 8);
    const QByteArray payload(reinterpret_cast<const char*>(data) + 5, static_cast<int>(size - 5));

    std::map<QString, QByteArray> files = fixture->library;
    if (file < 2) {
        QByteArray& target = files[file == 0 ? QStringLiteral("SMS/sms.db") : QStringLiteral("AddressBook/AddressBook.sqlitedb")];
        target = damaged(target, mode, page, payload);
    }
    const QString library = folder + QStringLiteral("/lib");
    if (!SampleLibrary::write(files, library))
        return;
    if (form == 0) {
        load(library, formatOf(mode));
        return;
    }

    ComputerBackupWriter writer = SampleLibrary::writerFor(form, password);
    const QString backup = folder + QStringLiteral("/backup");
    if (!writer.write(library, backup))
        return;
    if (file >= 2) {
        const QString name = file == 3 ? QStringLiteral("Manifest.plist")
            : writer.olderManifest     ? QStringLiteral("Manifest.mbdb")
                                       : QStringLiteral("Manifest.db");
        rewrite(QDir(backup).filePath(name), mode, page, payload);
    }
    const QString view = folder + QStringLiteral("/view");
    if (VexoBackup::makeBackupView(backup, writer.password, view) == VexoBackup::ViewReady)
        load(view, formatOf(mode));
    VexoBackup::removeBackupView(view);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication application(*argc, *argv);
    // Static, so that the root goes when the fuzzer exits.
    static Fixture instance;
    fixture = &instance;
    if (!fixture->root.isValid())
        std::abort();
    // Caches, views and temporary files of the libraries stay below the root too.
    const QByteArray root = QFile::encodeName(fixture->root.path());
    qputenv("XDG_CACHE_HOME", root + "/cache");
    qputenv("TMPDIR", root + "/tmp");
    QDir().mkpath(fixture->root.filePath(QStringLiteral("tmp")));
    const QString scratch = fixture->root.filePath(QStringLiteral("scratch"));
    QDir().mkpath(scratch);
    fixture->library = SampleLibrary::files(scratch);
    QDir(scratch).removeRecursively();
    if (fixture->library.empty())
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const QString folder = fixture->root.filePath(QStringLiteral("run"));
    QDir().mkpath(folder);
    run(data, size, folder);
    // Nothing of a run outlives it, caches and views included.
    QDir root(fixture->root.path());
    for (const QString& name : root.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (!QDir(root.filePath(name)).removeRecursively())
            QFile::remove(root.filePath(name));
    }
    root.mkpath(QStringLiteral("tmp"));
    return 0;
}
