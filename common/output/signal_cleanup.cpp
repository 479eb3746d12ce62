#include "output/signal_cleanup.h"

#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>

#include "bailout/bailout.h"

namespace {

// A run has a handful of outputs; 64 leaves room for many more.
constexpr std::size_t kSlots = 64;

struct Slot {
  std::atomic<bool> used{false};
  std::array<char, PATH_MAX> path{};
};

std::array<Slot, kSlots> slots;
std::mutex registering;  // between threads that register; never taken by the handler

// Every signal whose default action ends the process and that a handler
// may catch (SIGKILL and SIGSTOP cannot be; SIGSEGV, SIGBUS, SIGFPE and
// SIGILL mean the process itself is broken, and running code then is unsafe).
constexpr std::array<int, 13> kCleanedSignals = {SIGINT,    SIGTERM, SIGHUP,  SIGPIPE, SIGQUIT,
                                                 SIGUSR1,   SIGUSR2, SIGALRM, SIGXCPU, SIGXFSZ,
                                                 SIGVTALRM, SIGPROF, SIGABRT};

extern "C" void RemoveTemporariesAndReraise(int signal_number) {
  for (Slot& slot : slots) {
    if (slot.used.load(std::memory_order_acquire)) unlink(slot.path.data());
  }
  // SA_RESETHAND restored the default action and SA_NODEFER leaves the
  // signal unblocked, so this ends the process as the signal would have.
  raise(signal_number);
}

void InstallHandlers() {
  for (const int signal_number : kCleanedSignals) {
    struct sigaction current {};
    if (sigaction(signal_number, nullptr, &current) != 0) continue;
    if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) continue;
    struct sigaction cleanup {};
    cleanup.sa_handler = RemoveTemporariesAndReraise;
    sigemptyset(&cleanup.sa_mask);
    cleanup.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigaction(signal_number, &cleanup, nullptr);
  }
}

}  // namespace

int RegisterTemporaryFile(const std::string& path) {
  static std::once_flag installed;
  std::call_once(installed, InstallHandlers);
  if (path.size() >= PATH_MAX) Fail("The temporary file name '" + path + "' is too long.");
  const std::lock_guard<std::mutex> lock(registering);
  for (std::size_t i = 0; i < kSlots; ++i) {
    Slot& slot = slots[i];
    if (slot.used.load(std::memory_order_relaxed)) continue;
    std::memcpy(slot.path.data(), path.c_str(), path.size() + 1);
    slot.used.store(true, std::memory_order_release);
    return static_cast<int>(i);
  }
  Fail("More than " + std::to_string(kSlots) + " output files are open at once.");
}

HeldSignals::HeldSignals() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal_number : kCleanedSignals) sigaddset(&held, signal_number);
  pthread_sigmask(SIG_BLOCK, &held, &previous_);
}

HeldSignals::~HeldSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

void ReleaseTemporaryFile(int slot) {
  if (slot < 0 || static_cast<std::size_t>(slot) >= kSlots) return;
  slots[static_cast<std::size_t>(slot)].used.store(false, std::memory_order_release);
}
