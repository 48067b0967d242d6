#pragma once

#include <QDate>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <limits>

class MsgSession;

// Which conversations and which days an export holds. A conversation is
// chosen by its name, a participant's name or address, or its number (its
// index in an export of everything); days are whole days in the export's
// time zone, both ends included.
class ConversationSelection
{
public:
    ConversationSelection() = default;
    ConversationSelection(const QStringList& conversations, const QDate& since, const QDate& until,
                          const QTimeZone& zone);

    bool choosesConversations() const { return !selectors.isEmpty(); }
    bool limitsDates() const { return since.isValid() || until.isValid(); }

    // Whether the conversation at index is chosen; notes which selectors
    // found one.
    bool matches(const MsgSession& session, int index);
    // Whether a message of this date (seconds since 2001, as stored) is in
    // the chosen days.
    bool contains(qint64 storedSeconds) const { return storedSeconds >= first && storedSeconds <= last; }
    // The selectors that matched no conversation.
    QStringList unmatched() const;

    // What was chosen, as a line for an index or cover page.
    QString describe() const;

private:
    bool matchesText(const QString& selector, const QString& text) const;

    QStringList selectors;
    QSet<int> used;
    QDate since;
    QDate until;
    QTimeZone zone;
    qint64 first = std::numeric_limits<qint64>::min();
    qint64 last = std::numeric_limits<qint64>::max();
};
