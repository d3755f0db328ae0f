// Where engine work runs. The engine is an apartment-threaded automation object: it is created,
// called and released on one thread, which must not be the user-interface thread, or a large file
// would freeze the window. ThreadWorker is that thread; InlineWorker runs the work at once, for
// tests that drive the window model step by step.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace folvane {

class EngineWorker {
  public:
    virtual ~EngineWorker() = default;
    // Queues `work`; jobs run one after the other in the order posted.
    virtual void post(std::function<void()> work) = 0;
    // Runs every queued job, then `last`, and ends the thread; later posts are dropped.
    virtual void finish(std::function<void()> last) = 0;
};

class ThreadWorker final : public EngineWorker {
  public:
    ThreadWorker();
    ~ThreadWorker() override;
    void post(std::function<void()> work) override;
    void finish(std::function<void()> last) override;

  private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool finishing_ = false;
    std::thread thread_;
};

class InlineWorker final : public EngineWorker {
  public:
    void post(std::function<void()> work) override {
        if (!finished_) work();
    }
    void finish(std::function<void()> last) override {
        if (finished_) return;
        finished_ = true;
        last();
    }

  private:
    bool finished_ = false;
};

} // namespace folvane
