#include "common/cpus.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_util.h"

namespace {

// A container's CPU quota, rounded up: no quota, or one the program cannot
// read, leaves the CPUs of the affinity.
TEST(UsableCpus, QuotaOfAControlGroup) {
  const struct {
    const char* cpu_max;
    unsigned cpus;
  } cases[] = {
      {"max 100000", 0},    {"200000 100000", 2}, {"150000 100000", 2},
      {"50000 100000", 1},  {"400000 50000", 8},  {"", 0},
      {"0 100000", 0},      {"100000 0", 0},      {"-1 100000", 0},
      {"100001 100000", 2},
  };
  for (const auto& c : cases) EXPECT_EQ(cpus_of_quota(c.cpu_max), c.cpus) << c.cpu_max;
  EXPECT_GE(usable_cpus(), 1u);
}

// A thread kept to one CPU has one to use: usable_cpus() follows the
// affinity, and MDX2OBJ_THREADS (1 to 64) overrides it for the pool alone.
TEST(UsableCpus, FollowTheAffinity) {
  const std::vector<int> all = allowed_cpus();
#ifdef __linux__
  ASSERT_FALSE(all.empty());
  ASSERT_TRUE(run_on({all.back()}));
  EXPECT_EQ(allowed_cpus(), std::vector<int>{all.back()});
  EXPECT_EQ(current_cpu(), all.back());
  EXPECT_EQ(usable_cpus(), 1u);
  EXPECT_TRUE(run_on(all));
  EXPECT_EQ(allowed_cpus(), all);
#endif
  const int usable = static_cast<int>(std::min(usable_cpus(), 8u));
  const struct {
    const char* set;
    int threads;
  } cases[] = {{"1", 1},      {"3", 3},        {"64", 64},  {"65", usable},
               {"0", usable}, {"two", usable}, {"", usable}};
  for (const auto& c : cases) {
    set_env("MDX2OBJ_THREADS", c.set);
    EXPECT_EQ(format_threads(), c.threads) << c.set;
  }
  set_env("MDX2OBJ_THREADS", nullptr);
}

// The smallest quota of a process's group and the groups above it (v2), and
// of a container's view of v1; lines of other hierarchies are not v2's.
TEST(UsableCpus, QuotaOfTheGroupsAbove) {
  TempDir dir;
  const std::string root = dir.file("fs");
  const struct {
    const char* groups;
    std::vector<std::pair<const char*, const char*>> files;
    unsigned cpus;
  } cases[] = {
      {"0::/\n", {}, 0},
      {"0::/a/b\n", {{"a/b/cpu.max", "max 100000"}, {"a/cpu.max", "250000 100000"}}, 3},
      {"0::/a/b\n", {{"a/b/cpu.max", "150000 100000"}, {"cpu.max", "400000 100000"}}, 2},
      {"0::/a\n", {{"cpu.max", "100000 100000"}}, 1},
      {"4:memory:/a\n0::/\n", {{"a/cpu.max", "100000 100000"}}, 0},
      {"1:cpu:/\n", {{"cpu/cpu.cfs_quota_us", "300000"}, {"cpu/cpu.cfs_period_us", "100000"}}, 3},
      {"1:cpu:/\n", {{"cpu/cpu.cfs_quota_us", "-1"}, {"cpu/cpu.cfs_period_us", "100000"}}, 0},
      {"0::/a\n",
       {{"a/cpu.max", "400000 100000"},
        {"cpu/cpu.cfs_quota_us", "200000"},
        {"cpu/cpu.cfs_period_us", "100000"}},
       2},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::filesystem::path case_root = root + std::to_string(++n);
    for (const auto& [name, text] : c.files) {
      std::filesystem::create_directories((case_root / name).parent_path());
      write_file(case_root / name, std::string(text) + "\n");
    }
    write_file(dir.file("cgroup"), c.groups);
    EXPECT_EQ(cgroup_cpus(dir.file("cgroup"), case_root.string()), c.cpus) << c.groups;
  }
}

}  // namespace
