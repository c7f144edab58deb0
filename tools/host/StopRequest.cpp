#include "tools/host/StopRequest.h"

#include <signal.h>

#include <atomic>

namespace vhost {

namespace {

std::atomic<int> gStopSignal{0};
// The handlers to go back to after the first signal and at the end. Written
// before our handler is installed, only read afterwards.
struct sigaction gPreviousInterrupt {};
struct sigaction gPreviousTerminate {};

// Only async-signal-safe calls here.
void onStopSignal(int signal) {
  gStopSignal.store(signal);
  sigaction(SIGINT, &gPreviousInterrupt, nullptr);
  sigaction(SIGTERM, &gPreviousTerminate, nullptr);
}

}  // namespace

StopRequest::StopRequest() {
  gStopSignal.store(0);
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  sigaction(SIGINT, nullptr, &gPreviousInterrupt);
  sigaction(SIGTERM, nullptr, &gPreviousTerminate);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

StopRequest::~StopRequest() {
  sigaction(SIGINT, &gPreviousInterrupt, nullptr);
  sigaction(SIGTERM, &gPreviousTerminate, nullptr);
}

bool StopRequest::requested() const {
  return gStopSignal.load() != 0;
}

int StopRequest::signal() const {
  return gStopSignal.load();
}

}  // namespace vhost
