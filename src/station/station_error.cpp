// Names of the journal's failure kinds, as the command line and the service print them.
#include "station/station_error.hpp"

namespace korvex::station {

const char* station_error_kind_name(StationError::Kind kind) {
    switch (kind) {
        case StationError::Kind::bad_input: return "bad input";
        case StationError::Kind::not_found: return "not found";
        case StationError::Kind::refused: return "refused";
        case StationError::Kind::busy: return "busy";
        case StationError::Kind::database: return "database";
    }
    return "database";
}

}  // namespace korvex::station
