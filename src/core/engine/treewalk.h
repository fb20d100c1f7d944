#pragma once

// Private to the copy engine (src/core/engine/): nothing outside that folder includes it.

#include <condition_variable>
#include <deque>
#include <mutex>

#include <sys/stat.h>

#include "core/engine/copyjob.h"

namespace plovern {

// Hands file copies to the worker threads; the walking thread helps out when
// too many folders are open.
class TaskQueue
{
public:
    void push(FileTask task)
    {
        {
            std::lock_guard lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_ready.notify_one();
    }
    // False once the queue is closed and empty.
    bool pop(FileTask* task, bool wait)
    {
        std::unique_lock lock(m_mutex);
        if (wait)
            m_ready.wait(lock, [this] { return !m_tasks.empty() || m_closed; });
        if (m_tasks.empty())
            return false;
        *task = std::move(m_tasks.front());
        m_tasks.pop_front();
        return true;
    }
    void close()
    {
        {
            std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<FileTask> m_tasks;
    bool m_closed = false;
};

// Walks the source tree below the folders `src` and `dst` (of status `srcSt`
// and `dstSt`), making its folders, links and files in the copy; the files
// go to `queue`. `merging` when `dst` held an earlier copy. False when the
// root itself could not be prepared.
bool walkTree(CopyJob& job, TaskQueue& queue, Fd src, Fd dst, const struct stat& srcSt, const struct stat& dstSt,
              bool merging);

} // namespace plovern
