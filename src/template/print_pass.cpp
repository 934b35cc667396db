// The ear-tag print pass. The host's arrays are checked whole before the first byte is copied, so
// a short or inconsistent call faults without leaving the tag tables half old and half new, and
// before the scanner has marked anything. Then each turn g marks the g-th cell of every category
// that has one; the number of bar-code cells decides how many turns there are.
#include "template/print_pass.hpp"

#include <cmath>

#include "core/leading_number.hpp"
#include "device/device_init.hpp"
#include "device/timer.hpp"
#include "font/font_catalogue.hpp"
#include "font/text_layout.hpp"
#include "template/barcode_dots.hpp"
#include "template/cells.hpp"
#include "template/pens.hpp"
#include "template/plot_file.hpp"

namespace korvex {

namespace {

// The number of cells of category k, as slot 0 holds it ("" before any set-up reads as 0).
int32_t Category_count(const State& s, int k) { return to_i32(Leading_number(s.tmpl.catLines.at(k, 0))); }

// Every index the copy will use, checked before anything is written: the entry count and sizes,
// the bitmap bytes they add up to, and one number of each kind per entry.
void Tag_data_check(const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                    const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size) {
    if (arr_Size.empty()) raise_fault(FaultKind::index, "arr_Size has no entry count (element 0)");
    const std::size_t n = arr_Size[0];
    if (n > kTagEntries) raise_fault(FaultKind::index, "more than 101 tag entries");
    if (arr_Size.size() < n + 1) raise_fault(FaultKind::index, "arr_Size is shorter than its entry count says");
    if (strNumber1.size() < n || strNumber2.size() < n)
        raise_fault(FaultKind::index, "a number array is shorter than the entry count");
    std::size_t bytes = 0;
    for (std::size_t t = 0; t < n; ++t) {
        if (arr_Size[t + 1] > kTagBytes) raise_fault(FaultKind::index, "a tag bitmap entry holds more than 201 bytes");
        bytes += arr_Size[t + 1];
    }
    if (imageData.size() < bytes) raise_fault(FaultKind::index, "imageData is shorter than the entry sizes add up to");
}

// A first- or second-number cell (category k, slot g) with the host's number as its text: fonts
// resolved, then marked lngPasses times with the layout's scale and angle. A catalogued font whose
// file is missing is reported and the cell left unmarked.
void Number_cell(State& s, int k, int32_t g, const std::string& number) {
    TemplateGroup& t = s.tmpl;
    Cell_parse(s, t.catLines.at(k, g));
    t.curCell.Text = number;
    Pen_select(s, t.curCell.Pen);
    const auto& values = t.catValues.at(k);
    const float x = values.at(g, kValueX);
    const float y = values.at(g, kValueY);
    t.FontWideWork = t.curCell.FontWide;
    t.FontNarrowWork = t.curCell.FontNarrow;
    if (Font_load(s) == kFalse) {
        s.platform.ui->message_box(kNoFontText, kMessageTitle, Buttons::ok, Icon::info);
        return;
    }
    t.curCell.FontWide = t.FontWideWork;
    t.curCell.FontNarrow = t.FontNarrowWork;
    const float sx = to_single(real_div(values.at(g, kValueWidth), std::fabs(t.curCell.Width)));
    const float sy = to_single(real_div(values.at(g, kValueHeight), std::fabs(t.curCell.Height)));
    t.curCell.Angle = values.at(g, kValueAngle);
    const int32_t passes = s.para.lngPasses;
    for (int32_t p = 1; p <= passes; ++p) Text_mark(s, x, y, sx, sy);
}

}  // namespace

void Begin_mark(State& s) {
    s.scan.dblTimeX = s.scan.dblTimeY = Timer_now_us(s);
    s.sig.blnAbort = kFalse;
    Motion_reset(s);
}

vbool Template_mark(State& s) {
    TemplateGroup& t = s.tmpl;
    const int32_t turns = Category_count(s, kCategoryBarcode);
    for (int32_t g = 1; g <= turns; ++g) {
        Cell_parse(s, t.catLines.at(kCategoryBarcode, g));
        Pen_select(s, t.curCell.Pen);
        Bitmap_dots(s, g);

        if (Category_count(s, kCategoryNumber1) >= g) Number_cell(s, kCategoryNumber1, g, t.tagNumber1.at(g - 1));
        s.platform.ui->process_messages();
        if (Category_count(s, kCategoryNumber2) >= g) Number_cell(s, kCategoryNumber2, g, t.tagNumber2.at(g - 1));
        s.platform.ui->process_messages();

        if (Category_count(s, kCategoryPlot) >= g) Plot_step(s, g);
    }
    return kTrue;
}

int16_t Print_ear_mark(State& s, const std::vector<uint8_t>& imageData, const std::vector<std::string>& strNumber1,
                       const std::vector<std::string>& strNumber2, const std::vector<uint8_t>& arr_Size, vbool& busy) {
    Begin_mark(s);
    Tag_data_check(imageData, strNumber1, strNumber2, arr_Size);
    TemplateGroup& t = s.tmpl;
    const int n = arr_Size[0];
    std::size_t p = 0;
    for (int e = 0; e < n; ++e) {
        const int size = arr_Size[static_cast<std::size_t>(e) + 1];
        for (int c = 0; c < size; ++c) t.tagBitmap.at(e, c) = imageData[p++];
        t.tagNumber1.at(e) = strNumber1[static_cast<std::size_t>(e)];
        t.tagNumber2.at(e) = strNumber2[static_cast<std::size_t>(e)];
    }

    busy = kTrue;  // stays set when the pass faults
    Template_mark(s);
    busy = kFalse;
    Begin_mark(s);
    return 0;
}

}  // namespace korvex
