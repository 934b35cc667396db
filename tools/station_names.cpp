// The operator's and the station's default names for the production journal.
#include "station_names.hpp"

#include <unistd.h>

#include <cstdlib>

namespace korvex::tool {

std::string default_operator() {
    for (const char* name : {"KORVEX_OPERATOR", "USER", "LOGNAME"})
        if (const char* v = std::getenv(name); v && *v) return v;
    return "operator";
}

std::string default_station() {
    if (const char* v = std::getenv("KORVEX_STATION"); v && *v) return v;
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0 && host[0]) return host;
    return "station";
}

}  // namespace korvex::tool
