// Removing temporary output files when a signal ends the run.
//
// An interrupted run (Ctrl-C, `kill`, a closed terminal, a reader that went
// away) must not leave hidden temporary files behind, some of them hundreds
// of megabytes. The handler only unlinks the registered paths and re-raises
// the signal with its default action, so the exit status still tells the
// signal; it is async-signal-safe because the paths live in fixed slots
// that it reads without allocating or locking. SIGKILL cannot be caught:
// its temporaries stay.
#pragma once

#include <signal.h>

#include <string>

// Registers `path` for removal on every catchable signal that ends a
// process (SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT, SIGUSR1, SIGUSR2,
// SIGALRM, SIGXCPU, SIGXFSZ, SIGVTALRM, SIGPROF, SIGABRT) and
// returns the slot to release it with. The handlers are installed on the
// first call, for each of those signals that still has its default action
// (a signal the caller chose to ignore, such as SIGHUP under nohup, stays
// ignored). Fails when the path does not fit a slot or every slot is taken.
int RegisterTemporaryFile(const std::string& path);

// Forgets the slot: its file was renamed into place or removed.
void ReleaseTemporaryFile(int slot);

// Holds those signals off the calling thread while it lives, so that one
// arriving between creating a temporary file and registering it is handled
// once the file is registered, instead of leaving the file behind.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;

 private:
  sigset_t previous_;
};
