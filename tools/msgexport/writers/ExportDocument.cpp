#include "ExportDocument.h"

#include "ConversationQueue.h"

#include <memory>
#include <system_error>

int ExportDocument::messageCount() const
{
    if (make)
        return madeMessages;
    int count = 0;
    for (const ConversationView& conversation : conversations)
        count += conversation.messages.size();
    return count;
}

bool ExportDocument::forEach(const std::function<bool(const ConversationView&)>& visit, QString* error) const
{
    if (!make) {
        for (const ConversationView& conversation : conversations) {
            if (!visit(conversation))
                return false;
        }
        return true;
    }
    std::unique_ptr<ConversationQueue> queue;
    if (messagesOf && madeConversations > 1) {
        try {
            queue = std::make_unique<ConversationQueue>(make, messagesOf, madeConversations, aheadMessages);
        } catch (const std::system_error&) {
            // No thread to be had: one conversation at a time.
        }
    }
    // With the queue one view is passed back and forth, so that the written
    // conversation returns to the thread that made it; without it each is
    // freed before the next is made, so that two are never held at once.
    if (queue) {
        ConversationView view;
        for (int i = 0; i < madeConversations; ++i) {
            if (!queue->take(&view, error) || !visit(view))
                return false;
        }
        return true;
    }
    for (int i = 0; i < madeConversations; ++i) {
        ConversationView view;
        if (!make(i, &view, error) || !visit(view))
            return false;
    }
    return true;
}
