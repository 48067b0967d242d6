#include "ConversionPool.h"

#include <algorithm>
#include <system_error>

ConversionPool::ConversionPool(int threads)
{
    if (threads <= 0)
        threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    for (int i = 0; i < threads; ++i) {
        try {
            workers.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            break; // fewer workers, or none: run() works on its caller's thread then
        }
    }
}

ConversionPool::~ConversionPool()
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        stopping = true;
    }
    wake.notify_all();
    for (std::thread& worker : workers)
        worker.join();
}

void ConversionPool::run(int count, const std::function<void(int)>& job)
{
    if (count <= 0)
        return;
    if (workers.empty()) {
        for (int i = 0; i < count; ++i)
            job(i);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex);
    current = &job;
    total = count;
    next = 0;
    done = 0;
    wake.notify_all();
    finished.wait(lock, [this] { return done == total; });
    current = nullptr;
    total = 0;
}

void ConversionPool::work()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || (current && next < total); });
        if (stopping)
            return;
        const int index = next++;
        const std::function<void(int)>* job = current;
        lock.unlock();
        (*job)(index);
        lock.lock();
        if (++done == total)
            finished.notify_one();
    }
}
