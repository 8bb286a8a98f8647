// A throwaway PostgreSQL cluster for one test program: made in a fresh folder, listening only on
// a Unix socket there, stopped and removed when the object goes. The server refuses to run as
// root, so under root it runs as nobody.
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
    std::string bin_;
    std::string folder_;
};

}  // namespace testing_pg
