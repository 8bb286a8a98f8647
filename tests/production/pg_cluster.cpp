#include "pg_cluster.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace testing_pg {

namespace {

// pg_cluster.sh with these arguments; its exit status, and its output in `output`.
int Script(const std::string& args, std::string* output = nullptr) {
    FILE* pipe = popen(("bash " PG_CLUSTER_SCRIPT " " + args + " 2>&1").c_str(), "r");
    if (!pipe) return -1;
    char buf[512];
    while (std::fgets(buf, sizeof buf, pipe)) {
        if (output) *output += buf;
    }
    return pclose(pipe);
}

}  // namespace

bool Cluster::Installed() {
    return Script("installed") == 0;
}

std::unique_ptr<Cluster> Cluster::Start(std::string& why) {
    // Not under the test's home: the server's user must reach the folder.
    char pattern[] = "/tmp/writer-pg-XXXXXX";
    if (!mkdtemp(pattern)) {
        why = "cannot make a folder for the cluster";
        return nullptr;
    }
    std::unique_ptr<Cluster> cluster(new Cluster);
    cluster->folder_ = pattern;
    cluster->running_ = Script("start " + cluster->folder_, &why) == 0;
    if (!cluster->running_) return nullptr;
    return cluster;
}

Cluster::~Cluster() {
    if (running_) Script("stop " + folder_);
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::string Cluster::Url(const std::string& database) const {
    return "postgresql://writer@/" + database + "?host=" + folder_;
}

}  // namespace testing_pg
