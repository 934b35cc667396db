// Host scripts: the parsed form of a `korvex run` script (member calls, properties, new/drop and
// @ directives). The whole script is parsed before anything runs; an error names its line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim.hpp"

namespace korvex::script {

enum class ArgType { i16, i32, single, dbl, str, bytes, doubles, strings };
enum class ResultType { i16, i32, boolean, str, empty, none };

struct Value {
    ArgType type = ArgType::i16;
    int64_t i = 0;
    double d = 0.0;
    std::string s;
    std::vector<int64_t> ints;
    std::vector<double> reals;
    std::vector<std::string> texts;
};

struct Statement {
    enum class Kind { call, property_set, property_get, create, drop, directive } kind = Kind::call;
    int line = 0;
    std::string name;           // member or property
    std::vector<Value> args;    // call arguments, or the one value set
    // directives
    std::string directive;      // "card", "input", "key", "at", "answer", "folder", "controller", "head"
    SimulatedMachine::Action action;
    SimulatedMachine::Event event = SimulatedMachine::Event::read;
    uint64_t count = 0;
    Answer answer = Answer::ok;
    std::string text;           // folder path, controller description, head setting
};

class ScriptError : public std::runtime_error {
public:
    ScriptError(int line, const std::string& message)
        : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Parses a whole script; throws ScriptError at the first bad line.
std::vector<Statement> parse_script(const std::string& text);

// Canonical text of an argument value, as the trace prints it.
std::string format_value(const Value& v);

}  // namespace korvex::script
