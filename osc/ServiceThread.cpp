#include "osc/ServiceThread.h"

namespace QW {

ServiceThread::~ServiceThread() {
  if (Running()) JoinWithin(kStopLimit);
}

void ServiceThread::Start(std::function<void()> body) {
  auto completion = std::make_shared<Completion>();
  thread_ = std::thread([completion, body = std::move(body)] {
    body();
    {
      std::lock_guard<std::mutex> lock(completion->mutex);
      completion->done = true;
    }
    completion->ended.notify_all();
  });
  completion_ = std::move(completion);
}

bool ServiceThread::JoinWithin(std::chrono::milliseconds limit) {
  if (!Running()) return true;
  bool ended;
  {
    std::unique_lock<std::mutex> lock(completion_->mutex);
    ended = completion_->ended.wait_for(lock, limit, [this] { return completion_->done; });
  }
  if (ended)
    thread_.join();
  else
    thread_.detach();
  completion_.reset();
  return ended;
}

}  // namespace QW
