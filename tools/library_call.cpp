// The guarded library call of the tools' jobs (korvex mark, korvex eartag).
#include "library_call.hpp"

#include "korvex/fault.hpp"

namespace korvex::tool {

bool LibraryCaller::operator()(const char* name, const std::function<void()>& member) {
    const int interrupted_before = interrupt_ ? interrupt_->interrupted_calls() : 0;
    bool ok = true;
    {
        JobInterrupt::Call scope(interrupt_);
        try {
            member();
        } catch (const Fault& f) {
            failure_ = std::string(name) + " failed (" + fault_kind_name(f.kind()) + "): " + f.what();
            ok = false;
        }
    }
    const auto& boxes = ui_.shown();
    for (; shown_ < boxes.size(); ++shown_)
        err_ << prefix_ << ": message \"" << boxes[shown_].title << "\": " << boxes[shown_].text << "\n";
    if (interrupt_ && interrupt_->interrupted_calls() > interrupted_before) interrupted_ = true;
    if (!ok) err_ << prefix_ << ": " << failure_ << "\n";
    return ok && !interrupted_;
}

}  // namespace korvex::tool
