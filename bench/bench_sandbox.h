// What the benchmarks that start the real server share: where its programs
// are, and a private set of folders for it that the environment points to,
// so a benchmark never touches the user's own files or server.
#pragma once

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>

// The folder of the running benchmark, where the programs under test are.
inline std::filesystem::path ProgramFolder() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

class BenchSandbox {
  public:
    explicit BenchSandbox(const char* name) {
        std::string pattern = std::string("/tmp/") + name + "-XXXXXX";
        m_root = mkdtemp(pattern.data());
        for (const char* sub : {"run", "config", "data"}) {
            std::filesystem::create_directory(m_root / sub);
        }
        std::filesystem::permissions(m_root / "run", std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::replace);
        setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
        setenv("MOSSVANE_MACHINE_REG", (m_root / "machine.reg").c_str(), 1);
    }
    ~BenchSandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    BenchSandbox(const BenchSandbox&) = delete;
    BenchSandbox& operator=(const BenchSandbox&) = delete;

    const std::filesystem::path& Root() const { return m_root; }

    // The server's socket, named after the user as the server names it.
    std::string SocketPath() const {
        const passwd* entry = getpwuid(geteuid());
        const std::string user = entry ? entry->pw_name : "";
        return (m_root / "run" / (user.empty() ? "Mossvane" : "Mossvane_" + user)).string();
    }

  private:
    std::filesystem::path m_root;
};
