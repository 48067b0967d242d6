#include "MsgDetails.h"

#include "MsgService.h"
#include "readers/Ios16MessageDetails.h"
#include "readers/TableColumns.h"

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
    // Entry indexes in guid order, made on the first rowidOf.
    mutable std::vector<Slot> byGuid;

    const Ios16MessageDetails::Entry* entry(qint64 rowid) const
    {
        const auto it = std::lower_bound(table.entries.begin(), table.entries.end(), rowid,
                                         [](const Ios16MessageDetails::Entry& e, qint64 id) { return e.rowid < id; });
        return it != table.entries.end() && it->rowid == rowid ? &*it : nullptr;
    }

    QByteArray guidOf(const Ios16MessageDetails::Entry& e) const
    {
        return QByteArray::fromRawData(table.guids.constData() + e.guidOffset, static_cast<int>(e.guidLength));
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
        d->byGuid.clear();
        TableColumns columns("message");
        columns.exec({d->databasePath}, nullptr);
        if (columns.names.isEmpty())
            return false;
        Ios16MessageDetails reader(columns.names, &d->table);
        reader.exec({d->databasePath}, nullptr);
        // Rows come in rowid order; a repeated rowid cannot occur in a rowid table.
        return !d->table.entries.empty();
    } catch (...) {
        d->table = Ios16MessageDetails::Table();
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
        detail->guid = QString::fromUtf8(d->guidOf(*e));
        detail->isDelivered = e->flags & Ios16MessageDetails::Delivered;
        detail->isAudio = e->flags & Ios16MessageDetails::Audio;
        detail->isPlayed = e->flags & Ios16MessageDetails::Played;
        detail->wasDowngraded = e->flags & Ios16MessageDetails::Downgraded;
        detail->dateDelivered = e->dateDelivered;
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
            std::sort(d->byGuid.begin(), d->byGuid.end(), [this](Slot a, Slot b) {
                return d->guidOf(d->table.entries[a.entry]) < d->guidOf(d->table.entries[b.entry]);
            });
        }
        const QByteArray key = guid.toUtf8();
        const auto it = std::lower_bound(d->byGuid.begin(), d->byGuid.end(), key, [this](Slot s, const QByteArray& k) {
            return d->guidOf(d->table.entries[s.entry]) < k;
        });
        if (key.isEmpty() || it == d->byGuid.end() || d->guidOf(entries[it->entry]) != key)
            return 0;
        return entries[it->entry].rowid;
    } catch (...) {
        return 0;
    }
}
