// The font catalogue and the resolution of a text cell's two font names. A name is looked up as a
// catalogue key (a later row with the same key is the fallback file when the earlier row's file is
// missing), then as a file in the font folder, and otherwise taken as a system outline face.
#include "font/font_catalogue.hpp"

#include "font/font_file_cache.hpp"

namespace korvex {

namespace {

// The catalogue scan of one record: true when a row with the record's name has an existing file.
// A matching row whose file is missing still marks the record Found and leaves its values there.
bool Catalogue_resolve(const FontGroup& font, FontRecord& r) {
    r.Found = kFalse;
    for (int i = 0; i < kFontCatalogueRows; ++i) {
        const FontCatalogueRow& row = font.FontCatalogue.at(i);
        if (row.Key != r.Name) continue;
        r.Found = kTrue;
        r.Kind = row.Kind;
        r.Rows = row.Rows;
        r.Cols = row.Cols;
        r.RowBegin = row.RowBegin;
        r.Extra1 = row.Extra1;
        r.Extra2 = row.Extra2;
        r.File = font.strFontPath + row.File;
        if (Font_file_present(r.File)) return true;
    }
    return false;
}

// A name that is no key but names a file in the font folder: a contour font file.
bool Folder_file_resolve(const FontGroup& font, FontRecord& r) {
    if (r.Found != kFalse) return false;
    const std::string path = font.strFontPath + r.Name;
    if (!Font_file_present(path)) return false;
    r.Kind = kFontKindContour;
    r.File = path;
    r.Found = kTrue;
    return true;
}

// Neither key nor file: the name is a system outline face.
bool Outline_face_resolve(FontRecord& r) {
    if (r.Found != kFalse) return false;
    r.Kind = kFontKindOutline;
    r.File.clear();
    return true;
}

}  // namespace

void Font_catalogue_init(State& s) {
    const std::string& folder = s.platform.library_folder;
    s.font.strFontPath = folder.empty() || folder.back() == '/' ? folder + "font/" : folder + "/font/";
    int64_t i = 0;
    for (const FontCatalogueEntry& e : kFontCatalogue)
        s.font.FontCatalogue.at(i++) = FontCatalogueRow{e.key, e.file, e.kind, e.rows, e.cols, e.row_begin, e.extra1, e.extra2};
}

vbool Font_load(State& s) {
    // A host that went straight to printing without e_Initlize would otherwise resolve every name
    // against an empty catalogue and the current directory, and print keys as outline faces.
    if (s.font.strFontPath.empty()) Font_catalogue_init(s);
    TemplateGroup& t = s.tmpl;
    // Each record goes through the three ways in turn, independently of the other record.
    bool wide = Catalogue_resolve(s.font, t.FontWideWork);
    bool narrow = Catalogue_resolve(s.font, t.FontNarrowWork);
    if (!wide) wide = Folder_file_resolve(s.font, t.FontWideWork);
    if (!narrow) narrow = Folder_file_resolve(s.font, t.FontNarrowWork);
    if (!wide) wide = Outline_face_resolve(t.FontWideWork);
    if (!narrow) narrow = Outline_face_resolve(t.FontNarrowWork);
    if (!wide || !narrow) return kFalse;  // a catalogued key without any of its files
    t.curCell.FontWide = t.FontWideWork;
    t.curCell.FontNarrow = t.FontNarrowWork;
    return kTrue;
}

}  // namespace korvex
