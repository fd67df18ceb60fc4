#include "cli/signals.h"

#include <pthread.h>
#include <unistd.h>

#include <csignal>

namespace {

// The signal that asked the run to stop; 0 while none did. Only the main
// thread takes these signals, and only it reads this.
volatile std::sig_atomic_t g_stop_signal = 0;

extern "C" void note_stop_signal(int signal) { g_stop_signal = signal; }

// The launcher may have been told to keep quiet about a rank's end.
extern "C" void end_with_job_ended_message(int signal) {
  static const char text[] = "wdist: the MPI job was ended: a rank failed, or the job was stopped\n";
  const ssize_t written = write(STDERR_FILENO, text, sizeof text - 1);
  static_cast<void>(written);
  _exit(128 + signal);
}

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

namespace wdist::cli {

void block_stop_signals() {
  const sigset_t set = stop_signals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void take_stop_signals() {
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  const sigset_t set = stop_signals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

int stop_signal() { return g_stop_signal; }

void say_why_the_job_ends() { std::signal(SIGTERM, end_with_job_ended_message); }

}  // namespace wdist::cli
