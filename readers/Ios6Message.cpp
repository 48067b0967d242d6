#include "Ios6Message.h"

#include "AttributedBody.h"
#include "MsgContent.h"

#include <QDateTime>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

// Richest schema first. The first two need item_type, share_status,
// share_direction and other_handle, which iOS 6 lacks; the first also needs
// attributedBody. The third reads only what every schema with chats has.
const char* const selectWithBody =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle, "
    "m.attributedBody from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const selectWithoutBody =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error, m.item_type, m.share_status, m.share_direction, m.other_handle,0 "
    "from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const selectOldest =
    "select chat.rowid, m.rowid, m.subject, m.text, m.handle_id, m.date, m.service, m.is_from_me, m.is_read, "
    "m.is_sent, m.date_read, m.error from message as m inner join chat_message_join as cmj on m.rowid = "
    "cmj.message_id inner join chat on chat.rowid = cmj.chat_id order by m.date desc";
const char* const countMessages =
    "select count(*) from message as m inner join chat_message_join as cmj on m.rowid = cmj.message_id "
    "inner join chat on chat.rowid = cmj.chat_id";

// A date conversion through QDateTime::fromTime_t costs a tzset() and two
// mktime() calls, and each of them stats /etc/localtime when TZ is unset:
// about 10 us, twice per row. Qt 5 keeps such a local date inline as
// (local milliseconds << 8 | status), and the status only varies with
// daylight saving time, so the same bits are built here from localtime_r's
// fields. The first date of a run, the first of each daylight-saving state
// and one in checkInterval go through Qt and must agree bit for bit;
// otherwise every later date of the run does.
class LocalDates
{
public:
    void restart() { *this = LocalDates(); }

    QDateTime convert(qint64 value)
    {
        const qint64 seconds = secondsOf(value);
        quintptr bits = 0;
        int daylight = 0;
        if (!localBits(seconds, &bits, &daylight)) {
            // Out of the plain range (0 for an unread message): repeated
            // values are taken from Qt once.
            if (!haveOther || otherSeconds != seconds) {
                other = Ios6Message::toDateTime(value);
                otherSeconds = seconds;
                haveOther = true;
            }
            return other;
        }
        if (trusted && known[daylight] && ++sinceCheck < checkInterval)
            return fromBits(bits | status[daylight]);

        sinceCheck = 0;
        const QDateTime date = Ios6Message::toDateTime(value);
        const quintptr made = bitsOf(date);
        if (!known[daylight]) {
            status[daylight] = made & 0xFF;
            known[daylight] = true;
        }
        if ((made & ~quintptr(0xFF)) != bits || (made & 0xFF) != status[daylight] || !(made & 1))
            trusted = false;
        return date;
    }

private:
    static_assert(sizeof(QDateTime) == sizeof(quintptr), "QDateTime is one pointer wide");
    static constexpr int checkInterval = 4096;
    static constexpr qint64 secondsPerDay = 86400;
    static constexpr qint64 lastPlainSecond = 2145916799 - 2 * secondsPerDay; // Qt's time_t limit, 2037

    // The same arithmetic as Ios6Message::toDateTime.
    static qint64 secondsOf(qint64 value)
    {
        if (value > 1000000000)
            value /= 1000000000;
        return static_cast<qint64>(static_cast<quint64>(value) & 0xFFFFFFFFu);
    }

    // Days from 1970-01-01 to a proleptic Gregorian date.
    static qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
    {
        year -= month <= 2;
        const qint64 era = (year >= 0 ? year : year - 399) / 400;
        const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
        const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
        const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
        return era * 146097 + static_cast<qint64>(dayOfEra) - 719468;
    }

    // Local milliseconds in Qt's place in the bits; false where Qt takes a
    // special path (near 1970 and 2038) or localtime_r has no plain answer.
    static bool localBits(qint64 seconds, quintptr* bits, int* daylight)
    {
        if (seconds < 2 * secondsPerDay || seconds > lastPlainSecond)
            return false;
        const time_t time = static_cast<time_t>(seconds);
        tm fields;
#if defined(_WIN32)
        const bool converted = localtime_s(&fields, &time) == 0;
#else
        const bool converted = localtime_r(&time, &fields) != nullptr;
#endif
        if (!converted || fields.tm_sec > 59 || fields.tm_isdst < 0)
            return false;
        const qint64 days = daysFromCivil(fields.tm_year + 1900LL, static_cast<unsigned>(fields.tm_mon + 1),
                                          static_cast<unsigned>(fields.tm_mday));
        const qint64 msecs = (days * secondsPerDay + fields.tm_hour * 3600 + fields.tm_min * 60 + fields.tm_sec) * 1000;
        *bits = static_cast<quintptr>(msecs) << 8;
        *daylight = fields.tm_isdst > 0 ? 1 : 0;
        return true;
    }

    static quintptr bitsOf(const QDateTime& date)
    {
        quintptr bits;
        std::memcpy(&bits, static_cast<const void*>(&date), sizeof(bits));
        return bits;
    }

    // A default QDateTime is inline too, so overwriting it drops nothing.
    static QDateTime fromBits(quintptr bits)
    {
        QDateTime date;
        std::memcpy(static_cast<void*>(&date), &bits, sizeof(bits));
        return date;
    }

    quintptr status[2] = {0, 0};
    bool known[2] = {false, false};
    bool trusted = true;
    int sinceCheck = 0;
    QDateTime other;
    qint64 otherSeconds = 0;
    bool haveOther = false;
};

LocalDates& localDates()
{
    static thread_local LocalDates dates;
    return dates;
}

// A text column as CISQLiteQuery::columnText reads it. iOS keeps the plain
// text beside its archive, so it mostly equals the decoded body: then the
// body's buffer serves both and a whole load's worth of texts is neither
// decoded nor held twice. Empty texts are left alone (null and empty differ).
QString plainText(sqlite3_stmt* stmt, int column, const QString& body)
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
    const int size = sqlite3_column_bytes(stmt, column);
    if (bytes && size > 0 && size == body.size()) {
        const ushort* units = body.utf16();
        int i = 0;
        while (i < size && static_cast<uchar>(bytes[i]) < 0x80 && units[i] == static_cast<uchar>(bytes[i]))
            ++i;
        if (i == size)
            return body;
    }
    const QString text = CISQLiteQuery::columnText(stmt, column);
    return !text.isEmpty() && text == body ? body : text;
}

} // namespace

Ios6Message::Ios6Message(QMap<qint64, QList<MsgContent*>>* messageTable)
    : messageTable(messageTable)
{
    selectSqls.append(QString::fromLatin1(selectWithBody));
    selectSqls.append(QString::fromLatin1(selectWithoutBody));
    selectSqls.append(QString::fromLatin1(selectOldest));
    countSqls.append(QString::fromLatin1(countMessages));
}

Ios6Message::~Ios6Message() = default;

QDateTime Ios6Message::toDateTime(qint64 value)
{
    // Nanoseconds (iOS 11 and later) are brought to seconds; 10^9 itself is
    // taken as seconds. The value stays counted from the database's epoch.
    if (value > 1000000000)
        value /= 1000000000;
    return QDateTime::fromTime_t(static_cast<uint>(static_cast<quint64>(value) & 0xFFFFFFFFu));
}

bool Ios6Message::handleRow(sqlite3_stmt* stmt)
{
    const qint64 chatRowid = sqlite3_column_int64(stmt, 0);
    const qint64 messageRowid = sqlite3_column_int64(stmt, 1);
    // Compared as bytes: "SMS" is ASCII, and no other text equals it.
    const unsigned char* service = sqlite3_column_text(stmt, 6);
    const bool isSms = service && sqlite3_column_bytes(stmt, 6) == 3 && std::memcmp(service, "SMS", 3) == 0;

    auto message = std::make_unique<MsgContent>();
    message->id = messageRowid;
    message->handleId = sqlite3_column_int64(stmt, 4);
    // The text index is empty before the first row of this reader's run.
    LocalDates& dates = localDates();
    if (messageTexts.empty())
        dates.restart();
    message->date = dates.convert(sqlite3_column_int64(stmt, 5));
    message->dateRead = dates.convert(sqlite3_column_int64(stmt, 10));
    message->subject = columnText(stmt, 2);
    message->isNonSms = isSms ? 0 : 1;
    message->isFromMe = sqlite3_column_int(stmt, 7);
    message->isRead = sqlite3_column_int(stmt, 8);
    message->isSent = sqlite3_column_int(stmt, 9);
    message->error = sqlite3_column_int(stmt, 11);

    if (sqlite3_data_count(stmt) > 12) {
        message->itemType = sqlite3_column_int(stmt, 12);
        message->shareStatus = sqlite3_column_int(stmt, 13);
        message->shareDirection = sqlite3_column_int(stmt, 14);
        message->otherHandle = sqlite3_column_int(stmt, 15);
        // The second statement delivers the literal 0 here, which reads as the
        // one-byte text "0" and decodes to nothing.
        const void* body = sqlite3_column_blob(stmt, 16);
        const int bodyBytes = sqlite3_column_bytes(stmt, 16);
        // The decoder copies out what it keeps, so SQLite's buffer is lent, not copied.
        if (body && bodyBytes >= 1)
            message->attributedText =
                textFromAttributedBody(QByteArray::fromRawData(static_cast<const char*>(body), bodyBytes));
    } else {
        message->itemType = 0;
        message->shareStatus = 0;
        message->shareDirection = 0;
        message->otherHandle = 0;
    }

    messageTexts.push_back(TextEntry{messageRowid, plainText(stmt, 3, message->attributedText)});
    textsSorted = false;
    (*messageTable)[chatRowid].append(message.get());
    message.release();
    return true;
}

void Ios6Message::rowsCounted(int count)
{
    // The count is that of the row statement's join: at a million rows the
    // index then takes 16 MB once, not a growth of copies up to 32 MB and a
    // shrink to fit after the sort. Capped, as a damaged file may count wrong.
    messageTexts.reserve(static_cast<size_t>(std::min(count, 1 << 24)));
}

void Ios6Message::sortTexts()
{
    // Stable, so that of several rows of one message (one per chat) the one
    // read last stays last and is the one kept.
    std::stable_sort(messageTexts.begin(), messageTexts.end(),
                     [](const TextEntry& a, const TextEntry& b) { return a.rowid < b.rowid; });
    auto kept = messageTexts.begin();
    for (auto it = messageTexts.begin(); it != messageTexts.end(); ++it) {
        const auto next = it + 1;
        if (next != messageTexts.end() && next->rowid == it->rowid)
            continue;
        if (kept != it)
            *kept = std::move(*it);
        ++kept;
    }
    messageTexts.erase(kept, messageTexts.end());
    messageTexts.shrink_to_fit();
    textsSorted = true;
}

void Ios6Message::releaseTexts()
{
    messageTexts = std::vector<TextEntry>();
    textsSorted = true;
}

QString& Ios6Message::getText(qint64 messageRowid)
{
    if (!textsSorted)
        sortTexts();
    const auto it = std::lower_bound(messageTexts.begin(), messageTexts.end(), messageRowid,
                                     [](const TextEntry& entry, qint64 rowid) { return entry.rowid < rowid; });
    return it != messageTexts.end() && it->rowid == messageRowid ? it->text : emptyText;
}
