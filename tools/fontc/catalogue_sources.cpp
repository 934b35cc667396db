// The catalogue files the build makes and the fonts they are made from.
#include "fontc/catalogue_sources.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>

#include "fontc/hershey_source.hpp"
#include "fontc/outline_source.hpp"

namespace korvex::fontc {

namespace {

#define HERSHEY(name) "/usr/share/hershey-fonts/" name ".jhf"
constexpr const char* kMing = "/usr/share/fonts/truetype/arphic/uming.ttc";
constexpr const char* kKai = "/usr/share/fonts/truetype/arphic/ukai.ttc";
constexpr const char* kHei = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";
constexpr const char* kMingFace = "AR PL UMing CN";
constexpr const char* kKaiFace = "AR PL UKai CN";
constexpr const char* kHeiFace = "WenQuanYi Micro Hei";

}  // namespace

const std::vector<CatalogueSource>& Catalogue_sources() {
    static const std::vector<CatalogueSource> sources = {
        // Double-byte, GB2312: the Ming face for the Song keys (and for the FangSong ones, there being no
        // FangSong face), Kai for Kai, Hei for Hei.
        {"hz128f.sl", SourceKind::outline, kMing, kMingFace, false},
        {"xc11.sl", SourceKind::outline, kMing, kMingFace, false},
        {"xc23.sl", SourceKind::outline, kKai, kKaiFace, false},
        {"xc24.sl", SourceKind::outline, kHei, kHeiFace, false},
        {"xc90.sl", SourceKind::outline, kMing, kMingFace, false},
        {"xc91.sl", SourceKind::outline, kKai, kKaiFace, false},
        {"xc92.sl", SourceKind::outline, kHei, kHeiFace, false},
        {"xc93.sl", SourceKind::outline, kMing, kMingFace, false},
        {"xc61.sl", SourceKind::outline, kMing, kMingFace, false},
        {"xc62.sl", SourceKind::outline, kKai, kKaiFace, false},
        {"xc63.sl", SourceKind::outline, kHei, kHeiFace, false},
        // Single-byte: the Hershey sets of the same style.
        {"Complex.sl", SourceKind::hershey, HERSHEY("timesr"), "", false},
        {"Gbeitc.sl", SourceKind::hershey, HERSHEY("timesi"), "", false},
        {"Gothice.sl", SourceKind::hershey, HERSHEY("gothiceng"), "", false},
        {"Gothicg.sl", SourceKind::hershey, HERSHEY("gothicger"), "", false},
        {"Gothici.sl", SourceKind::hershey, HERSHEY("gothicita"), "", false},
        {"Greekc.sl", SourceKind::hershey, HERSHEY("greekc"), "", false},
        {"Greeks.sl", SourceKind::hershey, HERSHEY("greeks"), "", false},
        {"Italic.sl", SourceKind::hershey, HERSHEY("timesi"), "", false},
        {"Italicc.sl", SourceKind::hershey, HERSHEY("timesi"), "", false},
        {"Italict.sl", SourceKind::hershey, HERSHEY("timesib"), "", false},
        {"monotxt.sl", SourceKind::hershey, HERSHEY("rowmans"), "", true},
        {"romanc.sl", SourceKind::hershey, HERSHEY("timesr"), "", false},
        {"romand.sl", SourceKind::hershey, HERSHEY("rowmand"), "", false},
        {"romans.sl", SourceKind::hershey, HERSHEY("rowmans"), "", false},
        {"romant.sl", SourceKind::hershey, HERSHEY("rowmant"), "", false},
        {"Scriptc.sl", SourceKind::hershey, HERSHEY("scriptc"), "", false},
        {"Scripts.sl", SourceKind::hershey, HERSHEY("scripts"), "", false},
    };
    return sources;
}
#undef HERSHEY

const FontCatalogueEntry& Catalogue_entry(const std::string& file) {
    for (const FontCatalogueEntry& e : kFontCatalogue)
        if (file == e.file) return e;
    raise_fault(FaultKind::index, "no catalogue row names " + file);
}

std::vector<std::optional<std::vector<uint8_t>>> Compile_catalogue_file(const CatalogueSource& source) {
    const FontCatalogueEntry& row = Catalogue_entry(source.file);
    if (source.kind == SourceKind::hershey) return Compile_hershey_font(source.source, row.rows, source.fixed_pitch);
    return Compile_outline_font(source.source, source.face, row.rows, row.row_begin);
}

std::vector<CompiledFont> Compile_catalogue(const std::string& folder, unsigned workers,
                                            std::vector<std::string>& sources_read) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) raise_fault(FaultKind::file, "cannot make the folder " + folder);
    const std::vector<CatalogueSource>& sources = Catalogue_sources();
    std::vector<CompiledFont> done(sources.size());
    std::atomic<std::size_t> next{0};
    std::mutex failure_lock;
    std::exception_ptr failure;
    auto work = [&] {
        for (std::size_t i = next++; i < sources.size(); i = next++) {
            try {
                const auto glyphs = Compile_catalogue_file(sources[i]);
                const std::vector<uint8_t> bytes = Assemble_font(glyphs);
                done[i].file = folder + "/" + sources[i].file;
                done[i].glyphs = static_cast<std::size_t>(std::count_if(glyphs.begin(), glyphs.end(), [](const auto& g) { return g.has_value(); }));
                done[i].bytes = bytes.size();
                Write_file(done[i].file, bytes);
            } catch (...) {
                std::lock_guard<std::mutex> hold(failure_lock);
                if (!failure) failure = std::current_exception();
                next = sources.size();
            }
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 1; t < std::max(workers, 1u); ++t) threads.emplace_back(work);
    work();
    for (std::thread& t : threads) t.join();
    if (failure) std::rethrow_exception(failure);
    for (const CatalogueSource& s : sources)
        if (std::find(sources_read.begin(), sources_read.end(), s.source) == sources_read.end()) sources_read.push_back(s.source);
    return done;
}

}  // namespace korvex::fontc
