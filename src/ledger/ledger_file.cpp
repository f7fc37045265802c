#include "ledger/ledger_file.h"

#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

#include "common/file_calls.h"

namespace fs = std::filesystem;

namespace {

// A path in one field of a line: "%", tab, CR and LF as %25, %09, %0D, %0A.
std::string escaped(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
      static const char hex[] = "0123456789ABCDEF";
      out += '%';
      out += hex[static_cast<unsigned char>(c) >> 4];
      out += hex[c & 15];
    } else {
      out += c;
    }
  }
  return out;
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool unescaped(const std::string& field, std::string* path) {
  path->clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      *path += field[i];
      continue;
    }
    const int high = i + 2 < field.size() ? hex_value(field[i + 1]) : -1;
    const int low = high < 0 ? -1 : hex_value(field[i + 2]);
    if (low < 0) return false;
    *path += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

// A whole field of digits (and a sign, for a signed number), nothing else.
template <class Number>
bool read_number(const std::string& text, Number* value) {
  const char* end = text.data() + text.size();
  const auto read = std::from_chars(text.data(), end, *value);
  return !text.empty() && read.ec == std::errc() && read.ptr == end;
}

// The fields of an entry from the model's size on, as both forms write them:
// sizes and times, ok or failed, style, version, key.
bool read_fields(const std::vector<std::string>& f, std::size_t at, LedgerEntry* e,
                 std::string* key) {
  if (f[at + 4] != "ok" && f[at + 4] != "failed" && f[at + 4] != "warned") return false;
  e->failed = f[at + 4] == "failed";
  e->warned = f[at + 4] == "warned";
  e->style = f[at + 5];
  e->version = f[at + 6];
  return read_number(f[at], &e->model_size) && read_number(f[at + 1], &e->model_modified) &&
         read_number(f[at + 2], &e->file_size) && read_number(f[at + 3], &e->file_modified) &&
         unescaped(f[at + 7], key);
}

std::string journal_prefix() { return std::string(kRecordName) + "." + this_host() + "-"; }

}  // namespace

fs::path this_journal(const fs::path& folder) {
  return folder / fs::u8path(journal_prefix() + std::to_string(this_process()) + ".journal");
}

std::vector<std::string> journals_in(const fs::path& folder) {
  std::vector<std::string> names, found;
  int code = 0;
  folder_names(folder, &names, &code);
  const std::string prefix = std::string(kRecordName) + ".";
  for (const std::string& name : names) {
    if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + 8 &&
        name.compare(name.size() - 8, 8, ".journal") == 0) {
      found.push_back(name);
    }
  }
  return found;
}

bool foldable_journal(const std::string& name) {
  const std::string prefix = journal_prefix();
  if (name.rfind(prefix, 0) != 0 || name.size() < prefix.size() + 8) return false;
  const std::string pid = name.substr(prefix.size(), name.size() - 8 - prefix.size());
  return pid == std::to_string(this_process()) || process_ended(pid);
}

std::string ledger_line(const std::string& key, const LedgerEntry& e) {
  std::ostringstream line;
  line << (e.kind == LedgerKind::kGone ? "gone\t" : "obj\t") << e.model_size << '\t'
       << e.model_modified << '\t' << e.file_size << '\t' << e.file_modified << '\t'
       << (e.failed   ? "failed"
           : e.warned ? "warned"
                      : "ok")
       << '\t' << e.style << '\t' << e.version << '\t' << escaped(key) << '\t' << escaped(e.model);
  for (const LedgerFile& f : e.files) {
    line << '\t' << f.size << '\t' << f.modified << '\t' << escaped(f.path);
  }
  line << '\n';
  return line.str();
}

bool read_ledger_line(std::string line, std::string* key, LedgerEntry* entry) {
  // Written as text: on Windows its lines end in CR LF.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields;
  std::istringstream split(line);
  for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  *entry = LedgerEntry();
  // The first form (a ledger of release 1.1.0): no kind and no model path.
  if (fields.size() == 8) return read_fields(fields, 0, entry, key);
  if (fields.size() < 10 || (fields.size() - 10) % 3 != 0 ||
      (fields[0] != "obj" && fields[0] != "gone")) {
    return false;
  }
  entry->kind = fields[0] == "gone" ? LedgerKind::kGone : LedgerKind::kObj;
  if (!read_fields(fields, 1, entry, key) || !unescaped(fields[9], &entry->model)) return false;
  for (std::size_t at = 10; at < fields.size(); at += 3) {
    LedgerFile f;
    if (!read_number(fields[at], &f.size) || !read_number(fields[at + 1], &f.modified) ||
        !unescaped(fields[at + 2], &f.path)) {
      return false;
    }
    entry->files.push_back(std::move(f));
  }
  return true;
}

void read_ledger_file(const fs::path& name, std::unordered_map<std::string, LedgerEntry>* entries) {
  std::ifstream in(long_path(name), std::ios::binary);
  std::string line, key;
  LedgerEntry entry;
  while (std::getline(in, line)) {
    if (!read_ledger_line(line, &key, &entry)) continue;
    if (entry.kind == LedgerKind::kGone) {
      entries->erase(key);
    } else {
      (*entries)[key] = entry;
    }
  }
}
