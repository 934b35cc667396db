// Font catalogue and default start-up: the catalogue rows and font folder, how a cell's wide and
// narrow font names resolve (key, fallback file, file named directly, outline face), the one way to
// fail leaving the cell untouched, and e_Initlize run twice with a MarkConfig template.
#include <gtest/gtest.h>

#include <unistd.h>

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

TEST_F(FontCatalogueTest, TheCatalogueHoldsTheShippedRowsAndTheFolderBesideTheLibrary) {
    EXPECT_EQ(state().font.strFontPath, folder + "/font/");
    const FontCatalogueRow& dfs = state().font.FontCatalogue.at(5);
    EXPECT_EQ(dfs.Key, "special_DFS");
    EXPECT_EQ(dfs.File, "hz128f.sl");
    EXPECT_EQ(dfs.RowBegin, 16);
    EXPECT_EQ(dfs.Extra1, 87);
    const FontCatalogueRow& romans = state().font.FontCatalogue.at(56);
    EXPECT_EQ(romans.Kind, 8);
    EXPECT_EQ(romans.Rows, 24);
    EXPECT_EQ(romans.Extra2, 256);
}

TEST_F(FontCatalogueTest, NamesResolveToCatalogueFilesFallbacksFolderFilesOrOutlineFaces) {
    write_font("hz128f.sl", {});
    write_font("romans.sl", {});
    ASSERT_EQ(load("special_DFS", "special_Romans"), kTrue);
    EXPECT_EQ(wide().Kind, kFontKindDoubleByte);
    EXPECT_EQ(wide().File, font_path("hz128f.sl"));
    EXPECT_EQ(wide().Cols, 128);
    EXPECT_EQ(narrow().Kind, kFontKindSingleByte);
    EXPECT_EQ(narrow().Rows, 24);
    EXPECT_EQ(narrow().Found, kTrue);

    // Wrong case is no key: an outline face of that name, File empty, the catalogue values kept.
    ASSERT_EQ(load("special_DFS", "special_romans"), kTrue);
    EXPECT_EQ(narrow().Kind, kFontKindOutline);
    EXPECT_EQ(narrow().File, "");
    EXPECT_EQ(narrow().Found, kFalse);
    EXPECT_EQ(narrow().Rows, 24);
    EXPECT_EQ(narrow().Extra2, 256);

    // The three keys with a fallback row: first file, else the second, else a failure.
    const std::array<std::array<const char*, 3>, 3> pairs = {{{"special_DS", "xc29.sl", "xc19.sl"},
                                                              {"special_FZY", "xc55.sl", "xc51.sl"},
                                                              {"special_XST", "xc21.sl", "xc22.sl"}}};
    for (const auto& [key, first, second] : pairs) {
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

    // A name that is a file in the font folder: a contour font file (also when it holds strokes).
    write_font("MyFont.ttx", {});
    ASSERT_EQ(load("special_DFS", "MyFont.ttx"), kTrue);
    EXPECT_EQ(narrow().Kind, kFontKindContour);
    EXPECT_EQ(narrow().File, font_path("MyFont.ttx"));
    EXPECT_EQ(narrow().Found, kTrue);
    ASSERT_EQ(load("romans.sl", "special_Romans"), kTrue);
    EXPECT_EQ(wide().Kind, kFontKindContour);
    // An empty name names the folder itself, which is no font file: an outline face.
    ASSERT_EQ(load("", "special_Romans"), kTrue);
    EXPECT_EQ(wide().Kind, kFontKindOutline);
}

TEST_F(FontCatalogueTest, AMissingCatalogueFileFailsAndLeavesBothRecordsOfTheCell) {
    write_font("romans.sl", {});
    ASSERT_EQ(load("Song", "special_Romans"), kTrue);
    const FontRecord before_wide = wide(), before_narrow = narrow();
    // special_DFS is a key, hz128f.sl is missing: fails although the narrow font resolves.
    EXPECT_EQ(load("special_DFS", "MyFont.ttx"), kFalse);
    EXPECT_EQ(wide().Kind, before_wide.Kind);
    EXPECT_EQ(wide().File, before_wide.File);
    EXPECT_EQ(narrow().Kind, before_narrow.Kind);
    EXPECT_EQ(narrow().File, before_narrow.File);
    // The work record keeps the failed match: Found, the catalogue values, the missing file.
    EXPECT_EQ(state().tmpl.FontWideWork.Found, kTrue);
    EXPECT_EQ(state().tmpl.FontWideWork.File, font_path("hz128f.sl"));
    EXPECT_EQ(state().tmpl.FontNarrowWork.Kind, kFontKindOutline);
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
    korvex_dll host;
    EXPECT_EQ(host.e_Initlize(), 0);
    // The first Marking_para saw a fresh library: zero speeds and delays, step size 3.
    HeadParaRecord first = state().para.offPara;
    EXPECT_EQ(first.ms, 0.0f);
    EXPECT_EQ(first.tof, 0);
    EXPECT_EQ(first.su, 3.0);
    EXPECT_EQ(state().device.intCardMode, 0);
    EXPECT_EQ(state().font.FontCatalogue.at(59).File, "Scripts.sl");
    EXPECT_EQ(state().font.strFontPath, state().platform.library_folder + "/font/");
    // The template selected pen 1 (value p x 100 + file position): the second run re-applies it.
    EXPECT_EQ(host.e_Initlize(), 0);
    const HeadParaRecord& second = state().para.offPara;
    EXPECT_EQ(second.ms, 121.0f);
    EXPECT_EQ(second.mms, 120.0f);
    EXPECT_EQ(second.tof, 104);
    EXPECT_EQ(second.toh, 107);
    EXPECT_EQ(second.tcf, 106);
    EXPECT_EQ(second.tch, 105);
    EXPECT_EQ(second.dr_time, 109);
    EXPECT_EQ(second.su, 3.0);
}
