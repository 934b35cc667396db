// Output options: the CLI check and the text writer, both on the library's OutputFile.
#include "output_options.hpp"

#include <sys/stat.h>

#include "core/output_file.hpp"
#include "core/shown_input.hpp"
#include "korvex/fault.hpp"

namespace korvex::tool {

CLI::Validator output_path(bool standard_output) {
    return CLI::Validator(
        [standard_output](std::string& value) -> std::string {
            if (standard_output && value == "-") return {};
            try {
                Output_path_check(value, "output");
            } catch (const Fault& f) {
                return f.what();
            }
            return {};
        },
        standard_output ? "FILE or -" : "FILE");
}

CLI::Validator output_folder() {
    return CLI::Validator(
        [](std::string& value) -> std::string {
            struct stat st {};
            if (::stat(value.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return {};
            return "no folder " + Shown_input(value, kShownPathChars);
        },
        "FOLDER");
}

bool write_text_output(const std::string& path, const char* what, std::ostream& out, std::ostream& err,
                       const std::string& tool, const std::function<void(std::ostream&)>& write) {
    if (path == "-") {
        write(out);
        out.flush();
        if (out) return true;
        err << tool << ": the " << what << " cannot be written to standard output\n";
        return false;
    }
    try {
        OutputFile file(path, what);
        write(file.stream());
        file.commit();
    } catch (const Fault& f) {
        err << tool << ": " << f.what() << "\n";
        return false;
    }
    return true;
}

}  // namespace korvex::tool
