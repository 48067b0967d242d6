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
    for (int i = 0; i < madeConversations; ++i) {
        ConversationView view;
        const bool made = queue ? queue->take(&view, error) : make(i, &view, error);
        if (!made || !visit(view))
            return false;
    }
    return true;
}
