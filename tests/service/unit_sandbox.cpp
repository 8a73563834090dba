// mossvane-unit-sandbox: runs a program under the kernel-side restrictions
// of a systemd unit's sandboxing settings, for a test where no user manager
// can run. The file-system side (read-only /usr, a private /dev, ...) is
// bwrap's part; this program adds what systemd does with prctl and seccomp
// filters, then executes the program.
//   mossvane-unit-sandbox [option...] -- program [argument...]
//     --umask OCTAL          UMask=
//     --core-limit BYTES     LimitCORE= (soft and hard)
//     --no-new-privileges    NoNewPrivileges=yes
//     --allow NAME,...       SystemCallFilter= allow list (the rest fail
//     --errno N              with SystemCallErrorNumber=, EPERM by default)
//     --unix-sockets-only    RestrictAddressFamilies=AF_UNIX
//     --lock-personality    LockPersonality=yes
//     --no-realtime          RestrictRealtime=yes
//     --no-namespaces        RestrictNamespaces=yes
//     --no-write-execute     MemoryDenyWriteExecute=yes
//     --no-suid-sgid         RestrictSUIDSGID=yes
//     --deny NAME,...        calls a Protect*= setting takes away
#include <sched.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Restrictions {
    int umaskValue = -1;
    long long coreLimit = -1;
    bool noNewPrivileges = false;
    std::vector<std::string> allowed;  // Empty: no allow list.
    int errorNumber = EPERM;
    bool unixSocketsOnly = false;
    bool lockPersonality = false;
    bool noRealtime = false;
    bool noNamespaces = false;
    bool noWriteExecute = false;
    bool noSuidSgid = false;
    std::vector<std::string> denied;
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "mossvane-unit-sandbox: %s\n", what.c_str());
    std::exit(125);
}

std::vector<std::string> SplitNames(const std::string& list) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find(',', start);
        if (end == std::string::npos) end = list.size();
        if (end > start) names.push_back(list.substr(start, end - start));
        start = end + 1;
    }
    return names;
}

// Reads the options; the index of the program's name.
int ReadOptions(int argc, char** argv, Restrictions& r) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(option + " needs a value");
            return argv[++i];
        };
        if (option == "--") return i + 1 < argc ? i + 1 : (Fail("no program given"), 0);
        if (option == "--umask")
            r.umaskValue = static_cast<int>(std::strtol(value().c_str(), nullptr, 8));
        else if (option == "--core-limit")
            r.coreLimit = std::atoll(value().c_str());
        else if (option == "--no-new-privileges")
            r.noNewPrivileges = true;
        else if (option == "--allow")
            r.allowed = SplitNames(value());
        else if (option == "--errno")
            r.errorNumber = std::atoi(value().c_str());
        else if (option == "--unix-sockets-only")
            r.unixSocketsOnly = true;
        else if (option == "--lock-personality")
            r.lockPersonality = true;
        else if (option == "--no-realtime")
            r.noRealtime = true;
        else if (option == "--no-namespaces")
            r.noNamespaces = true;
        else if (option == "--no-write-execute")
            r.noWriteExecute = true;
        else if (option == "--no-suid-sgid")
            r.noSuidSgid = true;
        else if (option == "--deny")
            r.denied = SplitNames(value());
        else
            Fail("unknown option " + option);
    }
    Fail("no \"--\" before the program");
}

class Filter {
  public:
    explicit Filter(std::uint32_t defaultAction) : m_context(seccomp_init(defaultAction)) {
        if (m_context == nullptr) Fail("seccomp_init failed");
    }
    ~Filter() { seccomp_release(m_context); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    // Calls this kernel does not know are left out, as systemd leaves them.
    template <typename... Conditions>
    void Add(std::uint32_t action, const char* name, Conditions... conditions) {
        int call = seccomp_syscall_resolve_name(name);
        if (call == __NR_SCMP_ERROR) return;
        int status =
            seccomp_rule_add(m_context, action, call, sizeof...(conditions), conditions...);
        if (status != 0)
            Fail(std::string("seccomp_rule_add ") + name + ": " + std::strerror(-status));
    }

    void Load() {
        if (int status = seccomp_load(m_context); status != 0) {
            Fail(std::string("seccomp_load: ") + std::strerror(-status));
        }
    }

  private:
    scmp_filter_ctx m_context;
};

void LoadAllowList(const Restrictions& r) {
    if (r.allowed.empty()) return;
    Filter filter(SCMP_ACT_ERRNO(r.errorNumber));
    for (const std::string& name : r.allowed) filter.Add(SCMP_ACT_ALLOW, name.c_str());
    filter.Load();
}

void AddNamespaceRules(Filter& filter, std::uint32_t deny) {
    filter.Add(deny, "unshare");
    filter.Add(deny, "setns");
    filter.Add(SCMP_ACT_ERRNO(ENOSYS), "clone3");  // Its flags are out of a filter's reach.
    for (scmp_datum_t flag : {CLONE_NEWCGROUP, CLONE_NEWIPC, CLONE_NEWNET, CLONE_NEWNS,
                              CLONE_NEWPID, CLONE_NEWUSER, CLONE_NEWUTS}) {
        filter.Add(deny, "clone", SCMP_A0(SCMP_CMP_MASKED_EQ, flag, flag));
    }
}

void AddWriteExecuteRules(Filter& filter, std::uint32_t deny) {
    scmp_datum_t writeExecute = PROT_WRITE | PROT_EXEC;
    filter.Add(deny, "mmap", SCMP_A2(SCMP_CMP_MASKED_EQ, writeExecute, writeExecute));
    filter.Add(deny, "mprotect", SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    filter.Add(deny, "pkey_mprotect", SCMP_A2(SCMP_CMP_MASKED_EQ, PROT_EXEC, PROT_EXEC));
    filter.Add(deny, "shmat", SCMP_A2(SCMP_CMP_MASKED_EQ, SHM_EXEC, SHM_EXEC));
}

void AddSuidSgidRules(Filter& filter, std::uint32_t deny) {
    for (scmp_datum_t bit : {S_ISUID, S_ISGID}) {
        filter.Add(deny, "chmod", SCMP_A1(SCMP_CMP_MASKED_EQ, bit, bit));
        filter.Add(deny, "fchmod", SCMP_A1(SCMP_CMP_MASKED_EQ, bit, bit));
        filter.Add(deny, "fchmodat", SCMP_A2(SCMP_CMP_MASKED_EQ, bit, bit));
    }
}

// The settings' own filter, stacked on the allow list: the stricter wins.
void LoadRestrictions(const Restrictions& r) {
    Filter filter(SCMP_ACT_ALLOW);
    std::uint32_t deny = SCMP_ACT_ERRNO(EPERM);
    if (r.unixSocketsOnly) {
        filter.Add(SCMP_ACT_ERRNO(EAFNOSUPPORT), "socket", SCMP_A0(SCMP_CMP_NE, AF_UNIX));
    }
    if (r.lockPersonality) {
        filter.Add(deny, "personality", SCMP_A0(SCMP_CMP_NE, 0));  // PER_LINUX only.
    }
    if (r.noRealtime) {
        for (scmp_datum_t policy : {SCHED_FIFO, SCHED_RR}) {
            filter.Add(deny, "sched_setscheduler", SCMP_A1(SCMP_CMP_EQ, policy));
        }
    }
    if (r.noNamespaces) AddNamespaceRules(filter, deny);
    if (r.noWriteExecute) AddWriteExecuteRules(filter, deny);
    if (r.noSuidSgid) AddSuidSgidRules(filter, deny);
    for (const std::string& name : r.denied) filter.Add(deny, name.c_str());
    filter.Load();
}

}  // namespace

int main(int argc, char** argv) {
    Restrictions r;
    int program = ReadOptions(argc, argv, r);
    if (r.umaskValue >= 0) umask(static_cast<mode_t>(r.umaskValue));
    const rlimit core{static_cast<rlim_t>(r.coreLimit), static_cast<rlim_t>(r.coreLimit)};
    if (r.coreLimit >= 0 && setrlimit(RLIMIT_CORE, &core) != 0) {
        Fail(std::string("RLIMIT_CORE: ") + std::strerror(errno));
    }
    if (r.noNewPrivileges && prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        Fail(std::string("PR_SET_NO_NEW_PRIVS: ") + std::strerror(errno));
    }
    LoadRestrictions(r);
    LoadAllowList(r);
    execv(argv[program], argv + program);
    Fail(std::string("cannot run ") + argv[program] + ": " + std::strerror(errno));
}
