// Parser of host scripts: one statement a line, '#' comments, decimal or 0x numbers, quoted strings
// with \" and \\ escapes, [ ] arrays separated by commas or blanks, and @ directives.
#include "host_script.hpp"

#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <sstream>

#include "core/shown_input.hpp"
#include "member_table.hpp"
#include "sim/sim.hpp"

namespace korvex::script {

namespace {

struct Token {
    enum class Kind { word, number, string, open, close, equals } kind;
    std::string text;
};

std::vector<Token> tokenize(const std::string& line, int line_no) {
    std::vector<Token> out;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == '#') break;
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',') {
            ++i;
        } else if (c == '[') {
            out.push_back({Token::Kind::open, "["});
            ++i;
        } else if (c == ']') {
            out.push_back({Token::Kind::close, "]"});
            ++i;
        } else if (c == '=') {
            out.push_back({Token::Kind::equals, "="});
            ++i;
        } else if (c == '"') {
            std::string s;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) {
                    s += line[i + 1];
                    i += 2;
                } else if (line[i] == '"') {
                    closed = true;
                    ++i;
                    break;
                } else {
                    s += line[i++];
                }
            }
            if (!closed) throw ScriptError(line_no, "unterminated string");
            out.push_back({Token::Kind::string, s});
        } else {
            std::size_t j = i;
            while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])) && line[j] != ',' &&
                   line[j] != '[' && line[j] != ']' && line[j] != '=' && line[j] != '"' && line[j] != '#')
                ++j;
            std::string w = line.substr(i, j - i);
            const char f = w[0];
            const bool numeric = std::isdigit(static_cast<unsigned char>(f)) || f == '.' ||
                                 ((f == '-' || f == '+') && w.size() > 1);
            out.push_back({numeric ? Token::Kind::number : Token::Kind::word, w});
            i = j;
        }
    }
    return out;
}

bool parse_integer(const std::string& t, int64_t& out) {
    std::string s = t;
    bool neg = false;
    if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
        neg = s[0] == '-';
        s = s.substr(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s = s.substr(2);
    }
    if (s.empty()) return false;
    uint64_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, base);
    if (ec != std::errc() || p != s.data() + s.size() || v > static_cast<uint64_t>(INT64_MAX)) return false;
    out = neg ? -static_cast<int64_t>(v) : static_cast<int64_t>(v);
    return true;
}

bool parse_real(const std::string& t, double& out) {
    int64_t i;
    if (parse_integer(t, i)) {
        out = static_cast<double>(i);
        return true;
    }
    // One sign at most: "+-5" is no number.
    if (t.size() > 1 && t[0] == '+' && (t[1] == '+' || t[1] == '-')) return false;
    std::string s = t[0] == '+' ? t.substr(1) : t;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && std::isfinite(out);
}

const char* type_name(ArgType t) {
    switch (t) {
        case ArgType::i16: return "a 16-bit integer";
        case ArgType::i32: return "a 32-bit integer";
        case ArgType::single: return "a Single";
        case ArgType::dbl: return "a Double";
        case ArgType::str: return "a string";
        case ArgType::bytes: return "a byte array";
        case ArgType::doubles: return "a Double array";
        case ArgType::strings: return "a string array";
    }
    return "a value";
}

class LineParser {
public:
    LineParser(std::vector<Token> toks, int line) : toks_(std::move(toks)), line_(line) {}

    bool done() const { return pos_ >= toks_.size(); }
    const Token& peek() const { return toks_[pos_]; }
    Token next(const char* what) {
        if (done()) fail(std::string("missing ") + what);
        return toks_[pos_++];
    }
    [[noreturn]] void fail(const std::string& m) const { throw ScriptError(line_, m); }

    int64_t integer(int64_t lo, int64_t hi, const char* what) {
        Token t = next(what);
        int64_t v;
        if (t.kind != Token::Kind::number || !parse_integer(t.text, v))
            fail(std::string("expected ") + what + ", got '" + Shown_input(t.text) + "'");
        if (v < lo || v > hi) fail(std::string(what) + " out of range: " + Shown_input(t.text));
        return v;
    }

    double real(bool single, const char* what) {
        Token t = next(what);
        double v;
        if (t.kind != Token::Kind::number || !parse_real(t.text, v))
            fail(std::string("expected ") + what + ", got '" + Shown_input(t.text) + "'");
        if (single && std::fabs(v) > static_cast<double>(FLT_MAX)) fail(std::string(what) + " out of range: " + Shown_input(t.text));
        return v;
    }

    Value value(ArgType type) {
        Value v;
        v.type = type;
        const char* what = type_name(type);
        switch (type) {
            case ArgType::i16: v.i = integer(INT16_MIN, INT16_MAX, what); break;
            case ArgType::i32: v.i = integer(INT32_MIN, INT32_MAX, what); break;
            case ArgType::single: v.d = static_cast<float>(real(true, what)); break;
            case ArgType::dbl: v.d = real(false, what); break;
            case ArgType::str: {
                Token t = next(what);
                if (t.kind != Token::Kind::string) fail(std::string("expected a string, got '") + Shown_input(t.text) + "'");
                v.s = t.text;
                break;
            }
            case ArgType::bytes:
            case ArgType::doubles:
            case ArgType::strings: {
                Token t = next(what);
                if (t.kind != Token::Kind::open) fail(std::string("expected ") + what + " in [ ], got '" + Shown_input(t.text) + "'");
                for (;;) {
                    if (done()) fail("unterminated array");
                    if (peek().kind == Token::Kind::close) {
                        ++pos_;
                        break;
                    }
                    if (type == ArgType::bytes) v.ints.push_back(integer(0, 255, "a byte"));
                    else if (type == ArgType::doubles) v.reals.push_back(real(false, "a number"));
                    else v.texts.push_back(value(ArgType::str).s);
                }
                break;
            }
        }
        return v;
    }

    std::string word(const char* what) {
        Token t = next(what);
        if (t.kind != Token::Kind::word && t.kind != Token::Kind::string) fail(std::string("expected ") + what);
        return t.text;
    }
    void end() {
        if (!done()) fail("unexpected '" + Shown_input(peek().text) + "'");
    }

private:
    std::vector<Token> toks_;
    std::size_t pos_ = 0;
    int line_;
};

SimulatedMachine::Action parse_action(LineParser& p, const std::string& what) {
    SimulatedMachine::Action a;
    if (what == "input") {
        a.what = SimulatedMachine::Action::What::input;
        a.bit = static_cast<int>(p.integer(0, 15, "an input bit 0-15"));
        a.level = static_cast<int>(p.integer(0, 1, "a level 0 or 1"));
    } else if (what == "key") {
        a.what = SimulatedMachine::Action::What::key;
        const std::string k = p.word("shift or space");
        if (k == "shift") a.key = Key::shift;
        else if (k == "space") a.key = Key::space;
        else p.fail("unknown key '" + Shown_input(k) + "' (shift or space)");
        const std::string s = p.word("on or off");
        if (s != "on" && s != "off") p.fail("expected on or off, got '" + Shown_input(s) + "'");
        a.held = s == "on";
    } else {
        p.fail("unknown directive '" + Shown_input(what) + "'");
    }
    return a;
}

Statement parse_directive(LineParser& p, const std::string& name, int line) {
    Statement st;
    st.kind = Statement::Kind::directive;
    st.line = line;
    st.directive = name;
    if (name == "card") {
        // @card absent | present | fail N (the N-th driver call from this line fails once)
        st.text = p.word("absent, present or fail");
        if (st.text == "fail") st.count = static_cast<uint64_t>(p.integer(1, INT64_MAX, "a driver call count from 1"));
        else if (st.text != "absent" && st.text != "present") p.fail("expected absent, present or fail N");
    } else if (name == "input" || name == "key") {
        st.action = parse_action(p, name);
    } else if (name == "at") {
        const std::string ev = p.word("an event (gate-close, read, time)");
        if (ev == "gate-close") st.event = SimulatedMachine::Event::gate_close;
        else if (ev == "read") st.event = SimulatedMachine::Event::read;
        else if (ev == "time") st.event = SimulatedMachine::Event::time;
        else p.fail("unknown event '" + Shown_input(ev) + "' (gate-close, read, time)");
        st.count = static_cast<uint64_t>(p.integer(0, INT64_MAX, "an event count"));
        st.action = parse_action(p, p.word("input or key"));
    } else if (name == "answer") {
        const std::string a = p.word("yes, no or ok");
        if (a == "yes") st.answer = Answer::yes;
        else if (a == "no") st.answer = Answer::no;
        else if (a == "ok") st.answer = Answer::ok;
        else p.fail("expected yes, no or ok, got '" + Shown_input(a) + "'");
    } else if (name == "folder") {
        st.text = p.word("a folder path");
    } else if (name == "head") {
        // @head ideal | distorted [SETTING=VALUE ...]: the head the simulated spot lands through
        st.text = p.word("ideal or distorted");
        while (!p.done()) {
            std::string w = p.word("a head setting");
            if (!p.done() && p.peek().kind == Token::Kind::equals) {
                p.next("=");
                w += "=" + p.next("a setting value").text;
            }
            st.text += " " + w;
        }
        try {
            parse_head_setting({st.text});
        } catch (const HeadSettingError& e) {
            p.fail(e.what());
        }
    } else if (name == "controller") {
        // @controller PORT emulator [OPTION[=VALUE] ...]  or  @controller PORT DEVICE
        st.count = static_cast<uint64_t>(p.integer(1, 32767, "a port number 1-32767"));
        const std::string what = p.word("emulator or a device path");
        if (what == "emulator") {
            std::vector<std::string> words;
            while (!p.done()) {
                std::string w = p.word("a controller option");
                if (!p.done() && p.peek().kind == Token::Kind::equals) {
                    p.next("=");
                    w += "=" + p.next("an option value").text;
                }
                words.push_back(w);
            }
            ControllerOptions options;
            std::string error;
            if (!parse_controller_options(words, options, error)) p.fail(error);
            st.text = "emulator";
            for (const std::string& w : words) st.text += " " + w;
        } else {
            st.text = "device " + what;
        }
    } else {
        p.fail("unknown directive '@" + Shown_input(name) + "'");
    }
    p.end();
    return st;
}

bool is_property(const std::string& n) { return n == "Name" || n == "File_no_begin" || n == "DebugID"; }

}  // namespace

std::vector<Statement> parse_script(const std::string& text) {
    std::vector<Statement> out;
    std::istringstream in(text);
    std::string line;
    int line_no = 0;
    int objects = 1;  // the runner creates the first object before line 1
    while (std::getline(in, line)) {
        ++line_no;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        LineParser p(tokenize(line, line_no), line_no);
        if (p.done()) continue;
        const Token head = p.next("a statement");
        if (head.kind != Token::Kind::word) p.fail("expected a member name, got '" + Shown_input(head.text) + "'");
        Statement st;
        st.line = line_no;
        st.name = head.text;
        if (head.text[0] == '@') {
            out.push_back(parse_directive(p, head.text.substr(1), line_no));
            continue;
        }
        if (head.text == "new") {
            p.end();
            st.kind = Statement::Kind::create;
            ++objects;
        } else if (head.text == "drop") {
            p.end();
            if (objects == 0) p.fail("drop without an object");
            st.kind = Statement::Kind::drop;
            --objects;
        } else if (is_property(head.text)) {
            if (objects == 0) p.fail("no object to call (all dropped)");
            if (!p.done() && p.peek().kind == Token::Kind::equals) {
                p.next("=");
                if (head.text == "DebugID") p.fail("DebugID is read-only");
                st.kind = Statement::Kind::property_set;
                st.args.push_back(p.value(head.text == "Name" ? ArgType::str : ArgType::i32));
            } else {
                st.kind = Statement::Kind::property_get;
            }
            p.end();
        } else {
            const MemberEntry* m = find_member(head.text);
            if (!m) p.fail("unknown member '" + Shown_input(head.text) + "'");
            if (objects == 0) p.fail("no object to call (all dropped)");
            st.kind = Statement::Kind::call;
            for (std::size_t i = 0; i < m->params.size(); ++i) {
                if (p.done())
                    p.fail(head.text + " takes " + std::to_string(m->params.size()) + " arguments, got " + std::to_string(i));
                st.args.push_back(p.value(m->params[i]));
            }
            if (!p.done()) p.fail(head.text + " takes " + std::to_string(m->params.size()) + " arguments, got more");
        }
        out.push_back(std::move(st));
    }
    return out;
}

static std::string shortest(double d, bool single) {
    char buf[64];
    auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d)) : std::to_chars(buf, buf + sizeof buf, d);
    return std::string(buf, r.ptr);
}

std::string format_value(const Value& v) {
    auto join = [](const auto& items, auto fmt) {
        std::string s = "[";
        for (std::size_t i = 0; i < items.size(); ++i) s += (i ? "," : "") + fmt(items[i]);
        return s + "]";
    };
    switch (v.type) {
        case ArgType::i16:
        case ArgType::i32: return std::to_string(v.i);
        case ArgType::single: return shortest(v.d, true);
        case ArgType::dbl: return shortest(v.d, false);
        case ArgType::str: return quoted(v.s);
        case ArgType::bytes: return join(v.ints, [](int64_t x) { return std::to_string(x); });
        case ArgType::doubles: return join(v.reals, [](double x) { return shortest(x, false); });
        case ArgType::strings: return join(v.texts, [](const std::string& x) { return quoted(x); });
    }
    return {};
}

}  // namespace korvex::script
