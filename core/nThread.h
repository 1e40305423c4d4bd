#ifndef N_THREAD_H
#define N_THREAD_H

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

// A thread whose work is the virtual Run of a subclass. Start creates the thread suspended;
// Run begins only after Resume. Stopping is the subclass's business: its Run watches a flag
// of its own and returns.
//
// Life: constructed -> Start (suspended, running) -> Resume -> Run -> Run returned (running
// cleared) -> Wait -> destruction.
//
// Contract for subclasses: the object must not be destroyed while Run is executing. A
// subclass whose Run may still be busy stops it and calls Wait in its own destructor, since
// by the time ~nThread runs the subclass part is already gone. ~nThread joins a finished
// thread and releases (without running Run) a thread that was started but never resumed.
class nThread
{
public:
    nThread();
    virtual ~nThread();
    nThread(const nThread&) = delete;
    nThread& operator=(const nThread&) = delete;

    bool Start();                                          // creates the suspended thread; false (logged) on failure or when already started
    void Resume();                                         // lets the suspended thread run Run
    void Wait();                                           // while running, blocks until the thread has ended (forever if never resumed); else returns at once
    bool IsRunning() const { return m_running.load(); }    // set by Start, cleared when Run returns
    int GetExitCode() const { return m_exitCode.load(); }  // 1 when Run returned true, else 0

protected:
    virtual bool Run() = 0;  // the thread's work, on the new thread

private:
    static void ThreadProc(nThread* self);
    void Join();

    std::thread m_thread;
    std::atomic<bool> m_running;
    std::atomic<int> m_exitCode;
    std::mutex m_gateMutex;  // guards the two gate flags
    std::condition_variable m_gate;
    bool m_resumed;    // Resume was called: run Run
    bool m_cancelled;  // destroyed before Resume: end without Run
};

void nSleep(unsigned int milliseconds);  // suspends the calling thread

#endif
