#include "ExportDocument.h"

#include <QMap>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

namespace {

// An export of `count` conversations made on the queue's thread. Records,
// for each conversation made, how many had been visited when making began.
struct QueuedExport
{
    explicit QueuedExport(int count, int failAt = -1)
    {
        document.madeConversations = count;
        document.aheadMessages = 10;
        document.messagesOf = [this](int i) { return weights.value(i, 1); };
        document.make = [this, failAt](int i, ConversationView* view, QString* error) {
            const std::lock_guard<std::mutex> lock(mutex);
            visitedWhenMade.push_back({i, visited});
            if (i == failAt) {
                *error = QStringLiteral("disk full");
                return false;
            }
            view->index = i;
            view->title = QStringLiteral("conversation %1").arg(i);
            return true;
        };
    }

    // Visits until stopAt; the titles seen, in order.
    bool run(QStringList* titles, QString* error, int stopAt = -1)
    {
        return document.forEach(
            [&](const ConversationView& view) {
                titles->append(view.title);
                const std::lock_guard<std::mutex> lock(mutex);
                ++visited;
                return view.index != stopAt;
            },
            error);
    }

    ExportDocument document;
    QMap<int, int> weights;
    std::mutex mutex;
    int visited = 0;
    std::vector<std::pair<int, int>> visitedWhenMade;
};

} // namespace

TEST(ConversationQueue, ConversationsComeInOrderAndOnlyOneSmallOneIsMadeAhead)
{
    QueuedExport queued(6);
    queued.weights[3] = 11; // over the limit: made only once the writer asks for it
    QStringList titles;
    QString error;
    ASSERT_TRUE(queued.run(&titles, &error));
    EXPECT_EQ(titles.size(), 6);
    for (int i = 0; i < titles.size(); ++i)
        EXPECT_EQ(titles[i], QStringLiteral("conversation %1").arg(i));
    ASSERT_EQ(queued.visitedWhenMade.size(), 6u);
    for (const auto& made : queued.visitedWhenMade) {
        EXPECT_GE(made.second, made.first - 1) << "conversation " << made.first << " made too far ahead";
        if (made.first == 3) {
            EXPECT_EQ(made.second, 3) << "a big conversation made while another was written";
        }
    }
}

TEST(ConversationQueue, AFailureStopsTheExportWhereItHappensAndAStopEndsTheMaking)
{
    QueuedExport failing(5, 2);
    QStringList titles;
    QString error;
    EXPECT_FALSE(failing.run(&titles, &error));
    EXPECT_EQ(titles, QStringList({QStringLiteral("conversation 0"), QStringLiteral("conversation 1")}));
    EXPECT_EQ(error, QStringLiteral("disk full"));
    EXPECT_EQ(failing.visitedWhenMade.back().first, 2) << "nothing is made after a failure";

    // A writer that gives up: the thread stops instead of making the rest.
    QueuedExport stopped(50);
    titles.clear();
    EXPECT_FALSE(stopped.run(&titles, &error, 1));
    EXPECT_EQ(titles.size(), 2);
    EXPECT_LE(stopped.visitedWhenMade.size(), 3u);
}
