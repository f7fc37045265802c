#include "common/interrupt.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

std::atomic<int> interrupt_detail::signal_seen{0};

void set_interrupted(int signal) { interrupt_detail::signal_seen.store(signal); }

bool output_closed() {
#ifdef SIGPIPE
  return interrupt_detail::signal_seen.load() == SIGPIPE;
#else
  return false;
#endif
}

#ifndef _WIN32
namespace {
void on_signal(int signal) { interrupt_detail::signal_seen.store(signal); }
}  // namespace

void catch_interruptions() {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  // SIGPIPE too: the reader of standard output is gone (head, a closed
  // pipe), and the run must end as cleanly as after a Ctrl-C.
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaction(signal, &action, nullptr);
}

void end_as_interrupted() {
  int signal = interrupt_detail::signal_seen.load();
  if (signal == 0) signal = SIGINT;
  std::signal(signal, SIG_DFL);
  std::raise(signal);
  std::_Exit(128 + signal);
}
#else
#include "common/win32.h"

namespace {

HANDLE cleaned_up = nullptr;

BOOL WINAPI on_console_event(DWORD event) {
  interrupt_detail::signal_seen.store(SIGINT);
  // A closing window ends the process as soon as this returns: wait for the
  // run to remove its temporary files first (Windows allows a few seconds).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    WaitForSingleObject(cleaned_up, 4000);
  }
  return TRUE;
}

}  // namespace

void catch_interruptions() {
  if (!cleaned_up) cleaned_up = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(on_console_event, TRUE);
}

void end_as_interrupted() {
  if (cleaned_up) SetEvent(cleaned_up);
  std::fflush(nullptr);
  ExitProcess(STATUS_CONTROL_C_EXIT);
}
#endif
