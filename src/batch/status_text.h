// What a run shows on a terminal and in its last line: widths in terminal
// cells, the status line rewritten in place, the tally.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

// Terminal cells that `text` takes (UTF-8): none for a combining mark, two for
// an East Asian wide character and for one of ambiguous width, one for
// anything else; a byte that is not part of valid UTF-8, or a control
// character, is shown as "?" and takes one.
std::size_t text_cells(const std::string& text);

// `text` made fit for the screen in at most `cells` cells: invalid bytes and
// control characters as "?", and when too long, shortened in the middle with
// "...", so that both the folder and the file name stay in view.
std::string fit_cells(const std::string& text, std::size_t cells);

// The status line: models done of the total, the share of the run's bytes
// read, the speed, and the model now being converted; it takes at most
// `columns` - 1 cells, so that it never wraps.
std::string status_text(std::size_t done, std::size_t total, std::uint64_t bytes_read,
                        std::uint64_t bytes_total, double seconds, const std::string& current,
                        int columns);

// The status line while the models are being found.
std::string finding_text(std::size_t found, int columns);

// The status line on a terminal. Text is written above it and the line drawn
// again below; it is taken off by as many spaces as it took cells, so that
// nothing of it is left.
struct StatusLine {
  std::ostream& out;
  std::size_t cells = 0;  // of the line now on the screen
};

// Takes the line off, writes `text`, and draws `line` ("" for none).
void show_status(StatusLine* status, const std::string& text, const std::string& line);

struct Tally {
  std::size_t converted = 0, failed = 0, not_started = 0;
  std::uint64_t obj_bytes = 0;
  std::size_t up_to_date = 0;
  std::size_t would_convert = 0;  // -n: told, not converted, and not in the tally
  std::size_t removed = 0;        // --delete: OBJ files whose models are gone
  bool path_failed = false;       // a PATH failed as a whole: a failure, but no model
  const char* written = "OBJ";    // what the bytes are of: "OBJ" or "GLB"
};

// The last line of a run: "2,000 models: 1,998 converted, 2 failed (4.1 s,
// 180 MB of OBJ)", a count after "converted" only where it is not zero.
std::string tally_line(const Tally& tally, double seconds);

// 1234567 as "1,234,567".
std::string grouped(std::uint64_t n);
