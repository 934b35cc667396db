// Starting and stopping the tests' PostgreSQL cluster with the server's own programs.
#include "postgres_cluster.hpp"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <pqxx/pqxx>

namespace station_test {

namespace {

// The newest installed server's programs, or "".
std::string server_bin() {
    std::string best;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/usr/lib/postgresql", ec))
        if (std::filesystem::exists(e.path() / "bin" / "initdb") && e.path().string() > best) best = e.path().string();
    return best.empty() ? "" : best + "/bin";
}

std::string uri(const std::string& folder, const std::string& db) { return "postgresql:///" + db + "?host=" + folder + "&user=korvex"; }

}  // namespace

PostgresCluster* PostgresCluster::get(std::string& why_not) {
    static std::unique_ptr<PostgresCluster> cluster;
    static std::string failure;
    if (cluster || !failure.empty()) {
        why_not = failure;
        return cluster.get();
    }
    const std::string bin = server_bin();
    if (bin.empty()) {
        why_not = failure = "no PostgreSQL server installed (/usr/lib/postgresql/*/bin/initdb; scripts/setup.sh installs it)";
        return nullptr;
    }
    std::string prefix;
    const passwd* user = nullptr;
    if (geteuid() == 0) {
        user = getpwnam("postgres");
        if (!user) {
            why_not = failure = "running as root and there is no 'postgres' user to run the server as";
            return nullptr;
        }
        prefix = "runuser -u postgres -- ";
    }
    char folder[] = "/tmp/korvex-pg-XXXXXX";
    if (!mkdtemp(folder)) {
        ADD_FAILURE() << "cannot make a folder for the cluster";
        why_not = failure = "no folder";
        return nullptr;
    }
    if (user && chown(folder, user->pw_uid, user->pw_gid) != 0) ADD_FAILURE() << "cannot hand " << folder << " to postgres";
    auto c = std::unique_ptr<PostgresCluster>(new PostgresCluster(folder));
    c->bin_ = bin;
    c->user_prefix_ = prefix;
    const std::string f = folder;
    const std::string init = "cd " + f + " && " + prefix + bin + "/initdb -D " + f + "/data -A trust -U korvex -E UTF8 --no-locale --no-sync >" +
                             f + "/initdb.log 2>&1";
    if (std::system(init.c_str()) != 0) {
        ADD_FAILURE() << "initdb failed, see " << f << "/initdb.log";
        why_not = failure = "initdb failed";
        return nullptr;
    }
    std::ofstream(f + "/data/postgresql.conf", std::ios::app)
        << "listen_addresses = ''\nunix_socket_directories = '" << f << "'\nfsync = off\nmax_connections = 40\n";
    const std::string start = "cd " + f + " && " + prefix + bin + "/pg_ctl -D " + f + "/data -l " + f + "/server.log -w -s start >/dev/null 2>&1";
    if (std::system(start.c_str()) != 0) {
        ADD_FAILURE() << "the PostgreSQL server did not start, see " << f << "/server.log";
        why_not = failure = "pg_ctl start failed";
        return nullptr;
    }
    cluster = std::move(c);
    return cluster.get();
}

PostgresCluster::~PostgresCluster() {
    const std::string stop = "cd " + folder_ + " && " + user_prefix_ + bin_ + "/pg_ctl -D " + folder_ + "/data -m immediate -s stop >/dev/null 2>&1";
    if (!bin_.empty() && std::system(stop.c_str()) != 0) std::fprintf(stderr, "could not stop the test cluster in %s\n", folder_.c_str());
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

std::string PostgresCluster::new_database() {
    const std::string name = "journal_" + std::to_string(++databases_);
    pqxx::connection c(uri(folder_, "postgres"));
    pqxx::nontransaction(c).exec("CREATE DATABASE " + name);
    return uri(folder_, name);
}

}  // namespace station_test
