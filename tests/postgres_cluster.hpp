// A PostgreSQL cluster of the tests' own: initdb and pg_ctl in a temporary folder, run as an
// unprivileged user (root may not run a cluster), listening only on a Unix socket in that folder,
// stopped and removed when the test program ends.
#pragma once

#include <string>

namespace station_test {

class PostgresCluster {
public:
    // The test program's cluster, started on first use. nullptr when this machine has no
    // PostgreSQL server or no user to run it as; `why_not` then says so. A server that is there
    // but does not start fails the test.
    static PostgresCluster* get(std::string& why_not);
    ~PostgresCluster();

    // A new, empty database: its postgresql:// URI.
    std::string new_database();

private:
    explicit PostgresCluster(std::string folder) : folder_(std::move(folder)) {}
    std::string folder_, bin_, user_prefix_;
    int databases_ = 0;
};

}  // namespace station_test
