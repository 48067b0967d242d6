#include "ViewCancel.h"

#include <atomic>

namespace {

// Lock-free, so that raising it is safe anywhere, a signal handler included.
std::atomic<bool> cancelled{false};
static_assert(std::atomic<bool>::is_always_lock_free, "a lock-free flag");

} // namespace

void ViewCancel::request()
{
    cancelled.store(true);
}

bool ViewCancel::requested()
{
    return cancelled.load(std::memory_order_relaxed);
}
