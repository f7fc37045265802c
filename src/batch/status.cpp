#include <algorithm>
#include <cstdio>

#include "batch/batch.h"

namespace {

// Characters on the screen, counted as UTF-8 sequences.
std::size_t shown_width(const std::string& text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The end of `text` that fits in `width` characters, with "..." in front when
// it was cut: the file name at the end is what tells models apart.
std::string last_chars(const std::string& text, std::size_t width) {
  if (shown_width(text) <= width) return text;
  if (width <= 3) return std::string(width, '.');
  std::size_t keep = width - 3, at = text.size();
  while (at > 0 && keep > 0) {
    --at;
    if ((static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) --keep;
  }
  return "..." + text.substr(at);
}

}  // namespace

std::string status_text(std::size_t done, std::size_t total, std::uint64_t bytes_read,
                        std::uint64_t bytes_total, double seconds, const std::string& current,
                        int columns) {
  unsigned percent =
      bytes_total == 0 ? 100u : static_cast<unsigned>(bytes_read * 100 / bytes_total);
  if (percent > 100) percent = 100;
  double speed = seconds > 0 ? static_cast<double>(bytes_read) / 1e6 / seconds : 0.0;
  int width = static_cast<int>(std::to_string(total).size());
  char head[96];
  std::snprintf(head, sizeof head, "[%*zu/%zu] %3u%% %3.0f MB/s  ", width, done, total, percent,
                speed);
  std::string line = head;
  const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 0));
  if (line.size() >= room) return line.substr(0, room);
  return line + last_chars(current, room - line.size());
}

namespace {

// 1234567 as "1,234,567": the tally is read by a person.
std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

}  // namespace

std::string tally_line(const Tally& tally, double seconds) {
  char size[32];
  const std::uint64_t obj_bytes = tally.obj_bytes;
  double bytes = static_cast<double>(obj_bytes);
  if (obj_bytes < 10000) {
    std::snprintf(size, sizeof size, "%llu bytes", static_cast<unsigned long long>(obj_bytes));
  } else {
    const bool mega = bytes >= 1e6;
    const double amount = mega ? bytes / 1e6 : bytes / 1e3;
    std::snprintf(size, sizeof size, "%.*f %s", amount < 10 ? 1 : 0, amount, mega ? "MB" : "kB");
  }
  const std::size_t models = tally.converted + tally.failed + tally.not_started;
  std::string text = grouped(models) + (models == 1 ? " model: " : " models: ") +
                     grouped(tally.converted) + " converted";
  if (tally.failed > 0) text += ", " + grouped(tally.failed) + " failed";
  if (tally.not_started > 0) text += ", " + grouped(tally.not_started) + " not started";
  char tail[64];
  std::snprintf(tail, sizeof tail, " (%.1f s, %s of OBJ)", seconds, size);
  return text + tail;
}
