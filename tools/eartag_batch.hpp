// `korvex eartag`: a batch of ear tags marked the way a tag printer's host marks them. The machine
// is brought up (e_Initlize, or the three direct-mode calls), the template chosen
// (e_setPrintInfo), and then every plate — as many tags as the template has bar-code cells — is
// one e_PrintEarMark with the tags' Data Matrix bitmaps and numbers. Each plate's marks are drawn,
// optionally read back (the codes decoded from the simulated marks), and summed up.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "card_options.hpp"
#include "picture/picture.hpp"
#include "plate_ledger.hpp"
#include "plate_live.hpp"

namespace korvex::tool {

// A number list that cannot be read: the message says which item and why.
class NumberListError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The characters a tag number holds unless --number-chars says otherwise.
inline constexpr const char* kTagNumberDigits = "0123456789";

// Why `number` is no tag number of `number_chars` ("" when it is one), starting with `place`
// ("item 3"); the number is quoted escaped.
std::string check_tag_number(const std::string& number, const std::string& number_chars, const std::string& place);

// Why `chars` cannot be the characters of tag numbers ("" when it can): printable ASCII other than
// the blank and the list's own ',' and '#'.
std::string check_number_chars(const std::string& chars);

// The tag numbers of a list: items separated by commas, each a number made of `number_chars` or a
// range FIRST..LAST of digit strings (counted up in FIRST's width, leading zeros kept); "@FILE"
// reads the items from a file (commas, blanks or line ends between them, '#' to the end of a line
// is a comment; a byte-order mark at its start is refused). An item with any other character is
// refused naming its place (item N, or FILE line N) and its value, escaped.
std::vector<std::string> parse_number_list(const std::string& list, const std::string& number_chars = kTagNumberDigits);

// How the machine is brought up before the template is chosen.
enum class BringUp {
    initlize,  // e_Initlize: direct mode, "MarkConfig" from the current directory if there is one, fonts
    direct,    // Marking_init_pci, Marking_para, marking_start only: no MarkConfig is read
};

struct EartagOptions {
    std::string base;                  // template base path (".mc1"/".nam" added by the library)
    std::string number_chars = kTagNumberDigits;  // the characters a number may hold
    std::vector<std::string> numbers;  // first numbers, one per tag
    std::vector<std::string> second;   // second numbers; empty: the last 5 characters of each first number
    BringUp bring_up = BringUp::initlize;
    std::string library_folder;        // fonts and grid; empty: default_library_folder()
    bool pictures = true;
    std::string out_dir;               // PNG per plate here; empty: beside the template
    std::string pdf_path;              // one PDF of all plates instead of PNGs
    PictureOptions picture;            // head scale 0: the template's steps per mm
    bool verify = false;
    bool real_time = false;
    CardChoice card;                   // the real card: the plates are marked on it, nothing is drawn or read back
    double progress_interval_s = 2.0;  // wall seconds between progress lines on long batches
    PlateLedger* ledger = nullptr;     // records each plate before, while and after it is marked;
                                       // with no numbers, the ledger's queue chooses the plates
    LivePlate* live = nullptr;         // each plate's marks, machine time and gate as they are made
};

struct EartagReport {
    int tags = 0, plates = 0;
    int plates_marked = 0;
    double machine_us = 0.0;           // sum of the plates' e_PrintEarMark calls
    double laser_on_us = 0.0;          // the gate emitting, all plates
    double last_plate_us = 0.0;        // the last e_PrintEarMark call (cut short by an interrupt)
    double wall_s = 0.0;               // the plates' calls, pictures and reading back
    std::vector<std::string> unreadable;  // "plate 2 tag 3 (982...): read \"...\"" per failed read-back
    std::vector<std::string> unmarked;    // per number or plot cell that left no marks in its box
    std::string failure;               // the call that faulted, when one did
    bool interrupted = false;
    std::string stop;                  // after an interrupt: when the stop took effect
};

// Runs the batch on a simulated machine (installed as the thread's platform for the run).
// Progress, library messages and problems go to err; the summary lines to out.
// Exit status: 0, 1 (a call faulted, a code did not read back, an output could not be written),
// 2 (bad input: no template, no bar-code cells, a number a code cannot hold), 130 (interrupted).
int run_eartag(const EartagOptions& options, std::ostream& out, std::ostream& err, EartagReport* report = nullptr);

}  // namespace korvex::tool
