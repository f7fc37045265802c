#include "common/output_file.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>

#include "common/file_identity.h"

namespace fs = std::filesystem;

namespace {

std::string leftover_mark() { return ".mdx2obj-" + this_host() + "-"; }

std::mutex cleaned_mutex;
std::set<fs::path::string_type> cleaned;  // folders already rid of leftovers

// Removes what runs of this machine that were killed left in `folder`, once
// per folder. Other machines' files are left alone, and so are this
// process's own.
void remove_leftovers(const fs::path& folder) {
  std::lock_guard<std::mutex> lock(cleaned_mutex);
  if (!cleaned.insert(name_key(folder.empty() ? fs::path(".") : folder)).second) return;
  std::vector<std::string> names;
  int code = 0;
  if (!folder_names(folder, &names, &code)) return;
  const std::string mark = leftover_mark();
  for (const std::string& name : names) {
    const std::size_t at = name.rfind(mark);
    if (name[0] != '.' || at == std::string::npos || name.size() < at + mark.size() + 5 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0) {
      continue;
    }
    const std::string pid = name.substr(at + mark.size(), name.size() - 4 - at - mark.size());
    if (pid != std::to_string(this_process()) && process_ended(pid)) {
      g_file_calls.remove(folder / fs::u8path(name), &code);
    }
  }
}

bool fail(std::string* err, int* code, int value, const std::string& why) {
  *code = value;
  *err = why;
  return false;
}

bool cannot_create(std::string* err, int* code, int value) {
  return fail(err, code, value, "cannot create: " + reason(value));
}

}  // namespace

void remove_leftovers_beside(const fs::path& name) { remove_leftovers(name.parent_path()); }

fs::path temporary_name(const fs::path& name) {
  std::string file = name.filename().u8string();
  const std::string tail = leftover_mark() + std::to_string(this_process()) + ".tmp";
  // A file name has at most 255 bytes: a long one is cut, and a hash of the
  // whole keeps two such names apart.
  if (file.size() + tail.size() + 1 > 255) {
    const std::uint64_t hash = fnv1a(file);
    std::size_t keep = 255 - tail.size() - 1 - 17;
    while (keep > 0 && (static_cast<unsigned char>(file[keep]) & 0xC0) == 0x80) --keep;
    char hex[18];
    std::snprintf(hex, sizeof hex, "~%016llx", static_cast<unsigned long long>(hash));
    file = file.substr(0, keep) + hex;
  }
  return name.parent_path() / fs::u8path("." + file + tail);
}

bool open_output(OutputFile* out, const fs::path& name, std::string* err, int* code) {
  if (name.empty()) return cannot_create(err, code, ENOENT);
  if (holds_nul(name)) {
    return fail(err, code, EINVAL, "cannot create: the name holds a NUL character");
  }
  const std::string unusable = unusable_name(name);
  if (!unusable.empty()) return fail(err, code, EINVAL, "cannot create: " + unusable);
  // A link keeps leading where it led: the file it names is the one replaced.
  fs::path target = name;
  FileLook look;
  int value = 0;
  for (int hops = 0;; ++hops) {
    if (!g_file_calls.look(target, false, &look, &value)) return cannot_create(err, code, value);
    if (look.kind != FileLook::kLink) break;
    std::error_code ec;
    fs::path to = fs::read_symlink(long_path(target), ec);
    if (ec || hops == 40) return cannot_create(err, code, ec ? ec.value() : ELOOP);
    target = to.is_absolute() ? to : target.parent_path() / to;
  }
  out->name = target;
  if (look.kind == FileLook::kFolder) return cannot_create(err, code, EISDIR);
  if (look.kind == FileLook::kOther) {
    out->file = g_file_calls.open_existing(target, &value);
    return out->file != kNoFile || cannot_create(err, code, value);
  }
  // A rename would replace a read-only file without a word.
  if (look.kind == FileLook::kRegular && g_file_calls.read_only(target))
    return cannot_create(err, code, EACCES);
  remove_leftovers(target.parent_path());
  out->temp = temporary_name(target);
  out->file =
      g_file_calls.create_new(out->temp, look.kind == FileLook::kRegular ? &look : nullptr, &value);
  if (out->file == kNoFile && value == EEXIST) {
    // No two jobs of this process write one OBJ: a file under this name is
    // what an earlier process of the same number left.
    g_file_calls.remove(out->temp, &value);
    out->file = g_file_calls.create_new(out->temp,
                                        look.kind == FileLook::kRegular ? &look : nullptr, &value);
  }
  if (out->file == kNoFile) {
    out->temp.clear();
    return cannot_create(err, code, value);
  }
  return true;
}

bool commit_output(OutputFile* out, std::string* err, int* code) {
  int value = 0;
  const bool closed = g_file_calls.close(out->file, &value);
  out->file = kNoFile;
  if (!closed) {
    discard_output(out);
    return fail(err, code, value, "close failed: " + reason(value));
  }
  if (out->temp.empty()) return true;
  if (!g_file_calls.rename(out->temp, out->name, &value)) {
    discard_output(out);
    return fail(err, code, value, "cannot put the new file in place: " + reason(value));
  }
  out->temp.clear();
  return true;
}

void discard_output(OutputFile* out) {
  int ignored = 0;
  if (out->file != kNoFile) g_file_calls.close(out->file, &ignored);
  out->file = kNoFile;
  if (!out->temp.empty()) g_file_calls.remove(out->temp, &ignored);
  out->temp.clear();
}

OutputFile::~OutputFile() { discard_output(this); }

std::streamsize OutputFile::xsputn(const char* text, std::streamsize n) {
  int value = 0;
  if (code == 0 && !g_file_calls.write(file, text, static_cast<std::size_t>(n), &value)) {
    code = value;
    error = "write failed: " + reason(value);
  }
  // The sink reads the reason of a short write from errno, in this thread.
  if (code != 0) errno = code;
  return code == 0 ? n : 0;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char one = traits_type::to_char_type(c);
  return xsputn(&one, 1) == 1 ? c : traits_type::eof();
}

int OutputFile::sync() {
  if (code != 0) errno = code;
  return code == 0 ? 0 : -1;
}

bool is_file_system_fault(int code) {
#ifdef EDQUOT
  if (code == EDQUOT) return true;
#endif
  return code == ENOSPC || code == EROFS;
}
