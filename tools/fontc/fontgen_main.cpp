// korvex_fontgen: the build's font step. Writes every catalogue font file that has a source into the
// font folder beside the built library, then a stamp and a dependency file naming the sources, so
// the build makes the fonts again only when the compiler or a source font changes.
//   korvex_fontgen FONT_FOLDER STAMP DEPFILE
#include <chrono>
#include <iostream>
#include <thread>

#include "core/output_file.hpp"
#include "fontc/catalogue_sources.hpp"

int main(int argc, char** argv) try {
    if (argc != 4) {
        std::cerr << "usage: korvex_fontgen FONT_FOLDER STAMP DEPFILE\n";
        return 2;
    }
    const std::string folder = argv[1], stamp = argv[2], depfile = argv[3];
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> sources;
    const auto fonts = korvex::fontc::Compile_catalogue(folder, std::max(1u, std::thread::hardware_concurrency()), sources);
    std::size_t bytes = 0;
    for (const auto& f : fonts) bytes += f.bytes;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cout << "korvex_fontgen: " << fonts.size() << " font files, " << bytes / 1024 << " KiB, in " << seconds
              << " s into " << folder << "\n";

    std::string deps = stamp + ":";
    for (const auto& s : sources) deps += " \\\n  " + s;
    deps += "\n";
    korvex::Output_file_write(depfile, "dependency file", deps);
    korvex::Output_file_write(stamp, "stamp file", std::to_string(fonts.size()) + " font files\n");
    return 0;
} catch (const std::exception& e) {
    std::cerr << "korvex_fontgen: " << e.what() << "\n";
    return 1;
}
