// Descriptor lines: 25 fields separated by single blanks. A kind name that holds a blank would be
// split by the field rule and shift every later field, so Cell_parse takes such a name whole.
#include "template/cells.hpp"

#include <array>

#include "core/leading_number.hpp"

namespace korvex {

std::string_view FieldReader::next() {
    if (at_end_) return last_;
    const std::size_t blank = rest_.find(' ');
    if (blank == std::string_view::npos) {
        last_ = rest_;
        at_end_ = true;
    } else {
        last_ = rest_.substr(0, blank);
        rest_ = rest_.substr(blank + 1);
    }
    return last_;
}

std::string Get_field(const std::string& s, int16_t n) {
    FieldReader fields(s);
    std::string_view field;
    for (int i = 0; i <= n; ++i) field = fields.next();
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

float Single_field(std::string_view text) { return to_single(Leading_number(text)); }
int32_t Integer_field(std::string_view text) { return to_i32(Leading_number(text)); }

}  // namespace

void Cell_parse(State& s, const std::string& line) {
    // The fields are read in order, once each: a template's cell list may run to 3000 lines.
    const std::string_view kind = Kind_with_blank(line);
    // Fields after a kind name with a blank are counted from after that name and its blank.
    FieldReader field(kind.empty() ? std::string_view(line) : std::string_view(line).substr(kind.size() + 1));

    CellRecord& c = s.tmpl.curCell;
    c.Flag = kind.empty() ? field.next() : kind;
    c.Index = Integer_field(field.next());
    c.Text = field.next();
    c.Mode = Integer_field(field.next());
    c.Width = Single_field(field.next());
    c.Height = Single_field(field.next());
    c.ArcDiameter = Single_field(field.next());
    c.Value7 = Single_field(field.next());
    c.ArcAngle = Single_field(field.next());
    c.FillAngle = Single_field(field.next());
    c.FillSpace = Single_field(field.next());
    c.Value11 = Single_field(field.next());
    c.Value12 = Single_field(field.next());
    const vbool option = to_vbool(Leading_number(field.next()) != 0.0);
    c.FontWide.Option = option;
    c.FontNarrow.Option = option;
    c.FontWide.Name = field.next();
    c.FontNarrow.Name = field.next();
    const float width = Single_field(field.next());
    c.FontWide.Width = width;
    c.FontNarrow.Width = width;
    const float height = Single_field(field.next());
    c.FontWide.Height = height;
    c.FontNarrow.Height = height;
    const float space = Single_field(field.next());
    c.FontWide.Space = space;
    c.FontNarrow.Space = space;
    c.RotaryDiameter = Single_field(field.next());
    c.Angle = Single_field(field.next());
    c.Pen = Integer_field(field.next());
    c.Tag = field.next();
    c.TextMinX = Single_field(field.next());
    c.TextMinY = Single_field(field.next());
}

}  // namespace korvex
