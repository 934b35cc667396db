// Default backends per thread, and the library folder found from the loaded library file or the
// installed data folder.
#include "interface/default_platform.hpp"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>

namespace korvex {

namespace {
thread_local std::unique_ptr<DefaultBackends> t_defaults;
}

DefaultBackends& default_backends() {
    if (!t_defaults) t_defaults = std::make_unique<DefaultBackends>();
    return *t_defaults;
}

void reset_default_backends() { t_defaults.reset(); }

namespace {
bool has_font_folder(const std::string& folder) {
    struct stat st {};
    return ::stat((folder + "/font").c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
}  // namespace

// The folder of the loaded library (or program) file when font/ sits beside it, as in the build
// tree; else the installed data folder, looked for first relative to that file (an installed copy
// moved or unpacked under another prefix) and then at the path the build was configured with.
std::string default_library_folder() {
    if (const char* home = std::getenv("KORVEX_HOME"); home && *home) return home;
    std::string own = ".";
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&default_library_folder), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        auto slash = path.rfind('/');
        if (slash != std::string::npos) own = path.substr(0, slash);
    }
    if (has_font_folder(own)) return own;
#ifdef KORVEX_DATA_DIR
    for (const char* relative : {KORVEX_DATA_FROM_LIB_DIR, KORVEX_DATA_FROM_BIN_DIR})
        if (has_font_folder(own + "/" + relative)) return own + "/" + relative;
    if (has_font_folder(KORVEX_DATA_DIR)) return KORVEX_DATA_DIR;
#endif
    return own;
}

}  // namespace korvex
