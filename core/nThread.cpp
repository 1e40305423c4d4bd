#include "core/nThread.h"

#include "core/nLog.h"

#include <chrono>
#include <system_error>

nThread::nThread()
    : m_running(false), m_exitCode(0), m_resumed(false), m_cancelled(false)
{
}

nThread::~nThread()
{
    {
        std::lock_guard<std::mutex> lock(m_gateMutex);
        if (!m_resumed)
            m_cancelled = true;  // a suspended thread ends without calling Run
    }
    m_gate.notify_all();
    Join();
}

bool nThread::Start()
{
    if (m_thread.joinable()) {
        *g_log << "[!] Thread already started.\n";
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_gateMutex);
        m_resumed = false;
        m_cancelled = false;
    }
    m_running = true;
    try {
        m_thread = std::thread(&nThread::ThreadProc, this);
    } catch (const std::system_error& e) {
        m_running = false;
        *g_log << "[!] Failed to create thread: " << e.what() << "\n";
        return false;
    }
    return true;
}

void nThread::Resume()
{
    {
        std::lock_guard<std::mutex> lock(m_gateMutex);
        m_resumed = true;
    }
    m_gate.notify_all();
}

void nThread::Wait()
{
    if (!m_running.load())
        return;
    Join();
}

void nThread::Join()
{
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id())
        m_thread.join();
}

void nThread::ThreadProc(nThread* self)
{
    bool run;
    {
        std::unique_lock<std::mutex> lock(self->m_gateMutex);
        self->m_gate.wait(lock, [self] { return self->m_resumed || self->m_cancelled; });
        run = self->m_resumed;
    }
    bool result = run ? self->Run() : false;
    self->m_exitCode = result ? 1 : 0;
    self->m_running = false;
}

void nSleep(unsigned int milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
