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

// The fields of an entry from the model's size on, as every form writes
// them: sizes and times, ok or failed, style, version, key. The second form
// also had "warned", for a model converted with warnings.
bool read_fields(const std::vector<std::string>& f, std::size_t at, LedgerEntry* e,
                 std::string* key) {
  const std::string& status = f[at + 4];
  if (status != "ok" && status != "failed" && (status != "warned" || e->form > 2)) return false;
  e->failed = status == "failed";
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
  if (e.form >= 3) line << "3\t";
  line << (e.kind == LedgerKind::kGone ? "gone\t" : "obj\t") << e.model_size << '\t'
       << e.model_modified << '\t' << e.file_size << '\t' << e.file_modified << '\t'
       << (e.failed ? "failed" : "ok") << '\t' << e.style << '\t' << e.version << '\t'
       << escaped(key) << '\t' << escaped(e.model);
  for (const LedgerFile& f : e.files) {
    line << (e.form >= 3 ? "\tfile\t" : "\t") << f.size << '\t' << f.modified << '\t'
         << escaped(f.path);
  }
  for (const LedgerTexture& t : e.textures) {
    line << "\ttexture\t" << escaped(t.relative) << '\t' << escaped(t.source) << '\t'
         << t.source_size << '\t' << t.source_modified << '\t' << escaped(t.image) << '\t'
         << t.image_size;
  }
  line << '\n';
  return line.str();
}

namespace {

// A file written with the entry's OBJ: size, time and path from `at`.
bool read_file_item(const std::vector<std::string>& f, std::size_t at, LedgerEntry* entry) {
  LedgerFile file;
  if (at + 3 > f.size() || !read_number(f[at], &file.size) ||
      !read_number(f[at + 1], &file.modified) || !unescaped(f[at + 2], &file.path)) {
    return false;
  }
  entry->files.push_back(std::move(file));
  return true;
}

bool read_texture_item(const std::vector<std::string>& f, std::size_t at, LedgerEntry* entry) {
  LedgerTexture t;
  if (at + 6 > f.size() || !unescaped(f[at], &t.relative) || !unescaped(f[at + 1], &t.source) ||
      !read_number(f[at + 2], &t.source_size) || !read_number(f[at + 3], &t.source_modified) ||
      !unescaped(f[at + 4], &t.image) || !read_number(f[at + 5], &t.image_size)) {
    return false;
  }
  entry->textures.push_back(std::move(t));
  return true;
}

// The items of the third form after the model's path, each begun by its
// kind.
bool read_items(const std::vector<std::string>& f, std::size_t at, LedgerEntry* entry) {
  while (at < f.size()) {
    if (f[at] == "file" && read_file_item(f, at + 1, entry)) {
      at += 4;
    } else if (f[at] == "texture" && read_texture_item(f, at + 1, entry)) {
      at += 7;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

bool read_ledger_line(std::string line, std::string* key, LedgerEntry* entry) {
  // Written as text: on Windows its lines end in CR LF.
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields;
  std::istringstream split(line);
  for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  *entry = LedgerEntry();
  const bool third = !fields.empty() && fields[0] == "3";
  entry->form = third ? 3 : fields.size() == 8 ? 1 : 2;
  if (third) fields.erase(fields.begin());
  // The first form (a ledger of release 1.1.0): no kind and no model path.
  if (entry->form == 1) return read_fields(fields, 0, entry, key);
  if (fields.size() < 10 || (fields[0] != "obj" && fields[0] != "gone") ||
      (!third && (fields.size() - 10) % 3 != 0)) {
    return false;
  }
  entry->kind = fields[0] == "gone" ? LedgerKind::kGone : LedgerKind::kObj;
  if (!read_fields(fields, 1, entry, key) || !unescaped(fields[9], &entry->model)) return false;
  if (third) return read_items(fields, 10, entry);
  for (std::size_t at = 10; at < fields.size(); at += 3) {
    if (!read_file_item(fields, at, entry)) return false;
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
