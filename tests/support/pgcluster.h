// A throwaway PostgreSQL server of the tests' own: initdb and pg_ctl from
// Debian's postgresql package in a temporary folder, run as an unprivileged
// user (the tests may run as root), reached over a Unix socket only. Where
// the server binaries are missing it does not start and says why.
#pragma once

#include <string>
#include <vector>

namespace vx::test {

class PgCluster {
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    bool running() const { return running_; }
    const std::string& whyNot() const { return whyNot_; }
    // A new empty database; its postgresql:// URI, "" on failure.
    std::string newDatabase();
    // A URI no server answers.
    static std::string unreachable();

private:
    bool run(const std::string& program, const std::vector<std::string>& args, const std::string& log);

    std::string bin_, dir_;
    bool running_ = false;
    std::string whyNot_;
    int databases_ = 0;
};

// One cluster for the whole test program, started at first use.
PgCluster& SharedPgCluster();

}  // namespace vx::test
