#include "common/processors.hpp"

#include <charconv>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace tavrel {
namespace {

// The first line of a small system file; empty when it cannot be read.
std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The smaller of two limits, 0 standing for none.
std::size_t tighter(std::size_t a, std::size_t b) { return a == 0 ? b : (b == 0 || a < b ? a : b); }

// The tightest quota along the cgroup `path` (as /proc/self/cgroup names it)
// and its ancestors under `mount`; `read` gives a cgroup folder's quota.
template <class ReadQuota>
std::size_t tightestQuota(const std::string& mount, std::string path, ReadQuota read) {
    std::size_t tightest = 0;
    for (;;) {
        tightest = tighter(tightest, read(mount + path));
        if (path.empty() || path == "/") break;
        const std::size_t slash = path.find_last_of('/');
        path.resize(slash == std::string::npos ? 0 : slash);
    }
    return tightest;
}

bool namesCpuController(std::string_view controllers) {
    while (!controllers.empty()) {
        const std::size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "cpu") return true;
        if (comma == std::string_view::npos) break;
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

// The CPU quota of this process's cgroups, 0 without one.
std::size_t cgroupQuota() {
    std::ifstream membership("/proc/self/cgroup");
    std::size_t tightest = 0;
    // Lines "id:controllers:path"; the unified hierarchy has id 0 and no
    // controllers.
    for (std::string line; std::getline(membership, line);) {
        const std::size_t first = line.find(':');
        const std::size_t second = first == std::string::npos ? first : line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string_view controllers = std::string_view(line).substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (controllers.empty()) {
            tightest = tighter(tightest, tightestQuota("/sys/fs/cgroup", path, [](const std::string& dir) {
                return quotaProcessors(firstLine(dir + "/cpu.max"));
            }));
        } else if (namesCpuController(controllers)) {
            for (const char* mount : {"/sys/fs/cgroup/cpu", "/sys/fs/cgroup/cpu,cpuacct"}) {
                tightest = tighter(tightest, tightestQuota(mount, path, [](const std::string& dir) {
                    return quotaProcessors(firstLine(dir + "/cpu.cfs_quota_us") + " " +
                                           firstLine(dir + "/cpu.cfs_period_us"));
                }));
            }
        }
    }
    return tightest;
}

std::size_t affinityProcessors() {
#if defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return static_cast<std::size_t>(count);
    }
#endif
    return std::thread::hardware_concurrency();
}

}  // namespace

std::size_t quotaProcessors(std::string_view cpuMax) {
    std::istringstream fields{std::string(cpuMax)};
    std::string quotaText, periodText;
    if (!(fields >> quotaText >> periodText)) return 0;
    long long quota = 0, period = 0;
    const auto parse = [](const std::string& text, long long& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc() && end == text.data() + text.size();
    };
    if (!parse(quotaText, quota) || !parse(periodText, period) || quota <= 0 || period <= 0) return 0;
    // Rounded up without forming quota + period, which can overflow.
    return static_cast<std::size_t>(quota / period + (quota % period != 0 ? 1 : 0));
}

std::size_t availableProcessors() {
    const std::size_t processors = tighter(affinityProcessors(), cgroupQuota());
    return processors == 0 ? 1 : processors;
}

}  // namespace tavrel
