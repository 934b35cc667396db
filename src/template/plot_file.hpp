// Plot files: a "plt file" cell of a template names a plotter drawing (a logo). Plot_mark reads it
// byte by byte (pen up, pen down, absolute move), marks it scaled, rotated and placed, optionally
// reaches its X position by turning the rotary axis, and hatches the drawing when the cell asks for
// a fill. Plot_step is the plot turn of the ear-tag pass.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "state/state.hpp"

namespace korvex {

// One command of a plot file: its letter ('U' pen up, 'D' pen down, 'A' move with the pen as it
// is) and, when it has one, its first coordinate pair in plotter units.
struct PlotCommand {
    char pen = 'A';
    bool has_pair = false;
    double x = 0.0;
    double y = 0.0;
};

enum class PlotEnd {
    file_end,       // the whole file was read (also when it ends inside a command: that pair is dropped
                    // unless its Y value had begun)
    bad_character,  // a command letter followed by something other than ';', a digit or '-'
};

// Reads plot file bytes the way the machine does: "P" + U/D/A, then ';' or the first pair (runs of
// digits and '-', each ended by one consumed character); everything else up to the next "P" is
// skipped. Calls on_command for each command in file order. With `stop_byte`, a bad character's
// offset in the file is left there (the file's size when the whole file was read).
PlotEnd Plot_parse(std::span<const uint8_t> bytes, const std::function<void(const PlotCommand&)>& on_command,
                   std::size_t* stop_byte = nullptr);

// The number of pen-down moves of a plot file: the edges its fill would take.
int64_t Plot_fill_edges(std::span<const uint8_t> bytes);

// The largest plot file Plot_mark reads (drawings are a few kilobytes).
inline constexpr std::size_t kPlotFileMaxBytes = 1 << 20;

// The bytes of a plot file. A file that cannot be opened or read, is not a regular file or is
// larger than kPlotFileMaxBytes is a file fault.
std::vector<uint8_t> Plot_file_read(const std::string& path);

// Marks plot file `path` with its origin at (X, Y) mm, sx/sy scanner steps per plot unit, rotation
// (m11, m12, m21, m22) and extra offset (dx, dy) mm. A file that cannot be opened is a file fault,
// raised before anything moves.
void Plot_mark(State& s, float X, float Y, const std::string& path, float sx, float sy, float m11, float m12,
               float m21, float m22, float dx, float dy);

// Plot_mark on bytes already read.
void Plot_mark_bytes(State& s, float X, float Y, std::span<const uint8_t> bytes, float sx, float sy, float m11,
                     float m12, float m21, float m22, float dx, float dy);

// The plot file a plot cell names: a relative name is looked up beside the template the category
// lists were sorted from first, then (as stored templates may expect) in the working folder.
std::string Plot_cell_path(const State& s, const std::string& name);

// The plot step of turn g of the ear-tag pass: marks plot cell g of category 4, if there is one.
void Plot_step(State& s, int32_t g);

}  // namespace korvex
