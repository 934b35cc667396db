// The font catalogue's 60 rows: key, file, kind, design rows and columns, first GB2312 row, and the
// two carried values. Three keys appear twice; the later row is the fallback file of that key.
#include "font/font_catalogue.hpp"

namespace korvex {

const std::array<FontCatalogueEntry, kFontCatalogueRows> kFontCatalogue = {{
    {"special_BS", "xc26.sl", 2, 128, 128, 1, 87, 0},  // 0
    {"special_DH", "xc30.sl", 2, 128, 128, 1, 87, 0},  // 1
    {"special_DS", "xc29.sl", 2, 128, 128, 1, 87, 0},  // 2
    {"special_DZY", "xc16.sl", 2, 128, 128, 1, 87, 0},  // 3
    {"special_DX", "xc01.sl", 2, 16, 16, 1, 87, 0},  // 4
    {"special_DFS", "hz128f.sl", 2, 128, 128, 16, 87, 0},  // 5
    {"special_DXS", "xc02.sl", 2, 90, 90, 1, 87, 0},  // 6
    {"special_DS1", "hz16s.sl", 2, 16, 16, 16, 87, 0},  // 7
    {"special_DS2", "hz16s1.sl", 2, 16, 16, 16, 87, 0},  // 8
    {"special_FCH", "xc56.sl", 2, 128, 128, 1, 87, 0},  // 9
    {"special_FFS", "xc60.sl", 2, 128, 128, 1, 87, 0},  // 10
    {"special_FH", "xc63.sl", 2, 128, 128, 1, 87, 0},  // 11
    {"special_FF", "xc52.sl", 2, 128, 128, 1, 87, 0},  // 12
    {"special_FK", "xc62.sl", 2, 128, 128, 1, 87, 0},  // 13
    {"special_FDB", "xc53.sl", 2, 128, 128, 1, 87, 0},  // 14
    {"special_FS", "xc61.sl", 2, 128, 128, 1, 87, 0},  // 15
    {"special_FW", "xc57.sl", 2, 128, 128, 1, 87, 0},  // 16
    {"special_FXH", "xc59.sl", 2, 128, 128, 1, 87, 0},  // 17
    {"special_FXY", "xc54.sl", 2, 128, 128, 1, 87, 0},  // 18
    {"special_FYX", "xc58.sl", 2, 128, 128, 1, 87, 0},  // 19
    {"special_FZY", "xc55.sl", 2, 128, 128, 1, 87, 0},  // 20
    {"special_FZY", "xc51.sl", 2, 128, 128, 1, 87, 0},  // 21
    {"special_FST", "xc25.sl", 2, 128, 128, 1, 87, 0},  // 22
    {"special_GBDS", "gbcbig.sl", 2, 96, 96, 1, 87, 0},  // 23
    {"special_HT", "xc24.sl", 2, 128, 128, 1, 87, 0},  // 24
    {"special_JMXY", "xc12.sl", 2, 128, 128, 1, 87, 0},  // 25
    {"special_KT", "xc23.sl", 2, 128, 128, 1, 87, 0},  // 26
    {"special_DB", "xc15.sl", 2, 128, 128, 1, 87, 0},  // 27
    {"special_DS", "xc19.sl", 2, 128, 128, 1, 87, 0},  // 28
    {"special_MXS", "xc28.sl", 2, 128, 128, 1, 87, 0},  // 29
    {"special_SFS", "xc93.sl", 2, 64, 64, 1, 87, 0},  // 30
    {"special_SHT", "xc92.sl", 2, 64, 64, 1, 87, 0},  // 31
    {"special_SKT", "xc91.sl", 2, 64, 64, 1, 87, 0},  // 32
    {"special_SST", "xc90.sl", 2, 64, 64, 1, 87, 0},  // 33
    {"special_STI", "xc20.sl", 2, 128, 128, 1, 87, 0},  // 34
    {"special_ST", "xc11.sl", 2, 128, 128, 1, 87, 0},  // 35
    {"special_WB", "xc13.sl", 2, 128, 128, 1, 87, 0},  // 36
    {"special_XY", "xc17.sl", 2, 128, 128, 1, 87, 0},  // 37
    {"special_XST", "xc21.sl", 2, 128, 128, 1, 87, 0},  // 38
    {"special_XST", "xc22.sl", 2, 128, 128, 1, 87, 0},  // 39
    {"special_XK", "xc18.sl", 2, 128, 128, 1, 87, 0},  // 40
    {"special_YT", "xc27.sl", 2, 128, 128, 1, 87, 0},  // 41
    {"special_ZY", "xc14.sl", 2, 128, 128, 1, 87, 0},  // 42
    {"special_Complex", "Complex.sl", 8, 24, 24, 1, 2, 256},  // 43
    {"special_Gbeitc", "Gbeitc.sl", 8, 40, 40, 1, 2, 256},  // 44
    {"special_Gothice", "Gothice.sl", 8, 24, 24, 1, 2, 256},  // 45
    {"special_Gothicg", "Gothicg.sl", 8, 24, 24, 1, 2, 256},  // 46
    {"special_Gothici", "Gothici.sl", 8, 24, 24, 1, 2, 256},  // 47
    {"special_Greekc", "Greekc.sl", 8, 24, 24, 1, 2, 256},  // 48
    {"special_Greeks", "Greeks.sl", 8, 24, 24, 1, 2, 256},  // 49
    {"special_Italic", "Italic.sl", 8, 24, 24, 1, 2, 256},  // 50
    {"special_Italicc", "Italicc.sl", 8, 24, 24, 1, 2, 256},  // 51
    {"special_Italict", "Italict.sl", 8, 24, 24, 1, 2, 256},  // 52
    {"special_Monotxt", "monotxt.sl", 8, 8, 8, 1, 2, 256},  // 53
    {"special_Romanc", "romanc.sl", 8, 24, 24, 1, 2, 256},  // 54
    {"special_Romand", "romand.sl", 8, 24, 24, 1, 2, 256},  // 55
    {"special_Romans", "romans.sl", 8, 24, 24, 1, 2, 256},  // 56
    {"special_Romant", "romant.sl", 8, 24, 24, 1, 2, 256},  // 57
    {"special_Scriptc", "Scriptc.sl", 8, 24, 24, 1, 2, 256},  // 58
    {"special_Scripts", "Scripts.sl", 8, 24, 24, 1, 2, 256},  // 59
}};

}  // namespace korvex
