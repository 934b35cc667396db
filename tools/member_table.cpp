// The 22 members bound to script arguments. Arrays arrive as 0-based containers; md is passed by
// reference so a stand-alone packer's clamped values stay in the script's copy.
#include "member_table.hpp"

#include <algorithm>

namespace korvex::script {

namespace {

using A = ArgType;
using R = ResultType;

std::vector<uint8_t> bytes_of(const Value& v) {
    std::vector<uint8_t> out;
    out.reserve(v.ints.size());
    for (int64_t x : v.ints) out.push_back(static_cast<uint8_t>(x));
    return out;
}
int16_t i16(const Value& v) { return static_cast<int16_t>(v.i); }
int32_t i32(const Value& v) { return static_cast<int32_t>(v.i); }
float f32(const Value& v) { return static_cast<float>(v.d); }
std::string num(int64_t x) { return std::to_string(x); }

std::vector<MemberEntry> build_table() {
    std::vector<MemberEntry> t;
    t.push_back({"e_isMarking", {}, R::boolean, [](korvex_dll& o, std::vector<Value>&) { return num(o.e_isMarking()); }});
    t.push_back({"e_PrintEarMark", {A::bytes, A::strings, A::strings, A::bytes}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) {
                     return num(o.e_PrintEarMark(bytes_of(a[0]), a[1].texts, a[2].texts, bytes_of(a[3])));
                 }});
    t.push_back({"e_Initlize", {}, R::i16, [](korvex_dll& o, std::vector<Value>&) { return num(o.e_Initlize()); }});
    t.push_back({"e_Relese", {}, R::i16, [](korvex_dll& o, std::vector<Value>&) { return num(o.e_Relese()); }});
    t.push_back({"e_setPrintInfo", {A::str}, R::empty, [](korvex_dll& o, std::vector<Value>& a) {
                     o.e_setPrintInfo(a[0].s);
                     return std::string("Empty");
                 }});
    t.push_back({"usb_laser_open", {A::single, A::single, A::i16}, R::i16, [](korvex_dll& o, std::vector<Value>& a) {
                     return num(o.usb_laser_open(f32(a[0]), f32(a[1]), i16(a[2])));
                 }});
    t.push_back({"Marking_init_pci", {A::i16, A::i16, A::i16, A::i16, A::i16, A::bytes, A::i16}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) {
                     return num(o.Marking_init_pci(i16(a[0]), i16(a[1]), i16(a[2]), i16(a[3]), i16(a[4]), bytes_of(a[5]),
                                                   i16(a[6])));
                 }});
    t.push_back({"Marking_data", {A::doubles}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) { return num(o.Marking_data(a[0].reals)); }});
    t.push_back({"Marking_end", {A::i32, A::i32, A::i32, A::i32, A::i32, A::doubles}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) {
                     return num(o.Marking_end(i32(a[0]), i32(a[1]), i32(a[2]), i32(a[3]), i32(a[4]), a[5].reals));
                 }});
    t.push_back({"Marking_run", {}, R::i16, [](korvex_dll& o, std::vector<Value>&) { return num(o.Marking_run()); }});
    t.push_back({"Marking_stop", {}, R::i16, [](korvex_dll& o, std::vector<Value>&) { return num(o.Marking_stop()); }});
    t.push_back({"Marking_para",
                 {A::single, A::single, A::i32, A::i32, A::i32, A::i32, A::dbl, A::single, A::single, A::single, A::i32},
                 R::i16, [](korvex_dll& o, std::vector<Value>& a) {
                     return num(o.Marking_para(f32(a[0]), f32(a[1]), i32(a[2]), i32(a[3]), i32(a[4]), i32(a[5]), a[6].d,
                                               f32(a[7]), f32(a[8]), f32(a[9]), i32(a[10])));
                 }});
    t.push_back({"Send_cal_data", {A::i32}, R::boolean,
                 [](korvex_dll& o, std::vector<Value>& a) { return num(o.Send_cal_data(i32(a[0]))); }});
    t.push_back({"marking_start", {}, R::i16, [](korvex_dll& o, std::vector<Value>&) { return num(o.marking_start()); }});
    t.push_back({"port_Out_bit", {A::i16, A::i16}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) { return num(o.port_Out_bit(i16(a[0]), i16(a[1]))); }});
    t.push_back({"port_In_Bit", {A::i16}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) { return num(o.port_In_Bit(i16(a[0]))); }});
    t.push_back({"Marking_DA", {A::dbl, A::i16}, R::i16,
                 [](korvex_dll& o, std::vector<Value>& a) { return num(o.Marking_DA(a[0].d, i16(a[1]))); }});
    return t;
}

}  // namespace

const std::vector<MemberEntry>& member_table() {
    static const std::vector<MemberEntry> table = build_table();
    return table;
}

const MemberEntry* find_member(const std::string& name) {
    const auto& t = member_table();
    auto it = std::find_if(t.begin(), t.end(), [&](const MemberEntry& m) { return name == m.name; });
    return it == t.end() ? nullptr : &*it;
}

}  // namespace korvex::script
