#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "batch/json_text.h"
#include "front/front.h"
#include "test_util.h"

namespace {

namespace fs = std::filesystem;

TEST(JsonText, StringsAreValidJsonInUtf8) {
  const struct {
    std::string bytes, json;
  } cases[] = {
      {"art/unit.mdx", "\"art/unit.mdx\""},
      {"a \"b\" \\c", "\"a \\\"b\\\" \\\\c\""},
      {"tab\there\nnew\x7f", "\"tab\\u0009here\\u000anew\\u007f\""},
      {"mod\u00e8le \u6a21\u578b \U0001F600", "\"mod\u00e8le \u6a21\u578b \U0001F600\""},
      // Bytes that are no UTF-8, as Python's surrogateescape reads them back.
      {"bad\xff.mdx", "\"bad\\udcff.mdx\""},
      {"\xe6\xa8", "\"\\udce6\\udca8\""},
      {"\xc0\xaf\xed\xa0\x80", "\"\\udcc0\\udcaf\\udced\\udca0\\udc80\""},
  };
  for (const auto& c : cases) EXPECT_EQ(json_string(c.bytes), c.json) << c.bytes;
}

// A tree converted again and again, as after a patch: the runs in this
// process, each OBJ file's state read before and after.
struct RerunFixture : ::testing::Test {
  TempDir dir;
  fs::path before = fs::current_path();

  void SetUp() override {
    fs::current_path(dir.path);
    fs::create_directories("art/units");
    for (int i = 0; i < 6; ++i) {
      write_file("art/units/m" + std::to_string(i) + ".mdx",
                 build_model({make_geoset(3 + i, 1, float(i))}));
    }
  }
  void TearDown() override { fs::current_path(before); }

  // Runs the command line; returns its JSON lines' statuses by output name.
  std::map<std::string, std::string> run(std::vector<std::string> args, int status = 0) {
    args.insert(args.begin(), "--json");
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(args, out, err), status) << err.str();
    std::map<std::string, std::string> statuses;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) {
      const std::size_t obj = line.find("\"output\": \"");
      if (obj == std::string::npos) continue;
      const std::size_t at = line.find("\"status\": \"") + 11;
      std::string name = line.substr(obj + 11, line.find('"', obj + 11) - obj - 11);
      for (std::size_t slash = 0; (slash = name.find("\\\\", slash)) != std::string::npos;) {
        name.erase(slash++, 1);  // JSON's "\\" for Windows' separator
      }
      statuses[name] = line.substr(at, line.find('"', at) - at);
    }
    return statuses;
  }
  // What -u -n says of `paths`, under -d out or, with `beside`, beside them.
  std::string dry_run(const std::vector<std::string>& paths, bool beside = false) {
    std::vector<std::string> args = {"-u", "-n", "-r", "-d", "out"};
    if (beside) args.resize(3);
    args.insert(args.end(), paths.begin(), paths.end());
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line(args, out, err), 0) << err.str();
    return out.str();
  }
  // Every record in the scratch folder, and every journal left beside one.
  static std::vector<std::string> records() {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(".")) {
      const std::string name = entry.path().filename().string();
      if (name.rfind(".mdx2obj-record", 0) == 0) found.push_back(entry.path().generic_string());
    }
    std::sort(found.begin(), found.end());
    return found;
  }
};

// A plain run, a mistyped one and one of a list leave nothing but OBJ files;
// -u makes a record in the folder named, which a run of a folder below it
// or of one of its models finds, so that nothing that did not change
// converts again; a plain run keeps it current for the OBJ files it writes.
TEST_F(RerunFixture, TheNearestRecordHoldsTheTree) {
  fs::create_directories("art/units/deep");
  write_file("art/units/deep/m9.mdx", build_model({make_geoset(5, 2, 9.0f)}));
  write_file("list", "art/units/m1.mdx\nart/units/deep\n");
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"-qq", "-r", "--files-from", "list", "-d", "x"}, out, err), 0);
  EXPECT_EQ(run_command_line({"--json", "-r", "art", "nope.mdx"}, out, err), 1) << err.str();
  EXPECT_EQ(records(), std::vector<std::string>{});
  // A model that cannot be opened keeps its reason, in JSON too.
  EXPECT_NE(out.str().find(
                "{\"type\": \"model\", \"model\": \"nope.mdx\", \"obj\": \"nope.obj\", "
                "\"output\": \"nope.obj\", \"status\": \"failed\", \"error\": \"cannot open: " +
                reason(ENOENT) + "\"}"),
            std::string::npos)
      << out.str();
  EXPECT_EQ(run({"-u", "-r", "art"}).size(), 7u);
  EXPECT_EQ(records(), std::vector<std::string>{"./art/.mdx2obj-record"});
  for (const char* below : {"art/units", "art/units/deep", "art/units/m1.mdx", "art/"}) {
    EXPECT_EQ(dry_run({below}, true), "") << below;
  }
  std::map<std::string, std::string> statuses = run({"-u", "-r", "art/units"});
  EXPECT_EQ(statuses[made("art/units/deep/m9.obj")], "up-to-date");
  EXPECT_EQ(statuses.size(), 7u);
  write_file("art/units/m1.mdx", build_model({make_geoset(9, 3, 1.0f)}));
  EXPECT_EQ(dry_run({"art/units"}, true),
            made("art/units/m1.mdx") + " -> " + made("art/units/m1.obj") + ": changed\n");
  EXPECT_EQ(run_command_line({"-qq", "art/units/m1.mdx"}, out, err), 0);
  EXPECT_EQ(dry_run({"art"}, true), "");
  EXPECT_EQ(records(), std::vector<std::string>{"./art/.mdx2obj-record"});
  // Under -d, the record of the -d folder holds the OBJ files of every
  // folder below it.
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}).size(), 7u);
  EXPECT_EQ(dry_run({"art/units/deep", "-d", "out/units/deep"}, true), "");
}

// --delete mirrors a tree: the OBJ of a model that is gone goes, but not one
// edited by hand, one the ledger does not list, or one outside the run's
// share; an entry whose path leaves its ledger's folder is told once and its
// file stays.
TEST_F(RerunFixture, DeleteRemovesWhatOnlyAGoneModelLeft) {
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}).size(), 6u);
  // Part 1 of 2 holds m1, m3 and m5 (FNV-1a of "units/mN.mdx").
  for (int i : {1, 2, 3}) fs::remove("art/units/m" + std::to_string(i) + ".mdx");
  write_file("out/units/m3.obj", "edited\n");
  write_file("out/units/stray.obj", "not listed\n");
  write_file("victim.obj", "not the ledger's\n");
  std::ofstream(long_path("out/.mdx2obj-record"), std::ios::app)
      << "obj\t1\t1\t16\t1\tok\t\t" MDX2OBJ_VERSION "\t../victim.obj\t../art/units/lost.mdx\n"
      // A model gone whose OBJ is gone too: the ledger forgets it, but not in
      // a dry run, which writes nothing, not even a journal.
      << "obj\t1\t1\t1\t1\tok\t\t" MDX2OBJ_VERSION "\tunits/lost.obj\t../art/units/lost.mdx\n";
  const std::string told = "mdx2obj: " + made("out/.mdx2obj-record") +
                           ": not removing ../victim.obj: its path leaves the ledger's folder\n";
  std::ostringstream listed, why;
  EXPECT_EQ(run_command_line({"-u", "-n", "-r", "-d", "out", "--shard", "1/2", "--delete", "art"},
                             listed, why),
            1);
  EXPECT_EQ(listed.str(),
            made("art/units/m1.mdx") + " -> " + made("out/units/m1.obj") + ": gone\n");
  EXPECT_EQ(why.str(), told);
  EXPECT_TRUE(file_exists("out/units/m1.obj"));
  EXPECT_EQ(records(), std::vector<std::string>{"./out/.mdx2obj-record"});
  std::ostringstream out, err;
  EXPECT_EQ(
      run_command_line({"-u", "-r", "-d", "out", "--shard", "1/2", "--delete", "art"}, out, err),
      1);
  EXPECT_EQ(lines_of(err.str()),
            told + "mdx2obj: " + made("out/units/m1.obj") +
                ": removed, its model is gone\n"
                "1 model: 0 converted, 1 up to date, 1 removed (T s, 0 bytes of OBJ)\n");
  for (const char* stays : {"out/units/m2.obj", "out/units/m3.obj", "out/units/stray.obj",
                            "victim.obj", "out/units/m5.obj"}) {
    EXPECT_TRUE(file_exists(stays)) << stays;
  }
  EXPECT_FALSE(file_exists("out/units/m1.obj"));
  // Told once: the ledger forgot the entry; the removed OBJ's entry went too.
  std::ostringstream again, none;
  EXPECT_EQ(
      run_command_line({"-u", "-r", "-d", "out", "--shard", "1/2", "--delete", "art"}, again, none),
      0);
  EXPECT_EQ(lines_of(none.str()), "");
  const std::string ledger = read_file("out/.mdx2obj-record");
  EXPECT_EQ(ledger.find("victim"), std::string::npos);
  EXPECT_EQ(ledger.find("lost"), std::string::npos);
  EXPECT_EQ(ledger.find("units/m1.obj"), std::string::npos);
  EXPECT_NE(ledger.find("units/m2.obj"), std::string::npos);
}

// --delete acts only on the OBJ files of its own run: a run without it
// removes nothing; a run of a folder leaves the OBJ of a model gone from
// another folder; an entry whose path is absolute is told and its file
// stays, and so does an OBJ changed in size whose time is as the ledger
// holds it.
TEST_F(RerunFixture, DeleteActsOnlyOnTheRunsOwnObjFiles) {
  fs::create_directories("art/deep");
  write_file("art/deep/d.mdx", build_model({make_geoset(4, 2)}));
  EXPECT_EQ(run({"-u", "-r", "art"}).size(), 7u);
  fs::remove("art/units/m1.mdx");
  fs::remove("art/deep/d.mdx");
  EXPECT_EQ(run({"-u", "-r", "art"}).size(), 5u);
  EXPECT_TRUE(file_exists("art/units/m1.obj"));
  EXPECT_EQ(run({"-u", "-r", "--delete", "art/units"}).size(), 6u);  // and a removal
  EXPECT_FALSE(file_exists("art/units/m1.obj"));
  EXPECT_TRUE(file_exists("art/deep/d.obj"));
  // The OBJ of m0 (m2 changed by hand to the size and time of its entry's
  // other fields) under an absolute key; m2's OBJ edited, its time kept.
  fs::remove("art/units/m0.mdx");
  fs::remove("art/units/m2.mdx");
  const auto kept_time = fs::last_write_time("art/units/m2.obj");
  write_file("art/units/m2.obj", "edited by hand\n");
  fs::last_write_time("art/units/m2.obj", kept_time);
  const std::string absolute = (fs::current_path() / "art/units/m0.obj").generic_string();
  std::ofstream(long_path("art/.mdx2obj-record"), std::ios::app)
      << "obj\t1\t1\t" << fs::file_size("art/units/m0.obj") << "\t1\tok\t\t" MDX2OBJ_VERSION "\t"
      << absolute << "\tunits/m0.mdx\n";
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"-u", "-r", "--delete", "art"}, out, err), 1);
  EXPECT_NE(lines_of(err.str()).find(": not removing " + absolute + ": its path is absolute\n"),
            std::string::npos)
      << err.str();
  EXPECT_TRUE(file_exists("art/units/m2.obj"));
  EXPECT_FALSE(file_exists("art/units/m0.obj"));  // by its own entry
  EXPECT_FALSE(file_exists("art/deep/d.obj"));
}

// Records of the older forms are read, and convert their models once more
// (they do not know the textures' sources); then the third form is written.
TEST_F(RerunFixture, RecordsOfOlderFormsConvertOnceMore) {
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}).size(), 6u);
  const std::string third = read_file("out/.mdx2obj-record");
  std::string forms[2] = {"mdx2obj-record 1\n", "mdx2obj-record 2\n"};
  std::istringstream lines(third);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("3\tobj\t", 0) != 0) continue;
    const std::string second = line.substr(2);
    forms[1] += second + "\n";
    forms[0] += second.substr(4, second.rfind('\t') - 4) + "\n";
  }
  ASSERT_EQ(std::count(forms[0].begin(), forms[0].end(), '\n'), 7);
  for (const std::string& older : forms) {
    write_file("out/.mdx2obj-record", older);
    const std::string would = dry_run({"art"});
    EXPECT_EQ(std::count(would.begin(), would.end(), '\n'), 6) << would;
    EXPECT_NE(would.find(made("out/units/m2.obj") + ": version\n"), std::string::npos) << would;
    EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"})[made("out/units/m2.obj")], "converted");
    EXPECT_EQ(dry_run({"art"}), "");
    const std::string start =
        text_file("mdx2obj-record 3\n3\tobj\t" + std::to_string(fs::file_size("art/units/m0.mdx")));
    EXPECT_EQ(read_file("out/.mdx2obj-record").substr(0, start.size()), start);
  }
}

TEST_F(RerunFixture, OnlyWhatChangedConvertsAgain) {
  const std::string out = made("out/units/m");
  std::map<std::string, std::string> all;
  for (int i = 0; i < 6; ++i) all[out + std::to_string(i) + ".obj"] = "converted";
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}), all);
  const std::string first = read_file("out/units/m0.obj");
  std::map<std::string, std::string> none;
  for (int i = 0; i < 6; ++i) none[out + std::to_string(i) + ".obj"] = "up-to-date";
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}), none);
  EXPECT_EQ(dry_run({"art"}), "");
  // A dry run makes nothing, not even the -d folder.
  const std::string would = dry_run({"-d", "elsewhere", "art"}, true);
  EXPECT_EQ(std::count(would.begin(), would.end(), '\n'), 6) << would;
  EXPECT_FALSE(file_exists("elsewhere"));
  std::ostringstream json, err;
  EXPECT_EQ(run_command_line({"--json", "-u", "-n", "-r", "-d", "elsewhere", "art"}, json, err), 0);
  EXPECT_NE(json.str().find("\"up_to_date\": 0, \"failed\": 0, \"not_started\": 0, "
                            "\"would_convert\": 6,"),
            std::string::npos)
      << json.str();
  // A run killed while it wrote an OBJ again left its journal and its
  // temporary file: a run that finds every OBJ up to date removes the file, a
  // dry run leaves it. Each run a process of its own: this one has looked at
  // the folder already.
  const std::string left = "out/units/.m0.obj.mdx2obj-" + this_host() + "-99999999.tmp";
  write_file(left, "half an OBJ");
  write_file("out/.mdx2obj-record." + this_host() + "-99999999.journal", "");
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-qq -u -n -r -d out art"), 0);
  EXPECT_TRUE(file_exists(left));
  EXPECT_EQ(run_in(dir.path.string(), MDX2OBJ_PATH, "-qq -u -r -d out art"), 0);
  EXPECT_FALSE(file_exists(left));
  EXPECT_EQ(dry_run({"art"}), "");

  // One model edited, one restored from an older backup, one OBJ removed,
  // one OBJ edited by hand.
  write_file("art/units/m1.mdx", build_model({make_geoset(9, 2, 1.0f)}));
  fs::last_write_time("art/units/m2.mdx",
                      fs::last_write_time("art/units/m2.mdx") - std::chrono::hours(24));
  fs::remove("out/units/m3.obj");
  write_file("out/units/m4.obj", "edited\n");
  const std::string model = made("art/units/m");
  EXPECT_EQ(dry_run({"art"}), model + "1.mdx -> " + out + "1.obj: changed\n" + model + "2.mdx -> " +
                                  out + "2.obj: changed\n" + model + "3.mdx -> " + out +
                                  "3.obj: missing\n" + model + "4.mdx -> " + out +
                                  "4.obj: changed\n");
  std::map<std::string, std::string> some = none;
  for (int i : {1, 2, 3, 4}) some[out + std::to_string(i) + ".obj"] = "converted";
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}), some);
  EXPECT_EQ(read_file("out/units/m4.obj"),
            text_file(expected_obj({make_geoset(7, 1, 4.0f)})));  // the bytes of a plain run

  // Another option that shapes the OBJ, and a model that fails: tried again
  // by every -u run, so that the status stays 1.
  for (const char* option : {"--objects", "--up=y", "--scale=0.01"}) {
    EXPECT_NE(dry_run({"art", option}).find(": options\n"), std::string::npos) << option;
  }
  write_file("art/units/m5.mdx", "no geosets now");
  std::map<std::string, std::string> failing = none;
  failing[out + "5.obj"] = "failed";
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}, 1), failing);
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}, 1), failing);
  // Cut short, it leaves an OBJ of its whole records that nothing changes
  // after: only its failure brings it back.
  const std::string whole = build_model({make_geoset(8, 3)});
  write_file("art/units/m5.mdx", whole.substr(0, whole.find("PVTX") + 6));
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}, 1), failing);
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}, 1), failing);
  EXPECT_EQ(read_file("out/units/m0.obj"), first);

  // The options a run was given are remembered with what it wrote.
  write_file("art/units/m5.mdx", build_model({make_geoset(8, 5, 5.0f)}));
  std::map<std::string, std::string> objects = all;
  EXPECT_EQ(run({"-u", "--objects", "-r", "-d", "out", "art"}), objects);
  EXPECT_EQ(dry_run({"--objects", "art"}), "");

  // A damaged record means converting again, never a failure.
  write_file("out/.mdx2obj-record", "mdx2obj-record 1\nnot\ta\tline\n\xff\n");
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art/units/m0.mdx"}),
            (std::map<std::string, std::string>{{made("out/m0.obj"), "converted"}}));
}

// Lists of models and parts of a run: a list with NUL separators keeps its
// paths under -d; four shards together are exactly the whole run.
TEST_F(RerunFixture, ListsAndShards) {
  write_file("list", std::string("\xEF\xBB\xBF"
                                 "art/units/m1.mdx\0art/units/m4.mdx\0",
                                 37));
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"-qq", "-0", "--files-from", "list", "-d", "listed"}, out, err), 0)
      << err.str();
  EXPECT_TRUE(file_exists("listed/art/units/m1.obj"));
  EXPECT_TRUE(file_exists("listed/art/units/m4.obj"));
  // A path that leaves the folder keeps its file name only.
  write_file("list", (dir.path / "art/units/m2.mdx").string() + "\nart/../art/units/m3.mdx\r\n\n");
  EXPECT_EQ(run_command_line({"-qq", "--files-from", "list", "-d", "outside"}, out, err), 0)
      << err.str();
  EXPECT_TRUE(file_exists("outside/m2.obj"));
  EXPECT_TRUE(file_exists("outside/m3.obj"));
  // A listed folder keeps its path under -d as a listed file does, or its
  // last part where its path leaves the folder; and so does its shard path.
  write_file("list", "art/units\n" + (dir.path / "art" / "units").string() + "\n");
  EXPECT_EQ(run_command_line({"-qq", "-r", "--files-from", "list", "-d", "folders"}, out, err), 0)
      << err.str();
  EXPECT_TRUE(file_exists("folders/art/units/m5.obj"));
  EXPECT_TRUE(file_exists("folders/units/m0.obj"));
  EXPECT_EQ(std::distance(fs::recursive_directory_iterator("folders"), {}), 15);
  write_file("empty", "");
  EXPECT_EQ(run_command_line({"--files-from", "empty"}, out, err), 0);
  EXPECT_EQ(run_command_line({"--files-from", "missing"}, out, err), kExitUsage);

  std::map<std::string, std::string> whole = run({"-r", "-d", "whole", "art"}), parts;
  for (int k = 1; k <= 4; ++k) {
    for (const auto& part :
         run({"-r", "-d", "whole", "--shard", std::to_string(k) + "/4", "art"})) {
      EXPECT_TRUE(parts.emplace(part).second) << part.first << " in two parts";
      // The split every machine makes: FNV-1a (64 bits) of the path under the
      // folder, "/" between folders, modulo the parts.
      const std::string file = part.first.substr(part.first.size() - 6, 2);  // "m0" of m0.obj
      std::uint64_t hash = 14695981039346656037ull;
      for (char c : "units/" + file + ".mdx") {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
      }
      EXPECT_EQ(hash % 4, static_cast<std::uint64_t>(k - 1)) << part.first;
    }
  }
  EXPECT_EQ(parts, whole);
}

}  // namespace

#ifndef _WIN32
namespace {

// Keys of any bytes, and what killed runs left behind: a journal of a run
// that is gone is read and then folded into the record by the next run; a
// live run's journal and lock are left alone, a dead one's lock taken over.
TEST_F(RerunFixture, RecordOfOddNamesAndKilledRuns) {
  write_file("art/units/odd%41\tname\n\r%.mdx", build_model({make_geoset(3, 1)}));
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}).size(), 7u);
  EXPECT_EQ(dry_run({"art"}), "");
  const std::string journal = "out/.mdx2obj-record." + this_host() + "-99999999.journal";
  const std::string live =
      "out/.mdx2obj-record." + this_host() + "-" + std::to_string(getppid()) + ".journal";
  const std::string lock = "out/.mdx2obj-record.lock";
  auto rerun = [&] {
    std::ostringstream out, err;
    EXPECT_EQ(run_command_line({"-qq", "-u", "-r", "-d", "out", "art"}, out, err), 0) << err.str();
  };
  const std::string elsewhere = "out/.mdx2obj-record.elsewhere-99999999.journal";
  fs::rename("out/.mdx2obj-record", journal);
  EXPECT_EQ(dry_run({"art"}), "");  // read from the journal
  write_file(live, "");
  write_file(elsewhere, "");
  rerun();
  EXPECT_FALSE(file_exists(journal));
  EXPECT_TRUE(file_exists(live));
  EXPECT_TRUE(file_exists(elsewhere));  // another machine's, whose processes are not ours to judge
  EXPECT_EQ(dry_run({"art"}), "");      // read from the record it was folded into
  write_file(lock, this_host() + " 99999999");
  fs::rename("out/.mdx2obj-record", journal);
  rerun();
  EXPECT_FALSE(file_exists(journal));
  EXPECT_FALSE(file_exists(lock));
  write_file(lock, this_host() + " " + std::to_string(getppid()));
  fs::rename("out/.mdx2obj-record", journal);
  rerun();
  EXPECT_TRUE(file_exists(journal));  // left to a later run
  EXPECT_TRUE(file_exists(lock));
  EXPECT_EQ(dry_run({"art"}), "");
}

// The recipe of the README under GNU parallel: four parts at once into one
// output root give the OBJ files of one whole run, and one record of them.
TEST_F(RerunFixture, ShardsUnderGnuParallel) {
  if (std::system("parallel --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "needs GNU parallel";
  EXPECT_EQ(run_in(dir.path.string(), "parallel",
                   std::string("--will-cite \"") + MDX2OBJ_PATH +
                       "\" -qq -u -r -d out --shard {}/4 art ::: 1 2 3 4 > /dev/null 2>&1"),
            0);
  std::ostringstream out, err;
  EXPECT_EQ(run_command_line({"-qq", "-r", "-d", "whole", "art"}, out, err), 0);
  for (int i = 0; i < 6; ++i) {
    const std::string name = "/units/m" + std::to_string(i) + ".obj";
    EXPECT_EQ(read_file("out" + name), read_file("whole" + name)) << name;
  }
  std::map<std::string, std::string> none;
  for (int i = 0; i < 6; ++i) none["out/units/m" + std::to_string(i) + ".obj"] = "up-to-date";
  EXPECT_EQ(run({"-u", "-r", "-d", "out", "art"}), none);
}

}  // namespace
#endif
