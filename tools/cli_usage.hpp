// The korvex program's command line as a whole: parsing with one exit status for every usage error,
// the nearest sub-command for a mistyped one, and the phrases the help texts share.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace korvex::tool {

// Exit status of a command line the program cannot take (unknown sub-command or option, a missing
// or malformed value); commands also use it for input they refuse before any work.
inline constexpr int kUsageStatus = 2;

// Where a command finds the fonts and the grid when no folder is given, as the help texts say it.
inline constexpr const char* kLibraryFolderDefault =
    "KORVEX_HOME, else share/korvex of the installation (/usr/share/korvex for the Debian package)";

// Parses the command line into app. Returns nothing when a command is to run; else the status to
// exit with: 0 after --help or --version (printed on out), kUsageStatus after a usage error
// (printed on err, with the nearest sub-command when a word names none).
std::optional<int> parse_command_line(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                      std::ostream& err);

// The name among `names` closest to `typed` (edit distance; a prefix of a name counts as one edit),
// or "" when none is within a third of the longer word's length (at least 2 edits).
std::string nearest_name(const std::string& typed, const std::vector<std::string>& names);

}  // namespace korvex::tool
