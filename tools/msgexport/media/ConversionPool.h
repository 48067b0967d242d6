#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// Worker threads for conversions, started once for the export. run() hands
// them a batch of jobs and returns when every job has returned; a job that
// should stop early (an interruption) checks for it itself.
class ConversionPool
{
public:
    // threads 0: one for each core.
    explicit ConversionPool(int threads = 0);
    ~ConversionPool();

    ConversionPool(const ConversionPool&) = delete;
    ConversionPool& operator=(const ConversionPool&) = delete;

    int threadCount() const { return static_cast<int>(workers.size()); }

    // Calls job(0) ... job(count - 1), in parallel; on this thread when no
    // worker could be started.
    void run(int count, const std::function<void(int)>& job);

private:
    void work();

    std::vector<std::thread> workers;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable finished;
    const std::function<void(int)>* current = nullptr;
    int total = 0;
    int next = 0;
    int done = 0;
    bool stopping = false;
};
