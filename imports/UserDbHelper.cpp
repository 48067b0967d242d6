#include "UserDbHelper.h"

#include <mutex>

namespace {
std::mutex helperMutex;
UserDbHelper* helper = nullptr;
}

UserDbHelper* UserDbHelper::instance()
{
    std::lock_guard<std::mutex> lock(helperMutex);
    if (!helper)
        helper = new UserDbHelper;
    return helper;
}

void UserDbHelper::release()
{
    std::lock_guard<std::mutex> lock(helperMutex);
    delete helper;
    helper = nullptr;
}
