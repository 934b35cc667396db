// StationError: every failure of the production journal. The kind says what a caller can do about
// it (fix the input, look elsewhere, let an operator decide, try again later); the message says
// what failed in words an operator reads, with any echoed input escaped.
#pragma once

#include <stdexcept>
#include <string>

namespace korvex::station {

class StationError : public std::runtime_error {
public:
    enum class Kind {
        bad_input,  // a name, number, count or file the journal cannot take; nothing was changed
        not_found,  // no such pool, order, plate or number
        refused,    // the state of a plate or number does not allow it (the schema refuses it too)
        busy,       // another station held the database too long, or a transaction lost a race
        database,   // the database cannot be reached, opened or written, or its schema is not ours
    };
    StationError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// "bad input", "not found", "refused", "busy", "database".
const char* station_error_kind_name(StationError::Kind kind);

}  // namespace korvex::station
