// The named lock that processes sharing a file take turns with: real mutexes, across threads (a mutex
// belongs to a thread, so two threads stand for two processes here). Wine has one session; on Windows a
// name without a "Global\" prefix is per session, so launchers of two logged-on users do not share the
// lock. They need not: each has a profile folder of its own, and only a missing profile makes them
// share C:\SUID.temp. No test here can tell.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/NamedLock.h"

namespace {

// Whether another thread gets the lock of `resource` within `timeoutMs`.
bool OtherThreadGets(const std::string &resource, DWORD timeoutMs)
{
    bool held = false;
    std::thread([&] { held = NamedLock(resource, timeoutMs).Held(); }).join();
    return held;
}

TEST(NamedLock, OneHolderPerFileWhateverTheCase)
{
    const std::string file = "C:\\users\\someone\\SUID.temp";
    {
        NamedLock lock(file, 0);
        ASSERT_TRUE(lock.Held());
        EXPECT_FALSE(OtherThreadGets(file, 200));
        EXPECT_FALSE(OtherThreadGets("c:\\USERS\\Someone\\suid.TEMP", 0)); // the same file on Windows
        EXPECT_TRUE(OtherThreadGets("C:\\users\\other\\SUID.temp", 0));
        EXPECT_TRUE(OtherThreadGets("C:\\users\\someone\\SUID.tem", 0));
    }
    EXPECT_TRUE(OtherThreadGets(file, 0)); // released with the holder
}

TEST(NamedLock, WaiterGetsItWhenTheHolderLetsGo)
{
    const std::string file = "C:\\waiter\\SUID.temp";
    auto lock = std::make_unique<NamedLock>(file, 0);
    ASSERT_TRUE(lock->Held());
    std::atomic<bool> got{false};
    std::thread waiter([&] { got = NamedLock(file, 10000).Held(); });
    ::Sleep(300);
    EXPECT_FALSE(got);
    lock.reset();
    waiter.join();
    EXPECT_TRUE(got);
}

// A launcher that died in its turn must not stop the next one for good.
TEST(NamedLock, AbandonedLockCountsAsHeld)
{
    const std::string file = "C:\\abandoned\\SUID.temp";
    NamedLock *left = nullptr;
    std::thread([&] { left = new NamedLock(file, 0); }).join(); // its thread ends without letting go
    ASSERT_TRUE(left->Held());
    EXPECT_TRUE(OtherThreadGets(file, 1000));
    delete left; // releasing a mutex this thread does not own is refused; only the memory goes
}

} // namespace
