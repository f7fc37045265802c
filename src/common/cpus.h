// How many threads this process can run at once.
#pragma once

#include <string>
#include <vector>

// The CPUs this process may run on: those of its CPU affinity, fewer where
// its control group's CPU quota allows fewer (as in a container), at least 1.
unsigned usable_cpus();

// The CPUs of an affinity of `affinity` CPUs under a quota of `quota` (0 for
// either: not known, none) on a machine of `machine`: the fewest known, at
// least 1.
unsigned fewest_cpus(unsigned affinity, unsigned quota, unsigned machine);

// The threads that format one large model's text: usable_cpus(), at most 8;
// MDX2OBJ_THREADS (1 to 64) sets another number, for tests and benchmarks.
int format_threads();

// Whether a pool keeps each thread on a CPU of its own: yes, but where
// MDX2OBJ_PIN is "0" (for benchmarks that weigh what the pinning brings).
bool pinning_wanted();

// The CPUs that a control group's "cpu.max" ("QUOTA PERIOD", or "max PERIOD"
// for none) allows, rounded up; 0 for no quota or a text it does not know.
unsigned cpus_of_quota(const std::string& cpu_max);

// The fewest CPUs that the quotas of a process's control groups allow: with
// `groups_file` as its /proc/self/cgroup and `root` where the cgroup file
// system is mounted, the cpu.max of its group and of each group above it
// (cgroup v2), and the cpu controller's quota at the root of a container's
// view (cgroup v1); 0 for no quota.
unsigned cgroup_cpus(const std::string& groups_file, const std::string& root);

// The CPUs the calling thread may run on, in order; empty where this system
// does not tell.
std::vector<int> allowed_cpus();

// The CPU the calling thread runs on, or -1 where that is not known.
int current_cpu();

// Lets the calling thread run on `cpus` alone; false where it cannot.
bool run_on(const std::vector<int>& cpus);
