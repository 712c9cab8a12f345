// SPDX-License-Identifier: MIT
// The temporary files that a signal removes before the process dies. The handler
// may run between any two instructions, so it reads only fixed slots whose state
// is an atomic flag, and calls only unlink, sigaction and raise.
#include <atomic>
#include <cstring>

#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>
#endif

#include "files/system.h"

namespace helmert7::files_internal {

#ifdef _WIN32

void remember_temporary(const std::string&) {}
void forget_temporary(const std::string&) {}
SignalsHeld::SignalsHeld() = default;
SignalsHeld::~SignalsHeld() = default;

#else

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
enum SlotState : int { kFree, kFilling, kReady };

// A run stages at most a few files at once; a path that finds no slot is only
// left behind by a signal, as before.
struct Slot {
  std::atomic<int> state{kFree};
  char path[4096];
};
Slot slots[16];
static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the flags");

// Removes every temporary file, then dies of the signal as it would have.
void remove_temporaries_and_die(int signal) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kReady) ::unlink(slot.path);
  }
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  ::raise(signal);  // delivered as the handler returns
}

// Only where the signal would kill the process: a signal the caller ignores or
// handles stays theirs.
void install_handlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  struct sigaction action {};
  action.sa_handler = remove_temporaries_and_die;
  sigemptyset(&action.sa_mask);
  for (const int signal : kSignals) sigaddset(&action.sa_mask, signal);
  for (const int signal : kSignals) {
    struct sigaction current {};
    if (::sigaction(signal, nullptr, &current) == 0 && !(current.sa_flags & SA_SIGINFO) &&
        current.sa_handler == SIG_DFL) {
      ::sigaction(signal, &action, nullptr);
    }
  }
}

}  // namespace

void remember_temporary(const std::string& path) {
  if (path.size() >= sizeof(Slot::path)) return;
  install_handlers();
  for (Slot& slot : slots) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slot.path, path.c_str(), path.size() + 1);
    slot.state.store(kReady);
    return;
  }
}

void forget_temporary(const std::string& path) {
  for (Slot& slot : slots) {
    if (slot.state.load() == kReady && path == slot.path) {
      slot.state.store(kFree);
      return;
    }
  }
}

SignalsHeld::SignalsHeld() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : kSignals) sigaddset(&held, signal);
  pthread_sigmask(SIG_BLOCK, &held, &saved_);
}

SignalsHeld::~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &saved_, nullptr); }

#endif

}  // namespace helmert7::files_internal
