// What the two back ends share: collecting rows, and naming a database in messages without its
// password.
#include "station/sql_connection.hpp"

#include "core/shown_input.hpp"

namespace korvex::station {

std::vector<SqlRow> SqlConnection::query(const std::string& sql, const std::vector<SqlValue>& params) {
    std::vector<SqlRow> rows;
    run(sql, params, [&](const SqlRow& r) { rows.push_back(r); });
    return rows;
}

int64_t SqlConnection::execute(const std::string& sql, const std::vector<SqlValue>& params) { return run(sql, params, nullptr); }

std::string shown_target(const std::string& target) {
    std::string t = target;
    const std::size_t scheme = t.find("://");
    if (scheme != std::string::npos) {
        const std::size_t authority = scheme + 3;
        const std::size_t at = t.find('@', authority), slash = t.find('/', authority);
        if (at != std::string::npos && (slash == std::string::npos || at < slash)) {
            const std::size_t colon = t.find(':', authority);
            if (colon != std::string::npos && colon < at) t.replace(colon + 1, at - colon - 1, "***");
        }
        const std::size_t password = t.find("password=");
        if (password != std::string::npos) t.replace(password + 9, t.find('&', password) - password - 9, "***");
    }
    return Shown_input(t, 200);
}

}  // namespace korvex::station
