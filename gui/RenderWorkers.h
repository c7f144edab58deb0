// Threads for editor render tasks, kept for the life of the library.
//
// Every thread that allocates gets a malloc arena of its own from glibc,
// and the GL driver's large buffers stay resident in it after the thread
// frees them. A new render thread for each editor opening therefore grew
// the host's memory by the driver's buffers each time it was opened. A
// finished task's thread waits for the next task instead, so openings one
// after the other reuse one thread, one arena and its memory; editors open
// at the same time each get a thread.
#pragma once

#include <cstdint>
#include <functional>

namespace QW {

class RenderWorkers {
 public:
  using Ticket = uint64_t;
  static constexpr Ticket kNoTicket = 0;

  // Runs the task on an idle worker, or on a new one when all are busy.
  // Throws std::system_error when no thread could be started, and returns
  // kNoTicket while the library unloads (the task is dropped either way).
  static Ticket run(std::function<void()> task);
  // Returns once the ticket's task has returned (at once for kNoTicket or a
  // finished task).
  static void waitFor(Ticket ticket);
  // For tests: how many workers exist and how many of them wait for a task.
  static int workerCount();
  static int idleCount();
};

}  // namespace QW
