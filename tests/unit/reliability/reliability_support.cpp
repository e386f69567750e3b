#include "tests/unit/reliability/reliability_support.hpp"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>

#include "common/byte_source.hpp"
#include "engine/qex_reader.hpp"
#include "tests/support/seg2_builder.hpp"

namespace quarvent::testing {

float numbered_sample(int file_number, int trace, int k) {
    if (k == 1) return static_cast<float>(file_number);
    if (k == 2) return static_cast<float>(trace);
    return static_cast<float>(k);
}

std::vector<std::uint8_t> numbered_input(int file_number, int traces, int samples) {
    Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    file.file_string("NOTE file " + std::to_string(file_number));
    for (int t = 1; t <= traces; ++t) {
        std::vector<float> values;
        for (int k = 1; k <= samples; ++k) values.push_back(numbered_sample(file_number, t, k));
        file.add_trace(Seg2Trace::float32(values)
                           .with_string("CHANNEL_NUMBER " + std::to_string(t))
                           .with_string("SAMPLE_INTERVAL 0.00025"));
    }
    return file.build();
}

QexFile read_qex(const std::vector<std::uint8_t>& bytes, std::uint64_t offset) {
    QexFile file;
    const std::uint64_t from = std::min<std::uint64_t>(offset, bytes.size());
    const MemorySource source{std::span(bytes).subspan(static_cast<std::size_t>(from))};
    QexReader reader(source);
    while (reader.next()) {
        QexRecord record;
        record.offset = from + reader.offset();
        record.words.resize(121);
        for (int n = 1; n <= 120; ++n) record.words[static_cast<std::size_t>(n)] = reader.word(n);
        (void)reader.samples(record.samples);  // memory is always readable
        file.records.push_back(std::move(record));
    }
    const QexStop& stop = reader.stop();
    file.trailing_bytes = stop.end == QexEnd::whole ? 0 : bytes.size() - from - stop.offset;
    return file;
}

ChildResult run_child(const std::string& program, const std::vector<std::string>& args,
                      const ChildOptions& options) {
    ChildResult result;
    int out_pipe[2];
    int err_pipe[2];
    if (::pipe2(out_pipe, O_CLOEXEC) != 0 || ::pipe2(err_pipe, O_CLOEXEC) != 0) return result;

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], STDOUT_FILENO);
        ::dup2(err_pipe[1], STDERR_FILENO);
        if (options.file_size_limit) {
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{*options.file_size_limit, *options.file_size_limit};
            if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(126);
        }
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    if (pid < 0) {
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        return result;
    }

    // Drains both pipes until they close, sending the kill when its time has come.
    const auto kill_at =
        options.kill_after ? std::optional(start + *options.kill_after) : std::nullopt;
    bool killed = false;
    pollfd fds[2] = {{out_pipe[0], POLLIN, 0}, {err_pipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open_pipes = 2;
    while (open_pipes > 0) {
        int timeout_ms = -1;
        if (kill_at && !killed) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                *kill_at - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(pid, SIGKILL);
                killed = true;
            } else {
                timeout_ms = static_cast<int>(left.count());
            }
        }
        const int ready = ::poll(fds, 2, timeout_ms);
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            char buffer[65536];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_pipes;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.elapsed = std::chrono::steady_clock::now() - start;
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

std::string batch_program() { return QUARVENT_BATCH_PROGRAM; }
std::string keyword_file() { return std::string(QUARVENT_SOURCE_DATA_DIR) + "QEXKEYWO.RD"; }

const KeywordTable& shipped_keywords() {
    static const KeywordTable table = [] {
        KeywordLoadResult loaded = load_keyword_table(keyword_file());
        if (!loaded.table) {
            ADD_FAILURE() << loaded.error_text;
            return KeywordTable{};
        }
        return std::move(*loaded.table);
    }();
    return table;
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) return {};
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

bool running_as_root() { return ::geteuid() == 0; }

int run_unprivileged(const std::function<void()>& body) {
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (running_as_root()) {
            constexpr uid_t nobody = 65534;
            if (::setgroups(0, nullptr) != 0 || ::setresgid(nobody, nobody, nobody) != 0 ||
                ::setresuid(nobody, nobody, nobody) != 0) {
                std::fprintf(stderr, "cannot become nobody: %s\n", std::strerror(errno));
                ::_exit(125);
            }
        }
        // The child must never return into the test program: it would go on with the tests
        // after this one.
        try {
            body();
        } catch (const std::exception& error) {
            ADD_FAILURE() << "exception: " << error.what();
        } catch (...) {
            ADD_FAILURE() << "unknown exception";
        }
        std::fflush(stdout);
        std::fflush(stderr);
        ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
    if (pid < 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void open_to_everyone(const std::string& directory) {
    std::filesystem::permissions(directory, std::filesystem::perms::all);
}

SmallDevice::SmallDevice(const std::string& directory, std::uint64_t bytes)
    : directory_(directory) {
    std::filesystem::create_directories(directory);
    const std::string options = "size=" + std::to_string(bytes);
    if (::mount("tmpfs", directory.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
        failure_ = std::string("a tmpfs cannot be mounted here: ") + std::strerror(errno);
    }
}

SmallDevice::~SmallDevice() {
    if (mounted()) ::umount2(directory_.c_str(), MNT_DETACH);
}

}  // namespace quarvent::testing
