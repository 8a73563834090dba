#include "unit_sandbox_settings.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>

namespace mossvane::testing {

namespace {

std::string Join(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ",") + name;
    return text;
}

std::vector<std::string> Words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    return words;
}

void Append(std::vector<std::string>& to, std::initializer_list<const char*> items) {
    to.insert(to.end(), items.begin(), items.end());
}

// SystemCallFilter=: the first entry without "~" makes an allow list, and
// later "~" entries take calls out of it; without an allow list "~" entries
// deny calls.
class SyscallFilter {
  public:
    explicit SyscallFilter(const SyscallGroups& groups) : m_groups(groups) {}

    void Add(const std::string& value) {
        bool deny = !value.empty() && value[0] == '~';
        for (const std::string& entry : Words(deny ? value.substr(1) : value)) {
            for (const std::string& call : ExpandSyscalls(m_groups, entry)) {
                if (!deny) {
                    m_allowed.insert(call);
                    m_hasAllowList = true;
                } else if (m_hasAllowList) {
                    m_allowed.erase(call);
                } else {
                    m_denied.insert(call);
                }
            }
        }
    }

    void Deny(const std::string& entry) {
        for (const std::string& call : ExpandSyscalls(m_groups, entry)) {
            if (m_hasAllowList) m_allowed.erase(call);
            m_denied.insert(call);
        }
    }

    void AppendOptions(std::vector<std::string>& options) const {
        if (m_hasAllowList) {
            options.push_back("--allow");
            options.push_back(Join({m_allowed.begin(), m_allowed.end()}));
        }
        if (!m_denied.empty()) {
            options.push_back("--deny");
            options.push_back(Join({m_denied.begin(), m_denied.end()}));
        }
    }

  private:
    const SyscallGroups& m_groups;
    bool m_hasAllowList = false;
    std::set<std::string> m_allowed;
    std::set<std::string> m_denied;
};

bool IsYes(const std::string& value) {
    return value == "yes" || value == "true" || value == "on" || value == "1";
}

}  // namespace

std::vector<UnitSetting> ReadServiceSettings(const std::string& unitFile) {
    std::ifstream file(unitFile);
    std::vector<UnitSetting> settings;
    bool inService = false;
    for (std::string line; std::getline(file, line);) {
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        if (line[0] == '[') {
            inService = line == "[Service]";
            continue;
        }
        std::size_t equals = line.find('=');
        if (inService && equals != std::string::npos) {
            settings.push_back({line.substr(0, equals), line.substr(equals + 1)});
        }
    }
    return settings;
}

// "@group" at the start of a line opens a group; indented lines are its
// entries (calls or other groups), "#" lines are comments.
SyscallGroups ReadSyscallGroups(const std::string& systemdAnalyzeOutput) {
    SyscallGroups groups;
    std::istringstream lines(systemdAnalyzeOutput);
    std::string current;
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line[0] == '@') {
            current = line;
            continue;
        }
        std::vector<std::string> words = Words(line);
        if (current.empty() || words.empty() || words[0][0] == '#') continue;
        groups[current].push_back(words[0]);
    }
    return groups;
}

std::vector<std::string> ExpandSyscalls(const SyscallGroups& groups, const std::string& entry) {
    if (entry.empty() || entry[0] != '@') return {entry};
    std::vector<std::string> calls;
    auto group = groups.find(entry);
    if (group == groups.end()) return calls;
    for (const std::string& member : group->second) {
        std::vector<std::string> expanded = ExpandSyscalls(groups, member);
        calls.insert(calls.end(), expanded.begin(), expanded.end());
    }
    return calls;
}

SandboxCommand TranslateSettings(const std::vector<UnitSetting>& settings,
                                 const SyscallGroups& groups) {
    SandboxCommand command;
    auto& fs = command.bwrapOptions;
    auto& sb = command.sandboxOptions;
    Append(fs, {"--die-with-parent", "--bind", "/", "/"});
    SyscallFilter filter(groups);
    std::vector<std::string> devices;  // After the rest: --dev replaces /dev.
    for (const UnitSetting& s : settings) {
        const std::string& k = s.key;
        bool yes = IsYes(s.value);
        if (k == "ExecStart" || k == "TimeoutStopSec") continue;   // Not sandboxing.
        if (k == "KeyringMode" && s.value == "private") continue;  // The program uses no keys.
        if ((k == "PrivateMounts" && yes)) continue;  // bwrap always has its own mounts.
        if (k == "UMask")
            Append(sb, {"--umask", s.value.c_str()});
        else if (k == "LimitCORE")
            Append(sb, {"--core-limit", s.value.c_str()});
        else if (k == "NoNewPrivileges" && yes)
            sb.push_back("--no-new-privileges");
        else if (k == "LockPersonality" && yes)
            sb.push_back("--lock-personality");
        else if (k == "MemoryDenyWriteExecute" && yes)
            sb.push_back("--no-write-execute");
        else if (k == "RestrictRealtime" && yes)
            sb.push_back("--no-realtime");
        else if (k == "RestrictSUIDSGID" && yes)
            sb.push_back("--no-suid-sgid");
        else if (k == "RestrictNamespaces" && yes)
            sb.push_back("--no-namespaces");
        else if (k == "RestrictAddressFamilies" && s.value == "AF_UNIX") {
            sb.push_back("--unix-sockets-only");
        } else if (k == "SystemCallArchitectures" && s.value == "native") {
            continue;  // A seccomp filter admits the native architecture only.
        } else if (k == "SystemCallFilter") {
            filter.Add(s.value);
        } else if (k == "SystemCallErrorNumber" && s.value == "EPERM") {
            continue;  // The sandbox's default.
        } else if (k == "PrivateUsers" && yes) {
            fs.push_back("--unshare-user");
        } else if (k == "ProtectHostname" && yes) {
            fs.push_back("--unshare-uts");
            filter.Deny("sethostname");
            filter.Deny("setdomainname");
        } else if (k == "ProtectSystem" && s.value == "full") {
            Append(fs, {"--ro-bind", "/usr", "/usr", "--ro-bind", "/etc", "/etc", "--ro-bind-try",
                        "/boot", "/boot", "--ro-bind-try", "/efi", "/efi"});
        } else if (k == "ProtectKernelTunables" && yes) {
            Append(fs, {"--ro-bind", "/sys", "/sys", "--ro-bind", "/proc/sys", "/proc/sys"});
        } else if (k == "ProtectControlGroups" && yes) {
            Append(fs, {"--ro-bind-try", "/sys/fs/cgroup", "/sys/fs/cgroup"});
        } else if (k == "ProtectKernelModules" && yes) {
            filter.Deny("@module");
        } else if (k == "ProtectKernelLogs" && yes) {
            Append(fs, {"--ro-bind-try", "/dev/null", "/proc/kmsg"});
            filter.Deny("syslog");
        } else if (k == "PrivateDevices" && yes) {
            Append(devices, {"--dev", "/dev", "--bind-try", "/dev/shm", "/dev/shm"});
            filter.Deny("@raw-io");
        } else {
            command.unplayable.push_back(k + "=" + s.value);
        }
    }
    fs.insert(fs.end(), devices.begin(), devices.end());
    filter.AppendOptions(sb);
    return command;
}

}  // namespace mossvane::testing
