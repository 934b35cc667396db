// The korvex program started by a test as a process of its own (a station to kill, a service),
// its output to /dev/null or a file.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// Starts `korvex ARGS…`; returns its pid (-1 when it could not start). `output` empty: /dev/null.
pid_t start_korvex(const std::vector<std::string>& args, const std::string& output = "");
// Waits for it; its exit status, or -signal when a signal ended it.
int wait_korvex(pid_t pid);
