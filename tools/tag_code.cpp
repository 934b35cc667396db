// Data Matrix encoding and reading with libdmtx. libdmtx counts symbol rows from the bottom and
// takes the first row of a picture buffer as its top; the bitmap and the raster here keep the
// machine's orientation (bitmap row 0 at the top, raster row 0 at the lowest y) and turn at the
// libdmtx boundary only.
#include "tag_code.hpp"

#include <dmtx.h>

#include <algorithm>
#include <cmath>

#include "core/shown_input.hpp"

namespace korvex::tool {

namespace {

constexpr int kSymbolModules = 14;
// Pictures narrower or lower than this hold no 16-module code; libdmtx aborts the whole program on
// some of them (a picture of a pixel or two), so they are never handed to it.
constexpr int kMinDecodePx = 16;

}  // namespace

TagCodeBitmap tag_code_bitmap(const std::string& text) {
    TagCodeBitmap bytes{};
    DmtxEncode* enc = dmtxEncodeCreate();
    if (!enc) throw TagCodeError("libdmtx cannot make an encoder");
    dmtxEncodeSetProp(enc, DmtxPropSizeRequest, DmtxSymbol14x14);
    dmtxEncodeSetProp(enc, DmtxPropMarginSize, 0);
    dmtxEncodeSetProp(enc, DmtxPropModuleSize, 1);
    std::string data = text;
    // Far more than a 14 x 14 symbol holds: not handed to the encoder at all.
    if (data.empty() || data.size() > 64 ||
        dmtxEncodeDataMatrix(enc, static_cast<int>(data.size()), reinterpret_cast<unsigned char*>(data.data())) != DmtxPass ||
        dmtxGetSymbolAttribute(DmtxSymAttribSymbolRows, enc->region.sizeIdx) != kSymbolModules) {
        dmtxEncodeDestroy(&enc);
        throw TagCodeError("\"" + Shown_input(text) + "\" does not fit a 14 x 14 Data Matrix (at most 16 digits)");
    }
    const int size_idx = enc->region.sizeIdx;
    for (int sym_row = 0; sym_row < kSymbolModules; ++sym_row) {
        for (int sym_col = 0; sym_col < kSymbolModules; ++sym_col) {
            if (!(dmtxSymbolModuleStatus(enc->message, size_idx, sym_row, sym_col) & DmtxModuleOnRGB)) continue;
            const int r = kSymbolModules - sym_row, c = sym_col + 1;  // row/column 0 and 15: quiet zone
            bytes[static_cast<std::size_t>(2 * r + c / 8)] |= static_cast<uint8_t>(0x80 >> (c % 8));
        }
    }
    dmtxEncodeDestroy(&enc);
    return bytes;
}

MarkRaster::MarkRaster(double x_min, double y_min, double x_max, double y_max, double units_per_px)
    : width_(std::max(1, static_cast<int>(std::ceil((x_max - x_min) / units_per_px)))),
      height_(std::max(1, static_cast<int>(std::ceil((y_max - y_min) / units_per_px)))), x0_(x_min), y0_(y_min),
      units_per_px_(units_per_px), px_(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 255) {}

void MarkRaster::stroke(double ax, double ay, double bx, double by, double width_units) {
    const double r = width_units / 2;
    const int i0 = std::max(0, static_cast<int>(std::floor((std::min(ax, bx) - r - x0_) / units_per_px_)));
    const int i1 = std::min(width_ - 1, static_cast<int>((std::max(ax, bx) + r - x0_) / units_per_px_) + 1);
    const int j0 = std::max(0, static_cast<int>(std::floor((std::min(ay, by) - r - y0_) / units_per_px_)));
    const int j1 = std::min(height_ - 1, static_cast<int>((std::max(ay, by) + r - y0_) / units_per_px_) + 1);
    const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
    for (int j = j0; j <= j1; ++j) {
        for (int i = i0; i <= i1; ++i) {
            const double px_x = x0_ + (i + 0.5) * units_per_px_, px_y = y0_ + (j + 0.5) * units_per_px_;
            const double t = len2 > 0 ? std::clamp(((px_x - ax) * dx + (px_y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
            const double ex = ax + t * dx - px_x, ey = ay + t * dy - px_y;
            if (ex * ex + ey * ey <= r * r) px_[static_cast<std::size_t>(j) * static_cast<std::size_t>(width_) + i] = 0;
        }
    }
}

void MarkRaster::draw(const std::vector<Mark>& marks, double spot_units) {
    for (const Mark& m : marks) {
        if (m.kind == Mark::Kind::line) stroke(m.x0, m.y0, m.x1, m.y1, spot_units);
        if (m.kind == Mark::Kind::dot) stroke(m.x0, m.y0, m.x0, m.y0, spot_units);
    }
}

std::string read_tag_code(const MarkRaster& p) {
    if (p.width() < kMinDecodePx || p.height() < kMinDecodePx) return "";
    std::vector<unsigned char> top_down(p.pixels().size());
    const auto w = static_cast<std::ptrdiff_t>(p.width());
    for (int j = 0; j < p.height(); ++j)
        std::copy_n(p.pixels().begin() + j * w, w, top_down.begin() + (p.height() - 1 - j) * w);
    DmtxImage* img = dmtxImageCreate(top_down.data(), p.width(), p.height(), DmtxPack8bppK);
    if (!img) return "";
    DmtxDecode* dec = dmtxDecodeCreate(img, 1);
    std::string text;
    if (dec) {
        DmtxTime timeout = dmtxTimeAdd(dmtxTimeNow(), 20000);
        if (DmtxRegion* reg = dmtxRegionFindNext(dec, &timeout)) {
            if (DmtxMessage* msg = dmtxDecodeMatrixRegion(dec, reg, DmtxUndefined)) {
                text.assign(reinterpret_cast<const char*>(msg->output), msg->outputIdx);
                dmtxMessageDestroy(&msg);
            }
            dmtxRegionDestroy(&reg);
        }
        dmtxDecodeDestroy(&dec);
    }
    dmtxImageDestroy(&img);
    return text;
}

std::string read_marked_code(const std::vector<Mark>& marks, double x0, double y0, double w, double h, double spot_units) {
    const double module = std::max(std::fabs(w), std::fabs(h)) / 16.0;
    const double units_per_px = module > 0.0 ? module / 8.0 : 1.0;
    const double left = std::min(x0, x0 + w), bottom = std::min(y0, y0 + h);
    const double aw = std::fabs(w), ah = std::fabs(h);
    if (!(aw > 0.0 && ah > 0.0 && std::isfinite(aw) && std::isfinite(ah) && std::isfinite(left) && std::isfinite(bottom)))
        return "";  // an empty code cell holds no code
    MarkRaster picture(left - 0.25 * aw, bottom - 0.25 * ah, left + 1.25 * aw, bottom + 1.25 * ah, units_per_px);
    picture.draw(marks, spot_units);
    return read_tag_code(picture);
}

}  // namespace korvex::tool
