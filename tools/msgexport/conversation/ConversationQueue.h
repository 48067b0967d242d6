#pragma once

#include "ConversationView.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Makes an export's conversations on a thread of its own while the one
// before is written: building a conversation (names, dates, the state of
// every attachment file) costs about as much as writing it, and the second
// core is idle meanwhile. One is made ahead at most, and only when it holds
// at most aheadLimit messages, so a backup of a few huge conversations is
// made one at a time as without the thread.
class ConversationQueue
{
public:
    using Make = std::function<bool(int i, ConversationView* view, QString* error)>;

    // weight(i): the messages of conversation i, known before it is made.
    // Throws std::system_error when no thread can be started.
    ConversationQueue(const Make& make, const std::function<int(int i)>& weight, int count, int aheadLimit);
    ~ConversationQueue(); // stops making and waits for the thread

    ConversationQueue(const ConversationQueue&) = delete;
    ConversationQueue& operator=(const ConversationQueue&) = delete;

    // The next conversation, in order, in place of *view (the one written
    // before, which the making thread frees: what a thread allocates is
    // cheapest freed by that thread). False, with the reason in *error, when
    // making it failed or every conversation was taken.
    bool take(ConversationView* view, QString* error);

private:
    void run();
    // Waits until the next conversation may be made, freeing what the writer
    // hands back meanwhile; false when stopping.
    bool awaitTurn(bool small);

    const Make make;
    const std::function<int(int)> weight;
    const int count;
    const int aheadLimit;

    std::mutex mutex;
    std::condition_variable changed;
    int taken = 0;        // conversations handed to the writer
    bool waiting = false; // the writer waits for the next one
    bool stopping = false;
    bool ready = false;
    bool failed = false;
    ConversationView view; // the next one, when ready
    ConversationView spent; // the one written last, to be freed
    bool hasSpent = false;
    QString why;           // when failed
    std::thread maker;     // last: started once the members above exist
};
