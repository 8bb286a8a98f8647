// writer-cli gang [--writers all|N1,N2,...] [--log-dir DIR] [op options] OPERATION [ARG]
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/exit_status.h"
#include "cli/gang_channel.h"
#include "cli/session.h"
#include "platform/device/writer_ids.h"
#include "production/gang.h"

namespace {

constexpr const char* kHelp =
    "usage: writer-cli gang [--writers all|NAME,NAME,...] [--log-dir DIR] [op options]\n"
    "                       OPERATION [ARG]\n\n"
    "Runs the same operation on several writers at once, each in a 'writer-cli op' process of\n"
    "its own that reaches that writer alone: one writer's failure, or its disappearance, leaves\n"
    "the others running. Everything but --writers and --log-dir goes to 'writer-cli op'\n"
    "unchanged (see 'writer-cli op --help').\n"
    "--writers: all (the default; every attached writer not in its loader) or names separated\n"
    "  by commas: a writer's device node, USB serial string or socket ('writer-cli writers'\n"
    "  lists them).\n"
    "--log-dir: one log file a writer, DIR/NAME.log, instead of the log on standard output.\n"
    "Standard output carries every writer's log lines, each after the writer's name and \": \";\n"
    "  at the end a table (writer, serial number, result, elapsed) and, when a writer failed,\n"
    "  the command that runs the operation again on the failed writers only.\n"
    "On a terminal, standard error shows one line a writer while they work: name, step, percent.\n"
    "Exit status: 0 every writer passed; 1 a writer failed, or none could be chosen; 2 bad\n"
    "  arguments.\n";

using Clock = std::chrono::steady_clock;

struct Member {
    production::GangWriter writer;
    production::GangProgress progress;
    pid_t pid = -1;
    int out = -1, err = -1, channel = -1;
    std::FILE* log = nullptr;
    std::string errPartial;
    Clock::time_point started;
    std::int64_t elapsedMs = 0;
    int exitStatus = 1;
    bool done = false;
    bool logLost = false;  // a line of its log file could not be written
};

// The live lines on standard error: drawn below whatever was printed, erased before anything
// else reaches the terminal.
class LiveLines {
  public:
    explicit LiveLines(std::vector<Member>& members)
        : members_(members), shown_(isatty(STDERR_FILENO) == 1) {}
    ~LiveLines() { Erase(); }
    void Erase() {
        if (drawn_ == 0) return;
        std::fprintf(stderr, "\x1b[%dA\r\x1b[J", drawn_);
        std::fflush(stderr);
        drawn_ = 0;
    }
    void Draw() {
        if (!shown_) return;
        Erase();
        std::size_t width = 0;
        for (const Member& m : members_) width = std::max(width, m.writer.name.size());
        for (const Member& m : members_) {
            const std::string state =
                m.done ? (m.exitStatus == 0 ? "passed" : "failed")
                       : (m.progress.step().empty() ? "starting" : m.progress.step());
            std::fprintf(stderr, "%-*s  %-20s", static_cast<int>(width), m.writer.name.c_str(),
                         state.c_str());
            if (!m.done) std::fprintf(stderr, " %3u%%", m.progress.percent());
            std::fputs("\x1b[K\n", stderr);
        }
        std::fflush(stderr);
        drawn_ = static_cast<int>(members_.size());
    }

  private:
    std::vector<Member>& members_;
    bool shown_;
    int drawn_ = 0;
};

int Usage(const std::string& why) {
    return cli::UsageError(kHelp, why);
}

std::string LogFileName(const std::string& name, std::set<std::string>& taken) {
    std::string base;
    for (const char c : name)
        base += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
    std::string file = base + ".log";
    for (int n = 2; !taken.insert(file).second; ++n) file = base + "-" + std::to_string(n) + ".log";
    return file;
}

// Starts `writer-cli op ARGS` for one writer: its log, its messages and the gang channel come
// back on pipes; it gets no input, and ends with the gang.
bool Start(Member& m, const std::vector<std::string>& opArgs) {
    int out[2], err[2], channel[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, channel) != 0)
        return false;
    std::vector<std::string> words{"writer-cli", "op"};
    words.insert(words.end(), opArgs.begin(), opArgs.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    m.started = Clock::now();
    m.pid = ::fork();
    if (m.pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(1);
        const int none = ::open("/dev/null", O_RDONLY);
        ::dup2(none, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::dup2(channel[1], 3);  // dup2 clears close-on-exec on the copy
        ::setenv(writer_ids::kDeviceEnv, m.writer.selection.c_str(), 1);
        ::setenv(cli::kGangFdEnv, "3", 1);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    ::close(channel[1]);
    m.out = out[0];
    m.err = err[0];
    m.channel = channel[0];
    return m.pid > 0;
}

void Emit(Member& m, const std::string& line, std::FILE* terminalStream, LiveLines& live) {
    if (m.log) {
        if (std::fprintf(m.log, "%s\n", line.c_str()) < 0 || std::fflush(m.log) != 0)
            m.logLost = true;
        return;
    }
    live.Erase();
    std::fprintf(terminalStream, "%s: %s\n", m.writer.name.c_str(), line.c_str());
    std::fflush(terminalStream);
}

// Reads what is there on one of a member's pipes; false at its end.
bool Drain(Member& m, int& fd, LiveLines& live) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return true;
    if (n <= 0) {
        ::close(fd);
        fd = -1;
        return false;
    }
    const std::string_view bytes(buffer, static_cast<std::size_t>(n));
    if (fd == m.channel) {
        m.progress.TakeChannel(bytes);
    } else if (fd == m.out) {
        for (const std::string& line : m.progress.TakeLog(bytes)) Emit(m, line, stdout, live);
    } else {
        for (const char c : bytes) {
            if (c != '\n') {
                m.errPartial += c;
                continue;
            }
            Emit(m, m.errPartial, stderr, live);
            m.errPartial.clear();
        }
    }
    return true;
}

void Finish(Member& m, LiveLines& live) {
    if (const auto rest = m.progress.FlushLog()) Emit(m, *rest, stdout, live);
    if (!m.errPartial.empty()) Emit(m, m.errPartial, stderr, live);
    int status = 0;
    while (::waitpid(m.pid, &status, 0) < 0 && errno == EINTR) {
    }
    m.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : cli::kExitFailed;
    m.elapsedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m.started).count();
    m.done = true;
    if (m.log && std::fclose(m.log) != 0) m.logLost = true;
    m.log = nullptr;
}

void RunAll(std::vector<Member>& members) {
    LiveLines live(members);
    auto lastDraw = Clock::now() - std::chrono::seconds(1);
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<Member*, int*>> owners;
        for (Member& m : members) {
            for (int* fd : {&m.out, &m.err, &m.channel}) {
                if (*fd < 0) continue;
                fds.push_back({*fd, POLLIN, 0});
                owners.emplace_back(&m, fd);
            }
        }
        if (fds.empty()) break;
        ::poll(fds.data(), fds.size(), 100);
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (!fds[i].revents) continue;
            Member& m = *owners[i].first;
            if (!Drain(m, *owners[i].second, live) && m.out < 0 && m.err < 0 && m.channel < 0)
                Finish(m, live);
        }
        if (Clock::now() - lastDraw >= std::chrono::milliseconds(100)) {
            live.Draw();
            lastDraw = Clock::now();
        }
    }
    live.Draw();  // every writer's last word stays on the screen
}

int Run(const std::vector<std::string>& args) {
    if (cli::WantsHelp(args)) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    std::string writerList = "all", logDir;
    std::vector<std::string> opArgs;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if ((args[i] == "--writers" || args[i] == "--log-dir") && i + 1 < args.size()) {
            (args[i] == "--writers" ? writerList : logDir) = args[i + 1];
            ++i;
        } else if (args[i] == "--writer" || args[i] == "--writers" || args[i] == "--log-dir") {
            return Usage(args[i] == "--writer" ? "a gang takes --writers"
                                               : args[i] + " needs a value");
        } else {
            opArgs.push_back(args[i]);
        }
    }
    if (opArgs.empty()) return Usage("no operation");
    const production::GangChoice choice =
        production::ChooseGang(writerList, production::ListWriters());
    if (!choice.problem.empty()) {
        std::fprintf(stderr, "writer-cli: %s", choice.problem.c_str());
        return cli::kExitFailed;
    }
    std::vector<Member> members(choice.writers.size());
    std::set<std::string> files;
    for (std::size_t i = 0; i < members.size(); ++i) {
        members[i].writer = choice.writers[i];
        if (logDir.empty()) continue;
        const std::string file = logDir + "/" + LogFileName(members[i].writer.name, files);
        members[i].log = std::fopen(file.c_str(), "we");
        if (!members[i].log) {
            for (Member& m : members) {
                if (m.log) std::fclose(m.log);
            }
            return cli::Fail("cannot write", file);
        }
    }
    std::fflush(nullptr);  // nothing buffered is written twice by the children
    for (Member& m : members) {
        if (!Start(m, opArgs)) {
            std::fprintf(stderr, "writer-cli: %s: cannot start its operation\n",
                         m.writer.name.c_str());
            m.done = true;
        }
    }
    RunAll(members);

    std::vector<production::GangOutcome> outcomes;
    bool usage = false;
    for (const Member& m : members) {
        outcomes.push_back({m.writer.name, m.progress.serial(), m.exitStatus, m.elapsedMs});
        usage = usage || m.exitStatus == cli::kExitUsage;
    }
    std::fputs(production::GangSummary(outcomes).c_str(), stdout);
    const std::string rerun = production::RerunCommand(outcomes, opArgs);
    if (!rerun.empty()) std::printf("Run again on the failed writers: %s\n", rerun.c_str());
    // A log file cut short is no record of a passed run: say which, and fail the command.
    bool logLost = false;
    for (const Member& m : members) {
        if (!m.logLost) continue;
        std::fprintf(stderr, "writer-cli: %s: its log file was not written whole\n",
                     m.writer.name.c_str());
        logLost = true;
    }
    if (usage) return cli::kExitUsage;
    return rerun.empty() && !logLost ? cli::kExitPassed : cli::kExitFailed;
}

const cli::Register kRegister{{"gang", "run one operation on several writers at once", Run}};

}  // namespace
