// A test's own thread, started through the sync seam so that the host's test
// clock counts it like the program's threads, and joined through the seam so
// that the clock runs on while the test waits for it.
#pragma once
#include "platform/sync.h"
#include <functional>
#include <utility>

class TestThread {
  public:
    explicit TestThread(std::function<void()> body)
        : body_(std::move(body)), thread_(PlatStartThread(Run, this)) {}
    TestThread(const TestThread&) = delete;
    TestThread& operator=(const TestThread&) = delete;
    ~TestThread() { Join(); }
    void Join() {
        if (thread_ != nullptr) {
            PlatWaitThread(thread_, PlatWaitForever);
            PlatReleaseThread(thread_);
            thread_ = nullptr;
        }
    }

  private:
    static void Run(void* self) { static_cast<TestThread*>(self)->body_(); }
    std::function<void()> body_;
    PlatThread thread_;
};
