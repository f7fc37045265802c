#include "common/output_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "common/interrupt.h"
#include "front/front.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

// One call of the file layer made to fail (or to bring an interruption) the
// `at`-th time it is made.
struct Fault {
  const char* call = "";
  int at = 0;
  int code = 0;
};
Fault fault;
int calls = 0;
const FileCalls real = real_file_calls();

bool strikes(const char* call, int* code) {
  if (std::strcmp(fault.call, call) != 0 || ++calls != fault.at) return false;
  *code = fault.code;
  return true;
}

FileCalls faulty_calls() {
  FileCalls c = real;
  c.create_new = [](const fs::path& name, const FileLook* like, int* code) {
    return strikes("create", code) ? kNoFile : real.create_new(name, like, code);
  };
  c.write = [](FileHandle file, const char* text, std::size_t n, int* code) {
    if (std::strcmp(fault.call, "interrupt") == 0 && ++calls == fault.at) set_interrupted(SIGINT);
    return !strikes("write", code) && real.write(file, text, n, code);
  };
  c.close = [](FileHandle file, int* code) {
    bool closed = real.close(file, code);
    return !strikes("close", code) && closed;
  };
  c.rename = [](const fs::path& from, const fs::path& to, int* code) {
    return !strikes("rename", code) && real.rename(from, to, code);
  };
  return c;
}

// The names in a folder but the record of what was converted.
std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  int code = 0;
  folder_names(folder, &names, &code);
  names.erase(std::remove(names.begin(), names.end(), ".mdx2obj-record"), names.end());
  std::sort(names.begin(), names.end());
  return names;
}

// Conversions in a scratch folder, from inside it, with the file layer's
// calls in the test's hands.
struct OutputFileFixture : ::testing::Test {
  TempDir dir;
  fs::path before = fs::current_path();
  // Under a block of OBJ text, and several blocks with a writer thread.
  std::string small = build_model({make_geoset(3, 1)});
  std::string large = build_model({make_geoset(30000, 30000)});

  void SetUp() override { fs::current_path(dir.path); }
  void TearDown() override {
    g_file_calls = real;
    set_interrupted(0);
    fs::current_path(before);
  }
  int convert(const std::vector<std::string>& args, std::string* diag) {
    std::ostringstream out, err;
    int status = run_command_line(args, out, err);
    *diag = err.str();
    const std::size_t time = diag->find(" s, ");
    if (time != std::string::npos) {
      diag->replace(diag->rfind('(', time) + 1, time - diag->rfind('(', time) - 1, "T");
    }
    return status;
  }
};

// Whatever fails, and an interruption, leave the OBJ that was there before as
// it was and no temporary file.
TEST_F(OutputFileFixture, FailuresKeepTheEarlierObj) {
  const struct {
    Fault fault;
    bool large;
    std::string diag;
  } cases[] = {
      {{"create", 1, EACCES}, false, "mdx2obj: a.obj: cannot create: " + reason(EACCES) + "\n"},
      {{"write", 1, ENOSPC}, false, "mdx2obj: a.obj: write failed: " + reason(ENOSPC) + "\n"},
      {{"write", 1, EIO}, true, "mdx2obj: a.obj: write failed: " + reason(EIO) + "\n"},
      {{"write", 4, ENOSPC}, true, "mdx2obj: a.obj: write failed: " + reason(ENOSPC) + "\n"},
      {{"close", 1, EIO}, false, "mdx2obj: a.obj: close failed: " + reason(EIO) + "\n"},
      {{"rename", 1, EXDEV},
       true,
       "mdx2obj: a.obj: cannot put the new file in place: " + reason(EXDEV) + "\n"},
      {{"interrupt", 2, 0},
       true,
       "1 model: 0 converted, 1 not started (T s, 0 bytes of OBJ)\nmdx2obj: interrupted\n"},
  };
  for (const auto& c : cases) {
    write_file("a.mdx", c.large ? large : small);
    write_file("a.obj", "old\n");
    fault = c.fault;
    calls = 0;
    g_file_calls = faulty_calls();
    std::string diag;
    EXPECT_EQ(convert({"-j1", "a.mdx"}, &diag), kExitFailure) << c.fault.call << c.fault.at;
    g_file_calls = real;
    set_interrupted(0);
    EXPECT_EQ(diag, c.diag);
    EXPECT_EQ(read_file("a.obj"), "old\n") << c.fault.call << c.fault.at;
    EXPECT_EQ(names_in("."), (std::vector<std::string>{"a.mdx", "a.obj"}));
  }
  // Without a fault the same runs replace it.
  std::string diag;
  EXPECT_EQ(convert({"-q", "a.mdx"}, &diag), kExitSuccess) << diag;
  EXPECT_EQ(read_file("a.obj"), text_file(expected_obj({make_geoset(30000, 30000)})));
}

#ifndef _WIN32
// A replaced OBJ keeps its permissions and a link keeps leading to it; a new
// one has those of any new file.
TEST_F(OutputFileFixture, ReplacedObjKeepsWhatItWas) {
  write_file("a.mdx", small);
  write_file("a.obj", "old\n");
  fs::permissions("a.obj", fs::perms(0640));
  fs::create_directory("real");
  write_file("real/target.obj", "old\n");
  fs::create_symlink("real/target.obj", "link.obj");
  fs::create_symlink("real/new.obj", "dangling.obj");
  write_file("link.mdx", small);
  write_file("dangling.mdx", small);
  std::string diag;
  EXPECT_EQ(convert({"-q", "a.mdx", "link.mdx", "dangling.mdx"}, &diag), kExitSuccess) << diag;
  const std::string obj = expected_obj({make_geoset(3, 1)});
  for (const char* name : {"a.obj", "real/target.obj", "real/new.obj"}) {
    EXPECT_EQ(read_file(name), obj) << name;
  }
  EXPECT_EQ(fs::status("a.obj").permissions(), fs::perms(0640));
  EXPECT_TRUE(fs::is_symlink("link.obj"));
  EXPECT_TRUE(fs::is_symlink("dangling.obj"));
  const mode_t mask = umask(0);
  umask(mask);
  write_file("b.mdx", small);
  EXPECT_EQ(convert({"-q", "b.mdx"}, &diag), kExitSuccess) << diag;
  EXPECT_EQ(fs::status("b.obj").permissions(), fs::perms(0666 & ~mask));
  EXPECT_EQ(names_in("real"), (std::vector<std::string>{"new.obj", "target.obj"}));
}
#endif

// A read-only OBJ is refused rather than replaced, where the test's user is
// one whom read-only stops (not root).
TEST_F(OutputFileFixture, ReadOnlyObjIsRefused) {
  write_file("a.mdx", small);
  write_file("a.obj", "old\n");
  fs::permissions("a.obj", fs::perms::owner_read);
  if (!real.read_only("a.obj")) GTEST_SKIP() << "read-only files are writable for this user";
  std::string diag;
  EXPECT_EQ(convert({"a.mdx"}, &diag), kExitFailure);
  EXPECT_EQ(diag, "mdx2obj: a.obj: cannot create: " + reason(EACCES) + "\n");
  fs::permissions("a.obj", fs::perms::owner_all);
  EXPECT_EQ(read_file("a.obj"), "old\n");
}

// A record of reruns that cannot be saved (a full disk) is told, with status
// 1; the journal that holds what the run did stays for the next run, which
// folds it. An interrupted run, which wrote no entry, leaves no journal.
TEST_F(OutputFileFixture, RecordThatCannotBeSavedIsTold) {
  write_file("a.mdx", small);
  // The OBJ's temporary file, the record's lock, the record's temporary file.
  fault = {"create", 3, ENOSPC};
  calls = 0;
  g_file_calls = faulty_calls();
  std::string diag;
  EXPECT_EQ(convert({"-u", "a.mdx"}, &diag), kExitFailure);
  g_file_calls = real;
  EXPECT_EQ(diag,
            "a.mdx -> a.obj: 1 geoset, 3 vertices, 1 triangle\n"
            "mdx2obj: .mdx2obj-record: not saved: cannot create: " +
                reason(ENOSPC) + "\n");
  const std::string journal =
      ".mdx2obj-record." + this_host() + "-" + std::to_string(this_process()) + ".journal";
  EXPECT_EQ(names_in("."), (std::vector<std::string>{journal, "a.mdx", "a.obj"}));
  EXPECT_EQ(convert({"-u", "a.mdx"}, &diag), kExitSuccess);
  EXPECT_EQ(diag, "");
  EXPECT_EQ(names_in("."), (std::vector<std::string>{"a.mdx", "a.obj"}));
  write_file("a.mdx", large);
  fault = {"interrupt", 2, 0};
  calls = 0;
  g_file_calls = faulty_calls();
  EXPECT_EQ(convert({"-u", "-j1", "a.mdx"}, &diag), kExitFailure);
  EXPECT_EQ(names_in("."), (std::vector<std::string>{"a.mdx", "a.obj"}));
}

// What a killed run of this machine left goes with the next run that writes
// there; another machine's, a live run's and files of other names stay.
TEST_F(OutputFileFixture, LeftoversOfKilledRunsGo) {
  const std::string mine = ".a.obj.mdx2obj-" + this_host() + "-";
  std::vector<std::string> stay = {".a.obj.mdx2obj-elsewhere-99999999.tmp", "a.mdx", "notes.tmp",
                                   ".notes.tmp",
                                   mine.substr(1) + "99999999.tmp"};  // not a hidden name
#ifndef _WIN32
  stay.push_back(mine + std::to_string(getppid()) + ".tmp");
#endif
  for (const std::string& name : stay) write_file(name, small);
  write_file(mine + "99999999.tmp", "left by a killed run");
  write_file(mine + "9999999999.tmp", "a number no process has");
  write_file(mine + std::to_string(this_process()) + ".tmp", "left by a run of this number");
  std::string diag;
  EXPECT_EQ(convert({"-q", "a.mdx"}, &diag), kExitSuccess) << diag;
  stay.push_back("a.obj");
  std::sort(stay.begin(), stay.end());
  EXPECT_EQ(names_in("."), stay);
}

// The temporary name never passes the longest file name a folder takes, and
// two long names keep two names.
TEST(OutputFileNames, TemporaryNames) {
  const std::string tail =
      ".mdx2obj-" + this_host() + "-" + std::to_string(this_process()) + ".tmp";
  EXPECT_EQ(temporary_name(fs::u8path("art/unit.obj")), fs::u8path("art/.unit.obj" + tail));
  const std::string a = std::string(250, 'a') + ".obj", b = std::string(250, 'a') + "b.obj";
  const std::string ta = temporary_name(fs::u8path(a)).filename().u8string();
  const std::string tb = temporary_name(fs::u8path(b)).filename().u8string();
  EXPECT_EQ(ta.size(), 255u);
  // The longest name kept whole makes a temporary name of 255 bytes.
  const std::string longest(255 - 1 - tail.size(), 'n');
  EXPECT_EQ(temporary_name(fs::u8path(longest)).filename().u8string(), "." + longest + tail);
  EXPECT_NE(ta, tb);
  EXPECT_EQ(ta.substr(ta.size() - tail.size()), tail);
  // A cut never splits a character.
  std::string accents;
  for (int i = 0; i < 100; ++i) accents += "\xc3\xa8";
  const std::string cut = temporary_name(fs::u8path(accents + ".obj")).filename().u8string();
  EXPECT_LE(cut.size(), 255u);
  EXPECT_EQ(cut.find("\xc3~"), std::string::npos);
}

#ifdef _WIN32
// Names that Windows would turn into a device are refused, as OBJ and as
// model; NUL alone still discards the OBJ; a name with trailing dots and
// spaces is the name Windows makes of it.
TEST_F(OutputFileFixture, WindowsDeviceNames) {
  write_file("a.mdx", small);
  const struct {
    std::string obj;
    int status;
    std::string diag;
  } cases[] = {
      {"aux.obj", kExitFailure,
       "mdx2obj: aux.obj: cannot create: AUX is a device on Windows, not a file\n"},
      {"sub/Con.obj", kExitFailure,
       "mdx2obj: sub\\Con.obj: cannot create: CON is a device on Windows, not a file\n"},
      {"com1.obj", kExitFailure,
       "mdx2obj: com1.obj: cannot create: COM1 is a device on Windows, not a file\n"},
      {"nul.obj", kExitFailure,
       "mdx2obj: nul.obj: cannot create: NUL is a device on Windows, not a file\n"},
      {"NUL", kExitSuccess, ""},
      {"comfort.obj", kExitSuccess, ""},
      // The last part loses its trailing dots and spaces, as Windows takes
      // the name, and a name that becomes the model's is the model's.
      {"x.obj. .", kExitSuccess, ""},
      {"a.mdx ", kExitFailure,
       "mdx2obj: a.mdx : is the model file itself; refusing to overwrite it\n"},
  };
  for (const auto& c : cases) {
    std::string diag;
    EXPECT_EQ(convert({"-q", "-o", c.obj, "a.mdx"}, &diag), c.status) << c.obj;
    EXPECT_EQ(diag, c.diag);
  }
  EXPECT_EQ(read_file("x.obj"), text_file(expected_obj({make_geoset(3, 1)})));
  write_file("con.mdx", small);
  std::string diag;
  EXPECT_EQ(convert({"con.mdx"}, &diag), kExitFailure);
  EXPECT_EQ(diag, "mdx2obj: con.mdx: cannot open: CON is a device on Windows, not a file\n");
  // The dialogue takes such a name as Windows does, and says nothing of it.
  std::istringstream answers("a.mdx\n out file.obj .\n");
  std::ostringstream console, errors;
  EXPECT_EQ(run_converter(answers, console, errors), kExitSuccess) << errors.str();
  EXPECT_EQ(errors.str(), "");
  EXPECT_EQ(read_file(" out file.obj"), text_file(expected_obj({make_geoset(3, 1)})));
}

// Explorer's properties show what the program is, and Windows lets it take
// paths of any length.
TEST(WindowsResources, VersionAndManifest) {
  // Under Wine the build's files lie on drive Z:.
  const std::wstring exe = fs::u8path(std::string("Z:") + MDX2OBJ_PATH).wstring();
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  auto resource = [&](LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), type);
    if (!found) return std::string();
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
    return std::string(bytes, SizeofResource(module, found));
  };
  EXPECT_NE(resource(MAKEINTRESOURCEW(24)).find("<longPathAware"), std::string::npos);
  EXPECT_NE(resource(MAKEINTRESOURCEW(14)), "");  // the icon
  const std::string version = resource(MAKEINTRESOURCEW(16));
  for (const char* text : {"ProductName", "FileDescription", "CompanyName", "FileVersion",
                           "ProductVersion", MDX2OBJ_VERSION}) {
    std::wstring wide(text, text + std::strlen(text));
    const std::string bytes(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    EXPECT_NE(version.find(bytes), std::string::npos) << text;
  }
  FreeLibrary(module);
}
#endif

}  // namespace
