// Descriptor lines: 25 fields separated by single blanks. A kind name that holds a blank would be
// split by the field rule and shift every later field, so Cell_parse takes such a name whole.
#include "template/cells.hpp"

#include <array>

#include "core/leading_number.hpp"

namespace korvex {

std::string Get_field(const std::string& s, int16_t n) {
    std::string_view work = s;
    std::string_view field;
    for (int i = 0; i <= n; ++i) {
        const std::size_t blank = work.find(' ');
        if (blank == std::string_view::npos) {
            field = work;
            break;
        }
        field = work.substr(0, blank);
        work = work.substr(blank + 1);
    }
    return std::string(field);
}

std::string_view Kind_with_blank(std::string_view line) {
    // Longest names first, so "Variable Text1" is not taken for "Variable Text".
    static constexpr std::array<std::string_view, 7> kNames = {
        CellFlagConst::AddFlag(),          CellFlagConst::VariableTextFlag1(), CellFlagConst::VariableTextFlag2(),
        CellFlagConst::VariableTextFlag(), CellFlagConst::FixDrawFlag(),       CellFlagConst::PltFlag(),
        CellFlagConst::BmpFlag()};
    for (std::string_view name : kNames) {
        if (line.size() > name.size() && line.starts_with(name) && line[name.size()] == ' ') return name;
    }
    return {};
}

namespace {

float Single_field(const std::string& text) { return to_single(Leading_number(text)); }
int32_t Integer_field(const std::string& text) { return to_i32(Leading_number(text)); }

}  // namespace

void Cell_parse(State& s, const std::string& line) {
    const std::string_view kind = Kind_with_blank(line);
    // Fields after a kind name with a blank are counted from after that name and its blank.
    const std::string rest = kind.empty() ? line : line.substr(kind.size() + 1);
    const int shift = kind.empty() ? 0 : 1;
    auto field = [&](int16_t n) { return Get_field(rest, static_cast<int16_t>(n - shift)); };

    CellRecord& c = s.tmpl.curCell;
    c.Flag = kind.empty() ? field(0) : std::string(kind);
    c.Index = Integer_field(field(1));
    c.Text = field(2);
    c.Mode = Integer_field(field(3));
    c.Width = Single_field(field(4));
    c.Height = Single_field(field(5));
    c.ArcDiameter = Single_field(field(6));
    c.Value7 = Single_field(field(7));
    c.ArcAngle = Single_field(field(8));
    c.FillAngle = Single_field(field(9));
    c.FillSpace = Single_field(field(10));
    c.Value11 = Single_field(field(11));
    c.Value12 = Single_field(field(12));
    const vbool option = to_vbool(Leading_number(field(13)) != 0.0);
    c.FontWide.Option = option;
    c.FontNarrow.Option = option;
    c.FontWide.Name = field(14);
    c.FontNarrow.Name = field(15);
    const float width = Single_field(field(16));
    c.FontWide.Width = width;
    c.FontNarrow.Width = width;
    const float height = Single_field(field(17));
    c.FontWide.Height = height;
    c.FontNarrow.Height = height;
    const float space = Single_field(field(18));
    c.FontWide.Space = space;
    c.FontNarrow.Space = space;
    c.RotaryDiameter = Single_field(field(19));
    c.Angle = Single_field(field(20));
    c.Pen = Integer_field(field(21));
    c.Tag = field(22);
    c.TextMinX = Single_field(field(23));
    c.TextMinY = Single_field(field(24));
}

}  // namespace korvex
