// The packer. Every byte goes through Job_put, which checks both the buffer position (an index fault
// past the end of the job buffer) and the value (an overflow fault outside 0..255), so a coordinate,
// delay, count or timer value that does not fit its operand can never be written as a wrapped byte.
//
// A single point extends the dot list it follows. A point that follows anything else (a polyline or
// a pulse record) opens a new dot list with its own laser records, speed header and timing record,
// exactly as the first record of an array does: extending a list that is no longer at the end of
// the job would make the controller read the records after it as points.
#include "link/job_packer.hpp"

#include "core/numeric.hpp"
#include "device/device_init.hpp"

namespace korvex {

namespace {

constexpr int32_t kMaxOperand = 65535;

inline void Job_put(State& s, int32_t& pos, int64_t value) {
    s.link.bytJob.at(pos) = to_byte(value);
    ++pos;
}

// A 16-bit operand, low byte first; a negative value or one above 65 535 does not fit a byte pair.
inline void Job_put16(State& s, int32_t& pos, int64_t value) {
    Job_put(s, pos, value % 256);
    Job_put(s, pos, value / 256);
}

inline double Md(const std::vector<double>& md, int64_t i) {
    if (i < 0 || static_cast<uint64_t>(i) >= md.size()) raise_fault(FaultKind::index, "md index beyond the array");
    return md[static_cast<std::size_t>(i)];
}

// A gate delay as written into a job: above 65 535 it is set to 65 535 in offPara first.
int64_t Delay_operand(int32_t& field) {
    if (field > kMaxOperand) field = kMaxOperand;
    return field;
}

void Put_point(State& s, int32_t& pos, double x, double y) {
    Coord_bytes(s, x, y);
    const auto& X = s.link.lngXBytes.items;
    const auto& Y = s.link.lngYBytes.items;
    if (pos >= 0 && pos <= kJobBytes - 4) {  // the common case: room for the whole point
        uint8_t* p = s.link.bytJob.items.data() + pos;
        p[0] = static_cast<uint8_t>(X[0]);  // Coord_bytes makes bytes 0..255
        p[1] = static_cast<uint8_t>(X[1]);
        p[2] = static_cast<uint8_t>(Y[0]);
        p[3] = static_cast<uint8_t>(Y[1]);
        pos += 4;
        return;
    }
    Job_put(s, pos, X[0]);  // byte by byte up to the end of the buffer, then the index fault
    Job_put(s, pos, X[1]);
    Job_put(s, pos, Y[0]);
    Job_put(s, pos, Y[1]);
}

// A move record of one point: 0x60, count 1, the point.
void Put_move_to(State& s, int32_t& pos, double x, double y) {
    Job_put(s, pos, job_op::kMove);
    Job_put(s, pos, 1);
    Job_put(s, pos, 0);
    Job_put(s, pos, 0);
    Job_put(s, pos, 0);
    Put_point(s, pos, x, y);
}

void Put_wait(State& s, int32_t& pos, int64_t t) {
    Job_put(s, pos, job_op::kWait);
    Job_put16(s, pos, t);
}

// The dot list is the last thing in the job, so one more point can join it.
bool Dot_list_open_at(const State& s, int32_t pos) {
    const LinkGroup& l = s.link;
    return l.lngDotCountPos > 0 && static_cast<int64_t>(pos) == int64_t{l.lngDotCountPos} + 4 + 4 * int64_t{l.lngDotCount};
}

void Open_dot_list(State& s, int32_t& pos) {
    HeadParaRecord& p = s.para.offPara;
    Job_pack_laser(s, pos);
    Speed_header(s, pos, Jump_speed(s));
    Job_put(s, pos, job_op::kDotList);
    Job_put16(s, pos, Delay_operand(p.tof));
    Job_put16(s, pos, Delay_operand(p.toh));
    Job_put16(s, pos, Delay_operand(p.tcf));
    Job_put16(s, pos, Delay_operand(p.tch));
    Job_put16(s, pos, Delay_operand(p.dr_time));
    s.link.lngDotCount = 0;
    s.link.lngDotCountPos = pos;
    pos += 4;  // the count goes here
}

void Pack_point(State& s, int32_t& pos, const std::vector<double>& md, int32_t i) {
    if (i == 0 || !Dot_list_open_at(s, pos)) Open_dot_list(s, pos);
    LinkGroup& l = s.link;
    l.lngDotCount += 1;
    uint8_t b[4];
    Split_long_bytes(l.lngDotCount, b[0], b[1], b[2], b[3]);
    for (int k = 0; k < 4; ++k) l.bytJob.at(int64_t{l.lngDotCountPos} + k) = b[k];
    Put_point(s, pos, Md(md, int64_t{i} + 1), Md(md, int64_t{i} + 2));
}

void Pack_pulse(State& s, int32_t& pos, std::vector<double>& md, int32_t i) {
    HeadParaRecord& p = s.para.offPara;
    if (i == 0) {
        Job_pack_laser(s, pos);
        Speed_header(s, pos, Jump_speed(s));
    }
    Put_move_to(s, pos, Md(md, int64_t{i} + 1), Md(md, int64_t{i} + 2));
    Put_wait(s, pos, Delay_operand(p.tof));
    for (int k = 3; k <= 8; ++k) {
        Md(md, int64_t{i} + k);  // the record must be whole
        double& t = md[static_cast<std::size_t>(i + k)];
        if (t > kMaxOperand) t = kMaxOperand;
    }
    if (p.dr_time <= 0) return;
    int64_t t[6];
    for (int k = 0; k < 6; ++k) t[k] = static_cast<int64_t>(round_half_even(md[static_cast<std::size_t>(i + 3 + k)]));
    for (int32_t r = 0; r < p.dr_time; ++r) {
        for (int k = 0; k < 6; ++k) {
            Job_put(s, pos, k % 2 == 0 ? job_op::kLaserOn : job_op::kLaserOff);
            Put_wait(s, pos, t[k]);
        }
    }
}

void Pack_polyline(State& s, int32_t& pos, const std::vector<double>& md, int32_t i, int64_t n) {
    HeadParaRecord& p = s.para.offPara;
    Job_pack_laser(s, pos);
    Speed_header(s, pos, Jump_speed(s));
    Put_move_to(s, pos, Md(md, int64_t{i} + 1), Md(md, int64_t{i} + 2));
    Speed_header(s, pos, Mark_speed(s));
    Put_wait(s, pos, Delay_operand(p.tof));
    Job_put(s, pos, job_op::kLaserOn);
    Put_wait(s, pos, Delay_operand(p.toh));
    Job_put(s, pos, job_op::kMove);
    Job_put16(s, pos, n - 1);
    Job_put(s, pos, 0);
    Job_put(s, pos, 0);
    if (n >= 2 && int64_t{i} + 2 * n < static_cast<int64_t>(md.size())) {  // the whole record is there
        const double* v = md.data() + i;
        for (int64_t k = 2; k <= n; ++k) Put_point(s, pos, v[2 * k - 1], v[2 * k]);
    } else {
        for (int64_t k = 2; k <= n; ++k) Put_point(s, pos, Md(md, int64_t{i} + 2 * k - 1), Md(md, int64_t{i} + 2 * k));
    }
    Put_wait(s, pos, Delay_operand(p.tcf));
    Job_put(s, pos, job_op::kLaserOff);
    Put_wait(s, pos, Delay_operand(p.tch));
}

}  // namespace

void Job_packer_reset(State& s) {
    s.link.lngJobPos = 0;
    s.link.sngLastPower = 0.0f;
    s.link.sngLastFreq = 0.0f;
    s.link.lngLastDrTime = -1;
}

int16_t Link_job_start(State& s) {
    Positions_reset(s);
    Job_packer_reset(s);
    return 1;
}

namespace {

// What packing one record changes besides the bytes past the job's end: the end itself, the open
// dot list (its count is rewritten in place) and the laser values the job already carries.
struct PackerMark {
    int32_t job_pos, dot_count, dot_count_pos;
    float last_power, last_freq;
    int32_t last_dr_time;
};

PackerMark Packer_mark(const LinkGroup& l) {
    return {l.lngJobPos, l.lngDotCount, l.lngDotCountPos, l.sngLastPower, l.sngLastFreq, l.lngLastDrTime};
}

// Puts the job back as it was after its last whole record, so a record that faulted half way is
// never downloaded: the controller would refuse the job (or read the half record's bytes as
// something else), and the laser values it had written would be taken as already in the job.
void Packer_roll_back(LinkGroup& l, const PackerMark& m) {
    l.lngJobPos = m.job_pos;
    l.lngDotCount = m.dot_count;
    l.lngDotCountPos = m.dot_count_pos;
    l.sngLastPower = m.last_power;
    l.sngLastFreq = m.last_freq;
    l.lngLastDrTime = m.last_dr_time;
    if (m.dot_count_pos > 0 && int64_t{m.dot_count_pos} + 4 <= m.job_pos) {
        uint8_t b[4];
        Split_long_bytes(m.dot_count, b[0], b[1], b[2], b[3]);
        for (int k = 0; k < 4; ++k) l.bytJob.at(int64_t{m.dot_count_pos} + k) = b[k];
    }
}

}  // namespace

int16_t Marking_data_standalone(State& s, std::vector<double>& md) {
    LinkGroup& l = s.link;
    l.lngDotCount = 0;
    l.lngDotCountPos = 0;
    int64_t i = 0;
    while (true) {
        const int64_t n = to_i32(Md(md, i));
        const PackerMark mark = Packer_mark(l);
        try {
            Job_pack_record(s, l.lngJobPos, md, to_i32(i));
        } catch (const Fault&) {
            Packer_roll_back(l, mark);
            throw;
        }
        i += n == -1 ? 9 : 2 * n + 1;
        if (Md(md, i) == 0.0) break;
    }
    return 1;
}

void Job_pack_record(State& s, int32_t& pos, std::vector<double>& md, int32_t i) {
    const double first = Md(md, i);
    if (first == 1.0) Pack_point(s, pos, md, i);
    else if (first == -1.0) Pack_pulse(s, pos, md, i);
    else Pack_polyline(s, pos, md, i, to_i32(first));
}

void Laser_power_code(State& s, float power, bool other_types_zero, int64_t& p0, int64_t& p1) {
    const double max = s.hw.sngLaserMaxPower;
    const double lp = power;
    switch (s.hw.intLaserType) {
        case 5: {
            const int64_t p = static_cast<int64_t>(round_half_even(real_div(lp * 4095.0, max)));
            p0 = p % 256;
            p1 = p / 256;
            return;
        }
        case 2: {
            int64_t p = static_cast<int64_t>(round_half_even(real_div(lp, max) * 256.0));
            if (p > 255) p = 255;
            p0 = p1 = p;
            return;
        }
        default:
            if (other_types_zero && s.hw.intLaserType != 1) {
                p0 = p1 = 0;
                return;
            }
            p0 = p1 = static_cast<int64_t>(round_half_even(real_div(lp * 255.0, max)));
            return;
    }
}

int64_t Laser_freq_code(float khz) {
    return static_cast<int64_t>(round_half_even(256.0 - real_div(98000.0 / 256.0, khz)));
}

void Job_pack_laser(State& s, int32_t& pos) {
    HeadParaRecord& p = s.para.offPara;
    LinkGroup& l = s.link;
    if (p.laserpower != l.sngLastPower) {
        int64_t p0 = 0, p1 = 0;
        Laser_power_code(s, p.laserpower, false, p0, p1);
        Job_put(s, pos, job_op::kPower);
        Job_put(s, pos, p0);
        Job_put(s, pos, p1);
        l.sngLastPower = p.laserpower;
    }
    if (p.laserfre != l.sngLastFreq) {
        if (p.laserfre <= 0.0f) p.laserfre = 10.0f;
        const int64_t f = Laser_freq_code(p.laserfre);
        Job_put(s, pos, job_op::kFrequency);
        Job_put(s, pos, f);
        Job_put(s, pos, f);
        l.sngLastFreq = p.laserfre;
    }
    if (p.dr_time != l.lngLastDrTime) {
        Job_put(s, pos, job_op::kDrTime);
        Job_put16(s, pos, p.dr_time);
        l.lngLastDrTime = p.dr_time;
    }
}

void Coord_bytes(State& s, double x, double y) {
    const double su = s.para.offPara.su;
    auto convert = [&](double mm, Table<int32_t, 4>& out) {
        const double steps = round_half_even(real_div(mm * 1000.0, su));
        if (steps >= 65536.0 || steps <= -65536.0) raise_fault(FaultKind::overflow, "coordinate beyond 16 bits of controller steps");
        const int32_t v = static_cast<int32_t>(steps);
        const int32_t t = v >= 0 ? v : 65536 + v;
        out.items[0] = t % 256;
        out.items[1] = t / 256;
        out.items[2] = out.items[3] = v >= 0 ? 0 : 255;
    };
    convert(x, s.link.lngXBytes);
    convert(y, s.link.lngYBytes);
}

void Job_close(State& s, int32_t& pos) {
    Speed_header(s, pos, Jump_speed(s));
    Put_move_to(s, pos, 0.0, 0.0);
    Job_put(s, pos, job_op::kEnd);
}

void Split_long_bytes(int32_t value, uint8_t& b0, uint8_t& b1, uint8_t& b2, uint8_t& b3) {
    const uint32_t v = static_cast<uint32_t>(value);
    b0 = static_cast<uint8_t>(v & 0xFF);
    b1 = static_cast<uint8_t>(v >> 8 & 0xFF);
    b2 = static_cast<uint8_t>(v >> 16 & 0xFF);
    b3 = static_cast<uint8_t>(v >> 24);
}

float Slowest_speed(double su) { return to_single(su * 1000.0 * 98.0 / 786420.0); }

float Jump_speed(State& s) {
    float& mms = s.para.offPara.mms;
    if (mms < 100.0f) mms = 100.0f;
    return mms;
}

float Mark_speed(State& s) {
    HeadParaRecord& p = s.para.offPara;
    const float vmin = Slowest_speed(p.su);
    if (vmin >= p.ms) p.ms = vmin + 1.0f;
    return p.ms;
}

void Speed_header(State& s, int32_t& pos, float v) {
    const double su = s.para.offPara.su;
    // Timer ticks per controller step at v.
    auto ticks = [&](double steps) { return round_half_even(real_div(steps * su * 1000.0, v) * 98.0 / 12.0); };
    const int64_t b = to_i32(ticks(1.0));
    int64_t c = 1, d = 0;
    if (b >= 160) {
        d = 65535 - b;
    } else {
        const int64_t c0 = int_div(160, b) + 1;
        if (c0 > 128) {
            c = c0;
        } else {
            c = 2;
            while (c < c0) c *= 2;
        }
        d = 65535 - to_i32(ticks(static_cast<double>(c)));
    }
    Job_put(s, pos, job_op::kStepMultiple);
    Job_put(s, pos, c);
    Job_put(s, pos, job_op::kTimer);
    Job_put16(s, pos, d);
    Job_put(s, pos, job_op::kTimer2);
    Job_put16(s, pos, d);
}

}  // namespace korvex
