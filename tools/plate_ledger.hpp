// PlateLedger: where a batch of ear tags records its plates as it marks them (the production
// journal), in write-ahead order: a plate is begun (committed) before its first laser pulse,
// marked once the print pass returned, and each tag's read-back is recorded after it is read.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace korvex::tool {

class PlateLedger {
public:
    virtual ~PlateLedger() = default;
    // Before the plate's first pulse, committed. `planned`: the numbers the batch has for the
    // plate; empty: the ledger chooses them (a queue of plates). Returns the numbers to mark, or
    // nothing when no plate is left. Throws (std::exception) when the plate may not be marked.
    virtual std::optional<std::vector<std::string>> begin_plate(const std::vector<std::string>& planned) = 0;
    // The print pass returned: the plate is marked.
    virtual void plate_marked() = 0;
    // The pass faulted or was stopped: nobody knows how much of the plate is marked.
    virtual void plate_stopped(const std::string& why) = 0;
    // Tag `slot` (1 = first) read back as `read` ("" when nothing read).
    virtual void tag_read(int slot, const std::string& read) = 0;
};

}  // namespace korvex::tool
