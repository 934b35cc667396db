// Template marking state: the cell being marked (curCell) with its two font records, the pen table,
// the cell list read from a template's .nam file, the five category lists the print set-up sorts the
// cells into, and the per-tag bitmaps and numbers the host hands in for each print pass.
// The scan engine reads only curCell.Mode (rotary marking) and curCell.RotaryDiameter.
#pragma once

#include <cstdint>
#include <string>

#include "core/numeric.hpp"
#include "state/table.hpp"
#include "state/template_load_report.hpp"

namespace korvex {

// curCell.Mode option bits.
inline constexpr int32_t kCellModeArc = 0x1;            // text on an arc
inline constexpr int32_t kCellModeArcOrient = 0x2;      // arc text orientation
inline constexpr int32_t kCellModeRotary = 0x4;         // every point's x is turned into rotary axis steps
inline constexpr int32_t kCellModeRotaryPlace = 0x8;    // a plot cell's x is reached by turning the axis first
inline constexpr int32_t kCellModeFill = 0x10;          // fill closed outlines with hatch lines
inline constexpr int32_t kCellModeOutline1 = 0x20;      // outline-font text options
inline constexpr int32_t kCellModeOutline2 = 0x40;
inline constexpr int32_t kCellModeArcDirection = 0x100; // arc text direction
inline constexpr int32_t kCellModeVertical = 0x200;     // characters stacked, rotated by Angle

// One font of a text cell. The template gives Name, Height, Width, Space and Option; the font loader
// fills Found, File and the catalogue values (Kind to Extra2) when the cell is marked.
struct FontRecord {
    vbool Found = kFalse;
    std::string Name;   // catalogue key
    std::string File;   // font file path
    int16_t Kind = 0;
    int16_t Rows = 0;
    int16_t Cols = 0;
    int16_t RowBegin = 0;
    int16_t Extra1 = 0;
    int32_t Extra2 = 0;
    float Height = 0.0f;
    float Width = 0.0f;
    float Space = 0.0f;
    vbool Option = kFalse;
};

// One cell of a template, as a descriptor line of the cell list describes it.
struct CellRecord {
    std::string Flag;            // cell kind, one of the CellFlagConst names
    int32_t Index = 0;           // carried, not used
    std::string Text;            // fixed text, plot file path, or the variable number
    int32_t Mode = 0;            // option bits (kCellMode*)
    float Width = 0.0f;          // mm, as designed
    float Height = 0.0f;         // mm, as designed
    float ArcDiameter = 0.0f;    // mm, circle of arc text
    float Value7 = 0.0f;         // mm, X offset of the arc centre
    float ArcAngle = 0.0f;       // degrees, where arc text is placed
    float FillAngle = 0.0f;      // degrees, read but not applied by the hatching
    float FillSpace = 0.0f;      // mm, hatch and dot-matrix line spacing
    float Value11 = 0.0f;        // carried, not used
    float Value12 = 0.0f;        // carried, not used
    float RotaryDiameter = 0.0f; // mm, workpiece diameter for rotary marking; Y offset of the arc centre
    float Angle = 0.0f;          // degrees, text rotation
    FontRecord FontWide;         // font of double-byte characters
    FontRecord FontNarrow;       // font of single-byte characters
    int32_t Pen = 0;             // pen number, 0-256
    std::string Tag;             // cell tag; from its fourth character on it names a number source
    float TextMinX = 0.0f;       // overwritten by text measuring
    float TextMinY = 0.0f;
};

// A pen: one complete set of marking parameters. Fields the machine does not use (PenName,
// PenValueNN) are read and kept all the same.
struct PenRecord {
    std::string PenName;
    int32_t PenValue2 = 0;
    int32_t PenValue3 = 0;
    float PenMarkSpeed = 0.0f;     // mm/s
    float PenMarkSpeed2 = 0.0f;    // mm/s
    float PenAxisSpeed = 0.0f;     // rotary step period base
    float PenValue7 = 0.0f;
    float PenValue8 = 0.0f;
    float PenValue9 = 0.0f;
    float PenJumpSpeed = 0.0f;     // mm/s
    float PenStepTime = 0.0f;      // us per D/A step
    float PenStepTimeMax = 0.0f;   // us
    int32_t PenJumpDelay = 0;      // us
    int32_t PenJumpDelayRate = 0;  // tenths of us per D/A step
    int32_t PenAxisSettle = 0;     // ms after a rotary move
    int32_t PenOnDelay = 0;        // us
    int32_t PenOnHold = 0;         // us
    int32_t PenOffDelay = 0;       // us
    int32_t PenOffHold = 0;        // us
    int16_t PenPulseCount = 0;
    float PenLaserPower = 0.0f;
    float PenLaserFreq = 0.0f;     // kHz
    float PenPulseWidth = 0.0f;    // us; 0: gate mode
    int32_t PenPulseStep = 0;      // D/A steps per pulse step
    float PenValue25 = 0.0f;
    float PenSettle = 0.0f;        // ms waited after the pen is applied
    float PenValue27 = 0.0f;
    float PenValue28 = 0.0f;
    float PenValue29 = 0.0f;
    int32_t PenPasses = 0;         // times each number and plot cell is marked in a row
};

inline constexpr int kPenTableSize = 257;     // pens 0-256; a template file fills 0-255
inline constexpr int kPenFilePens = 256;
inline constexpr int kCellListSize = 3001;    // slot 0: the count line; cells 1-3000
inline constexpr int kMaxCells = 3000;
inline constexpr int kCellValues = 5;         // X, Y, width, height, angle
inline constexpr int kCategories = 5;
inline constexpr int kCategorySlots = 101;    // slot 0: the count as text; cells 1-100
inline constexpr int kTagEntries = 101;
inline constexpr int kTagBytes = 201;

// The five categories of the print set-up.
inline constexpr int kCategoryBarcode = 0;
inline constexpr int kCategoryNumber1 = 1;
inline constexpr int kCategoryNumber2 = 2;
inline constexpr int kCategoryText = 3;
inline constexpr int kCategoryPlot = 4;

// Layout values of one cell: X, Y (mm, cell origin), width, height (mm, as marked), angle (degrees).
inline constexpr int kValueX = 0;
inline constexpr int kValueY = 1;
inline constexpr int kValueWidth = 2;
inline constexpr int kValueHeight = 3;
inline constexpr int kValueAngle = 4;

struct TemplateGroup {
    CellRecord curCell;                     // the cell parsed last
    Table<PenRecord, kPenTableSize> penTable;
    PenRecord curPen;                       // the selected pen's values that no operation reads
    FontRecord FontWideWork;                // font work records of the font loader
    FontRecord FontNarrowWork;
    int32_t lngPreviewScale = 0;            // drawing scale of the preview surface, per mm of field size
    TemplateLoadReport load_report;         // what the last template load did

    // The cell list: namLines(0) the count line, namLines(i) the descriptor line of cell i;
    // namValues(i, 0..4) its X, Y, width, height and angle.
    Table<std::string, kCellListSize> namLines;
    Table2<float, kCellListSize, kCellValues> namValues;
    std::string strCellListFolder;          // the folder of the .nam file the cell list was read from

    // Category lists: catLines(k, 0) the count of category k as decimal text, catLines(k, n) the
    // descriptor line of its n-th cell; catValues.at(k).at(n, v) that cell's layout values.
    Table2<std::string, kCategories, kCategorySlots> catLines;
    Table<Table2<float, kCategorySlots, kCellValues>, kCategories> catValues;
    std::string strCategoryFolder;          // strCellListFolder of the cells the lists were sorted from

    // Per-tag data of the print pass: entry t serves the (t + 1)-th cell of categories 0, 1 and 2.
    Table2<uint8_t, kTagEntries, kTagBytes> tagBitmap;
    Table<std::string, kTagEntries> tagNumber1;
    Table<std::string, kTagEntries> tagNumber2;
};

}  // namespace korvex
