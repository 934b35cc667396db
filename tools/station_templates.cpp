// Template names resolved inside the station's template folder.
#include "station_templates.hpp"

#include <filesystem>

#include "core/shown_input.hpp"
#include "station/station_error.hpp"

namespace korvex::tool {

using station::StationError;

std::string station_template_base(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    const auto bad = [&](const std::string& why) {
        return StationError(StationError::Kind::bad_input, "template name \"" + Shown_input(name) + "\" " + why);
    };
    const fs::path relative(name);
    if (name.empty() || relative.is_absolute()) throw bad("must be a name inside the template folder");
    for (const auto& part : relative)
        if (part == "..") throw bad("leaves the template folder");
    const std::string base = (fs::path(folder) / relative).string();
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(folder, ec);
    bool found = false;
    for (const char* ext : {".mc1", ".nam"}) {
        const fs::path file(base + ext);
        if (!fs::exists(file, ec)) continue;
        found = true;
        // A link may point anywhere: what it leads to must be inside the folder too.
        const fs::path real = fs::canonical(file, ec);
        const auto [end, at] = std::mismatch(root.begin(), root.end(), real.begin(), real.end());
        if (ec || end != root.end()) throw bad("leads out of the template folder");
    }
    if (!found) throw bad("names no template in " + Shown_input(folder, kShownPathChars) + " (no .mc1 or .nam)");
    return base;
}

}  // namespace korvex::tool
