#include "batch/record.h"

#include <algorithm>
#include <cerrno>
#include <sstream>
#include <vector>

#include "common/file_calls.h"
#include "common/output_file.h"

namespace fs = std::filesystem;

namespace {

constexpr char kRecord[] = ".mdx2obj-record";
constexpr char kHeader[] = "mdx2obj-record 1";

std::string journal_prefix() { return std::string(kRecord) + "." + this_host() + "-"; }

std::string journal_name() {
  return journal_prefix() + std::to_string(this_process()) + ".journal";
}

// A key in one field of a line: "%", tab, CR and LF as %25, %09, %0D, %0A.
std::string escaped(const std::string& key) {
  std::string out;
  for (char c : key) {
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

bool unescaped(const std::string& field, std::string* key) {
  key->clear();
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '%') {
      *key += field[i];
      continue;
    }
    if (i + 2 >= field.size()) return false;
    *key += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
    i += 2;
  }
  return true;
}

std::string entry_line(const std::string& key, const RecordEntry& e) {
  std::ostringstream line;
  line << e.model_size << '\t' << e.model_modified << '\t' << e.obj_size << '\t' << e.obj_modified
       << '\t' << (e.failed ? "failed" : "ok") << '\t' << e.options << '\t' << e.version << '\t'
       << escaped(key) << '\n';
  return line.str();
}

// Lines that are not whole entries are passed over: a damaged record only
// means that its models convert again.
void read_entries(const fs::path& name, std::unordered_map<std::string, RecordEntry>* entries) {
  std::ifstream in(long_path(name), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    // The record is written as text: on Windows its lines end in CR LF.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() != 8 || (fields[4] != "ok" && fields[4] != "failed")) continue;
    RecordEntry e;
    std::string key;
    try {
      e.model_size = std::stoull(fields[0]);
      e.model_modified = std::stoll(fields[1]);
      e.obj_size = std::stoull(fields[2]);
      e.obj_modified = std::stoll(fields[3]);
      if (!unescaped(fields[7], &key)) continue;
    } catch (const std::exception&) {
      continue;
    }
    e.failed = fields[4] == "failed";
    e.options = fields[5];
    e.version = fields[6];
    (*entries)[key] = e;
  }
}

std::vector<std::string> journals(const fs::path& root) {
  std::vector<std::string> names, found;
  int code = 0;
  folder_names(root, &names, &code);
  const std::string prefix = std::string(kRecord) + ".";
  for (const std::string& name : names) {
    if (name.rfind(prefix, 0) == 0 && name.size() > 8 &&
        name.compare(name.size() - 8, 8, ".journal") == 0) {
      found.push_back(name);
    }
  }
  return found;
}

// The process number in the name of a journal of this machine; empty for
// another machine's.
std::string journal_process(const std::string& name) {
  const std::string prefix = journal_prefix();
  if (name.rfind(prefix, 0) != 0) return "";
  return name.substr(prefix.size(), name.size() - 8 - prefix.size());
}

// A journal that a fold takes in: this process's, or one of a run of this
// machine that is gone.
bool foldable_journal(const std::string& name) {
  const std::string pid = journal_process(name);
  return pid == std::to_string(this_process()) || process_ended(pid);
}

void open_journal_locked(Record* record) {
  if (!record->journal.is_open()) {
    record->journal.open(long_path(record->root / fs::u8path(journal_name())),
                         std::ios::binary | std::ios::app);
  }
}

}  // namespace

void read_record(Record* record) {
  read_entries(record->root / kRecord, &record->entries);
  for (const std::string& name : journals(record->root)) {
    read_entries(record->root / fs::u8path(name), &record->entries);
    // Before this run has written one, any such journal is a killed run's.
    record->killed_run = record->killed_run || foldable_journal(name);
  }
}

void open_journal(Record* record) {
  std::lock_guard<std::mutex> lock(record->mutex);
  open_journal_locked(record);
}

bool journal_entry(Record* record, const std::string& key, const RecordEntry& entry) {
  std::lock_guard<std::mutex> lock(record->mutex);
  open_journal_locked(record);
  record->journal << entry_line(key, entry) << std::flush;
  return record->journal.good();
}

std::vector<std::string> foldable(const fs::path& root) {
  std::vector<std::string> names;
  for (const std::string& name : journals(root)) {
    if (foldable_journal(name)) names.push_back(name);
  }
  return names;
}

void fold_record(Record* record) {
  std::lock_guard<std::mutex> lock(record->mutex);
  if (record->journal.is_open()) record->journal.close();
  const fs::path& root = record->root;
  if (foldable(root).empty()) return;
  // One folder at a time: a second process that finds the lock leaves the
  // journals to a later run. A lock whose run of this machine is gone is
  // taken over.
  const fs::path lock_name = root / (std::string(kRecord) + ".lock");
  const std::string owner = this_host() + " " + std::to_string(this_process());
  int code = 0;
  FileHandle held = g_file_calls.create_new(lock_name, nullptr, &code);
  if (held == kNoFile && code == EEXIST) {
    std::ifstream in(long_path(lock_name));
    std::string host, pid;
    if (in >> host >> pid && host == this_host() && process_ended(pid)) {
      in.close();
      g_file_calls.remove(lock_name, &code);
      held = g_file_calls.create_new(lock_name, nullptr, &code);
    }
  }
  if (held == kNoFile) return;
  g_file_calls.write(held, owner.data(), owner.size(), &code);
  g_file_calls.close(held, &code);
  std::unordered_map<std::string, RecordEntry> entries;
  read_entries(root / kRecord, &entries);
  // Listed again under the lock: another run may have folded some meanwhile.
  const std::vector<std::string> folded = foldable(root);
  for (const std::string& name : folded) read_entries(root / fs::u8path(name), &entries);
  // In the order of the keys, so that the same run writes the same record.
  std::vector<const std::pair<const std::string, RecordEntry>*> sorted;
  for (const auto& entry : entries) sorted.push_back(&entry);
  std::sort(sorted.begin(), sorted.end(), [](auto* a, auto* b) { return a->first < b->first; });
  std::string text = std::string(kHeader) + "\n";
  for (const auto* entry : sorted) text += entry_line(entry->first, entry->second);
  const fs::path temp = temporary_name(root / kRecord);
  g_file_calls.remove(temp, &code);
  FileHandle file = g_file_calls.create_new(temp, nullptr, &code);
  bool written = file != kNoFile && g_file_calls.write(file, text.data(), text.size(), &code);
  if (file != kNoFile) written = g_file_calls.close(file, &code) && written;
  if (written && g_file_calls.rename(temp, root / kRecord, &code)) {
    for (const std::string& name : folded) g_file_calls.remove(root / fs::u8path(name), &code);
  } else {
    g_file_calls.remove(temp, &code);
  }
  g_file_calls.remove(lock_name, &code);
}

std::string stale_reason(const RecordEntry* entry, std::uint64_t model_size,
                         std::int64_t model_modified, bool obj_exists, std::uint64_t obj_size,
                         std::int64_t obj_modified, const std::string& options) {
  if (!obj_exists) return "missing";
  if (!entry) return "changed";
  if (entry->failed) return "failed";
  if (entry->version != MDX2OBJ_VERSION) return "version";
  if (entry->options != options) return "options";
  if (entry->model_size != model_size || entry->model_modified != model_modified ||
      entry->obj_size != obj_size || entry->obj_modified != obj_modified) {
    return "changed";
  }
  return "";
}
