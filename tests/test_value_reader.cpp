// The comma-separated value reader: separators and line ends, quoting, empty values, number and
// Boolean spellings, and the faults for missing, malformed and out-of-range values.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "core/value_reader.hpp"

using namespace korvex;

namespace {

// Runs `f`, which must fault; returns the fault (kind and message).
template <class F>
Fault fault_of(F&& f) {
    try {
        f();
    } catch (const Fault& e) {
        return e;
    }
    ADD_FAILURE() << "no fault";
    return Fault(FaultKind::unavailable, "");
}

FaultKind i16_fault(const char* text) {
    return fault_of([&] { ValueReader(text).read_i16(); }).kind();
}

}  // namespace

TEST(ValueReader, ValuesFollowEachOtherAcrossCommasLineEndsAndBlankLines) {
    ValueReader in("1,2\r\n3\n\n  4 ,\t5 \r\n\r\n6,\n7\r8");
    for (int16_t want = 1; want <= 8; ++want) EXPECT_EQ(in.read_i16(), want);
    EXPECT_TRUE(in.at_end());
    Fault f = fault_of([&] { in.read_i16(); });
    EXPECT_EQ(f.kind(), FaultKind::eof);
    EXPECT_EQ(fault_of([] { ValueReader("").read_string(); }).kind(), FaultKind::eof);
    EXPECT_EQ(fault_of([] { ValueReader(" \r\n\t\n").read_double(); }).kind(), FaultKind::eof);
}

TEST(ValueReader, StringsQuotedOrPlainAndEmptyValues) {
    ValueReader in("\"a, b\",  plain text  ,\"x\" junk,\"\",,\r\n"
                   ",last\n"
                   "\"two\r\nlines\"\n"
                   "\"open to the end, 1");
    EXPECT_EQ(in.read_string(), "a, b");
    EXPECT_EQ(in.read_string(), "plain text");
    EXPECT_EQ(in.read_string(), "x");  // text after the closing quote is dropped
    EXPECT_EQ(in.read_string(), "");
    EXPECT_EQ(in.read_string(), "");    // two commas in a row
    EXPECT_EQ(in.read_string(), "");    // comma at the start of a line
    EXPECT_EQ(in.read_string(), "last");
    EXPECT_EQ(in.read_string(), "two\r\nlines");
    EXPECT_EQ(in.read_string(), "open to the end, 1");
    EXPECT_TRUE(in.at_end());

    ValueReader nums("5,,7,  ,\"12\",\"\"\n,9");
    EXPECT_EQ(nums.read_i32(), 5);
    EXPECT_EQ(nums.read_i32(), 0);
    EXPECT_EQ(nums.read_single(), 7.0f);
    EXPECT_EQ(nums.read_double(), 0.0);  // blanks only
    EXPECT_EQ(nums.read_i16(), 12);      // a quoted number is the number
    EXPECT_EQ(nums.read_i16(), 0);
    EXPECT_EQ(nums.read_i16(), 0);
    EXPECT_EQ(nums.read_i16(), 9);
}

TEST(ValueReader, NumberSpellingsAndRoundingHalfToEven) {
    ValueReader in("+12,-3.5,2.5,1e2,.5,5.,-0.25E+1,#TRUE#,#false#,000000000000000000000042,1e-400,-32768");
    EXPECT_EQ(in.read_i16(), 12);
    EXPECT_EQ(in.read_i16(), -4);
    EXPECT_EQ(in.read_i32(), 2);
    EXPECT_EQ(in.read_i16(), 100);
    EXPECT_EQ(in.read_single(), 0.5f);
    EXPECT_EQ(in.read_double(), 5.0);
    EXPECT_EQ(in.read_double(), -2.5);
    EXPECT_EQ(in.read_i16(), -1);
    EXPECT_EQ(in.read_i32(), 0);
    EXPECT_EQ(in.read_i32(), 42);
    EXPECT_EQ(in.read_double(), 0.0);  // below a Double's smallest value
    EXPECT_EQ(in.read_i16(), -32768);
}

TEST(ValueReader, BooleansAreAlwaysMinusOneOrZero) {
    ValueReader in("#TRUE#,#FALSE#,#True#,1,0,2,-1,,0.5,\"#TRUE#\"");
    const vbool want[] = {kTrue, kFalse, kTrue, kTrue, kFalse, kTrue, kTrue, kFalse, kTrue, kTrue};
    for (vbool w : want) EXPECT_EQ(in.read_bool(), w);
    EXPECT_EQ(fault_of([] { ValueReader("yes").read_bool(); }).kind(), FaultKind::type);
}

TEST(ValueReader, MalformedNumbersAreTypeFaultsAndBigOnesOverflow) {
    for (const char* bad : {"abc", "1 2", "1e", "e5", "inf", "nan", "--1", "0x10", "#MAYBE#", ".", "-", "12abc", "1.2.3"})
        EXPECT_EQ(i16_fault(bad), FaultKind::type) << bad;
    EXPECT_EQ(i16_fault("32768"), FaultKind::overflow);
    EXPECT_EQ(i16_fault("-32769"), FaultKind::overflow);
    EXPECT_EQ(i16_fault("32767.5"), FaultKind::overflow);  // rounds to 32768
    EXPECT_EQ(i16_fault("99999999999999999999"), FaultKind::overflow);
    EXPECT_EQ(fault_of([] { ValueReader("2147483648").read_i32(); }).kind(), FaultKind::overflow);
    EXPECT_EQ(fault_of([] { ValueReader("1e39").read_single(); }).kind(), FaultKind::overflow);
    EXPECT_EQ(fault_of([] { ValueReader("1e400").read_double(); }).kind(), FaultKind::overflow);
    EXPECT_EQ(ValueReader("32767.4").read_i16(), 32767);

    // The fault names the line of the value, and the reader goes on after it.
    ValueReader in("1\r\n2\nx,4");
    in.read_i16();
    in.read_i16();
    Fault f = fault_of([&] { in.read_i16(); });
    EXPECT_EQ(f.kind(), FaultKind::type);
    EXPECT_NE(std::string(f.what()).find("line 3"), std::string::npos) << f.what();
    EXPECT_EQ(in.read_i16(), 4);
}

TEST(ValueReader, FileTextHoldsTheWholeFileOrFaults) {
    auto path = std::filesystem::temp_directory_path() / ("korvex_values_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream out(path, std::ios::binary);
        out << "\"head\"\r\n1.5,2\r\n";
    }
    FileText file(path.string());
    EXPECT_EQ(file.view(), "\"head\"\r\n1.5,2\r\n");
    ValueReader in(file.view());
    EXPECT_EQ(in.read_string(), "head");
    EXPECT_EQ(in.read_single(), 1.5f);
    EXPECT_EQ(in.read_i32(), 2);
    std::filesystem::remove(path);
    EXPECT_EQ(fault_of([&] { FileText missing(path.string()); }).kind(), FaultKind::file);
    EXPECT_EQ(fault_of([&] { FileText folder(path.parent_path().string()); }).kind(), FaultKind::file);
}
