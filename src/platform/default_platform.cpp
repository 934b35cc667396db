// Default backends per thread, and the library folder found from the loaded library file.
#include "platform/default_platform.hpp"

#include <dlfcn.h>

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

std::string default_library_folder() {
    if (const char* home = std::getenv("KORVEX_HOME"); home && *home) return home;
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&default_library_folder), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        auto slash = path.rfind('/');
        if (slash != std::string::npos) return path.substr(0, slash);
    }
    return ".";
}

}  // namespace korvex
