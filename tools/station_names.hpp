// Who and where, for the production journal's records: the operator (KORVEX_OPERATOR, else the
// login name) and the station (KORVEX_STATION, else the machine's host name).
#pragma once

#include <string>

namespace korvex::tool {

std::string default_operator();
std::string default_station();

}  // namespace korvex::tool
