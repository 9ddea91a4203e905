#pragma once

#include <QThread>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// A thread of its own that runs jobs one after another, in the order they were posted: the mail check's
// calls of the mail library all run here, so that each handle stays on one thread. The jobs are handed over
// under a lock of the standard library, which the thread sanitizer sees, not through Qt's event queues.
class CheckWorker final {
public:
    CheckWorker() = default;
    ~CheckWorker(); // after the jobs already posted

    CheckWorker(const CheckWorker &) = delete;
    CheckWorker &operator=(const CheckWorker &) = delete;

    void post(std::function<void()> job); // starts the thread with the first job
    void waitUntilIdle();                 // every job posted so far has run

private:
    void serve();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_jobs; // an empty job ends the thread
    bool m_busy = false;
    bool m_ended = false;
    std::unique_ptr<QThread> m_thread;
};
