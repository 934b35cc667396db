// The hardware record's field descriptors, generated from the same list as the record itself so
// the numbering, the types and the defaults cannot drift apart.
#include "state/hardware_record.hpp"

#include <array>
#include <cstring>

namespace korvex {

namespace {

#define KORVEX_HW_DESCRIPTOR(number, kind, ctype, name, has_default, value) \
    HardwareField{number, HardwareFieldType::kind, offsetof(HardwareRecord, name), #name, has_default, value},
constexpr std::array<HardwareField, kHardwareFieldCount> kFields{{KORVEX_HARDWARE_FIELDS(KORVEX_HW_DESCRIPTOR)}};
#undef KORVEX_HW_DESCRIPTOR

constexpr bool numbered_in_order() {
    for (std::size_t i = 0; i < kFields.size(); ++i)
        if (kFields[i].number != static_cast<int16_t>(i + 1)) return false;
    return true;
}
static_assert(numbered_in_order(), "hardware fields must be numbered 1-73 in record order");

constexpr std::size_t size_of(HardwareFieldType t) {
    return t == HardwareFieldType::i32 || t == HardwareFieldType::single ? 4 : t == HardwareFieldType::dbl ? 8 : 2;
}
#define KORVEX_HW_SIZE_CHECK(number, kind, ctype, name, has_default, value) \
    static_assert(sizeof(HardwareRecord::name) == size_of(HardwareFieldType::kind), "field " #name " has the wrong width");
KORVEX_HARDWARE_FIELDS(KORVEX_HW_SIZE_CHECK)
#undef KORVEX_HW_SIZE_CHECK

template <class T>
T* field_at(HardwareRecord& r, const HardwareField& f) {
    return reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(&r) + f.offset);
}
template <class T>
const T* field_at(const HardwareRecord& r, const HardwareField& f) {
    return reinterpret_cast<const T*>(reinterpret_cast<const unsigned char*>(&r) + f.offset);
}

}  // namespace

std::span<const HardwareField> hardware_fields() { return kFields; }

const HardwareField& hardware_field(int32_t number) {
    if (number < 1 || number > kHardwareFieldCount) raise_fault(FaultKind::index, "hardware field number outside 1-73");
    return kFields[static_cast<std::size_t>(number - 1)];
}

void hardware_field_store(HardwareRecord& record, const HardwareField& field, double value) {
    switch (field.type) {
        case HardwareFieldType::i16: *field_at<int16_t>(record, field) = to_i16(value); break;
        case HardwareFieldType::i32: *field_at<int32_t>(record, field) = to_i32(value); break;
        case HardwareFieldType::single: *field_at<float>(record, field) = to_single(value); break;
        case HardwareFieldType::dbl: *field_at<double>(record, field) = value; break;
        case HardwareFieldType::boolean: *field_at<vbool>(record, field) = to_vbool(value != 0.0); break;
    }
}

double hardware_field_value(const HardwareRecord& record, const HardwareField& field) {
    switch (field.type) {
        case HardwareFieldType::i16: return *field_at<int16_t>(record, field);
        case HardwareFieldType::i32: return *field_at<int32_t>(record, field);
        case HardwareFieldType::single: return *field_at<float>(record, field);
        case HardwareFieldType::dbl: return *field_at<double>(record, field);
        case HardwareFieldType::boolean: return *field_at<vbool>(record, field);
    }
    return 0.0;
}

}  // namespace korvex
