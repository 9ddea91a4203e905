#include "CheckWorker.h"

namespace {

// A QThread, not a bare thread: the sockets of the mail library need its event dispatcher.
class JobThread final : public QThread {
public:
    explicit JobThread(std::function<void()> body) : m_body(std::move(body)) {}

protected:
    void run() override { m_body(); }

private:
    std::function<void()> m_body;
};

} // namespace

CheckWorker::~CheckWorker()
{
    if (!m_thread)
        return;
    post({});
    {
        // Its end is seen under the lock too, before the queue goes.
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_ended; });
    }
    m_thread->wait();
}

void CheckWorker::post(std::function<void()> job)
{
    if (!m_thread) {
        m_thread = std::make_unique<JobThread>([this] { serve(); });
        m_thread->setObjectName(QStringLiteral("MailCheck"));
        m_thread->start();
    }
    const std::lock_guard lock(m_mutex);
    m_jobs.push_back(std::move(job));
    m_changed.notify_all();
}

void CheckWorker::waitUntilIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void CheckWorker::serve()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return !m_jobs.empty(); });
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        if (!job) {
            m_ended = true;
            m_changed.notify_all();
            return;
        }
        m_busy = true;
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}
