// Font test helpers: file builders and the font folder fixture.
#include "font_files.hpp"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "font/font_catalogue.hpp"

namespace font_test {

void put_le(Bytes& b, std::size_t at, uint32_t value, int bytes) {
    if (b.size() < at + static_cast<std::size_t>(bytes)) b.resize(at + static_cast<std::size_t>(bytes));
    for (int k = 0; k < bytes; ++k) b[at + static_cast<std::size_t>(k)] = static_cast<uint8_t>(value >> (8 * k));
}

Bytes stroke_font(const std::map<int64_t, Bytes>& glyphs) {
    const std::size_t entries = glyphs.empty() ? 0 : static_cast<std::size_t>(glyphs.rbegin()->first) + 1;
    Bytes file(3 * entries, 0);
    for (const auto& [n, shape] : glyphs) {
        put_le(file, 3 * static_cast<std::size_t>(n), static_cast<uint32_t>(file.size() + 1), 3);
        file.insert(file.end(), shape.begin(), shape.end());
    }
    return file;
}

Bytes contour_font(const std::map<uint16_t, std::vector<Contour>>& glyphs) {
    constexpr std::size_t kTable = 182;
    const std::size_t codes = glyphs.empty() ? 0 : std::size_t{glyphs.rbegin()->first} + 1;
    Bytes file(kTable + 4 * codes, 0);
    put_le(file, 178, kTable, 4);
    for (const auto& [code, contours] : glyphs) {
        put_le(file, kTable + 4 * code, static_cast<uint32_t>(file.size()), 4);
        std::size_t at = file.size();
        put_le(file, at, static_cast<uint32_t>(contours.size()), 2);
        for (const Contour& c : contours) {
            at = file.size();
            file.push_back(c.flag);
            put_le(file, at + 1, static_cast<uint32_t>(c.points.size()), 2);
            for (auto [x, y] : c.points) {
                put_le(file, file.size(), static_cast<uint32_t>(x), 4);
                put_le(file, file.size(), static_cast<uint32_t>(y), 4);
            }
        }
    }
    return file;
}

}  // namespace font_test

void FontTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvex-font-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern;
    std::filesystem::create_directory(folder + "/font");
    machine.set_library_folder(folder);
    ScanTest::SetUp();
    korvex::Font_catalogue_init(state());
}

void FontTest::TearDown() {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    ScanTest::TearDown();
}

void FontTest::write_font(const std::string& name, const font_test::Bytes& bytes) const {
    std::ofstream(folder + "/font/" + name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                                   static_cast<std::streamsize>(bytes.size()));
}

void FontTest::remove_font(const std::string& name) const { std::filesystem::remove(folder + "/font/" + name); }

std::vector<FontTest::Seg> FontTest::lines() const {
    std::vector<Seg> out;
    for (const korvex::Mark& m : machine.marks())
        if (m.kind == korvex::Mark::Kind::line) out.push_back({m.x0, m.y0, m.x1, m.y1});
    return out;
}

std::vector<FontTest::Seg> FontTest::strokes() const {
    std::vector<Seg> out;
    bool in_stroke = false;
    for (const korvex::Mark& m : machine.marks()) {
        const bool line = m.kind == korvex::Mark::Kind::line;
        if (line && in_stroke) {
            out.back().x1 = m.x1;
            out.back().y1 = m.y1;
        } else if (line) {
            out.push_back({m.x0, m.y0, m.x1, m.y1});
        }
        in_stroke = line;
    }
    return out;
}

std::ostream& operator<<(std::ostream& o, const FontTest::Seg& s) {
    return o << "(" << s.x0 << "," << s.y0 << ")-(" << s.x1 << "," << s.y1 << ")";
}
