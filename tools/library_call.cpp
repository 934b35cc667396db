// The guarded library call of the tools' jobs (korvex mark, plot, text, eartag).
#include "library_call.hpp"

#include "core/shown_input.hpp"
#include "core/system_texts.hpp"
#include "korvex/fault.hpp"
#include "korvex/machine_view.hpp"

namespace korvex::tool {

// A card listener that watches the Shift flag Ctrl-C raises and says "stop requested" once, from
// the job's own thread (a signal handler must not write to a stream). Checked every 256 card
// writes: a fraction of a millisecond of machine time.
class LibraryCaller::StopNotice : public CardListener {
public:
    StopNotice(SimulatedMachine& machine, const std::atomic<bool>* shift, std::ostream& err, const std::string& prefix)
        : machine_(machine), shift_(shift), err_(err), prefix_(prefix) {
        machine_.card().add_listener(this);
    }
    ~StopNotice() override { machine_.card().remove_listener(this); }
    StopNotice(const StopNotice&) = delete;
    StopNotice& operator=(const StopNotice&) = delete;

    // Says it now if the flag is up and it was not said yet.
    void check() {
        if (said_ || !shift_->load(std::memory_order_relaxed)) return;
        said_ = true;
        err_ << prefix_ << ": " << (JobInterrupt::stop_requested() ? kOperatorStopRequested : kStopRequested) << std::endl;
    }

private:
    void on_write(uint8_t, uint8_t, uint8_t) override {
        if ((++writes_ & 0xFF) == 0) check();
    }

    SimulatedMachine& machine_;
    const std::atomic<bool>* shift_;
    std::ostream& err_;
    const std::string& prefix_;
    uint64_t writes_ = 0;
    bool said_ = false;
};

namespace {

// "2 characters not marked as given: "€" (no glyph in ...), ..." for the characters the text
// layout noted during a call; empty when there were none.
std::string unmarked_report(const std::vector<UnmarkedCharacter>& chars) {
    if (chars.empty()) return {};
    std::string line = std::to_string(chars.size()) + (chars.size() == kUnmarkedCharactersKept ? " or more" : "") +
                       (chars.size() == 1 ? " character" : " characters") + " not marked as given:";
    for (std::size_t i = 0; i < chars.size(); ++i)
        line += (i ? ", \"" : " \"") + Shown_input(chars[i].text) + "\" (" + Shown_input(chars[i].why, kShownPathChars) + ")";
    return line;
}

}  // namespace

LibraryCaller::LibraryCaller(SimulatedMachine& machine, JobInterrupt* interrupt, std::ostream& err, std::string prefix,
                             std::string& failure, bool& interrupted, std::string& stop)
    : machine_(machine), interrupt_(interrupt), err_(err), prefix_(std::move(prefix)), failure_(failure),
      interrupted_(interrupted), stop_(stop), shown_(machine.ui().shown().size()) {
    if (interrupt_) notice_ = std::make_unique<StopNotice>(machine_, interrupt_->shift_flag(), err_, prefix_);
}

LibraryCaller::~LibraryCaller() = default;

bool LibraryCaller::operator()(const char* name, const std::function<void()>& member) {
    const int interrupted_before = interrupt_ ? interrupt_->interrupted_calls() : 0;
    const int shift_seen_before = machine_.ui().shift_seen_held();
    take_unmarked_characters();  // what earlier calls left is theirs
    bool ok = true;
    {
        JobInterrupt::Call scope(interrupt_);
        try {
            member();
        } catch (const Fault& f) {
            failure_ = std::string(name) + " failed (" + fault_kind_name(f.kind()) + "): " + Shown_input(f.what(), kShownMessageChars);
            ok = false;
        }
        if (notice_) notice_->check();  // a Ctrl-C in the call's last writes is said too
    }
    const auto& boxes = machine_.ui().shown();
    for (; shown_ < boxes.size(); ++shown_)
        err_ << prefix_ << ": message \"" << boxes[shown_].title << "\": " << Shown_in(Shown_language(), boxes[shown_].text) << "\n";
    // Text the fonts could not show was marked around: the call did not mark what it was given.
    if (const std::string unmarked = unmarked_report(take_unmarked_characters());
        !unmarked.empty()) {
        err_ << prefix_ << ": " << name << ": " << unmarked << "\n";
        if (failure_.empty()) failure_ = std::string(name) + ": " + unmarked;
    }
    if (interrupt_ && interrupt_->interrupted_calls() > interrupted_before) {
        interrupted_ = true;
        // Whether the library read the held key (and so took the stop) or the call ended first;
        // its abort flag cannot tell, as a print pass clears it again on the way out.
        const bool taken = machine_.ui().shift_seen_held() > shift_seen_before;
        stop_taken_ = taken;
        const std::string by = JobInterrupt::stop_requested() ? "the operator's Stop" : "Ctrl-C";
        stop_ = taken ? "stopped by " + by + ": the library stopped " + name + " the next time the laser switched"
                      : by + " came during " + name +
                            ", which ended before the library read the operator keys; the job was not continued";
        stop_ += machine_.gate_emitting() ? "; the laser is STILL ON" : "; the laser is off";
    }
    if (!ok) err_ << prefix_ << ": " << Shown_input(failure_, kShownMessageChars) << "\n";
    return ok && !interrupted_;
}

}  // namespace korvex::tool
