#include "ConversationQueue.h"

#include <utility>

ConversationQueue::ConversationQueue(const Make& make, const std::function<int(int)>& weight, int count,
                                     int aheadLimit)
    : make(make), weight(weight), count(count), aheadLimit(aheadLimit), maker([this] { run(); })
{
}

ConversationQueue::~ConversationQueue()
{
    {
        const std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    changed.notify_all();
    maker.join();
}

void ConversationQueue::run()
{
    for (int i = 0; i < count; ++i) {
        if (!awaitTurn(weight(i) <= aheadLimit))
            return;
        ConversationView made;
        QString error;
        bool ok = false;
        try {
            ok = make(i, &made, &error);
        } catch (...) {
            error = QStringLiteral("out of memory while making conversation %1").arg(i + 1);
        }
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (ok) {
                view = std::move(made);
                ready = true;
            } else {
                failed = true;
                why = error;
            }
        }
        changed.notify_all();
        if (!ok)
            return;
    }
}

bool ConversationQueue::awaitTurn(bool small)
{
    for (;;) {
        ConversationView written; // freed after the lock is let go
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return stopping || hasSpent || (!ready && (small || waiting)); });
        if (stopping)
            return false;
        if (!hasSpent)
            return true;
        std::swap(written, spent);
        hasSpent = false;
    }
}

bool ConversationQueue::take(ConversationView* next, QString* error)
{
    std::unique_lock<std::mutex> lock(mutex);
    if (taken >= count)
        return false;
    waiting = true;
    changed.notify_all();
    changed.wait(lock, [this] { return ready || failed; });
    waiting = false;
    if (!ready) {
        if (error)
            *error = why;
        return false;
    }
    std::swap(spent, *next);
    hasSpent = true;
    *next = std::move(view);
    ready = false;
    ++taken;
    lock.unlock();
    changed.notify_all();
    return true;
}
