// Statement by statement execution of a host script. A member that faults is traced as
// "fault NAME KIND" and the script goes on, as a host would after a failed call.
#include "host_script_runner.hpp"

#include "member_table.hpp"

namespace korvex::script {

namespace {

// "emulator OPTION ..." or "device PATH", as the parser left it.
void attach_controller(SerialWorld& serial, int16_t port, const std::string& text) {
    if (text.rfind("device ", 0) == 0) {
        serial.attach_device(port, text.substr(7));
        return;
    }
    std::vector<std::string> words;
    std::size_t at = text.find(' ');
    while (at != std::string::npos) {
        const std::size_t next = text.find(' ', at + 1);
        words.push_back(text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1));
        at = next;
    }
    ControllerOptions options;
    std::string error;
    parse_controller_options(words, options, error);  // checked by the parser
    serial.attach_emulator(port, options);
}

}  // namespace

ScriptRunner::ScriptRunner(SimulatedMachine& machine) : machine_(machine) {
    set_platform(machine_.platform());
    objects_.push_back(std::make_unique<korvex_dll>());
}

ScriptRunner::~ScriptRunner() = default;

korvex_dll& ScriptRunner::current() { return *objects_.back(); }

void ScriptRunner::run(const std::vector<Statement>& script) {
    for (const Statement& st : script) run_one(st);
}

void ScriptRunner::run_one(const Statement& st) {
    Trace& trace = machine_.trace();
    using K = Statement::Kind;
    switch (st.kind) {
        case K::call: {
            const MemberEntry* m = find_member(st.name);
            std::string line = "call " + st.name;
            for (const Value& v : st.args) line += " " + format_value(v);
            trace.line(line);
            std::vector<Value> args = st.args;
            try {
                trace.line("result " + st.name + " " + m->invoke(current(), args));
            } catch (const Fault& f) {
                trace.line("fault " + st.name + " " + fault_kind_name(f.kind()));
            }
            break;
        }
        case K::property_get: {
            trace.line("call " + st.name);
            std::string value;
            if (st.name == "Name") value = quoted(current().Name());
            else if (st.name == "File_no_begin") value = std::to_string(current().File_no_begin());
            else value = std::to_string(current().DebugID());
            trace.line("result " + st.name + " " + value);
            break;
        }
        case K::property_set:
            trace.line("set " + st.name + " " + format_value(st.args[0]));
            if (st.name == "Name") current().Name(st.args[0].s);
            else current().File_no_begin(static_cast<int32_t>(st.args[0].i));
            break;
        case K::create:
            try {
                objects_.push_back(std::make_unique<korvex_dll>());
            } catch (const Fault& f) {
                trace.line(std::string("fault new ") + fault_kind_name(f.kind()));
            }
            break;
        case K::drop:
            if (!objects_.empty()) objects_.pop_back();
            break;
        case K::directive:
            if (st.directive == "card" && st.text == "fail") machine_.card().fail_call(st.count);
            else if (st.directive == "card") machine_.card().set_present(st.text == "present");
            else if (st.directive == "input" || st.directive == "key") machine_.apply(st.action);
            else if (st.directive == "at") machine_.schedule(st.event, st.count, st.action);
            else if (st.directive == "answer") machine_.ui().queue_answer(st.answer);
            else if (st.directive == "head") machine_.model().set_head(parse_head_setting({st.text}));
            else if (st.directive == "controller") attach_controller(machine_.serial(), static_cast<int16_t>(st.count), st.text);
            else if (st.directive == "folder") {
                machine_.set_library_folder(st.text);
                set_platform(machine_.platform());
            }
            break;
    }
}

}  // namespace korvex::script
