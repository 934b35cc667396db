// The 22 members of korvex_dll as C functions: each copies its C arguments into the types the member
// takes (arrays into the handle's reused scratch vectors), calls it inside the C boundary's guard
// and returns its status code; md arrays are copied back (also after a fault), since the member
// may rewrite them.
#include <algorithm>

#include "capi/c_boundary.hpp"

using korvex::capi::array_or_empty;
using korvex::capi::member;
using korvex::capi::Object;

namespace {

void fill_bytes(std::vector<uint8_t>& out, const uint8_t* data, std::size_t count, const char* what) {
    const uint8_t* p = array_or_empty(data, count, what);
    out.assign(p, p + count);
}

void fill_strings(std::vector<std::string>& out, const char* const* data, std::size_t count, const char* what) {
    const char* const* p = array_or_empty(data, count, what);
    out.resize(count);
    for (std::size_t i = 0; i < count; ++i) korvex::capi::copy_string(p[i], out[i], what);
}

// Runs a member that takes md by reference on a copy of the caller's array, then copies it back.
template <class Call>
int32_t with_md(korvex_object* handle, double* md, std::size_t md_count, Call&& call) noexcept {
    return member(handle, [&](Object& o) -> int32_t {
        const double* p = array_or_empty(md, md_count, "md");
        o.md.assign(p, p + md_count);
        auto give_back = [&] { std::copy_n(o.md.begin(), std::min(md_count, o.md.size()), md); };
        int32_t status = 0;
        try {
            status = call(o.dll, o.md);
        } catch (...) {
            give_back();  // a member that faulted part-way leaves its partial writes, as in C++
            throw;
        }
        give_back();
        return status;
    });
}

}  // namespace

extern "C" {

int32_t korvex_destroy(korvex_object* object) {
    if (!object) return korvex::capi::guarded(nullptr, [] { return 0; });  // NULL is ignored
    return korvex::capi::guarded(nullptr, [&]() -> int32_t {
        if (const char* refusal = korvex::capi::release_object(object)) throw korvex::capi::ArgumentError(refusal);
        return 0;
    });
}

int32_t korvex_get_Name(const korvex_object* object, char* buffer, size_t size, size_t* length) {
    return member(object, [&](Object& o) -> int32_t {
        korvex::capi::give_string(o.dll.Name(), buffer, size, length);
        return 0;
    });
}

int32_t korvex_set_Name(korvex_object* object, const char* value) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        korvex::capi::require(value, "Name");
        dll.Name(value);
        return 0;
    });
}

int32_t korvex_get_File_no_begin(const korvex_object* object, int32_t* value) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        korvex::capi::require(value, "value");
        *value = dll.File_no_begin();
        return 0;
    });
}

int32_t korvex_set_File_no_begin(korvex_object* object, int32_t value) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        dll.File_no_begin(value);
        return 0;
    });
}

int32_t korvex_get_DebugID(const korvex_object* object, int32_t* value) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        korvex::capi::require(value, "value");
        *value = dll.DebugID();
        return 0;
    });
}

int32_t korvex_e_isMarking(const korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.e_isMarking(); });
}

int32_t korvex_e_PrintEarMark(korvex_object* object, const uint8_t* imageData, size_t imageData_count,
                              const char* const* strNumber1, size_t strNumber1_count, const char* const* strNumber2,
                              size_t strNumber2_count, const uint8_t* arr_Size, size_t arr_Size_count) {
    return member(object, [&](Object& o) -> int32_t {
        fill_bytes(o.bytes_a, imageData, imageData_count, "imageData");
        fill_strings(o.strings_a, strNumber1, strNumber1_count, "strNumber1");
        fill_strings(o.strings_b, strNumber2, strNumber2_count, "strNumber2");
        fill_bytes(o.bytes_b, arr_Size, arr_Size_count, "arr_Size");
        return o.dll.e_PrintEarMark(o.bytes_a, o.strings_a, o.strings_b, o.bytes_b);
    });
}

int32_t korvex_e_Initlize(korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.e_Initlize(); });
}

int32_t korvex_e_Relese(korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.e_Relese(); });
}

int32_t korvex_e_setPrintInfo(korvex_object* object, const char* strTempletFileName) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        korvex::capi::require(strTempletFileName, "strTempletFileName");
        dll.e_setPrintInfo(strTempletFileName);
        return 0;
    });
}

int32_t korvex_usb_laser_open(korvex_object* object, float laserpower, float laserfre, int16_t on_off) {
    return member(object, [&](korvex_dll& dll) -> int32_t { return dll.usb_laser_open(laserpower, laserfre, on_off); });
}

int32_t korvex_Marking_init_pci(korvex_object* object, int16_t out_data0, int16_t out_data1, int16_t card,
                                int16_t LaserType, int16_t lnghead, const uint8_t* rs_n, size_t rs_n_count,
                                int16_t laser_sw) {
    return member(object, [&](Object& o) -> int32_t {
        fill_bytes(o.bytes_a, rs_n, rs_n_count, "rs_n");
        return o.dll.Marking_init_pci(out_data0, out_data1, card, LaserType, lnghead, o.bytes_a, laser_sw);
    });
}

int32_t korvex_Marking_data(korvex_object* object, double* md, size_t md_count) {
    return with_md(object, md, md_count, [](korvex_dll& dll, std::vector<double>& v) { return dll.Marking_data(v); });
}

int32_t korvex_Marking_end(korvex_object* object, int32_t fileno, int32_t fileAll, int32_t MarkM, int32_t m_sel,
                           int32_t m_head, double* md, size_t md_count) {
    return with_md(object, md, md_count, [&](korvex_dll& dll, std::vector<double>& v) {
        return dll.Marking_end(fileno, fileAll, MarkM, m_sel, m_head, v);
    });
}

int32_t korvex_Marking_run(korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.Marking_run(); });
}

int32_t korvex_Marking_stop(korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.Marking_stop(); });
}

int32_t korvex_Marking_para(korvex_object* object, float ms, float mms, int32_t tcf, int32_t tch, int32_t tof,
                            int32_t toh, double su, float laserpower, float laserfre, float lasermaxpower,
                            int32_t dr_time) {
    return member(object, [&](korvex_dll& dll) -> int32_t {
        return dll.Marking_para(ms, mms, tcf, tch, tof, toh, su, laserpower, laserfre, lasermaxpower, dr_time);
    });
}

int32_t korvex_Send_cal_data(korvex_object* object, int32_t lnghead) {
    return member(object, [&](korvex_dll& dll) -> int32_t { return dll.Send_cal_data(lnghead); });
}

int32_t korvex_marking_start(korvex_object* object) {
    return member(object, [](korvex_dll& dll) -> int32_t { return dll.marking_start(); });
}

int32_t korvex_port_Out_bit(korvex_object* object, int16_t intBit, int16_t intV) {
    return member(object, [&](korvex_dll& dll) -> int32_t { return dll.port_Out_bit(intBit, intV); });
}

int32_t korvex_port_In_Bit(korvex_object* object, int16_t intBit) {
    return member(object, [&](korvex_dll& dll) -> int32_t { return dll.port_In_Bit(intBit); });
}

int32_t korvex_Marking_DA(korvex_object* object, double V, int16_t P) {
    return member(object, [&](korvex_dll& dll) -> int32_t { return dll.Marking_DA(V, P); });
}

}  // extern "C"
