// Where a backend writes its trace lines (serial open, tx, rx, discard): the simulated machine's
// trace takes them, a station's real ports usually have none. The lines quote strings one way.
#pragma once

#include <string>

namespace korvex {

class TraceLines {
public:
    virtual ~TraceLines() = default;
    // False while nothing is recorded: the backend then does not even build its lines.
    virtual bool recording() const = 0;
    virtual void line(std::string text) = 0;
};

// A string in double quotes with \" and \\ escaped, as every trace line shows one.
std::string quoted(const std::string& s);

}  // namespace korvex
