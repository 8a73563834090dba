// Print jobs through the real server and its socket, against the cheapest
// thing that could store the same bytes as safely: a server written here that
// reads the same kind of Unix socket, writes what it reads to a file and
// flushes the file to the disk at the end, as the server does before it
// vouches for a job with its .info. Both get the
// same client, the same stream of 4104-byte job messages and the same
// folder; each figure is printed next to the baseline's as a ratio of
// throughputs (1.00: as fast as the baseline).
//
//   spool_bench [MiB per single job, default 256]
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench_sandbox.h"
#include "bench_table.h"
#include "pipe/job_spool.h"
#include "pipe/pipe_constants.h"
#include "wire/job_message.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr int kRounds = 3;
constexpr int kConcurrentJobs = 32;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "spool_bench: %s: %s\n", what, std::strerror(errno));
    std::exit(1);
}

// One job as its client sends it: the messages, each written in one call.
struct Job {
    std::uint32_t number = 0;
    Bytes piece;      // every piece but the last
    Bytes lastPiece;  // ends with the end-of-job marker
    std::size_t pieces = 0;
    Bytes create, write, lastWrite, end;

    std::string Contents() const {
        std::string all;
        all.reserve(pieces * piece.size());
        for (std::size_t i = 0; i + 1 < pieces; ++i) all.append(piece.begin(), piece.end());
        all.append(lastPiece.begin(), lastPiece.end());
        return all;
    }
    std::size_t StreamBytes() const {
        return create.size() + (pieces - 1) * write.size() + lastWrite.size() + end.size();
    }
};

Job MakeJob(std::uint32_t number, std::size_t bytes) {
    Job job;
    job.number = number;
    job.piece.resize(mossvane::kMaxJobPayload);
    for (std::size_t i = 0; i < job.piece.size(); ++i) {
        job.piece[i] = static_cast<std::uint8_t>(i * 131 + number * 7);
    }
    job.pieces = std::max<std::size_t>(1, bytes / job.piece.size());
    job.lastPiece = job.piece;
    std::copy(mossvane::kEndOfJobMarker, mossvane::kEndOfJobMarker + mossvane::kEndOfJobMarkerSize,
              job.lastPiece.end() - mossvane::kEndOfJobMarkerSize);
    job.create = mossvane::EncodeCreateJob(number);
    job.write =
        mossvane::EncodeJobMessage(mossvane::WRITE_JOB_CMD, job.piece.data(), job.piece.size());
    job.lastWrite = mossvane::EncodeJobMessage(mossvane::WRITE_JOB_CMD, job.lastPiece.data(),
                                               job.lastPiece.size());
    job.end = mossvane::EncodeEndJob(u"Title=Bench\nCopies=1");
    return job;
}

bool WriteAll(int fd, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

int ConnectTo(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) Fail("socket");
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends the job and waits until the server closes the connection, which both
// servers do once everything is in the file.
void SendJob(const std::string& socketPath, const Job& job) {
    const int fd = ConnectTo(socketPath);
    if (fd < 0) Fail("connect");
    bool sent = WriteAll(fd, job.create.data(), job.create.size());
    for (std::size_t i = 0; sent && i + 1 < job.pieces; ++i) {
        sent = WriteAll(fd, job.write.data(), job.write.size());
    }
    sent = sent && WriteAll(fd, job.lastWrite.data(), job.lastWrite.size()) &&
           WriteAll(fd, job.end.data(), job.end.size());
    if (!sent) Fail("send");
    shutdown(fd, SHUT_WR);
    std::uint8_t byte;
    while (read(fd, &byte, 1) > 0) {
    }
    close(fd);
}

double SendJobs(const std::string& socketPath, const std::vector<Job>& jobs) {
    const auto start = Clock::now();
    std::vector<std::thread> clients;
    for (const Job& job : jobs) clients.emplace_back([&] { SendJob(socketPath, job); });
    for (std::thread& client : clients) client.join();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The baseline: accept, then per connection read into a pipe-sized buffer and
// write what came to a file of its own until the client is done, then flush
// the file to the disk.
class CopyServer {
  public:
    CopyServer(std::string socketPath, fs::path folder)
        : m_socketPath(std::move(socketPath)), m_folder(std::move(folder)) {
        unlink(m_socketPath.c_str());
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, m_socketPath.c_str(), sizeof address.sun_path - 1);
        m_listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (m_listener < 0 ||
            bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(m_listener, 64) != 0) {
            Fail("baseline listen");
        }
        m_acceptor = std::thread([this] { Accept(); });
    }
    ~CopyServer() {
        m_stopping = true;
        close(ConnectTo(m_socketPath));
        m_acceptor.join();
        close(m_listener);
        unlink(m_socketPath.c_str());
    }

  private:
    void Accept() {
        for (int n = 0;; ++n) {
            const int fd = accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0 || m_stopping) {
                if (fd >= 0) close(fd);
                return;
            }
            std::thread([this, fd, n] { Copy(fd, n); }).detach();
        }
    }
    void Copy(int fd, int n) {
        const fs::path path = m_folder / ("copy" + std::to_string(n) + ".prn");
        const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (file < 0) Fail("baseline open");
        std::vector<std::uint8_t> buffer(mossvane::kPipeBufferSize);
        for (;;) {
            const ssize_t got = read(fd, buffer.data(), buffer.size());
            if (got <= 0) break;
            if (!WriteAll(file, buffer.data(), static_cast<std::size_t>(got))) Fail("baseline");
        }
        if (fsync(file) != 0 || close(file) != 0) Fail("baseline sync");
        close(fd);
    }

    std::string m_socketPath;
    fs::path m_folder;
    int m_listener = -1;
    std::atomic<bool> m_stopping{false};
    std::thread m_acceptor;
};

// The real server in a private set of folders, its traces in a file.
class RealServer {
  public:
    explicit RealServer(const BenchSandbox& sandbox) : m_socketPath(sandbox.SocketPath()) {
        const fs::path program = ProgramFolder() / "mossvane";
        const std::string trace = (sandbox.Root() / "server.trace").string();
        m_pid = fork();
        if (m_pid < 0) Fail("fork");
        if (m_pid == 0) {
            const int err = open(trace.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(err, 2);
            dup2(err, 1);
            execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        const auto deadline = Clock::now() + std::chrono::seconds(30);
        // This connection stays open: the server stops after ten seconds
        // without one, and the baseline's turns take a while.
        while ((m_keepAlive = ConnectTo(m_socketPath)) < 0) {
            if (Clock::now() > deadline) Fail("server start");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~RealServer() {
        close(m_keepAlive);
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    const std::string& socketPath() const { return m_socketPath; }

  private:
    std::string m_socketPath;
    pid_t m_pid = -1;
    int m_keepAlive = -1;
};

std::vector<fs::path> FilesEndingWith(const fs::path& folder, const std::string& ending) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().string().ends_with(ending)) files.push_back(entry.path());
    }
    return files;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

void Clear(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) fs::remove_all(entry.path());
}

struct Figures {
    double server = 1e30;
    double baseline = 1e30;
};

void Report(const char* name, const Figures& best, std::size_t bytes) {
    const double mib = static_cast<double>(bytes) / (1 << 20);
    PrintRow({name, "MiB/s", mib / best.server, mib / best.baseline, best.baseline / best.server,
              ">= 0.95 ratio"});
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t jobMiB = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 256;
    const BenchSandbox sandbox("mossvane-spool-bench");
    const fs::path& root = sandbox.Root();
    fs::create_directory(root / "copies");
    const fs::path jobFolder = root / "data" / "VARNOCK" / "PlugInPrnData";
    const fs::path copyFolder = root / "copies";

    const std::vector<Job> single{MakeJob(1, jobMiB << 20)};
    std::vector<Job> many;
    for (int i = 0; i < kConcurrentJobs; ++i) {
        many.push_back(
            MakeJob(static_cast<std::uint32_t>(i + 1), (jobMiB << 20) / kConcurrentJobs));
    }

    Figures one, all;
    bool identical = true;
    {
        RealServer server(sandbox);
        CopyServer baseline((root / "copy.sock").string(), copyFolder);
        for (int round = 0; round < kRounds; ++round) {
            // Alternate, so that neither side always meets a warmer cache.
            one.baseline = std::min(one.baseline, SendJobs((root / "copy.sock").string(), single));
            Clear(copyFolder);
            one.server = std::min(one.server, SendJobs(server.socketPath(), single));
            identical = identical && FilesEndingWith(jobFolder, ".info").size() == 1;
            if (round == 0) {
                const auto jobFiles = FilesEndingWith(jobFolder, ".prn");
                identical = identical && jobFiles.size() == 1 &&
                            ReadFile(jobFiles[0]) == single[0].Contents();
            }
            Clear(jobFolder);

            all.baseline = std::min(all.baseline, SendJobs((root / "copy.sock").string(), many));
            Clear(copyFolder);
            all.server = std::min(all.server, SendJobs(server.socketPath(), many));
            // Every job in its own file, byte for byte, with its information.
            const auto jobFiles = FilesEndingWith(jobFolder, ".prn");
            identical = identical && jobFiles.size() == many.size() &&
                        FilesEndingWith(jobFolder, ".info").size() == many.size();
            for (const fs::path& file : jobFiles) {
                const std::string name = file.stem().string();
                const auto number = static_cast<std::size_t>(std::stoul(name.substr(14)));
                identical = identical && number >= 1 && number <= many.size() &&
                            ReadFile(file) == many[number - 1].Contents();
            }
            Clear(jobFolder);
        }
    }
    const std::string trace = ReadFile(root / "server.trace");
    Report("spool one job (vs read + write + sync)", one, single[0].StreamBytes());
    Report("spool 32 jobs at once (vs read + write + sync)", all,
           many.size() * many[0].StreamBytes());
    std::printf("job files byte-identical: %s   server trace: %zu bytes\n",
                identical ? "yes" : "NO", trace.size());
    return identical ? 0 : 1;
}
