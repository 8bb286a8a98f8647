// A throwaway PostgreSQL cluster for one test: made in a fresh folder by pg_cluster.sh,
// listening only on a Unix socket there, stopped and removed when the object goes.
#pragma once

#include <memory>
#include <string>

namespace testing_pg {

class Cluster {
  public:
    // True when the server's programs are installed.
    static bool Installed();
    // Nothing, with `why` set, when it did not start.
    static std::unique_ptr<Cluster> Start(std::string& why);
    ~Cluster();
    Cluster(const Cluster&) = delete;
    Cluster& operator=(const Cluster&) = delete;

    // A --record URL for one of its databases.
    std::string Url(const std::string& database) const;
    // Where its socket is.
    const std::string& Folder() const { return folder_; }

  private:
    Cluster() = default;
    std::string folder_;
    bool running_ = false;
};

}  // namespace testing_pg
