#include "pg_cluster.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace testing_pg {

namespace {

namespace fs = std::filesystem;

// The newest installed server's programs, as Debian lays them out.
std::string ServerBin() {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/usr/lib/postgresql", ec)) {
        if (fs::exists(entry.path() / "bin" / "initdb")) found.push_back(entry.path() / "bin");
    }
    if (found.empty()) return {};
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        return std::stoi(a.parent_path().filename()) < std::stoi(b.parent_path().filename());
    });
    return found.back();
}

// Runs the program with its output appended to `log`; true when it exits with 0.
bool Run(std::vector<std::string> args, const std::string& log) {
    if (geteuid() == 0) args.insert(args.begin(), {"runuser", "-u", "nobody", "--"});
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            dup2(fd, 1);
            dup2(fd, 2);
        }
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    return pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

std::string Tail(const std::string& log) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    return all.size() > 2000 ? all.substr(all.size() - 2000) : all;
}

}  // namespace

bool Cluster::Installed() {
    return !ServerBin().empty();
}

std::unique_ptr<Cluster> Cluster::Start(std::string& why) {
    const std::string bin = ServerBin();
    // Not under the test's home: the server's user must reach the folder.
    char pattern[] = "/tmp/writer-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        why = "cannot make a folder for the cluster";
        return nullptr;
    }
    std::unique_ptr<Cluster> cluster(new Cluster);
    cluster->bin_ = bin;
    cluster->folder_ = pattern;
    if (geteuid() == 0) {
        const passwd* nobody = getpwnam("nobody");
        if (!nobody || chown(pattern, nobody->pw_uid, nobody->pw_gid) != 0) {
            why = "cannot hand the cluster's folder to nobody";
            return nullptr;
        }
    }
    const std::string data = cluster->folder_ + "/data";
    // The server writes its own log; the setup's output goes beside it.
    const std::string log = cluster->folder_ + "/setup.log";
    if (!Run({bin + "/initdb", "-D", data, "-U", "writer", "--auth=trust", "-E", "UTF8",
              "--locale=C", "--no-sync", "--no-instructions"},
             log)) {
        why = "initdb failed: " + Tail(log);
        return nullptr;
    }
    // What is tested is the program's side; the server need not sync to disk.
    if (!Run({bin + "/pg_ctl", "-D", data, "-l", cluster->folder_ + "/server.log", "-w", "-o",
              "-c listen_addresses='' -c unix_socket_directories='" + cluster->folder_ +
                  "' -c fsync=off -c max_connections=20",
              "start"},
             log)) {
        why = "the server did not start: " + Tail(log) + Tail(cluster->folder_ + "/server.log");
        return nullptr;
    }
    return cluster;
}

Cluster::~Cluster() {
    if (!bin_.empty() && fs::exists(folder_ + "/data/postmaster.pid"))
        Run({bin_ + "/pg_ctl", "-D", folder_ + "/data", "-m", "immediate", "-w", "stop"},
            folder_ + "/setup.log");
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
}

std::string Cluster::Url(const std::string& database) const {
    return "postgresql://writer@/" + database + "?host=" + folder_;
}

}  // namespace testing_pg
