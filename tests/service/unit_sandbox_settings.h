// How the test plays a user manager that runs mossvane.service: each
// sandboxing setting of the unit file becomes bwrap options (the file-system
// and namespace side) or options of mossvane-unit-sandbox (the prctl and
// seccomp side). A setting the test does not know how to play is reported,
// so a new setting can't slip in untested.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace mossvane::testing {

struct UnitSetting {
    std::string key;
    std::string value;
};

// The [Service] section's settings, in order.
std::vector<UnitSetting> ReadServiceSettings(const std::string& unitFile);

// System call groups ("@system-service") as systemd-analyze lists them,
// expanded into call names.
using SyscallGroups = std::map<std::string, std::vector<std::string>>;
SyscallGroups ReadSyscallGroups(const std::string& systemdAnalyzeOutput);
std::vector<std::string> ExpandSyscalls(const SyscallGroups& groups, const std::string& entry);

struct SandboxCommand {
    std::vector<std::string> bwrapOptions;
    std::vector<std::string> sandboxOptions;
    std::vector<std::string> unplayable;  // Settings the test can't play.
};

SandboxCommand TranslateSettings(const std::vector<UnitSetting>& settings,
                                 const SyscallGroups& groups);

}  // namespace mossvane::testing
