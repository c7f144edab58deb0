#include "tools/host/CrashGuard.h"

#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "tools/host/HostError.h"

namespace vhost {

namespace {

constexpr int kSlots = 4;

struct TemporaryFileSlot {
  std::atomic<bool> used{false};
  char path[PATH_MAX] = {};
};

TemporaryFileSlot gSlots[kSlots];

// A plug-in that overflows its stack still gets a message.
char gAlternateStack[64 * 1024];

void writeText(const char* text) {
  const ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

void removeTemporaryFiles() {
  for (auto& slot : gSlots)
    if (slot.used.load()) unlink(slot.path);
}

std::atomic<const char*> gActivity{nullptr};

const char* describe(int signal) {
  switch (signal) {
    case SIGSEGV:
      return "crashed with a segmentation fault (SIGSEGV)";
    case SIGBUS:
      return "crashed with a bus error (SIGBUS)";
    case SIGFPE:
      return "crashed with an arithmetic fault (SIGFPE)";
    case SIGILL:
      return "crashed with an illegal instruction (SIGILL)";
    case SIGABRT:
      return "aborted (SIGABRT)";
    default:
      return "interrupted";
  }
}

// Only async-signal-safe calls from here on.
void onFatalSignal(int signal) {
  removeTemporaryFiles();
  writeText("veldrana-host: ");
  writeText(describe(signal));
  const char* activity = gActivity.load();
  if (activity) {
    writeText(" while ");
    writeText(activity);
  }
  writeText("\n");
  const bool interrupted = signal == SIGINT || signal == SIGTERM || signal == SIGHUP;
  _exit(interrupted ? 128 + signal : kExitCrash);
}

}  // namespace

void CrashGuard::install() {
  stack_t stack{};
  stack.ss_sp = gAlternateStack;
  stack.ss_size = sizeof gAlternateStack;
  sigaltstack(&stack, nullptr);

  struct sigaction action {};
  action.sa_handler = onFatalSignal;
  action.sa_flags = SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGINT, SIGTERM, SIGHUP})
    sigaction(signal, &action, nullptr);
  // Past the file-size limit a write then fails with EFBIG, which ends the
  // run with an error and removes the temporary file, instead of a silent
  // death that leaves it behind.
  signal(SIGXFSZ, SIG_IGN);
}

int CrashGuard::registerTemporaryFile(const char* path) {
  if (std::strlen(path) >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    if (gSlots[i].used.load()) continue;
    std::strcpy(gSlots[i].path, path);
    gSlots[i].used.store(true);
    return i;
  }
  return -1;
}

void CrashGuard::setActivity(const char* activity) {
  gActivity.store(activity);
}

void CrashGuard::unregisterTemporaryFile(int slot) {
  if (slot >= 0 && slot < kSlots) gSlots[slot].used.store(false);
}

}  // namespace vhost
