#pragma once

// Counts the objects allocated with operator new that are still alive. Qt's
// string and container data do not go through operator new, so the count
// follows exactly the objects the library creates with new and deletes.
class AllocationCounter
{
public:
    static long live();

    // While one lives, allocations on this thread are not counted (nor is
    // their later release): the test's own bookkeeping stays out of the count.
    class Pause
    {
    public:
        Pause();
        ~Pause();
        Pause(const Pause&) = delete;
        Pause& operator=(const Pause&) = delete;
    };
};
