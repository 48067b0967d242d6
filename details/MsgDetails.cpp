#include "MsgDetails.h"

#include "MsgService.h"
#include "details/readers/Ios16MessageDetails.h"
#include "details/readers/FilteredChats.h"
#include "details/readers/RecoverableMessages.h"
#include "details/readers/TableColumns.h"

#include <QDir>

#include <algorithm>
#include <cstring>

namespace {

// A type of this file only keeps the vector's code out of the exported symbols.
struct Slot
{
    quint32 entry;
};

} // namespace

class MsgDetails::Impl
{
public:
    QString databasePath;
    Ios16MessageDetails::Table table;
    QList<MsgDeletedMessage> deleted;
    QList<MsgFilteredChat> filtered;
    // Entry indexes in guid order, made on the first rowidOf.
    mutable std::vector<Slot> byGuid;
    // The first entry of each run of 64 rowids from the first one, and one
    // past the last, when the rowids are dense enough for it: a lookup is then
    // a search among a few neighbours instead of a million entries, each step
    // of which would miss the cache.
    std::vector<quint32> buckets;
    qint64 firstRowid = 0;
    static constexpr int bucketBits = 6;

    void index()
    {
        buckets.clear();
        const auto& entries = table.entries;
        if (entries.empty())
            return;
        firstRowid = entries.front().rowid;
        const quint64 span = static_cast<quint64>(entries.back().rowid) - static_cast<quint64>(firstRowid);
        const quint64 count = (span >> bucketBits) + 1;
        if (count > 4 * entries.size() + 1024)
            return; // rowids far apart: the plain search
        buckets.resize(static_cast<size_t>(count) + 1);
        size_t e = 0;
        for (quint64 b = 0; b < count; ++b) {
            while (e < entries.size()
                   && static_cast<quint64>(entries[e].rowid) - static_cast<quint64>(firstRowid) < (b << bucketBits))
                ++e;
            buckets[static_cast<size_t>(b)] = static_cast<quint32>(e);
        }
        buckets[static_cast<size_t>(count)] = static_cast<quint32>(entries.size());
    }

    const Ios16MessageDetails::Entry* entry(qint64 rowid) const
    {
        auto from = table.entries.begin();
        auto to = table.entries.end();
        if (!buckets.empty()) {
            if (rowid < firstRowid)
                return nullptr;
            const quint64 b = (static_cast<quint64>(rowid) - static_cast<quint64>(firstRowid)) >> bucketBits;
            if (b + 1 >= buckets.size())
                return nullptr;
            to = from + buckets[static_cast<size_t>(b) + 1];
            from += buckets[static_cast<size_t>(b)];
        }
        const auto it = std::lower_bound(from, to, rowid,
                                         [](const Ios16MessageDetails::Entry& e, qint64 id) { return e.rowid < id; });
        return it != to && it->rowid == rowid ? &*it : nullptr;
    }

    // -1, 0 or 1 as e's guid sorts before, with or after key (bytes).
    int compare(const Ios16MessageDetails::Entry& e, const char* key, int keyLength) const
    {
        char buffer[36];
        int length = 0;
        const char* guid = Ios16MessageDetails::guidOf(e, table, buffer, &length);
        const int common = std::memcmp(guid, key, static_cast<size_t>(std::min(length, keyLength)));
        return common != 0 ? common : length < keyLength ? -1 : length > keyLength ? 1 : 0;
    }

    bool before(const Ios16MessageDetails::Entry& a, const Ios16MessageDetails::Entry& b) const
    {
        char buffer[36];
        int length = 0;
        const char* guid = Ios16MessageDetails::guidOf(b, table, buffer, &length);
        return compare(a, guid, length) < 0;
    }
};

MsgDetails::MsgDetails(const QString& folder)
    : d(new Impl)
{
    d->databasePath = QDir(folder).filePath(QStringLiteral("SMS/sms.db"));
}

MsgDetails::MsgDetails(MsgService& service)
    : d(new Impl)
{
    d->databasePath = QDir::fromNativeSeparators(service.getBDPath());
}

MsgDetails::~MsgDetails()
{
    delete d;
}

bool MsgDetails::load()
{
    try {
        d->table = Ios16MessageDetails::Table();
        d->deleted.clear();
        d->filtered.clear();
        d->byGuid.clear();
        d->buckets.clear();
        TableColumns recoverable("chat_recoverable_message_join");
        recoverable.exec({d->databasePath}, nullptr);
        if (recoverable.names.contains(QStringLiteral("delete_date"))) {
            RecoverableMessages deletedReader(&d->deleted);
            deletedReader.exec({d->databasePath}, nullptr);
        }
        TableColumns chatColumns("chat");
        chatColumns.exec({d->databasePath}, nullptr);
        if (chatColumns.names.contains(QStringLiteral("is_filtered"))) {
            FilteredChats filteredReader(&d->filtered);
            filteredReader.exec({d->databasePath}, nullptr);
        }
        TableColumns columns("message");
        columns.exec({d->databasePath}, nullptr);
        if (columns.names.isEmpty())
            return false;
        Ios16MessageDetails reader(columns.names, &d->table);
        reader.exec({d->databasePath}, nullptr);
        // Rows come in rowid order; a repeated rowid cannot occur in a rowid table.
        d->index();
        const size_t read = d->table.entries.size();
        if (reader.rowsExpected() > 0)
            return read == static_cast<size_t>(reader.rowsExpected());
        // The base reads nothing both for an empty table and for a count that
        // failed; only the former is a load.
        return read == 0
            && CISQLiteQuery::countRows(d->databasePath, {QStringLiteral("select count(*) from message")}) == 0;
    } catch (...) {
        d->table = Ios16MessageDetails::Table();
        d->deleted.clear();
        d->buckets.clear();
        return false;
    }
}

int MsgDetails::count() const
{
    return static_cast<int>(d->table.entries.size());
}

bool MsgDetails::find(qint64 rowid, MsgDetail* detail) const
{
    const Ios16MessageDetails::Entry* e = d->entry(rowid);
    if (!e || !detail)
        return e != nullptr;
    try {
        *detail = e->rich >= 0 ? d->table.rich[static_cast<size_t>(e->rich)] : MsgDetail();
        detail->rowid = rowid;
        char buffer[36];
        int length = 0;
        const char* guid = Ios16MessageDetails::guidOf(*e, d->table, buffer, &length);
        detail->guid = e->flags & Ios16MessageDetails::Uuid ? QString::fromLatin1(guid, length)
                                                             : QString::fromUtf8(guid, length);
        detail->isDelivered = e->flags & Ios16MessageDetails::Delivered;
        detail->isAudio = e->flags & Ios16MessageDetails::Audio;
        detail->isPlayed = e->flags & Ios16MessageDetails::Played;
        detail->wasDowngraded = e->flags & Ios16MessageDetails::Downgraded;
        detail->dateDelivered = e->dateDelivered;
        detail->service = e->flags & Ios16MessageDetails::Rcs         ? MsgDetail::Service::Rcs
                          : e->flags & Ios16MessageDetails::Satellite ? MsgDetail::Service::Satellite
                                                                      : MsgDetail::Service::Usual;
        detail->isJunk = e->flags & Ios16MessageDetails::Junk;
        return true;
    } catch (...) {
        return false;
    }
}

bool MsgDetails::isReaction(qint64 rowid) const
{
    const Ios16MessageDetails::Entry* e = d->entry(rowid);
    return e && e->rich >= 0 && d->table.rich[static_cast<size_t>(e->rich)].isReaction();
}

qint64 MsgDetails::rowidOf(const QString& guid) const
{
    try {
        const auto& entries = d->table.entries;
        if (d->byGuid.size() != entries.size()) {
            d->byGuid.resize(entries.size());
            for (quint32 i = 0; i < entries.size(); ++i)
                d->byGuid[i].entry = i;
            std::sort(d->byGuid.begin(), d->byGuid.end(), [this, &entries](Slot a, Slot b) {
                return d->before(entries[a.entry], entries[b.entry]);
            });
        }
        const QByteArray key = guid.toUtf8();
        const auto it = std::lower_bound(d->byGuid.begin(), d->byGuid.end(), key, [this, &entries](Slot s, const QByteArray& k) {
            return d->compare(entries[s.entry], k.constData(), k.size()) < 0;
        });
        if (key.isEmpty() || it == d->byGuid.end() || d->compare(entries[it->entry], key.constData(), key.size()) != 0)
            return 0;
        return entries[it->entry].rowid;
    } catch (...) {
        return 0;
    }
}

QList<MsgDeletedMessage> MsgDetails::deletedMessages() const
{
    return d->deleted;
}

QList<MsgFilteredChat> MsgDetails::filteredChats() const
{
    return d->filtered;
}
