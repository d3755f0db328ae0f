#include "desktop/model/engine_worker.hpp"

namespace folvane {

ThreadWorker::ThreadWorker() : thread_([this] { run(); }) {}

ThreadWorker::~ThreadWorker() {
    finish([] {});
}

void ThreadWorker::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (finishing_) return;
        jobs_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void ThreadWorker::finish(std::function<void()> last) {
    {
        std::lock_guard lock(mutex_);
        if (finishing_) return;
        jobs_.push_back(std::move(last));
        finishing_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

void ThreadWorker::run() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !jobs_.empty(); });
            job = std::move(jobs_.front());
            jobs_.pop_front();
            if (finishing_ && jobs_.empty()) {
                lock.unlock();
                job();
                return;
            }
        }
        job();
    }
}

} // namespace folvane
