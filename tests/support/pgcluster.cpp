#include "support/pgcluster.h"

#include <fcntl.h>
#include <grp.h>
#include <libpq-fe.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace vx::test {

namespace {

namespace fs = std::filesystem;

// The newest Debian server, else one on the PATH.
std::string ServerBin() {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& version : fs::directory_iterator("/usr/lib/postgresql", ec))
        if (fs::exists(version.path() / "bin" / "initdb") && fs::exists(version.path() / "bin" / "pg_ctl"))
            found.push_back(version.path() / "bin");
    std::sort(found.begin(), found.end(), [](const fs::path& a, const fs::path& b) {
        return std::atoi(a.parent_path().filename().c_str()) < std::atoi(b.parent_path().filename().c_str());
    });
    if (!found.empty())
        return found.back().string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    for (std::size_t start = 0; start <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const fs::path initdb = fs::path(dirs.substr(start, end - start)) / "initdb";
        char real[PATH_MAX];
        if (::access(initdb.c_str(), X_OK) == 0 && ::realpath(initdb.c_str(), real))
            return fs::path(real).parent_path().string();
        start = end + 1;
    }
    return "";
}

// The server must not run as root: the package's own user, else nobody.
const passwd* ServerUser() {
    if (::geteuid() != 0)
        return nullptr;
    const passwd* user = ::getpwnam("postgres");
    return user ? user : ::getpwnam("nobody");
}

constexpr const char* kSuperuser = "vormex";

}  // namespace

PgCluster::PgCluster() {
    bin_ = ServerBin();
    if (bin_.empty()) {
        whyNot_ = "the PostgreSQL server binaries (initdb, pg_ctl) are not installed";
        return;
    }
    char pattern[] = "/tmp/vormex-pg-XXXXXX";
    if (!::mkdtemp(pattern)) {
        whyNot_ = "no temporary folder for the server";
        return;
    }
    dir_ = pattern;
    ::chmod(dir_.c_str(), 0755);
    const passwd* user = ServerUser();
    if (::geteuid() == 0 && !user) {
        whyNot_ = "no unprivileged user to run the server as";
        return;
    }
    if (user && ::chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0) {
        whyNot_ = "the server's folder cannot be given to " + std::string(user->pw_name);
        return;
    }
    const std::string log = dir_ + "/server.log";
    running_ = run(bin_ + "/initdb", {"-D", dir_ + "/data", "-U", kSuperuser, "--auth=trust", "--no-sync",
                                      "-E", "UTF8", "--locale=C"},
                   log) &&
               run(bin_ + "/pg_ctl", {"-D", dir_ + "/data", "-l", log, "-w", "-t", "60", "-o",
                                      "-k " + dir_ + " -c listen_addresses= -p 5432 -c max_connections=60", "start"},
                   log);
    if (!running_)
        whyNot_ = "the throwaway PostgreSQL server did not start (" + log + ")";
}

PgCluster::~PgCluster() {
    if (running_)
        run(bin_ + "/pg_ctl", {"-D", dir_ + "/data", "-m", "immediate", "-w", "stop"}, "/dev/null");
    if (!dir_.empty()) {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
}

bool PgCluster::run(const std::string& program, const std::vector<std::string>& args, const std::string& log) {
    const passwd* user = ServerUser();
    const pid_t child = ::fork();
    if (child == 0) {
        if (user && (::setgroups(0, nullptr) != 0 || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0))
            ::_exit(126);
        // Opened as the server's user, who writes to it too.
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        ::dup2(out, 1);
        ::dup2(out, 2);
        if (::chdir(dir_.c_str()) != 0)
            ::_exit(126);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string PgCluster::newDatabase() {
    if (!running_)
        return "";
    const std::string base = "postgresql:///postgres?host=" + dir_ + "&port=5432&user=" + kSuperuser;
    PGconn* conn = PQconnectdb(base.c_str());
    const std::string name = "vormex" + std::to_string(++databases_);
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PGresult* result = PQexec(conn, ("CREATE DATABASE " + name).c_str());
        ok = PQresultStatus(result) == PGRES_COMMAND_OK;
        PQclear(result);
    }
    PQfinish(conn);
    return ok ? "postgresql:///" + name + "?host=" + dir_ + "&port=5432&user=" + kSuperuser : "";
}

std::string PgCluster::unreachable() {
    return "postgresql:///vormex?host=/nonexistent-vormex-server&port=5432&user=" + std::string(kSuperuser);
}

PgCluster& SharedPgCluster() {
    static PgCluster cluster;
    return cluster;
}

}  // namespace vx::test
