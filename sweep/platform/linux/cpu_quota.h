#pragma once

#include <filesystem>
#include <istream>

namespace vesk {

// The CPU time the process's control group may have, in cores, or 0 where it has no quota: a job
// or container held to one and a half cores gets two threads' worth, rounded up. The groups are
// read as /proc/self/cgroup lists them, in the unified hierarchy (cpu.max) or the older one
// (cpu.cfs_quota_us), mounted at root.
unsigned coresOfQuota(std::istream& groups, const std::filesystem::path& root);

}  // namespace vesk
