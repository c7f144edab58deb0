#include "gui/RenderWorkers.h"

#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace QW {

namespace {

struct Worker {
  std::thread thread;
  std::function<void()> task;
  RenderWorkers::Ticket ticket = RenderWorkers::kNoTicket;  // running or queued
  bool busy = false;
};

// What the workers share. A worker holds a reference, so one left in a
// task at unload still finds its state when the task returns.
struct State {
  std::mutex mutex;
  std::condition_variable changed;
  std::list<Worker> workers;  // nodes keep their addresses while others come
  RenderWorkers::Ticket lastTicket = RenderWorkers::kNoTicket;
  bool closing = false;

  bool running(RenderWorkers::Ticket ticket) const {
    for (const Worker& worker : workers) {
      if (worker.busy && worker.ticket == ticket) return true;
    }
    return false;
  }
};

void serve(const std::shared_ptr<State> state, Worker* worker) {
  std::unique_lock<std::mutex> lock(state->mutex);
  for (;;) {
    state->changed.wait(lock, [&] { return state->closing || worker->busy; });
    if (!worker->busy) return;  // closing and idle
    std::function<void()> task = std::move(worker->task);
    worker->task = nullptr;
    lock.unlock();
    task();
    task = nullptr;  // what the task captured goes before its waiter wakes
    lock.lock();
    worker->busy = false;
    worker->ticket = RenderWorkers::kNoTicket;
    state->changed.notify_all();
  }
}

class Pool {
 public:
  ~Pool() {
    // Library unload: idle workers end and are joined. One still in a task
    // (an editor the host never closed) cannot be waited for here.
    std::list<std::thread> ending;
    {
      std::lock_guard<std::mutex> lock(state_->mutex);
      state_->closing = true;
      for (Worker& worker : state_->workers) {
        if (!worker.thread.joinable()) continue;
        if (worker.busy) {
          worker.thread.detach();
        } else {
          ending.push_back(std::move(worker.thread));
        }
      }
    }
    state_->changed.notify_all();
    for (std::thread& thread : ending) thread.join();
  }

  RenderWorkers::Ticket run(std::function<void()> task) {
    std::unique_lock<std::mutex> lock(state_->mutex);
    if (state_->closing) return RenderWorkers::kNoTicket;
    const RenderWorkers::Ticket ticket = ++state_->lastTicket;
    for (Worker& worker : state_->workers) {
      if (worker.busy) continue;
      worker.task = std::move(task);
      worker.ticket = ticket;
      worker.busy = true;
      lock.unlock();
      state_->changed.notify_all();
      return ticket;
    }
    Worker& worker = state_->workers.emplace_back();
    worker.task = std::move(task);
    worker.ticket = ticket;
    worker.busy = true;
    try {
      worker.thread = std::thread(serve, state_, &worker);
    } catch (const std::system_error&) {
      state_->workers.pop_back();
      throw;
    }
    return ticket;
  }

  void waitFor(RenderWorkers::Ticket ticket) {
    if (ticket == RenderWorkers::kNoTicket) return;
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->changed.wait(lock, [&] { return !state_->running(ticket); });
  }

  int workerCount() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return static_cast<int>(state_->workers.size());
  }

  int idleCount() {
    std::lock_guard<std::mutex> lock(state_->mutex);
    int idle = 0;
    for (const Worker& worker : state_->workers) idle += worker.busy ? 0 : 1;
    return idle;
  }

 private:
  const std::shared_ptr<State> state_ = std::make_shared<State>();
};

Pool& pool() {
  static Pool instance;
  return instance;
}

}  // namespace

RenderWorkers::Ticket RenderWorkers::run(std::function<void()> task) {
  return pool().run(std::move(task));
}

void RenderWorkers::waitFor(Ticket ticket) {
  pool().waitFor(ticket);
}

int RenderWorkers::workerCount() {
  return pool().workerCount();
}

int RenderWorkers::idleCount() {
  return pool().idleCount();
}

}  // namespace QW
