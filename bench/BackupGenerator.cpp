#include "BackupGenerator.h"

#include "FixtureDatabase.h"
#include "ShapedBackup.h"
#include "TypedStreamArchive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTextStream>
#include <QVector>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <utility>

namespace {

// Bumped whenever the generated rows or files change, so cached backups of an
// older generator are made anew.
constexpr int generatorVersion = 1;

// splitmix64: the same numbers on every platform and standard library, which
// the <random> distributions do not promise.
class Rng
{
public:
    explicit Rng(quint64 seed) : state(seed) {}

    quint64 next()
    {
        quint64 z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    qint64 below(qint64 n) { return static_cast<qint64>((static_cast<unsigned __int128>(next()) * static_cast<quint64>(n)) >> 64); }
    // Uniform in [low, high].
    qint64 between(qint64 low, qint64 high) { return low + below(high - low + 1); }
    double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }
    bool chance(double p) { return unit() < p; }

    template <typename T, size_t n>
    const T& pick(const T (&items)[n]) { return items[below(static_cast<qint64>(n))]; }

    QString uuid()
    {
        const quint64 a = next();
        const quint64 b = next();
        const QString hex = QStringLiteral("%1%2").arg(a, 16, 16, QLatin1Char('0')).arg(b, 16, 16, QLatin1Char('0')).toUpper();
        return hex.mid(0, 8) + QLatin1Char('-') + hex.mid(8, 4) + QLatin1Char('-') + hex.mid(12, 4) + QLatin1Char('-')
            + hex.mid(16, 4) + QLatin1Char('-') + hex.mid(20, 12);
    }

private:
    quint64 state;
};

const char* const vocabulary[] = {
    "the", "a", "to", "and", "you", "I", "it", "is", "that", "for", "on", "we", "are", "at", "be", "this", "was",
    "with", "have", "just", "so", "can", "do", "not", "my", "me", "what", "get", "there", "ok", "yes", "no", "see",
    "tomorrow", "tonight", "dinner", "meeting", "train", "late", "sorry", "thanks", "home", "work", "call", "later",
    "love", "great", "sounds", "good", "where", "when", "running", "minutes", "picture", "weekend", "coffee",
    "party", "birthday", "remember", "forgot", "keys", "station", "parking", "lunch", "office", "school", "kids",
    "groceries", "milk", "bread", "flight", "landed", "airport", "hotel", "tickets", "concert", "movie", "game",
    "score", "amazing", "weather", "rain", "sunny", "traffic", "address", "appointment", "doctor", "pharmacy",
};
// Non-ASCII words: a precomposed accent, an emoji (a surrogate pair), and a
// decomposed accent that the body decoder composes.
const char* const foreignWords[] = {"café", "naïve", "Grüße", "😀", "👍", "jalapeño", "cafe\xcc\x81", "déjà"};
const char* const firstNames[] = {"Anna", "Ben", "Chloé", "David", "Emma", "Felix", "Grace", "Hugo", "Ines",
                                  "Jack", "Kim", "Leo", "Maria", "Noah", "Olivia", "Paul", "Quinn", "Rosa",
                                  "Sam", "Tara", "Umar", "Vera", "Will", "Xenia", "Yusuf", "Zoe"};
const char* const lastNames[] = {"Adams", "Brown", "Clarke", "Dubois", "Evans", "Fischer", "García", "Hughes",
                                 "Ivanova", "Jones", "Khan", "Lopez", "Müller", "Nguyen", "O'Brien", "Patel",
                                 "Quint", "Rossi", "Smith", "Tanaka", "Ueda", "Vargas", "Walker", "Young"};

struct AttachmentKind
{
    const char* name; // %1: a four-digit number
    const char* mimeType; // null: NULL in the database
    const char* uti;
};
const AttachmentKind attachmentKinds[] = {
    {"IMG_%1.jpeg", "image/jpeg", "public.jpeg"},
    {"IMG_%1.jpeg", "image/jpeg", "public.jpeg"},
    {"IMG_%1.HEIC", "image/heic", "public.heic"},
    {"IMG_%1.MOV", "video/quicktime", "com.apple.quicktime-movie"},
    {"Audio Message.caf", "audio/x-caf", "com.apple.coreaudio-format"},
    {"IMG_%1.PNG", "image/png", "public.png"},
    {"photo.edited.%1.jpg", "image/jpeg", "public.jpeg"},
    {"%1.pluginPayloadAttachment", nullptr, "com.apple.messages.pluginPayloadAttachment"},
};

struct Person
{
    QString address;  // handle.id
    QString bookKey;  // the address as the address book's phone normalization leaves it
    QString bookValue; // abmultivalue.value
    bool email = false;
    bool inBook = false;
    bool named = false; // the contact has a non-empty display name
};

struct Handle
{
    int person = 0;
    QString service;
    QString uncanonicalized; // empty: NULL
};

struct Identifier
{
    QString text;
    QString roomName; // empty: NULL
    bool group = false;
    QVector<int> chatRows;
};

struct ChatRow
{
    int identifier = 0;
    QString service;
    QVector<qint64> handles; // handle rowids
    double weight = 0.0;
    qint64 messages = 0;
};

// The database side of the generator: prepared inserts in one transaction.
class Database
{
public:
    ~Database()
    {
        for (sqlite3_stmt* stmt : qAsConst(statements))
            sqlite3_finalize(stmt);
        if (db)
            sqlite3_close(db);
    }

    bool open(const QString& path, const QString& schemaFile, QString* error)
    {
        if (!FixtureDatabase::create(path, FixtureDatabase::readText(schemaFile), FixtureDatabase::Journal::Rollback, error))
            return false;
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            return fail(error);
        return exec("PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; BEGIN", error);
    }

    sqlite3_stmt* prepare(const char* sql, QString* error)
    {
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            fail(error);
            return nullptr;
        }
        statements.append(stmt);
        return stmt;
    }

    bool commit(QString* error) { return exec("COMMIT", error); }

    bool fail(QString* error) const
    {
        if (error)
            *error = QString::fromUtf8(db ? sqlite3_errmsg(db) : "cannot open database");
        return false;
    }

private:
    bool exec(const char* sql, QString* error)
    {
        return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK || fail(error);
    }

    sqlite3* db = nullptr;
    QVector<sqlite3_stmt*> statements;
};

// One row of a prepared insert: values bound by position, NULL where unset.
class Row
{
public:
    explicit Row(sqlite3_stmt* stmt) : stmt(stmt) { sqlite3_clear_bindings(stmt); }

    Row& integer(qint64 value)
    {
        sqlite3_bind_int64(stmt, ++column, value);
        return *this;
    }
    Row& text(const QString& value)
    {
        if (value.isNull()) {
            ++column;
        } else {
            const QByteArray utf8 = value.toUtf8();
            sqlite3_bind_text(stmt, ++column, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
        }
        return *this;
    }
    Row& blob(const QByteArray& value)
    {
        if (value.isNull())
            ++column;
        else
            sqlite3_bind_blob(stmt, ++column, value.constData(), value.size(), SQLITE_TRANSIENT);
        return *this;
    }
    Row& null()
    {
        ++column;
        return *this;
    }
    bool insert()
    {
        const bool ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
        return ok;
    }

private:
    sqlite3_stmt* stmt;
    int column = 0;
};

QString nullable(const QString& text)
{
    return text.isEmpty() ? QString() : text;
}

// Nanoseconds since 2001-01-01 UTC, the message database's clock.
constexpr qint64 nanos = 1000000000LL;
constexpr qint64 historyStart = 473385600LL * nanos; // 2016-01-01
constexpr qint64 historySpan = 8LL * 365 * 86400 * nanos;

QString words(Rng& rng, qint64 count)
{
    QString text;
    for (qint64 i = 0; i < count; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += QString::fromUtf8(rng.chance(0.03) ? rng.pick(foreignWords) : rng.pick(vocabulary));
    }
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    if (rng.chance(0.6))
        text += QLatin1Char(rng.chance(0.8) ? '.' : '?');
    return text;
}

// Mostly short texts, some over the 127 bytes that a one-byte typedstream
// length holds, a few long ones.
QString messageText(Rng& rng)
{
    const double r = rng.unit();
    if (r < 0.55)
        return words(rng, rng.between(1, 6));
    if (r < 0.85)
        return words(rng, rng.between(7, 20));
    return words(rng, rng.between(21, 160));
}

// The text of a message carrying `attachments` attachments: placeholders,
// mostly alone, sometimes with a caption, rarely none at all.
QString attachmentText(Rng& rng, int attachments)
{
    const QString placeholders(attachments, QChar(0xFFFC));
    const double r = rng.unit();
    if (r < 0.65)
        return placeholders;
    if (r < 0.90)
        return words(rng, rng.between(1, 12)) + QLatin1Char(' ') + placeholders;
    if (r < 0.95)
        return placeholders + QLatin1Char(' ') + words(rng, rng.between(1, 6));
    return rng.chance(0.5) ? words(rng, rng.between(1, 6)) : QString();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    std::FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file)
        return false;
    const bool ok = std::fwrite(content.constData(), 1, static_cast<size_t>(content.size()), file)
        == static_cast<size_t>(content.size());
    return std::fclose(file) == 0 && ok;
}

class Generator
{
public:
    Generator(const QString& folder, const BackupPlan& plan) : folder(folder), plan(plan), rng(plan.seed) {}

    bool run(BackupManifest* manifest, QString* error)
    {
        planConversations();
        if (!QDir().mkpath(folder + QStringLiteral("/SMS/Attachments")) || !QDir().mkpath(folder + QStringLiteral("/AddressBook"))) {
            *error = QStringLiteral("cannot create %1").arg(folder);
            return false;
        }
        if (!writeMessages(error) || !writeAddressBook(error))
            return false;
        summarize();
        *manifest = result;
        return true;
    }

private:
    int newPerson(bool forceEmail = false)
    {
        const int index = people.size();
        Person person;
        person.email = forceEmail || rng.chance(0.2);
        const QString first = QString::fromUtf8(rng.pick(firstNames));
        const QString last = QString::fromUtf8(rng.pick(lastNames));
        if (person.email) {
            // Letter case is kept: the address book must match it exactly.
            person.address = QStringLiteral("%1.%2%3@%4").arg(first, last).arg(index).arg(rng.chance(0.5) ? QStringLiteral("example.com") : QStringLiteral("Mail.example.org"));
            person.bookValue = person.address;
            person.bookKey = person.address;
        } else {
            // Unique by construction: the index fills the low digits.
            const qint64 national = 2010000000LL + index * 97LL + rng.below(97);
            const QString digits = QString::number(national);
            person.address = QStringLiteral("+1") + digits;
            if (rng.chance(0.9)) {
                person.bookValue = QStringLiteral("+1 (%1) %2-%3").arg(digits.left(3), digits.mid(3, 3), digits.mid(6));
                person.bookKey = person.address;
            } else {
                person.bookValue = QStringLiteral("(%1) %2-%3").arg(digits.left(3), digits.mid(3, 3), digits.mid(6));
                person.bookKey = digits;
            }
        }
        person.inBook = rng.chance(0.85);
        people.append(person);
        return index;
    }

    qint64 handleFor(int person, const QString& service)
    {
        const QString key = QString::number(person) + QLatin1Char(':') + service;
        const auto found = handleIndex.constFind(key);
        if (found != handleIndex.cend())
            return found.value();
        Handle handle;
        handle.person = person;
        handle.service = service;
        // Some phone handles keep the number as typed, without the country code.
        if (!people.at(person).email && rng.chance(0.2))
            handle.uncanonicalized = people.at(person).address.mid(2);
        handles.append(handle);
        const qint64 rowid = handles.size();
        handleIndex.insert(key, rowid);
        return rowid;
    }

    void addChatRow(int identifier, const QString& service, const QVector<int>& members)
    {
        ChatRow row;
        row.identifier = identifier;
        row.service = service;
        for (const int person : members)
            row.handles.append(handleFor(person, service));
        chatRows.append(row);
    }

    void planConversations()
    {
        const qint64 identifierCount = qMax<qint64>(8, plan.messages / 250);
        const QString sms = QStringLiteral("SMS");
        const QString iMessage = QStringLiteral("iMessage");
        for (qint64 i = 0; i < identifierCount; ++i) {
            Identifier identifier;
            const int index = identifiers.size();
            if (i >= 4 && rng.chance(0.3)) {
                // A group of 2 to 10 people, some of them known from one-to-one chats.
                identifier.group = true;
                identifier.text = QStringLiteral("chat%1").arg(rng.between(100000000000000000LL, 999999999999999999LL));
                identifier.roomName = identifier.text;
                identifiers.append(identifier);
                QVector<int> members;
                const qint64 size = rng.between(2, 10);
                while (members.size() < size) {
                    const int person = !people.isEmpty() && rng.chance(0.7) ? static_cast<int>(rng.below(people.size())) : newPerson();
                    if (!members.contains(person))
                        members.append(person);
                }
                addChatRow(index, iMessage, members);
            } else {
                const int person = newPerson(i == 1);
                identifier.text = people.at(person).address;
                identifiers.append(identifier);
                // The same conversation over SMS and iMessage: two chat rows
                // with one identifier, each with its own handle.
                if (i == 0 || rng.chance(0.15)) {
                    addChatRow(index, sms, {person});
                    addChatRow(index, iMessage, {person});
                } else {
                    addChatRow(index, rng.chance(0.4) ? sms : iMessage, {person});
                }
            }
        }

        // Chat rows lie in the table in no particular order; rows sharing an
        // identifier are not neighbours.
        for (int i = chatRows.size() - 1; i > 0; --i)
            std::swap(chatRows[i], chatRows[static_cast<int>(rng.below(i + 1))]);
        for (int i = 0; i < chatRows.size(); ++i)
            identifiers[chatRows.at(i).identifier].chatRows.append(i);

        // A few chats never got a message; the others follow a Zipf law over
        // a random ranking, so some conversations hold most of the history.
        QVector<int> ranks(chatRows.size());
        for (int i = 0; i < ranks.size(); ++i)
            ranks[i] = i + 1;
        for (int i = ranks.size() - 1; i > 0; --i)
            std::swap(ranks[i], ranks[static_cast<int>(rng.below(i + 1))]);
        double total = 0.0;
        for (int i = 0; i < chatRows.size(); ++i) {
            const bool silent = i > 0 && rng.chance(0.03);
            chatRows[i].weight = silent ? 0.0 : 1.0 / std::pow(static_cast<double>(ranks.at(i)), 0.9);
            total += chatRows.at(i).weight;
            cumulative.append(total);
        }
    }

    int pickChatRow()
    {
        const double target = rng.unit() * cumulative.last();
        const auto it = std::upper_bound(cumulative.cbegin(), cumulative.cend(), target);
        int row = static_cast<int>(it - cumulative.cbegin());
        row = qMin(row, cumulative.size() - 1);
        while (chatRows.at(row).weight == 0.0) // never a silent chat
            row = (row + 1) % chatRows.size();
        return row;
    }

    bool writeMessages(QString* error)
    {
        Database db;
        if (!db.open(folder + QStringLiteral("/SMS/sms.db"), QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/ios14-sms.sql"), error))
            return false;
        sqlite3_stmt* handleInsert = db.prepare(
            "insert into handle (ROWID, id, country, service, uncanonicalized_id, person_centric_id) values (?, ?, ?, ?, ?, ?)",
            error);
        sqlite3_stmt* chatInsert = db.prepare(
            "insert into chat (ROWID, guid, style, state, account_id, properties, chat_identifier, service_name, "
            "room_name, account_login, display_name, group_id, is_filtered, successful_query, last_read_message_timestamp) "
            "values (?, ?, ?, 3, ?, ?, ?, ?, ?, ?, ?, ?, 0, 1, ?)",
            error);
        sqlite3_stmt* chatHandleInsert = db.prepare("insert into chat_handle_join (chat_id, handle_id) values (?, ?)", error);
        sqlite3_stmt* messageInsert = db.prepare(
            "insert into message (ROWID, guid, text, handle_id, subject, attributedBody, service, account, account_guid, "
            "date, date_read, date_delivered, is_delivered, is_finished, is_from_me, is_read, is_sent, "
            "cache_has_attachments, item_type, other_handle, share_status, share_direction, error, destination_caller_id) "
            "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 1, ?, ?, ?, ?, 0, 0, 0, 0, ?, ?)",
            error);
        sqlite3_stmt* chatMessageInsert = db.prepare(
            "insert into chat_message_join (chat_id, message_id, message_date) values (?, ?, ?)", error);
        sqlite3_stmt* attachmentInsert = db.prepare(
            "insert into attachment (ROWID, guid, created_date, start_date, filename, uti, mime_type, transfer_state, "
            "is_outgoing, transfer_name, total_bytes, original_guid) values (?, ?, ?, 0, ?, ?, ?, 5, ?, ?, ?, ?)",
            error);
        sqlite3_stmt* messageAttachmentInsert = db.prepare(
            "insert into message_attachment_join (message_id, attachment_id) values (?, ?)", error);
        if (!handleInsert || !chatInsert || !chatHandleInsert || !messageInsert || !chatMessageInsert
            || !attachmentInsert || !messageAttachmentInsert)
            return false;

        bool ok = true;
        for (int i = 0; i < handles.size(); ++i) {
            const Handle& handle = handles.at(i);
            const Person& person = people.at(handle.person);
            ok = ok
                && Row(handleInsert).integer(i + 1).text(person.address)
                       .text(person.email ? QString() : QStringLiteral("us")).text(handle.service)
                       .text(nullable(handle.uncanonicalized)).text(rng.uuid()).insert();
        }
        for (int i = 0; i < chatRows.size(); ++i) {
            const ChatRow& row = chatRows.at(i);
            const Identifier& identifier = identifiers.at(row.identifier);
            const QString guid = row.service + (identifier.group ? QStringLiteral(";+;") : QStringLiteral(";-;")) + identifier.text;
            ok = ok
                && Row(chatInsert).integer(i + 1).text(guid).integer(identifier.group ? 43 : 45)
                       .text(rng.uuid()).blob(rng.chance(0.5) ? QByteArray("bplist00\xd1\x01\x02", 11) : QByteArray())
                       .text(identifier.text).text(row.service).text(nullable(identifier.roomName))
                       .text(QStringLiteral("E:owner@example.com"))
                       .text(identifier.group && rng.chance(0.5) ? words(rng, rng.between(1, 3)) : QString())
                       .text(rng.uuid()).integer(0).insert();
            for (const qint64 handle : row.handles)
                ok = ok && Row(chatHandleInsert).integer(i + 1).integer(handle).insert();
        }
        if (!ok)
            return db.fail(error);

        const qint64 step = historySpan / qMax<qint64>(1, plan.messages);
        qint64 attachmentRowid = 0;
        for (qint64 m = 1; m <= plan.messages && ok; ++m) {
            const int chat = pickChatRow();
            ChatRow& row = chatRows[chat];
            ++row.messages;
            // Rowids grow with time, but not strictly: devices sync late.
            const qint64 date = historyStart + m * step + rng.below(step * 20) + rng.below(nanos);
            const bool fromMe = rng.chance(0.45);
            const bool read = !fromMe && rng.chance(0.97);
            const qint64 sender = row.handles.at(static_cast<int>(rng.below(row.handles.size())));
            const int attachments = rng.chance(0.1) ? (rng.chance(0.9) ? 1 : static_cast<int>(rng.between(2, 3))) : 0;
            QString text;
            if (attachments > 0)
                text = attachmentText(rng, attachments);
            else if (!rng.chance(0.015)) // system messages carry no text
                text = messageText(rng);
            const QByteArray body = text.isNull() ? QByteArray() : TypedStreamArchive::attributedString(text);
            const QString subject = rng.chance(0.005) ? QStringLiteral("Re: ") + words(rng, 2) : QString();
            ok = Row(messageInsert).integer(m).text(rng.uuid()).text(text).integer(fromMe && row.handles.size() > 1 ? 0 : sender)
                     .text(subject).blob(body).text(row.service)
                     .text(QStringLiteral("E:owner@example.com")).text(rng.uuid())
                     .integer(date).integer(read ? date + rng.between(1, 3600) * nanos : 0).integer(fromMe ? date + nanos : 0)
                     .integer(1).integer(fromMe ? 1 : 0).integer(read ? 1 : 0).integer(fromMe ? 1 : 0)
                     .integer(attachments > 0 ? 1 : 0).integer(rng.chance(0.002) ? 4 : 0)
                     .text(fromMe ? QStringLiteral("E:owner@example.com") : QString()).insert()
                && Row(chatMessageInsert).integer(chat + 1).integer(m).integer(date).insert();
            for (int a = 0; a < attachments && ok; ++a)
                ok = writeAttachment(attachmentInsert, messageAttachmentInsert, ++attachmentRowid, m, date, fromMe, error);
        }
        result.attachments = attachmentRowid;
        if (!ok)
            return error->isEmpty() ? db.fail(error) : false;
        return db.commit(error);
    }

    bool writeAttachment(sqlite3_stmt* insert, sqlite3_stmt* join, qint64 rowid, qint64 message, qint64 date,
                         bool fromMe, QString* error)
    {
        const AttachmentKind& kind = rng.pick(attachmentKinds);
        const QString guid = rng.uuid();
        const QString number = QStringLiteral("%1").arg(rng.between(1, 9999), 4, 10, QLatin1Char('0'));
        const QString name = QString::fromLatin1(kind.name).replace(QStringLiteral("%1"), number);
        const QString relativeFolder = QStringLiteral("SMS/Attachments/%1/%2/%3")
                                           .arg(rng.below(256), 2, 16, QLatin1Char('0'))
                                           .arg(rng.below(16), 2, 10, QLatin1Char('0'))
                                           .arg(guid);
        // Newer devices name the home folder, older ones the mobile user's.
        const QString prefix = rng.chance(0.95) ? QStringLiteral("~/Library/") : QStringLiteral("/var/mobile/Library/");
        const qint64 size = rng.between(2000, 4000000);

        if (rng.chance(0.92)) {
            const QString absoluteFolder = folder + QLatin1Char('/') + relativeFolder;
            bool ok = QDir().mkpath(absoluteFolder) && writeFile(absoluteFolder + QLatin1Char('/') + name, QByteArray("attachment"));
            ++result.attachmentsOnDisk;
            if (ok && rng.chance(0.25)) {
                // Mostly the preview of the message's own side; sometimes one
                // of the other side, which the lookup must pass over.
                const bool right = rng.chance(0.85) ? fromMe : !fromMe;
                const int dot = name.lastIndexOf(QLatin1Char('.'));
                const QString preview = name.left(dot) + (right ? QStringLiteral("-preview-right.jpg") : QStringLiteral("-preview-left.jpg"));
                ok = writeFile(absoluteFolder + QLatin1Char('/') + preview, QByteArray("preview"));
                ++result.previews;
            }
            if (!ok) {
                *error = QStringLiteral("cannot write below %1").arg(absoluteFolder);
                return false;
            }
        }
        return Row(insert).integer(rowid).text(guid).integer(date / nanos).text(prefix + relativeFolder + QLatin1Char('/') + name)
                   .text(QString::fromLatin1(kind.uti)).text(kind.mimeType ? QString::fromLatin1(kind.mimeType) : QString())
                   .integer(fromMe ? 1 : 0).text(name).integer(size).text(guid).insert()
            && Row(join).integer(message).integer(rowid).insert();
    }

    bool writeAddressBook(QString* error)
    {
        Database db;
        if (!db.open(folder + QStringLiteral("/AddressBook/AddressBook.sqlitedb"),
                     QStringLiteral(MSGFIXTURE_SCHEMA_DIR "/addressbook.sql"), error))
            return false;
        sqlite3_stmt* personInsert = db.prepare(
            "insert into ABPerson (ROWID, First, Last, Middle, Prefix, Suffix, Organization, Kind, CreationDate, guid) "
            "values (?, ?, ?, ?, ?, ?, ?, 0, ?, ?)",
            error);
        sqlite3_stmt* valueInsert = db.prepare(
            "insert into ABMultiValue (record_id, property, identifier, label, value, guid) values (?, ?, ?, ?, ?, ?)", error);
        if (!personInsert || !valueInsert)
            return false;

        // Everyone met in the messages that is in the book, then as many
        // again whom the messages never mention.
        const int messaging = people.size();
        for (int i = 0; i < messaging / 2; ++i)
            people[newPerson()].inBook = true;
        bool ok = true;
        qint64 rowid = 0;
        for (int i = 0; i < people.size() && ok; ++i) {
            Person& person = people[i];
            if (!person.inBook)
                continue;
            ++rowid;
            const bool company = rng.chance(0.03);
            person.named = !company;
            const QString first = company ? QString() : QString::fromUtf8(rng.pick(firstNames));
            const QString last = company || rng.chance(0.05) ? QString() : QString::fromUtf8(rng.pick(lastNames));
            const QString middle = !company && rng.chance(0.1) ? QStringLiteral("J.") : QString();
            const QString prefix = !company && rng.chance(0.03) ? QStringLiteral("Dr.") : QString();
            const QString suffix = !company && rng.chance(0.02) ? QStringLiteral("Jr.") : QString();
            ok = Row(personInsert).integer(rowid).text(first).text(last).text(middle).text(prefix).text(suffix)
                     .text(company ? QStringLiteral("Acme %1").arg(i) : QString()).integer(600000000 + i).text(rng.uuid()).insert()
                && Row(valueInsert).integer(rowid).integer(person.email ? 4 : 3).integer(0).integer(1)
                       .text(person.bookValue).text(rng.uuid()).insert();
            // Properties other than phone and e-mail are not read.
            if (ok && rng.chance(0.3))
                ok = Row(valueInsert).integer(rowid).integer(22).integer(1).integer(2)
                         .text(QStringLiteral("https://example.com/%1").arg(i)).text(rng.uuid()).insert();
        }
        result.contacts = rowid;
        if (!ok)
            return db.fail(error);
        return db.commit(error);
    }

    void summarize()
    {
        result.messages = plan.messages;
        result.chatRows = chatRows.size();
        result.chatIdentifiers = identifiers.size();
        result.handles = handles.size();
        for (const Identifier& identifier : qAsConst(identifiers)) {
            if (identifier.chatRows.size() > 1)
                ++result.sharedIdentifiers;
            qint64 messages = 0;
            QSet<qint64> members;
            for (const int row : identifier.chatRows) {
                messages += chatRows.at(row).messages;
                for (const qint64 handle : chatRows.at(row).handles)
                    members.insert(handle);
            }
            if (messages == 0)
                continue;
            ++result.sessions;
            result.participants += members.size();
            for (const qint64 rowid : qAsConst(members)) {
                const Handle& handle = handles.at(static_cast<int>(rowid - 1));
                const Person& person = people.at(handle.person);
                const QString& key = handle.uncanonicalized.isEmpty() ? person.address : handle.uncanonicalized;
                if (person.inBook && person.named && key == person.bookKey)
                    ++result.namedParticipants;
            }
        }
    }

    QString folder;
    BackupPlan plan;
    Rng rng;
    QVector<Person> people;
    QVector<Handle> handles; // rowid = index + 1
    QHash<QString, qint64> handleIndex;
    QVector<Identifier> identifiers;
    QVector<ChatRow> chatRows; // rowid = index + 1
    QVector<double> cumulative;
    BackupManifest result;
};

// The manifest's fields by name, for saving and loading.
using Field = std::pair<const char*, qint64 BackupManifest::*>;
const Field manifestFields[] = {
    {"messages", &BackupManifest::messages},
    {"chatRows", &BackupManifest::chatRows},
    {"chatIdentifiers", &BackupManifest::chatIdentifiers},
    {"sharedIdentifiers", &BackupManifest::sharedIdentifiers},
    {"handles", &BackupManifest::handles},
    {"attachments", &BackupManifest::attachments},
    {"attachmentsOnDisk", &BackupManifest::attachmentsOnDisk},
    {"previews", &BackupManifest::previews},
    {"contacts", &BackupManifest::contacts},
    {"sessions", &BackupManifest::sessions},
    {"participants", &BackupManifest::participants},
    {"namedParticipants", &BackupManifest::namedParticipants},
};

const char* const profileNames[] = {"default", "short", "media"};

} // namespace

QString profileName(BackupProfile profile)
{
    return QString::fromLatin1(profileNames[static_cast<int>(profile)]);
}

bool parseProfile(const QString& name, BackupProfile* profile)
{
    for (int i = 0; i < static_cast<int>(std::size(profileNames)); ++i) {
        if (name == QLatin1String(profileNames[i])) {
            *profile = static_cast<BackupProfile>(i);
            return true;
        }
    }
    return false;
}

bool BackupManifest::save(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QTextStream out(&file);
    out << "generator=" << generatorVersion << '\n';
    for (const Field& field : manifestFields)
        out << field.first << '=' << this->*field.second << '\n';
    out.flush();
    return file.error() == QFile::NoError;
}

bool BackupManifest::load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QHash<QString, qint64> values;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const int equals = line.indexOf(QLatin1Char('='));
        bool ok = false;
        const qint64 value = line.mid(equals + 1).toLongLong(&ok);
        if (equals > 0 && ok)
            values.insert(line.left(equals), value);
    }
    if (values.value(QStringLiteral("generator"), -1) != generatorVersion)
        return false;
    BackupManifest loaded;
    for (const Field& field : manifestFields) {
        const auto it = values.constFind(QString::fromLatin1(field.first));
        if (it == values.cend())
            return false;
        loaded.*field.second = it.value();
    }
    *this = loaded;
    return true;
}

bool BackupManifest::operator==(const BackupManifest& other) const
{
    for (const Field& field : manifestFields) {
        if (this->*field.second != other.*field.second)
            return false;
    }
    return true;
}

bool generateBackup(const QString& folder, const BackupPlan& plan, BackupManifest* manifest, QString* error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    error->clear();
    if (plan.messages < 1) {
        *error = QStringLiteral("a backup needs at least one message");
        return false;
    }
    if (QFileInfo::exists(folder)) {
        *error = QStringLiteral("%1 exists already").arg(folder);
        return false;
    }
    BackupManifest made;
    const bool generated = plan.profile == BackupProfile::Default ? Generator(folder, plan).run(&made, error)
                                                              : ShapedBackup::generate(folder, plan, &made, error);
    if (!generated)
        return false;
    if (manifest)
        *manifest = made;
    return true;
}

QString ensureBackup(const QString& cacheDir, const BackupPlan& plan, BackupManifest* manifest, QString* error)
{
    // The default profile keeps the names of the backups cached before the others existed.
    const QString shape = plan.profile == BackupProfile::Default ? QString() : profileName(plan.profile) + QLatin1Char('-');
    const QString folder = QDir(cacheDir).absoluteFilePath(
        QStringLiteral("backup-%1%2-%3-v%4").arg(shape).arg(plan.messages).arg(plan.seed).arg(generatorVersion));
    const QString manifestPath = folder + QStringLiteral(".manifest");
    BackupManifest made;
    if (QFileInfo(folder).isDir() && made.load(manifestPath)) {
        if (manifest)
            *manifest = made;
        return folder;
    }

    // Built aside and renamed when complete, so an interrupted run leaves no
    // folder that looks finished.
    const QString partial = folder + QStringLiteral(".partial");
    QFile::remove(manifestPath);
    QDir(folder).removeRecursively();
    QDir(partial).removeRecursively();
    if (!QDir().mkpath(cacheDir) || !generateBackup(partial, plan, &made, error))
        return QString();
    if (!QDir().rename(partial, folder) || !made.save(manifestPath)) {
        if (error)
            *error = QStringLiteral("cannot store %1").arg(folder);
        return QString();
    }
    if (manifest)
        *manifest = made;
    return folder;
}
