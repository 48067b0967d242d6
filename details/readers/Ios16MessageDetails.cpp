#include "Ios16MessageDetails.h"

#include "AppPayload.h"
#include "ArchivedBody.h"
#include "LinkPayload.h"
#include "SummaryInfo.h"
#include "imports/Log.h"

#include <QStringList>

#include <sqlite3.h>

namespace {

// The statement's columns, in order; absent ones are selected as NULL.
const char* const detailColumns[] = {
    "guid", "associated_message_guid", "associated_message_type", "associated_message_emoji",
    "thread_originator_guid", "thread_originator_part", "date_edited", "date_retracted", "message_summary_info",
    "expressive_send_style_id", "balloon_bundle_id", "payload_data", "item_type", "group_action_type",
    "group_title", "other_handle", "handle_id", "is_from_me", "is_audio_message", "is_played", "is_delivered",
    "date_delivered", "was_downgraded", "attributedbody", "service", "is_spam", "schedule_type", "date", "is_sent"};
enum Column {
    Rowid, Guid, AssociatedGuid, AssociatedType, AssociatedEmoji, ThreadGuid, ThreadPart, DateEdited, DateRetracted,
    SummaryInfoBlob, EffectId, BalloonId, Payload, ItemType, GroupActionType, GroupTitle, OtherHandle, HandleId,
    IsFromMe, IsAudio, IsPlayed, IsDelivered, DateDelivered, WasDowngraded, Body, Service, IsSpam, ScheduleType, Date,
    IsSent
};


// The service, by its stored name, without making a string of it.
quint8 serviceFlags(sqlite3_stmt* stmt)
{
    const int length = sqlite3_column_bytes(stmt, Service);
    if (length != 3 && length != 12)
        return 0;
    const char* name = reinterpret_cast<const char*>(sqlite3_column_text(stmt, Service));
    if (!name)
        return 0;
    if (length == 3 && qstrnicmp(name, "RCS", 3) == 0)
        return Ios16MessageDetails::Rcs;
    return length == 12 && qstrncmp(name, "iMessageLite", 12) == 0 ? Ios16MessageDetails::Satellite : 0;
}

const char* const linkBalloon = "com.apple.messages.URLBalloonProvider";

// schedule_type of a Send Later message (iOS 18).
constexpr int sendLater = 2;

QString selectFor(const QStringList& columns)
{
    QStringList parts{QStringLiteral("rowid")};
    for (const char* column : detailColumns) {
        const QString name = QString::fromLatin1(column);
        if (!columns.contains(name))
            parts << QStringLiteral("null");
        else if (name == QLatin1String("date") || name == QLatin1String("is_sent"))
            // Wanted for Send Later messages only; without schedule_type, not at all.
            parts << (columns.contains(QStringLiteral("schedule_type"))
                          ? QStringLiteral("case when schedule_type = %1 then %2 end").arg(sendLater).arg(name)
                          : QStringLiteral("null"));
        else if (name == QLatin1String("payload_data") && columns.contains(QStringLiteral("balloon_bundle_id")))
            // Only balloons' payloads are read: other rows may carry large ones.
            parts << QStringLiteral("case when balloon_bundle_id is not null then payload_data end");
        else
            parts << name;
    }
    return QStringLiteral("select %1 from message order by rowid").arg(parts.join(QStringLiteral(", ")));
}

// Database dates above 10^9 are nanoseconds; both count from 2001.
qint64 secondsOf(qint64 value)
{
    return value > 1000000000 ? value / 1000000000 : value;
}

QByteArray blobOf(sqlite3_stmt* stmt, int column)
{
    if (sqlite3_column_type(stmt, column) != SQLITE_BLOB)
        return QByteArray();
    const void* bytes = sqlite3_column_blob(stmt, column);
    return QByteArray::fromRawData(static_cast<const char*>(bytes), sqlite3_column_bytes(stmt, column));
}

// "p:N/GUID" (part N), "bp:GUID" (a balloon, part 0) or a bare guid.
void readTarget(const QString& value, QString* guid, int* part)
{
    *part = 0;
    *guid = value;
    const int slash = value.indexOf(QLatin1Char('/'));
    if (value.startsWith(QLatin1String("p:")) && slash > 2) {
        bool ok = false;
        const int index = value.mid(2, slash - 2).toInt(&ok);
        *part = ok && index >= 0 ? index : 0;
        *guid = value.mid(slash + 1);
    } else if (value.startsWith(QLatin1String("bp:"))) {
        *guid = value.mid(3);
    }
}

MsgDetail::Reaction reactionOf(int type, bool* removed)
{
    *removed = type >= 3000 && type <= 3007;
    const int kind = *removed ? type - 3000 : type - 2000;
    if (type == 1000)
        return MsgDetail::Reaction::Sticker;
    if (kind < 0 || kind > 7)
        return MsgDetail::Reaction::None;
    return static_cast<MsgDetail::Reaction>(kind + 1);
}

MsgDetail::GroupEvent groupEventOf(int itemType, int action)
{
    using Event = MsgDetail::GroupEvent;
    if (itemType == 1)
        return action == 0 ? Event::Added : action == 1 ? Event::Removed : Event::None;
    if (itemType == 2)
        return Event::Renamed;
    if (itemType == 3)
        return action == 0 ? Event::Left : action == 1 ? Event::PhotoChanged : action == 2 ? Event::PhotoRemoved
                                                                                            : Event::None;
    return Event::None;
}

bool hasValue(sqlite3_stmt* stmt, int column)
{
    const int type = sqlite3_column_type(stmt, column);
    return type != SQLITE_NULL && (type != SQLITE_INTEGER || sqlite3_column_int64(stmt, column) != 0)
           && (type != SQLITE_TEXT || sqlite3_column_bytes(stmt, column) > 0);
}

const char hexDigits[] = "0123456789ABCDEF";

bool isDash(int i)
{
    return i == 8 || i == 13 || i == 18 || i == 23;
}

// The 16 bytes of a guid of the usual form; false for any other text, which
// could not be given back exactly.
bool packUuid(const char* text, int length, quint8* out)
{
    if (!text || length != 36)
        return false;
    int nibble = 0;
    for (int i = 0; i < 36; ++i) {
        const char c = text[i];
        if (isDash(i)) {
            if (c != '-')
                return false;
            continue;
        }
        const int value = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (value < 0)
            return false;
        if (nibble % 2 == 0)
            out[nibble / 2] = static_cast<quint8>(value << 4);
        else
            out[nibble / 2] = static_cast<quint8>(out[nibble / 2] | value);
        ++nibble;
    }
    return true;
}

} // namespace

const char* Ios16MessageDetails::guidOf(const Entry& e, const Table& table, char* buffer, int* length)
{
    if (!(e.flags & Uuid)) {
        *length = static_cast<int>(e.guid.text.length);
        return table.guids.constData() + e.guid.text.offset;
    }
    int nibble = 0;
    for (int i = 0; i < 36; ++i) {
        if (isDash(i)) {
            buffer[i] = '-';
            continue;
        }
        const quint8 byte = e.guid.uuid[nibble / 2];
        buffer[i] = hexDigits[nibble % 2 == 0 ? byte >> 4 : byte & 15];
        ++nibble;
    }
    *length = 36;
    return buffer;
}

Ios16MessageDetails::Ios16MessageDetails(const QStringList& columns, Table* table)
    : table(table)
{
    selectSqls.append(selectFor(columns));
    countSqls.append(QStringLiteral("select count(*) from message"));
}

QString Ios16MessageDetails::effectName(const QString& id)
{
    static const struct
    {
        const char* suffix;
        const char* name;
    } names[] = {
        {"expressivesend.impact", "Slam"}, {"expressivesend.loud", "Loud"},
        {"expressivesend.gentle", "Gentle"}, {"expressivesend.invisibleink", "Invisible Ink"},
        {"CKHappyBirthdayEffect", "Balloons"}, {"CKConfettiEffect", "Confetti"},
        {"CKLasersEffect", "Lasers"}, {"CKFireworksEffect", "Fireworks"},
        {"CKSparklesEffect", "Shooting Star"}, {"CKShootingStarEffect", "Shooting Star"},
        {"CKHeartEffect", "Love"}, {"CKEchoEffect", "Echo"}, {"CKSpotlightEffect", "Spotlight"},
    };
    const bool known = id.startsWith(QLatin1String("com.apple.MobileSMS.")) || id.startsWith(QLatin1String("com.apple.messages.effect."));
    for (const auto& entry : names) {
        if (known && id.endsWith(QLatin1Char('.') + QLatin1String(entry.suffix)))
            return QString::fromLatin1(entry.name);
    }
    return id;
}

void Ios16MessageDetails::rowsCounted(int count)
{
    // Sized once: growing by doubling would hold the table twice for a while,
    // which a host reading the details during a load would add to its peak.
    table->entries.reserve(static_cast<size_t>(count));
    expected = count;
}

bool Ios16MessageDetails::handleRow(sqlite3_stmt* stmt)
{
    Entry entry{};
    entry.rowid = sqlite3_column_int64(stmt, Rowid);
    entry.dateDelivered = secondsOf(sqlite3_column_int64(stmt, DateDelivered));
    entry.rich = -1;
    entry.flags = (sqlite3_column_int(stmt, IsDelivered) ? Delivered : 0) | (sqlite3_column_int(stmt, IsAudio) ? Audio : 0)
                  | (sqlite3_column_int(stmt, IsPlayed) ? Played : 0)
                  | (sqlite3_column_int(stmt, WasDowngraded) ? Downgraded : 0) | serviceFlags(stmt)
                  | (sqlite3_column_int(stmt, IsSpam) ? Junk : 0);
    const auto* guid = reinterpret_cast<const char*>(sqlite3_column_text(stmt, Guid));
    const int guidBytes = sqlite3_column_bytes(stmt, Guid);
    if (packUuid(guid, guidBytes, entry.guid.uuid)) {
        entry.flags |= Uuid;
    } else {
        if (table->guids.size() > 0x7FFFFFFF - guidBytes - 1)
            return false; // beyond what one buffer holds; keep what was read
        entry.guid.text.offset = static_cast<quint32>(table->guids.size());
        entry.guid.text.length = static_cast<quint32>(guidBytes);
        if (guid)
            table->guids.append(guid, guidBytes);
    }

    // Most messages are plain: checked without making a single string.
    bool rich = false;
    for (int column : {AssociatedGuid, AssociatedType, ThreadGuid, DateEdited, DateRetracted, SummaryInfoBlob, EffectId,
                       BalloonId, ItemType, GroupTitle})
        rich = rich || hasValue(stmt, column);
    // Bodies are decoded only when they may carry a style, a mention or a
    // link: most hold one plain run.
    const bool mayBeStyled = sqlite3_column_type(stmt, Body) == SQLITE_BLOB
                             && ArchivedBody::mayBeStyled(static_cast<const char*>(sqlite3_column_blob(stmt, Body)),
                                                          sqlite3_column_bytes(stmt, Body));
    ArchivedBody body;
    if (mayBeStyled && ArchivedBody::parse(blobOf(stmt, Body), &body)) {
        rich = rich || !body.transcription.isEmpty();
        for (const MsgTextRun& run : qAsConst(body.runs))
            rich = rich || run.isStyled();
    }
    const bool scheduled = sqlite3_column_int(stmt, ScheduleType) == sendLater;
    rich = rich || scheduled;
    if (!rich) {
        table->entries.push_back(entry);
        return true;
    }

    MsgDetail detail;
    detail.rowid = entry.rowid;
    detail.reaction = reactionOf(sqlite3_column_int(stmt, AssociatedType), &detail.reactionRemoved);
    readTarget(columnText(stmt, AssociatedGuid), &detail.reactionTargetGuid, &detail.reactionTargetPart);
    detail.reactionEmoji = columnText(stmt, AssociatedEmoji);
    detail.replyTargetGuid = columnText(stmt, ThreadGuid);
    if (!detail.replyTargetGuid.isEmpty()) {
        // "part:start:length"
        const QString range = columnText(stmt, ThreadPart);
        bool ok = false;
        const int part = range.left(range.indexOf(QLatin1Char(':'))).toInt(&ok);
        detail.replyTargetPart = ok && part >= 0 ? part : 0;
    }
    detail.dateEdited = secondsOf(sqlite3_column_int64(stmt, DateEdited));
    detail.dateRetracted = secondsOf(sqlite3_column_int64(stmt, DateRetracted));
    const QByteArray summary = blobOf(stmt, SummaryInfoBlob);
    if (!summary.isEmpty() && !SummaryInfo::parse(summary, &detail.editHistory, &detail.unsentParts))
        Log("MSGSER", 0, "Malformed message_summary_info of message %lld", static_cast<long long>(entry.rowid));
    detail.effectId = columnText(stmt, EffectId);
    if (!detail.effectId.isEmpty())
        detail.effectName = effectName(detail.effectId);
    detail.balloonBundleId = columnText(stmt, BalloonId);
    const QByteArray payload = blobOf(stmt, Payload);
    const bool isLink = detail.balloonBundleId == QLatin1String(linkBalloon);
    if (!payload.isEmpty() && isLink
        && !LinkPayload::parse(payload, &detail.linkTitle, &detail.linkSummary, &detail.linkUrl, &detail.linkKind))
        Log("MSGSER", 0, "Malformed payload_data of message %lld", static_cast<long long>(entry.rowid));
    AppPayload app;
    if (!payload.isEmpty() && !isLink) {
        if (AppPayload::parse(payload, &app)) {
            detail.appName = app.appName;
            detail.appSummary = app.summary;
            detail.appCaption = app.caption;
            detail.appSubcaption = app.subcaption;
            detail.appImageTitle = app.imageTitle;
            detail.appImageSubtitle = app.imageSubtitle;
            detail.appTrailingCaption = app.trailingCaption;
            detail.appTrailingSubcaption = app.trailingSubcaption;
        } else if (payload.startsWith("bplist")) {
            // Handwriting and Digital Touch keep no property list at all: they
            // are named by their kind alone, and only a broken list is told.
            Log("MSGSER", 0, "Malformed payload_data of message %lld", static_cast<long long>(entry.rowid));
        }
    }
    detail.groupEvent = groupEventOf(sqlite3_column_int(stmt, ItemType), sqlite3_column_int(stmt, GroupActionType));
    if (detail.groupEvent != MsgDetail::GroupEvent::None) {
        detail.actorHandle = sqlite3_column_int64(stmt, HandleId);
        detail.actorIsMe = sqlite3_column_int(stmt, IsFromMe) != 0;
        detail.targetHandle = sqlite3_column_int64(stmt, OtherHandle);
        detail.groupTitle = columnText(stmt, GroupTitle);
    }
    detail.audioTranscription = body.transcription;
    if (scheduled) {
        // The message's date is the time it was scheduled for.
        detail.dateScheduled = secondsOf(sqlite3_column_int64(stmt, Date));
        detail.scheduledSent = sqlite3_column_int(stmt, IsSent) != 0;
    }
    for (const MsgTextRun& run : qAsConst(body.runs)) {
        if (run.isStyled()) {
            detail.bodyText = body.text;
            detail.textRuns = body.runs;
            break;
        }
    }
    entry.rich = static_cast<qint32>(table->rich.size());
    table->rich.push_back(std::move(detail));
    table->entries.push_back(entry);
    return true;
}
