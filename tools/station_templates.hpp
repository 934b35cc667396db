// Templates of a station, named by orders: a name is resolved only inside the station's template
// folder, never by `..`, an absolute path or a symbolic link that leads out of it.
#pragma once

#include <string>

namespace korvex::tool {

// FOLDER/NAME as a template base path (NAME.mc1 / NAME.nam beside it); throws
// station::StationError (bad input) for a name that leaves the folder or names no template.
std::string station_template_base(const std::string& folder, const std::string& name);

}  // namespace korvex::tool
