#include "ConversationSelection.h"

#include "IosDate.h"

#include "MsgIdentifier.h"
#include "MsgSession.h"

namespace {

// The digits of a phone number, so that "+1 (415) 555-0132" finds +14155550132.
QString digitsOf(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit())
            digits += c;
        else if (!c.isSpace() && c != QLatin1Char('+') && c != QLatin1Char('-') && c != QLatin1Char('(')
                 && c != QLatin1Char(')') && c != QLatin1Char('.'))
            return QString(); // not a phone number
    }
    return digits;
}

QString quoted(const QString& text)
{
    return QStringLiteral("\u201C%1\u201D").arg(text);
}

} // namespace

ConversationSelection::ConversationSelection(const QStringList& conversations, const QDate& since, const QDate& until,
                                             const QTimeZone& zone)
    : selectors(conversations), since(since), until(until), zone(zone)
{
    // Midnight at the start of since, and the last second before the day
    // after until, in the zone: days of a daylight-saving change included.
    if (since.isValid())
        first = QDateTime(since, QTime(0, 0), zone).toSecsSinceEpoch() - IosDate::epochOffset;
    if (until.isValid())
        last = QDateTime(until.addDays(1), QTime(0, 0), zone).toSecsSinceEpoch() - IosDate::epochOffset - 1;
}

bool ConversationSelection::matchesText(const QString& selector, const QString& text) const
{
    if (text.isEmpty())
        return false;
    if (selector.compare(text, Qt::CaseInsensitive) == 0)
        return true;
    const QString digits = digitsOf(selector);
    return digits.size() >= 7 && digitsOf(text) == digits;
}

bool ConversationSelection::matches(const MsgSession& session, int index)
{
    if (selectors.isEmpty())
        return true;
    bool found = false;
    for (int i = 0; i < selectors.size(); ++i) {
        const QString& selector = selectors[i];
        bool isNumber = false;
        const int number = selector.toInt(&isNumber);
        bool hit = (isNumber && number == index) || matchesText(selector, session.name);
        QStringList names;
        for (const MsgIdentifier* identifier : session.participants) {
            if (!identifier)
                continue;
            const QString name = identifier->contactName.isEmpty() ? identifier->address : identifier->contactName;
            if (!names.contains(name))
                names.append(name);
            hit = hit || matchesText(selector, identifier->address) || matchesText(selector, identifier->contactName)
                || matchesText(selector, identifier->uncanonicalizedId);
        }
        // The title a group without a name is shown under.
        hit = hit || (session.name.isEmpty() && matchesText(selector, names.join(QStringLiteral(", "))));
        if (hit) {
            used.insert(i);
            found = true;
        }
    }
    return found;
}

QStringList ConversationSelection::unmatched() const
{
    QStringList missing;
    for (int i = 0; i < selectors.size(); ++i) {
        if (!used.contains(i))
            missing << selectors[i];
    }
    return missing;
}

QString ConversationSelection::describe() const
{
    QStringList parts;
    if (!selectors.isEmpty()) {
        QStringList shown;
        for (const QString& selector : selectors)
            shown << quoted(selector);
        parts << QStringLiteral("conversations matching %1").arg(shown.join(QStringLiteral(", ")));
    } else {
        parts << QStringLiteral("all conversations");
    }
    const QString zoneName = QString::fromUtf8(zone.id());
    if (since.isValid() && until.isValid())
        parts << QStringLiteral("messages from %1 to %2 (%3)")
                     .arg(since.toString(Qt::ISODate), until.toString(Qt::ISODate), zoneName);
    else if (since.isValid())
        parts << QStringLiteral("messages from %1 on (%2)").arg(since.toString(Qt::ISODate), zoneName);
    else if (until.isValid())
        parts << QStringLiteral("messages up to %1 (%2)").arg(until.toString(Qt::ISODate), zoneName);
    else
        parts << QStringLiteral("all dates");
    return parts.join(QStringLiteral("; "));
}
