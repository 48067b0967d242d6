#include "BenchTestSupport.h"
#include "Measure.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

constexpr qint64 mebibyte = 1024 * 1024;

// Keeps the compiler from dropping writes to memory that is freed unread.
void touch(char* memory, size_t size)
{
    std::memset(memory, 1, size);
    asm volatile("" : : "r"(memory) : "memory");
}

} // namespace

TEST(Median, OfOddAndEvenCountsAndOfNothing)
{
    EXPECT_DOUBLE_EQ(median(QVector<double>{3.0, 1.0, 2.0}), 2.0);
    EXPECT_DOUBLE_EQ(median(QVector<double>{4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_DOUBLE_EQ(median(QVector<double>{}), 0.0);
    EXPECT_EQ(median(QVector<qint64>{7, 100, 1, 9, 8}), 8);
    EXPECT_EQ(median(QVector<qint64>{10, 20}), 15);
}

TEST(MemoryProbes, HeapInUseFollowsAllocations)
{
    if (allocatorReplaced())
        GTEST_SKIP() << "the allocator is a sanitizer's";
    const qint64 before = heapInUse();
    char* block = static_cast<char*>(std::malloc(8 * mebibyte));
    ASSERT_NE(block, nullptr);
    touch(block, 8 * mebibyte);
    EXPECT_GE(heapInUse() - before, 8 * mebibyte);
    std::free(block);
    EXPECT_LT(heapInUse() - before, mebibyte);
}

TEST(MemoryProbes, PeakRssRisesWithUseAndStartsAgainAfterAReset)
{
    if (allocatorReplaced())
        GTEST_SKIP() << "the allocator is a sanitizer's";
    if (!resetPeakMemory())
        GTEST_SKIP() << "this kernel does not reset the peak RSS";
    const ProcessMemory start = processMemory();
    EXPECT_GT(start.rssBytes, 0);
    EXPECT_GE(start.peakBytes, start.rssBytes - mebibyte);

    char* block = static_cast<char*>(std::malloc(64 * mebibyte));
    ASSERT_NE(block, nullptr);
    touch(block, 64 * mebibyte);
    const ProcessMemory used = processMemory();
    std::free(block);
    releaseFreeHeap();
    const ProcessMemory after = processMemory();
    // The kernel updates RSS counters in batches: a little slack.
    EXPECT_GE(used.rssBytes - start.rssBytes, 60 * mebibyte);
    EXPECT_GE(after.peakBytes, used.rssBytes - mebibyte);
    EXPECT_LT(after.rssBytes, used.rssBytes - 60 * mebibyte);

    ASSERT_TRUE(resetPeakMemory());
    EXPECT_LT(processMemory().peakBytes, used.rssBytes - 60 * mebibyte);
}

TEST(QuietStderr, SilencesOnlyWhileItLivesAndOnlyWhenAsked)
{
    const QByteArray written = stderrOf([] {
        {
            const QuietStderr quiet;
            std::fputs("hidden\n", stderr);
        }
        std::fputs("shown\n", stderr);
        {
            const QuietStderr loud(false);
            std::fputs("kept\n", stderr);
        }
    });
    EXPECT_EQ(written, QByteArray("shown\nkept\n"));
}

TEST(Clock, MeasuresElapsedTime)
{
    const qint64 start = nowNanoseconds();
    ::usleep(20000);
    const double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 0.019);
    EXPECT_LT(elapsed, 5.0);
}
