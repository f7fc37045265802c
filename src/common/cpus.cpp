#include "common/cpus.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include "common/win32.h"
#elif defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sched.h>
#endif

namespace {

std::string first_line(const std::string& name) {
  std::ifstream in(name);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

unsigned cgroup_cpus(const std::string& groups_file, const std::string& root) {
  unsigned most = 0;
  auto take = [&most](unsigned cpus) {
    if (cpus > 0 && (most == 0 || cpus < most)) most = cpus;
  };
  std::ifstream groups(groups_file);
  std::string line;
  while (std::getline(groups, line)) {
    if (line.compare(0, 3, "0::") != 0) continue;
    std::string path = line.substr(3);
    for (;;) {
      take(cpus_of_quota(first_line(root + path + "/cpu.max")));
      const std::size_t slash = path.find_last_of('/');
      if (path.empty() || slash == std::string::npos) break;
      path.erase(slash);
    }
  }
  const std::string quota = first_line(root + "/cpu/cpu.cfs_quota_us");
  const std::string period = first_line(root + "/cpu/cpu.cfs_period_us");
  if (!quota.empty() && quota[0] != '-') take(cpus_of_quota(quota + " " + period));
  return most;
}

unsigned cpus_of_quota(const std::string& cpu_max) {
  std::istringstream in(cpu_max);
  unsigned long long quota = 0, period = 0;
  if (!(in >> quota >> period) || quota == 0 || period == 0) return 0;
  return static_cast<unsigned>((quota + period - 1) / period);
}

unsigned fewest_cpus(unsigned affinity, unsigned quota, unsigned machine) {
  unsigned cpus = affinity;
  if (quota > 0 && (cpus == 0 || quota < cpus)) cpus = quota;
  if (cpus == 0) cpus = machine;
  return cpus > 0 ? cpus : 1;
}

unsigned usable_cpus() {
  unsigned affinity = 0, quota = 0;
#ifdef _WIN32
  DWORD_PTR process = 0, system = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system)) {
    for (; process != 0; process &= process - 1) ++affinity;
  }
#elif defined(__linux__) && !defined(__EMSCRIPTEN__)
  affinity = static_cast<unsigned>(allowed_cpus().size());
  quota = cgroup_cpus("/proc/self/cgroup", "/sys/fs/cgroup");
#endif
  return fewest_cpus(affinity, quota, std::thread::hardware_concurrency());
}

int format_threads() {
  if (const char* set = std::getenv("MDX2OBJ_THREADS")) {
    const int n = std::atoi(set);
    if (n >= 1 && n <= 64) return n;
  }
  const unsigned cpus = usable_cpus();
  return cpus < 8 ? static_cast<int>(cpus) : 8;
}

bool pinning_wanted() {
  const char* set = std::getenv("MDX2OBJ_PIN");
  return !(set && std::string(set) == "0");
}

std::vector<int> allowed_cpus() {
  std::vector<int> cpus;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return cpus;
  for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
    if (CPU_ISSET(cpu, &set)) cpus.push_back(cpu);
  }
#endif
  return cpus;
}

int current_cpu() {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  return sched_getcpu();
#else
  return -1;
#endif
}

bool run_on(const std::vector<int>& cpus) {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  cpu_set_t set;
  CPU_ZERO(&set);
  for (int cpu : cpus) {
    if (cpu >= 0 && cpu < CPU_SETSIZE) CPU_SET(cpu, &set);
  }
  return CPU_COUNT(&set) > 0 && sched_setaffinity(0, sizeof set, &set) == 0;
#else
  (void)cpus;
  return false;
#endif
}
