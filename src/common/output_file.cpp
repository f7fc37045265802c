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

// A failure that every later file on the same file system would meet too.
bool is_file_system_fault(int code) {
#ifdef EDQUOT
  if (code == EDQUOT) return true;
#endif
  return code == ENOSPC || code == EROFS;
}

bool fail(OutputFile* out, std::string* err, int code, const std::string& why) {
  out->error = why;
  out->file_system_fault = is_file_system_fault(code);
  *err = why;
  return false;
}

bool cannot_create(OutputFile* out, std::string* err, int code) {
  return fail(out, err, code, "cannot create: " + reason(code));
}

// The file that writing `name` replaces: `name` itself, or the file its links
// lead to, since a link keeps leading where it led.
bool find_target(const fs::path& name, fs::path* target, FileLook* look, int* code) {
  *target = name;
  for (int hops = 0;; ++hops) {
    if (!g_file_calls.look(*target, false, look, code)) return false;
    if (look->kind != FileLook::kLink) return true;
    std::error_code ec;
    fs::path to = fs::read_symlink(long_path(*target), ec);
    if (ec || hops == 40) {
      *code = ec ? ec.value() : ELOOP;
      return false;
    }
    *target = to.is_absolute() ? to : target->parent_path() / to;
  }
}

bool same_identity(const FileLook& a, const FileLook& b) {
  return a.kind == FileLook::kRegular && b.kind == FileLook::kRegular && a.device == b.device &&
         a.inode == b.inode;
}

// The temporary file beside the target, with the permissions of the file it
// replaces.
bool create_temporary(OutputFile* out, const FileLook& look, int* code) {
  remove_leftovers(out->name.parent_path());
  out->temp = temporary_name(out->name);
  const FileLook* like = look.kind == FileLook::kRegular ? &look : nullptr;
  out->file = g_file_calls.create_new(out->temp, like, code);
  if (out->file == kNoFile && *code == EEXIST) {
    // No two jobs of this process write one file: a file under this name is
    // what an earlier process of the same number left.
    int ignored = 0;
    g_file_calls.remove(out->temp, &ignored);
    out->file = g_file_calls.create_new(out->temp, like, code);
  }
  if (out->file == kNoFile) out->temp.clear();
  return out->file != kNoFile;
}

// The folders of `name` that are missing, made.
bool make_folders(OutputFile* out, const fs::path& name, std::string* err) {
  std::error_code ec;
  fs::create_directories(long_path(name.parent_path()), ec);
  return !ec || fail(out, err, ec.default_error_condition().value(),
                     "cannot create its folder: " + ec.message());
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

bool open_output(OutputFile* out, const fs::path& name, const FileLook* model,
                 bool make_folders_needed, std::string* err) {
  if (name.empty()) return cannot_create(out, err, ENOENT);
  if (holds_nul(name)) {
    return fail(out, err, EINVAL, "cannot create: the name holds a NUL character");
  }
  const std::string unusable = unusable_name(name);
  if (!unusable.empty()) return fail(out, err, EINVAL, "cannot create: " + unusable);
  FileLook look;
  int code = 0;
  bool found = find_target(name, &out->name, &look, &code);
  // Most OBJ files of a tree go to folders that are there already: the
  // folders are made only when the name says they are missing.
  const bool may_make = make_folders_needed && name.has_parent_path();
  if (!found && code == ENOTDIR && may_make) {
    if (!make_folders(out, name, err)) return false;
    found = find_target(name, &out->name, &look, &code);
  }
  if (!found) return cannot_create(out, err, code);
  if (model && same_identity(look, *model)) {
    return fail(out, err, 0, "is the model file itself; refusing to overwrite it");
  }
  if (look.kind == FileLook::kFolder) return cannot_create(out, err, EISDIR);
  if (look.kind == FileLook::kOther) {
    out->file = g_file_calls.open_existing(out->name, &code);
    return out->file != kNoFile || cannot_create(out, err, code);
  }
  // A rename would replace a read-only file without a word.
  if (look.kind == FileLook::kRegular && g_file_calls.read_only(out->name)) {
    return cannot_create(out, err, EACCES);
  }
  if (create_temporary(out, look, &code)) return true;
  if (!may_make || (code != ENOENT && code != ENOTDIR)) {
    return cannot_create(out, err, code);
  }
  return make_folders(out, name, err) &&
         (create_temporary(out, look, &code) || cannot_create(out, err, code));
}

bool commit_output(OutputFile* out, std::string* err) {
  if (!out->error.empty()) {
    discard_output(out);
    *err = out->error;
    return false;
  }
  int value = 0;
  const bool closed = g_file_calls.close(out->file, &value);
  out->file = kNoFile;
  if (!closed) {
    discard_output(out);
    return fail(out, err, value, "close failed: " + reason(value));
  }
  if (out->temp.empty()) return true;
  if (!g_file_calls.rename(out->temp, out->name, &value)) {
    discard_output(out);
    return fail(out, err, value, "cannot put the new file in place: " + reason(value));
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
  int code = 0;
  const auto write = binary ? g_file_calls.write_bytes : g_file_calls.write;
  if (error.empty() && !write(file, text, static_cast<std::size_t>(n), &code)) {
    std::string ignored;
    fail(this, &ignored, code, "write failed: " + reason(code));
  }
  return error.empty() ? n : 0;
}

OutputFile::int_type OutputFile::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  char one = traits_type::to_char_type(c);
  return xsputn(&one, 1) == 1 ? c : traits_type::eof();
}

int OutputFile::sync() { return error.empty() ? 0 : -1; }
