#include "batch/status_text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/utf8.h"

namespace {

struct Range {
  char32_t first, last;
};

bool in(const Range* table, std::size_t n, char32_t c) {
  const Range* end = table + n;
  const Range* at =
      std::lower_bound(table, end, c, [](const Range& r, char32_t v) { return r.last < v; });
  return at != end && at->first <= c;
}

// Marks drawn over the character before them: no cell of their own.
constexpr Range kCombining[] = {
    {0x0300, 0x036F},   {0x0483, 0x0489},   {0x0591, 0x05BD},   {0x05BF, 0x05BF},
    {0x05C1, 0x05C2},   {0x05C4, 0x05C5},   {0x05C7, 0x05C7},   {0x0610, 0x061A},
    {0x064B, 0x065F},   {0x0670, 0x0670},   {0x06D6, 0x06DC},   {0x06DF, 0x06E4},
    {0x06E7, 0x06E8},   {0x06EA, 0x06ED},   {0x0711, 0x0711},   {0x0730, 0x074A},
    {0x07A6, 0x07B0},   {0x07EB, 0x07F3},   {0x0816, 0x082D},   {0x0859, 0x085B},
    {0x08D3, 0x0902},   {0x093A, 0x093A},   {0x093C, 0x093C},   {0x0941, 0x0948},
    {0x094D, 0x094D},   {0x0951, 0x0957},   {0x0962, 0x0963},   {0x0981, 0x0981},
    {0x09BC, 0x09BC},   {0x09C1, 0x09C4},   {0x09CD, 0x09CD},   {0x09E2, 0x09E3},
    {0x0A01, 0x0A02},   {0x0A3C, 0x0A51},   {0x0A70, 0x0A71},   {0x0A81, 0x0A82},
    {0x0ABC, 0x0ABC},   {0x0AC1, 0x0AC8},   {0x0ACD, 0x0ACD},   {0x0B01, 0x0B01},
    {0x0B3C, 0x0B3C},   {0x0B3F, 0x0B3F},   {0x0B41, 0x0B44},   {0x0B4D, 0x0B4D},
    {0x0BC0, 0x0BC0},   {0x0BCD, 0x0BCD},   {0x0C3E, 0x0C40},   {0x0C46, 0x0C56},
    {0x0CBC, 0x0CBC},   {0x0CCC, 0x0CCD},   {0x0D41, 0x0D44},   {0x0D4D, 0x0D4D},
    {0x0DCA, 0x0DCA},   {0x0DD2, 0x0DD6},   {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},
    {0x0E47, 0x0E4E},   {0x0EB1, 0x0EB1},   {0x0EB4, 0x0EBC},   {0x0EC8, 0x0ECD},
    {0x0F18, 0x0F19},   {0x0F35, 0x0F39},   {0x0F71, 0x0F84},   {0x0F86, 0x0F87},
    {0x0F8D, 0x0FBC},   {0x102D, 0x1030},   {0x1032, 0x1037},   {0x1039, 0x103A},
    {0x1160, 0x11FF},   {0x135D, 0x135F},   {0x1712, 0x1714},   {0x17B4, 0x17B5},
    {0x17B7, 0x17BD},   {0x17C6, 0x17C6},   {0x17C9, 0x17D3},   {0x180B, 0x180F},
    {0x1AB0, 0x1AFF},   {0x1B00, 0x1B03},   {0x1B34, 0x1B34},   {0x1B36, 0x1B3A},
    {0x1DC0, 0x1DFF},   {0x200B, 0x200F},   {0x202A, 0x202E},   {0x2060, 0x2064},
    {0x20D0, 0x20F0},   {0x2CEF, 0x2CF1},   {0x2DE0, 0x2DFF},   {0x302A, 0x302D},
    {0x3099, 0x309A},   {0xA66F, 0xA672},   {0xA674, 0xA67D},   {0xA69E, 0xA69F},
    {0xA6F0, 0xA6F1},   {0xA8E0, 0xA8F1},   {0xFB1E, 0xFB1E},   {0xFE00, 0xFE0F},
    {0xFE20, 0xFE2F},   {0xFEFF, 0xFEFF},   {0x1D167, 0x1D169}, {0x1D17B, 0x1D182},
    {0x1F3FB, 0x1F3FF}, {0xE0001, 0xE007F}, {0xE0100, 0xE01EF},
};

// East Asian wide and fullwidth characters, and those of ambiguous width,
// which CJK terminals draw in two cells: counted as two everywhere, so that
// the line never wraps (elsewhere it is only a little shorter than it could
// be).
constexpr Range kTwoCells[] = {
    {0x00A1, 0x00A1},   {0x00A4, 0x00A4},   {0x00A7, 0x00A8},    {0x00AA, 0x00AA},
    {0x00AD, 0x00AE},   {0x00B0, 0x00B4},   {0x00B6, 0x00BA},    {0x00BC, 0x00BF},
    {0x00C6, 0x00C6},   {0x00D0, 0x00D0},   {0x00D7, 0x00D8},    {0x00DE, 0x00E1},
    {0x00E6, 0x00E6},   {0x00E8, 0x00EA},   {0x00EC, 0x00ED},    {0x00F0, 0x00F0},
    {0x00F2, 0x00F3},   {0x00F7, 0x00FA},   {0x00FC, 0x00FC},    {0x00FE, 0x00FE},
    {0x0101, 0x0101},   {0x0111, 0x0111},   {0x0113, 0x0113},    {0x011B, 0x011B},
    {0x0126, 0x0127},   {0x012B, 0x012B},   {0x0131, 0x0133},    {0x0138, 0x0138},
    {0x013F, 0x0142},   {0x0144, 0x0144},   {0x0148, 0x014B},    {0x014D, 0x014D},
    {0x0152, 0x0153},   {0x0166, 0x0167},   {0x016B, 0x016B},    {0x01CE, 0x01CE},
    {0x01D0, 0x01D0},   {0x01D2, 0x01D2},   {0x01D4, 0x01D4},    {0x01D6, 0x01D6},
    {0x01D8, 0x01D8},   {0x01DA, 0x01DA},   {0x01DC, 0x01DC},    {0x0251, 0x0251},
    {0x0261, 0x0261},   {0x02C4, 0x02C4},   {0x02C7, 0x02C7},    {0x02C9, 0x02CB},
    {0x02CD, 0x02CD},   {0x02D0, 0x02D0},   {0x02D8, 0x02DB},    {0x02DD, 0x02DD},
    {0x02DF, 0x02DF},   {0x0391, 0x03A9},   {0x03B1, 0x03C9},    {0x0401, 0x0401},
    {0x0410, 0x044F},   {0x0451, 0x0451},   {0x1100, 0x115F},    {0x2010, 0x2010},
    {0x2013, 0x2016},   {0x2018, 0x2019},   {0x201C, 0x201D},    {0x2020, 0x2022},
    {0x2024, 0x2027},   {0x2030, 0x2030},   {0x2032, 0x2033},    {0x2035, 0x2035},
    {0x203B, 0x203B},   {0x203E, 0x203E},   {0x2074, 0x2074},    {0x207F, 0x207F},
    {0x2081, 0x2084},   {0x20AC, 0x20AC},   {0x2103, 0x2103},    {0x2105, 0x2105},
    {0x2109, 0x2109},   {0x2113, 0x2113},   {0x2116, 0x2116},    {0x2121, 0x2122},
    {0x2126, 0x2126},   {0x212B, 0x212B},   {0x2153, 0x2154},    {0x215B, 0x215E},
    {0x2160, 0x216B},   {0x2170, 0x2179},   {0x2189, 0x2199},    {0x21B8, 0x21B9},
    {0x21D2, 0x21D2},   {0x21D4, 0x21D4},   {0x21E7, 0x21E7},    {0x2200, 0x22FF},
    {0x2312, 0x2312},   {0x231A, 0x231B},   {0x2329, 0x232A},    {0x23E9, 0x23EC},
    {0x23F0, 0x23F0},   {0x23F3, 0x23F3},   {0x2460, 0x24E9},    {0x24EB, 0x254B},
    {0x2550, 0x2573},   {0x2580, 0x258F},   {0x2592, 0x2595},    {0x25A0, 0x25FF},
    {0x2605, 0x2606},   {0x2609, 0x2609},   {0x260E, 0x260F},    {0x2614, 0x2615},
    {0x261C, 0x261C},   {0x261E, 0x261E},   {0x2640, 0x2640},    {0x2642, 0x2642},
    {0x2648, 0x2653},   {0x2660, 0x266F},   {0x267F, 0x267F},    {0x2693, 0x2693},
    {0x269E, 0x269F},   {0x26A1, 0x26A1},   {0x26AA, 0x26AB},    {0x26BD, 0x26FF},
    {0x2705, 0x2705},   {0x270A, 0x270B},   {0x2728, 0x2728},    {0x273D, 0x273D},
    {0x274C, 0x274C},   {0x274E, 0x274E},   {0x2753, 0x2757},    {0x2776, 0x277F},
    {0x2795, 0x2797},   {0x27B0, 0x27B0},   {0x27BF, 0x27BF},    {0x2B1B, 0x2B1C},
    {0x2B50, 0x2B50},   {0x2B55, 0x2B59},   {0x2E80, 0x303E},    {0x3041, 0x33FF},
    {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},   {0xA000, 0xA4CF},    {0xA960, 0xA97F},
    {0xAC00, 0xD7A3},   {0xE000, 0xF8FF},   {0xF900, 0xFAFF},    {0xFE10, 0xFE19},
    {0xFE30, 0xFE6F},   {0xFF00, 0xFF60},   {0xFFE0, 0xFFE6},    {0xFFFD, 0xFFFD},
    {0x16FE0, 0x16FE4}, {0x17000, 0x18CFF}, {0x1B000, 0x1B2FF},  {0x1F004, 0x1F004},
    {0x1F0CF, 0x1F0CF}, {0x1F100, 0x1F1AD}, {0x1F200, 0x1F251},  {0x1F300, 0x1F64F},
    {0x1F680, 0x1F6FF}, {0x1F7E0, 0x1F7EB}, {0x1F90C, 0x1F9FF},  {0x1FA70, 0x1FAFF},
    {0x20000, 0x2FFFD}, {0x30000, 0x3FFFD}, {0xF0000, 0x10FFFD},
};

// One character of `text` at `at`: its bytes as shown ("?" for a byte that
// is no part of valid UTF-8, or a control character) and its cells.
struct Glyph {
  std::string shown;
  std::size_t bytes = 1;
  std::size_t cells = 1;
};

Glyph glyph_at(const std::string& text, std::size_t at) {
  Glyph g;
  char32_t c = 0;
  // What is no character shows as "?", a byte at a time; a control
  // character, C0 or C1, as one "?".
  g.shown = "?";
  const std::size_t n = utf8_char(text, at, &c);
  if (n == 0) return g;
  g.bytes = n;
  if (is_control(c)) return g;
  g.shown = text.substr(at, n);
  g.cells = in(kCombining, std::size(kCombining), c) ? 0
            : in(kTwoCells, std::size(kTwoCells), c) ? 2
                                                     : 1;
  return g;
}

std::vector<Glyph> glyphs(const std::string& text) {
  std::vector<Glyph> all;
  for (std::size_t at = 0; at < text.size(); at += all.back().bytes) {
    all.push_back(glyph_at(text, at));
  }
  return all;
}

}  // namespace

std::size_t text_cells(const std::string& text) {
  std::size_t cells = 0;
  for (const Glyph& g : glyphs(text)) cells += g.cells;
  return cells;
}

std::string fit_cells(const std::string& text, std::size_t cells) {
  const std::vector<Glyph> all = glyphs(text);
  std::size_t total = 0;
  std::string whole;
  for (const Glyph& g : all) {
    total += g.cells;
    whole += g.shown;
  }
  if (total <= cells) return whole;
  if (cells <= 3) return std::string(cells, '.');
  // The end, where the file name is, gets two thirds.
  const std::size_t head_room = (cells - 3) / 3, tail_room = cells - 3 - head_room;
  std::string head, tail;
  std::size_t used = 0, first = 0;
  for (; first < all.size() && used + all[first].cells <= head_room; ++first) {
    used += all[first].cells;
    head += all[first].shown;
  }
  used = 0;
  std::size_t last = all.size();
  while (last > first && used + all[last - 1].cells <= tail_room) used += all[--last].cells;
  // A mark with no character of its own to sit on would sit on the dots.
  while (last < all.size() && all[last].cells == 0) ++last;
  for (std::size_t k = last; k < all.size(); ++k) tail += all[k].shown;
  return head + "..." + tail;
}

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
  const std::string line = head;
  const std::size_t room = static_cast<std::size_t>(std::max(columns - 1, 0));
  if (line.size() >= room) return line.substr(0, room);
  return line + fit_cells(current, room - line.size());
}

std::string finding_text(std::size_t found, int columns) {
  const std::string line = "finding models: " + grouped(found);
  return line.substr(0, static_cast<std::size_t>(std::max(columns - 1, 0)));
}

std::string grouped(std::uint64_t n) {
  std::string digits = std::to_string(n);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

void show_status(StatusLine* status, const std::string& text, const std::string& line) {
  std::string screen;
  if (status->cells > 0) screen = "\r" + std::string(status->cells, ' ') + "\r";
  screen += text;
  screen += line;
  status->cells = text_cells(line);
  if (!screen.empty()) status->out << screen << std::flush;
}

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
  const std::size_t models = tally.converted + tally.up_to_date + tally.failed + tally.not_started;
  std::string text = grouped(models) + (models == 1 ? " model: " : " models: ") +
                     grouped(tally.converted) + " converted";
  if (tally.up_to_date > 0) text += ", " + grouped(tally.up_to_date) + " up to date";
  if (tally.failed > 0) text += ", " + grouped(tally.failed) + " failed";
  if (tally.not_started > 0) text += ", " + grouped(tally.not_started) + " not started";
  if (tally.removed > 0) text += ", " + grouped(tally.removed) + " removed";
  char tail[64];
  std::snprintf(tail, sizeof tail, " (%.1f s, %s of %s)", seconds, size, tally.written);
  return text + tail;
}
