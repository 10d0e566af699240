#pragma once
// How many processors this process may keep busy at once.

#include <cstddef>
#include <string_view>

namespace tavrel {

// The processors of the process's CPU affinity, no more than its cgroup's CPU
// quota allows (cpu.max, or cpu.cfs_quota_us under the older hierarchy, of
// its cgroup and every cgroup above it). At least 1.
std::size_t availableProcessors();

// The processors that a quota in the form of cpu.max, "quota period" in
// microseconds, allows: quota / period rounded up, at least 1. 0 for "max",
// a quota that is not positive, or text not in that form: no limit.
std::size_t quotaProcessors(std::string_view cpuMax);

}  // namespace tavrel
