// What the last template load did, for whoever reports on a template (the operator's message, the
// tools): whether the machine file began with the magic line, whether its hardware section was read
// whole (so the gate bit and level are the template's), and every step or record that failed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "korvex/fault.hpp"

namespace korvex {

// A load step or a machine-file record that failed: its name ("pen 3", "hardware values", "zone
// rows", "cell list", ...), its fault, and the line of the file where it went wrong (0: none).
struct TemplateStepFault {
    std::string step;
    FaultKind kind;
    std::string message;
    int32_t line = 0;
};

struct TemplateLoadReport {
    bool magic = false;
    bool hardware_read = false;       // section 3 read whole and taken over
    int32_t damaged_records = 0;      // records of the machine file that were damaged or not reached
    std::vector<TemplateStepFault> failed;

    // True when the machine file began with the magic line but not all of it could be taken over.
    bool machine_file_damaged() const { return damaged_records > 0; }
};

}  // namespace korvex
