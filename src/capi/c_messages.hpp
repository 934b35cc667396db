// Message boxes and the log for C hosts: the operator interface the C layer installs on a thread
// (the host's message callback, else the console's boxes on standard error) and the process's log
// callback, which hears of every box and every fault a C function returns.
#pragma once

#include <string>

#include "korvex/host_ui.hpp"
#include "korvex/korvex.h"

namespace korvex::capi {

// The calling thread's operator interface of the C layer.
HostUi& thread_message_ui();

// Passes a line to the host's log callback when one is set for `level`.
void log_line(korvex_log_level level, const std::string& line) noexcept;

}  // namespace korvex::capi
