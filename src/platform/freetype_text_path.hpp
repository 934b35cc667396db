// FreeTypeTextPath: the default outline-font renderer. fontconfig picks the face for a name (or its
// substitute), FreeType loads the character's outline, and the outline is flattened into device
// units of a 2000-point font at 96 units per inch, the top of the character cell at y = 0, y down.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <tuple>

#include <ft2build.h>
#include FT_FREETYPE_H

#include "korvex/text_path.hpp"

namespace korvex {

class FreeTypeTextPath : public TextPath {
public:
    // Device units per em: 2000 points at 96 units per inch.
    static constexpr double kUnitsPerEm = 2000.0 * 96.0 / 72.0;
    // Chord tolerance of the flattening, device units (about 1/2700 em).
    static constexpr double kFlatteningTolerance = 1.0;

    FreeTypeTextPath() = default;
    ~FreeTypeTextPath() override;
    FreeTypeTextPath(const FreeTypeTextPath&) = delete;
    FreeTypeTextPath& operator=(const FreeTypeTextPath&) = delete;

    // A path longer than `capacity` at the normal tolerance is flattened again more coarsely
    // (tolerance doubled, up to 16 units) before its full count is returned.
    int32_t character_path(std::string_view face_name, bool bold, bool italic, std::string_view character,
                           TextPathPoint* points, int32_t capacity, int32_t& advance) override;

    // The font file fontconfig chose for (name, bold, italic), for diagnostics and tests.
    std::string face_file(std::string_view face_name, bool bold, bool italic);

private:
    struct Face {
        FT_Face ft_face = nullptr;
        std::string file;
        double cell_top = 0.0;     // font units from the baseline up to the cell's top
        double scale = 0.0;        // device units per font unit
        FT_Pos embolden = 0;       // font units; 0: the face is bold itself or bold was not asked
        bool oblique = false;      // italic asked and the face is upright
    };
    Face& face(std::string_view face_name, bool bold, bool italic);

    // Faces by (name, bold, italic), looked up by a view of the name so a lookup allocates nothing.
    using FaceKey = std::tuple<std::string, bool, bool>;
    using FaceKeyView = std::tuple<std::string_view, bool, bool>;
    struct FaceKeyLess {
        using is_transparent = void;
        static FaceKeyView view(const FaceKey& k) { return {std::get<0>(k), std::get<1>(k), std::get<2>(k)}; }
        static FaceKeyView view(const FaceKeyView& k) { return k; }
        template <class A, class B>
        bool operator()(const A& a, const B& b) const { return view(a) < view(b); }
    };

    FT_Library library_ = nullptr;  // made on first use
    std::map<FaceKey, Face, FaceKeyLess> faces_;
};

}  // namespace korvex
