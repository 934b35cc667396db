// Font resolution and default start-up: a cell's wide and narrow names resolve to catalogue files
// (with the fallback rows), files named directly, or outline faces; the one way to fail leaves the
// cell untouched; e_Initlize twice, the second time with the speeds a MarkConfig template chose.
#include <gtest/gtest.h>

#include <filesystem>

#include "font/font_catalogue.hpp"
#include "font_files.hpp"
#include "template_files.hpp"

using namespace korvex;

namespace {

class FontCatalogueTest : public FontTest {
protected:
    // Resolves the two names as the print pass does: the cell's records through the work records.
    vbool load(const std::string& wide, const std::string& narrow) {
        TemplateGroup& t = state().tmpl;
        t.curCell.FontWide.Name = wide;
        t.curCell.FontNarrow.Name = narrow;
        t.FontWideWork = t.curCell.FontWide;
        t.FontNarrowWork = t.curCell.FontNarrow;
        return Font_load(state());
    }
    const FontRecord& wide() { return state().tmpl.curCell.FontWide; }
    const FontRecord& narrow() { return state().tmpl.curCell.FontNarrow; }
    std::string font_path(const std::string& name) const { return folder + "/font/" + name; }
};

}  // namespace

TEST_F(FontCatalogueTest, NamesResolveToCatalogueFilesFallbacksFolderFilesOrOutlineFaces) {
    write_font("hz128f.sl", {});
    write_font("romans.sl", {});
    state().font = FontGroup{};  // no e_Initlize yet: the catalogue is built on first use
    ASSERT_EQ(load("special_DFS", "special_Romans"), kTrue);
    EXPECT_EQ(wide().File, font_path("hz128f.sl"));
    EXPECT_EQ((std::array{wide().Kind, wide().Cols, wide().RowBegin, wide().Extra1}), (std::array<int16_t, 4>{2, 128, 16, 87}));
    EXPECT_EQ((std::array{narrow().Kind, narrow().Rows, narrow().Found}), (std::array<int16_t, 3>{8, 24, kTrue}));
    EXPECT_EQ(narrow().Extra2, 256);

    // Wrong case is no key: an outline face of that name, File empty, the catalogue values kept.
    ASSERT_EQ(load("special_DFS", "special_romans"), kTrue);
    EXPECT_EQ((std::array{narrow().Kind, narrow().Rows, narrow().Found}), (std::array<int16_t, 3>{0, 24, kFalse}));
    EXPECT_EQ(narrow().File, "");

    // The three keys with a fallback row: the first file, else the second, else a failure.
    for (const auto& [key, first, second] : std::array<std::array<std::string, 3>, 3>{
             {{"special_DS", "xc29.sl", "xc19.sl"}, {"special_FZY", "xc55.sl", "xc51.sl"}, {"special_XST", "xc21.sl", "xc22.sl"}}}) {
        write_font(first, {});
        write_font(second, {});
        ASSERT_EQ(load(key, "special_Romans"), kTrue) << key;
        EXPECT_EQ(wide().File, font_path(first));
        remove_font(first);
        ASSERT_EQ(load(key, "special_Romans"), kTrue) << key;
        EXPECT_EQ(wide().File, font_path(second));
        remove_font(second);
        EXPECT_EQ(load(key, "special_Romans"), kFalse) << key;
    }

    // A file in the font folder named directly: a contour font file, even a stroke font's.
    write_font("MyFont.ttx", {});
    ASSERT_EQ(load("romans.sl", "MyFont.ttx"), kTrue);
    EXPECT_EQ(wide().Kind, kFontKindContour);
    EXPECT_EQ(narrow().File, font_path("MyFont.ttx"));
    EXPECT_EQ(narrow().Found, kTrue);
    // An empty name would name the folder itself, which is no font file: an outline face.
    ASSERT_EQ(load("", "special_Romans"), kTrue);
    EXPECT_EQ(wide().Kind, kFontKindOutline);
}

TEST_F(FontCatalogueTest, AMissingCatalogueFileFailsAndLeavesBothRecordsOfTheCell) {
    write_font("romans.sl", {});
    ASSERT_EQ(load("Song", "special_Romans"), kTrue);
    const FontRecord before_wide = wide(), before_narrow = narrow();
    // special_DFS is a key but hz128f.sl is missing: a failure although the narrow name resolves.
    EXPECT_EQ(load("special_DFS", "MyFont.ttx"), kFalse);
    EXPECT_EQ(wide().Kind, before_wide.Kind);
    EXPECT_EQ(wide().File, before_wide.File);
    EXPECT_EQ(narrow().Kind, before_narrow.Kind);
    EXPECT_EQ(state().tmpl.FontWideWork.File, font_path("hz128f.sl"));  // the failed match stays in the work record
}

class DefaultStartupTest : public TemplateTest {
protected:
    void TearDown() override {
        std::filesystem::current_path(was);
        TemplateTest::TearDown();
    }
    const std::filesystem::path was = std::filesystem::current_path();
};

TEST_F(DefaultStartupTest, EInitlizeRunsTwiceTheSecondTimeWithTheTemplatesSpeeds) {
    write_template("MarkConfig", tmpl_test::distinct_mc1(), "");
    std::filesystem::current_path(dir);
    auto para = [&] {
        const HeadParaRecord& o = state().para.offPara;
        return std::array<double, 8>{o.ms, o.mms, double(o.tof), double(o.toh), double(o.tcf), double(o.tch), double(o.dr_time), o.su};
    };
    korvex_dll host;
    EXPECT_EQ(host.e_Initlize(), 0);
    // A fresh library: zero speeds and delays, a step of 3 um; direct mode; the catalogue built.
    EXPECT_EQ(para(), (std::array<double, 8>{0, 0, 0, 0, 0, 0, 0, 3.0}));
    EXPECT_EQ(state().device.intCardMode, 0);
    EXPECT_EQ(state().font.strFontPath, state().platform.library_folder + "/font/");
    EXPECT_EQ(state().font.FontCatalogue.at(59).File, "Scripts.sl");
    // The template selected pen 1 (value pen x 100 + file position); the second run re-applies it.
    EXPECT_EQ(host.e_Initlize(), 0);
    EXPECT_EQ(para(), (std::array<double, 8>{121, 120, 104, 107, 106, 105, 109, 3.0}));
}
