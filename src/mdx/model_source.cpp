#include "mdx/model_source.h"

#include <cerrno>
#include <cstring>

#include "common/file_calls.h"
#include "common/file_identity.h"
#include "common/interrupt.h"

bool open_model_source(ModelSource* src, const std::filesystem::path& name, const ModelLook* seen,
                       std::string* err) {
  if (holds_nul(name)) {
    *err = "cannot open: the name holds a NUL character";
    return false;
  }
  // On Windows "con.mdx" is the console, whatever the folder.
  const std::string device = unusable_name(name);
  if (!device.empty()) {
    *err = "cannot open: " + device;
    return false;
  }
  // The walk needs a file whose size is known and that it can seek in.
  ModelLook look;
  if (seen) {
    look = *seen;
  } else if (!g_file_calls.look(name, true, &look.file, &look.error)) {
    look.error = look.error != 0 ? look.error : EIO;
  }
  if (look.error != 0) {
    *err = "cannot open: " + reason(look.error);
    return false;
  }
  if (look.file.kind != FileLook::kRegular) {
    *err = look.file.kind == FileLook::kMissing  ? "cannot open: " + reason(ENOENT)
           : look.file.kind == FileLook::kFolder ? "cannot open: Is a directory"
                                                 : "cannot open: not a regular file";
    return false;
  }
  errno = 0;
  if (!src->file.open(long_path(name), std::ios::in | std::ios::binary)) {
    *err = errno_text("cannot open");
    return false;
  }
  attach_model_source(src, &src->file);
  src->look = look.file;
  return true;
}

void attach_model_source(ModelSource* src, std::streambuf* in, std::size_t window_size) {
  if (window_size < 4) window_size = 4;
  src->in = in;
  // A window lent from an earlier model is used as it is: zeroing it again
  // would only cost time.
  src->window.resize(window_size);
  src->window_start = 0;
  src->window_len = 0;
  std::streamoff end = in->pubseekoff(0, std::ios::end, std::ios::in);
  if (end < 0) {
    src->read_failed = true;
  } else {
    src->size = static_cast<std::uint64_t>(end);
  }
}

void close_model_source(ModelSource& src) {
  if (src.file.is_open()) src.file.close();
}

namespace {

// Refills the window at `offset`; false when the stream gives fewer bytes than
// the file size promised.
bool fill_window(ModelSource& src, std::uint64_t offset) {
  // Each window is a moment to notice an interruption, even in a search.
  if (interrupted()) {
    src.read_failed = true;
    return false;
  }
  src.window_start = offset;
  src.window_len = 0;
  if (offset >= src.size) return true;
  std::uint64_t left = src.size - offset;
  std::size_t want = left < src.window.size() ? static_cast<std::size_t>(left) : src.window.size();
  if (src.read_ahead > 0 && want > src.read_ahead) want = src.read_ahead;
  std::streamoff target = static_cast<std::streamoff>(offset);
  if (src.in->pubseekpos(target, std::ios::in) != target) {
    src.read_failed = true;
    return false;
  }
  std::streamsize got = src.in->sgetn(src.window.data(), static_cast<std::streamsize>(want));
  src.window_len = got > 0 ? static_cast<std::size_t>(got) : 0;
  if (src.reached && offset + src.window_len > src.reached->load(std::memory_order_relaxed)) {
    src.reached->store(offset + src.window_len, std::memory_order_relaxed);
  }
  if (src.window_len < want) {
    // The file is shorter than it was when the walk began, or unreadable.
    src.read_failed = true;
    return false;
  }
  return true;
}

}  // namespace

bool read_bytes(ModelSource& src, void* dst, std::size_t n) {
  if (src.pos > src.size || src.size - src.pos < n) return false;
  char* out = static_cast<char*>(dst);
  std::uint64_t at = src.pos;
  while (n > 0) {
    if (at < src.window_start || at - src.window_start >= src.window_len) {
      if (!fill_window(src, at)) return false;
    }
    std::size_t offset = static_cast<std::size_t>(at - src.window_start);
    std::size_t take = src.window_len - offset < n ? src.window_len - offset : n;
    std::memcpy(out, src.window.data() + offset, take);
    out += take;
    at += take;
    n -= take;
  }
  src.pos = at;
  return true;
}

bool find_tag(ModelSource& src, Tag tag, std::uint64_t from, std::uint64_t* at) {
  if (src.size < 4) return false;
  const std::uint64_t last = src.size - 4;
  std::uint64_t offset = from;
  while (offset <= last) {
    if (offset < src.window_start || offset - src.window_start + 4 > src.window_len) {
      if (!fill_window(src, offset)) return false;
    }
    // Every offset whose four bytes lie in the window; the window never
    // reaches past the end of the file.
    const char* base = src.window.data();
    const char* p = base + (offset - src.window_start);
    const char* stop = base + src.window_len - 3;
    while (p < stop) {
      p = static_cast<const char*>(
          std::memchr(p, tag.bytes[0], static_cast<std::size_t>(stop - p)));
      if (p == nullptr) break;
      if (std::memcmp(p, tag.bytes, 4) == 0) {
        *at = src.window_start + static_cast<std::uint64_t>(p - base);
        src.pos = *at + 4;
        return true;
      }
      ++p;
    }
    offset = src.window_start + (src.window_len - 3);
  }
  return false;
}
