#include "core/nMutex.h"
#include "core/nThread.h"
#include "tests/support/nLogCapture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// True when a different thread manages to take the mutex (and then releases it).
bool OtherThreadCanLock(nMutex& mutex)
{
    bool locked = false;
    std::thread other([&] {
        locked = mutex.TryLock();
        if (locked)
            mutex.Unlock();
    });
    other.join();
    return locked;
}

TEST(nMutex, ReentrantLockHoldsUntilEveryLevelIsReleased)
{
    nMutex mutex;
    mutex.Lock();
    mutex.Lock();
    EXPECT_FALSE(OtherThreadCanLock(mutex));
    mutex.Unlock();
    EXPECT_FALSE(OtherThreadCanLock(mutex)) << "one level is still held";
    mutex.Unlock();
    EXPECT_TRUE(OtherThreadCanLock(mutex));
}

TEST(nMutex, ScopeLocksAndReleasesOnEveryExit)
{
    nMutex mutex;
    auto guarded = [&](bool early) {
        nMutexScope scope(&mutex);
        EXPECT_FALSE(OtherThreadCanLock(mutex));
        if (early)
            return 1;
        nMutexScope nested(mutex);  // re-entrant inside the same scope
        return 2;
    };
    EXPECT_EQ(guarded(true), 1);
    EXPECT_TRUE(OtherThreadCanLock(mutex));
    EXPECT_EQ(guarded(false), 2);
    EXPECT_TRUE(OtherThreadCanLock(mutex));
}

TEST(nMutex, SerialisesIncrementsFromManyThreads)
{
    nMutex mutex;
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                nMutexScope scope(mutex);
                ++counter;
            }
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(counter, 40000);
}

class RecordingThread : public nThread
{
public:
    explicit RecordingThread(bool result = true) : m_result(result) {}
    ~RecordingThread() override { Wait(); }

    std::atomic<int> runs{0};
    std::atomic<bool> release{true};  // Run returns once this is set

protected:
    bool Run() override
    {
        ++runs;
        while (!release.load())
            std::this_thread::yield();
        return m_result;
    }

private:
    bool m_result;
};

TEST(nThread, RunNeverStartsBeforeResume)
{
    RecordingThread thread;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.IsRunning());
    nSleep(50);
    EXPECT_EQ(thread.runs.load(), 0);
    thread.Resume();
    thread.Wait();
    EXPECT_EQ(thread.runs.load(), 1);
    EXPECT_FALSE(thread.IsRunning());
}

TEST(nThread, RunningStaysSetUntilRunReturns)
{
    RecordingThread thread;
    thread.release = false;
    ASSERT_TRUE(thread.Start());
    thread.Resume();
    while (thread.runs.load() == 0)
        std::this_thread::yield();
    EXPECT_TRUE(thread.IsRunning());
    thread.release = true;
    thread.Wait();
    EXPECT_FALSE(thread.IsRunning());
}

TEST(nThread, ExitCodeFollowsRunResult)
{
    for (bool result : {true, false}) {
        RecordingThread thread(result);
        ASSERT_TRUE(thread.Start());
        thread.Resume();
        thread.Wait();
        EXPECT_EQ(thread.GetExitCode(), result ? 1 : 0);
    }
}

TEST(nThread, WaitWithoutStartOrAfterEndReturnsAtOnce)
{
    RecordingThread never;
    never.Wait();
    EXPECT_FALSE(never.IsRunning());

    RecordingThread done;
    ASSERT_TRUE(done.Start());
    done.Resume();
    while (done.IsRunning())
        std::this_thread::yield();
    done.Wait();
    done.Wait();
    EXPECT_EQ(done.runs.load(), 1);
}

// A subclass that relies on the base destructor alone (no Wait of its own).
class PlainThread : public nThread
{
public:
    explicit PlainThread(std::atomic<int>* runs) : m_runs(runs) {}

protected:
    bool Run() override
    {
        ++*m_runs;
        return true;
    }

private:
    std::atomic<int>* m_runs;
};

TEST(nThread, DestroyingInEveryStateNeitherTerminatesNorRunsLate)
{
    std::atomic<int> runs{0};

    delete new PlainThread(&runs);  // never started

    {
        PlainThread finished(&runs);  // Run has ended, never waited for
        ASSERT_TRUE(finished.Start());
        finished.Resume();
        while (finished.IsRunning())
            std::this_thread::yield();
    }
    EXPECT_EQ(runs.load(), 1);

    {
        PlainThread suspended(&runs);  // started, never resumed
        ASSERT_TRUE(suspended.Start());
    }
    EXPECT_EQ(runs.load(), 1) << "a thread that was never resumed must not run";

    {
        PlainThread waited(&runs);
        ASSERT_TRUE(waited.Start());
        waited.Resume();
        waited.Wait();
    }
    EXPECT_EQ(runs.load(), 2);
}

TEST(nThread, SecondStartIsRefused)
{
    RecordingThread thread;
    ASSERT_TRUE(thread.Start());
    {
        nLogCapture log;
        EXPECT_FALSE(thread.Start());
        EXPECT_EQ(log.Lines(), std::vector<std::string>{"[!] Thread already started.\n"});
    }
    thread.Resume();
    thread.Wait();
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(nSleep, WaitsAtLeastTheGivenTime)
{
    auto before = std::chrono::steady_clock::now();
    nSleep(20);
    auto waited = std::chrono::steady_clock::now() - before;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(waited).count(), 20);
}

}  // namespace
