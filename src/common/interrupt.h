// Interruptions: Ctrl-C, a kill or a closed console ask the run to stop. The
// signal only raises a flag; conversions look at it at each block they read
// or write, so that even a huge model stops within a fraction of a second,
// and the run then cleans up and ends as the signal would have ended it.
#pragma once

#include <atomic>

namespace interrupt_detail {
extern std::atomic<int> signal_seen;  // 0 while the run may go on
}

inline bool interrupted() {
  return interrupt_detail::signal_seen.load(std::memory_order_relaxed) != 0;
}

// The reader of standard output is gone (SIGPIPE: head, a closed pipe): the
// run stops as after an interruption, but tells no interruption.
bool output_closed();

// SIGINT, SIGTERM, SIGHUP and SIGPIPE on Linux; Ctrl-C, Ctrl-Break and the
// closing of the console window on Windows.
void catch_interruptions();

// As if `signal` had come (tests), or 0 to forget it.
void set_interrupted(int signal);

// Ends the process as the signal would have: its default action raised again
// on Linux, so that a shell sees 130, 143 or 129 and loops stop; on Windows the
// status of a Ctrl-C (STATUS_CONTROL_C_EXIT).
[[noreturn]] void end_as_interrupted();
