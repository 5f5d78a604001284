#pragma once
// The fields of the two frame kinds as data. Each row names its input data
// bytes, the value field it writes, how the text is formed, which colour goes
// with which outcome and which live value (if any) it stores. The decoder is
// a loop over these rows; enumerated texts are small {code, text} tables.
#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace orlix {

// How a row forms its text. Every rule also yields a selector (0 or 1) that
// picks the colour of the row: paint0 or paint1.
enum class TextRule : std::uint8_t {
    Int8,           // integer text of D[lo]
    Int16,          // integer text of D[hi]:D[lo]
    Minus64,        // integer text of D[lo] - 64
    Signed8,        // integer text of ToSignedByte(D[lo])
    Kg100,          // fraction text of D[hi]:D[lo] / 100, then "kg"
    Time16,         // time text of D[hi]:D[lo]
    Current,        // current text of D[lo], "/", current text of D[hi]
    Bit,            // bit `bit` of D[lo]: set -> setText (selector 1), clear -> clearText (0)
    Codes,          // code table lookup of D[lo] AND mask; found -> 1, fallback -> 0
    Chain,          // first matching bit of a priority chain (see BitChain)
    Fan,            // code table for small values (0), otherwise setText + integer (1)
    SlavePressure,  // slave suction pressure text of D[lo]
    OilFlag,        // OilFlagText(D[lo])
};

// Colour painted for an outcome; Keep leaves the field's colour alone.
enum class Paint : std::uint8_t { Keep, Black, Red, On, Blue, Purple };

// Live value stored by a row.
enum class Store : std::uint8_t { None, Byte, Word, Minus64, Mask0C };

struct CodeText {
    std::uint8_t code;
    std::string_view text;
};

struct CodeTable {
    std::uint8_t mask;
    std::span<const CodeText> codes;
    std::string_view fallback;
};

struct BitText {
    std::uint16_t mask;
    std::string_view text;
};

// A priority chain over a value v (one byte, or D[lo] | D[hi] << 8 for the
// two-byte protection chain). When zeroMask is not 0 and v AND zeroMask is 0
// the text is zeroText (selector 0). Otherwise the first entry whose mask
// meets v gives the text (selector 1); when none does, `otherwise` with
// selector otherwiseSelector. With dotsWhenSeveral, "..." follows the text
// when v has more than one bit set.
struct BitChain {
    std::span<const BitText> bits;
    std::uint16_t zeroMask;
    std::string_view zeroText;
    std::string_view otherwise;
    std::uint8_t otherwiseSelector;
    bool dotsWhenSeveral;
};

struct FieldRow {
    std::uint8_t hi;     // high byte of a 16-bit value, second byte of a pair; == lo for one byte
    std::uint8_t lo;     // the row's main byte
    std::uint8_t field;  // Text1 index
    TextRule rule;
    std::uint8_t bit = 0;
    std::string_view setText{};
    std::string_view clearText{};
    const CodeTable* codes = nullptr;
    const BitChain* chain = nullptr;
    Paint paint0 = Paint::Keep;
    Paint paint1 = Paint::Keep;
    std::int8_t live = -1;  // LiveValues index, -1 for none
    Store store = Store::None;
};

namespace frame_rows {

// ---- enumerated texts ------------------------------------------------------

inline constexpr CodeText kModeCodes[] = {{1, "Heat"}, {2, "Cool"}, {3, "Dry"}, {4, "Fan"}};
inline constexpr CodeTable kMode{0xFF, kModeCodes, "Off"};

inline constexpr CodeText kDefrostCodes[] = {{0, "10"}, {4, "8"}, {8, "12"}, {12, "10"}};
inline constexpr CodeTable kDefrost{0x0C, kDefrostCodes, ""};

inline constexpr CodeText kCapCodes[] = {{0, "60%"}, {1, "0%"}, {2, "100%"}, {3, "0%"}};
inline constexpr CodeTable kSlaveCap{0x03, kCapCodes, ""};

inline constexpr CodeText kStsCodes[] = {{0, "Off"}, {4, "60% On"}, {8, "Off"}, {12, "100% On"}};
inline constexpr CodeTable kSlaveSts{0x0C, kStsCodes, ""};

inline constexpr CodeText kCmdCodes[] = {{0x00, "Off"}, {0x10, "60% On"}, {0x20, "Off"}, {0x30, "100% On"}};
inline constexpr CodeTable kSlaveCmd{0x30, kCmdCodes, ""};

inline constexpr CodeText kProtFanCodes[] = {{0, "No"}, {1, "Stop"}};
inline constexpr CodeTable kProtFan{0xFF, kProtFanCodes, ""};
inline constexpr CodeText kFanCodes[] = {{0, "Stop"}, {1, "Stop"}};
inline constexpr CodeTable kFan{0xFF, kFanCodes, ""};

// ---- priority chains -------------------------------------------------------

inline constexpr BitText kSensorBits[] = {{0x01, "Te"},  {0x02, "Ta"},  {0x04, "Td"},
                                          {0x08, "Ts"},  {0x10, "Toil"}, {0x20, "Tk1"},
                                          {0x40, "Tk2"}};
inline constexpr BitChain kSensor{kSensorBits, 0xFF, "Normal", "Tk3", 1, true};

inline constexpr BitText kErrorBits[] = {{0x01, "EEPROM"}, {0x10, "4WV"}, {0x20, "SlaveLost"}};
inline constexpr BitChain kError{kErrorBits, 0, "", "Normal", 0, false};

inline constexpr BitText kComErrorBits[] = {{0x02, "To 840"}, {0x04, "To in807"}, {0x08, "To out807"}};
inline constexpr BitChain kComError{kComErrorBits, 0, "", "Normal", 0, false};

// v = D[3] | D[5] << 8
inline constexpr BitText kProtectBits[] = {
    {0x0001, "TS40_err"}, {0x0002, "AC_err"},  {0x0004, "TD110_err"}, {0x0008, "Spit_err"},
    {0x0010, "Pd_err"},   {0x0020, "Ps_err"},  {0x0040, "IPM_err"},   {0x0080, "CompCoil"},
    {0x0100, "MisMatch"}, {0x4200, "HPS"},     {0x8400, "LPS"}};
inline constexpr BitChain kProtect{kProtectBits, 0xFFFF, "Normal", "Others", 1, false};

inline constexpr BitText kHzBits[] = {{0x01, "F_Pd"}, {0x02, "F_Ps"}, {0x04, "F_Ps2"}, {0x08, "F_AC"},
                                      {0x10, "F_Spit"}};
inline constexpr BitChain kHzProtect{kHzBits, 0x5F, "None", "F_Ps3", 1, false};

inline constexpr BitText kAckBits[] = {{0x04, "100% On_ack"}, {0x08, "100% Off_ack"},
                                       {0x10, "50% On_ack"},  {0x20, "50% Off_ack"}};
inline constexpr BitChain kAckSlave1{kAckBits, 0, "", "0%", 0, false};
inline constexpr BitChain kAckOther{kAckBits, 0, "", "none", 0, false};

// ---- row builders ----------------------------------------------------------

constexpr FieldRow num(TextRule r, int byte, int field, int live = -1, Store s = Store::None) {
    return {static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(byte),
            static_cast<std::uint8_t>(field), r, 0, {}, {}, nullptr, nullptr,
            Paint::Keep, Paint::Keep, static_cast<std::int8_t>(live), s};
}
constexpr FieldRow word(TextRule r, int hiByte, int field, int live = -1) {
    return {static_cast<std::uint8_t>(hiByte), static_cast<std::uint8_t>(hiByte + 1),
            static_cast<std::uint8_t>(field), r, 0, {}, {}, nullptr, nullptr,
            Paint::Keep, Paint::Keep, static_cast<std::int8_t>(live),
            live >= 0 ? Store::Word : Store::None};
}
constexpr FieldRow bit(int byte, int b, int field, std::string_view set, std::string_view clear,
                       Paint clearPaint, Paint setPaint, int live = -1, Store s = Store::None) {
    return {static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(byte),
            static_cast<std::uint8_t>(field), TextRule::Bit, static_cast<std::uint8_t>(b), set, clear,
            nullptr, nullptr, clearPaint, setPaint, static_cast<std::int8_t>(live), s};
}
constexpr FieldRow codes(int byte, int field, const CodeTable& t, Paint fallbackPaint = Paint::Keep,
                         Paint foundPaint = Paint::Keep, int live = -1, Store s = Store::None) {
    return {static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(byte),
            static_cast<std::uint8_t>(field), TextRule::Codes, 0, {}, {}, &t, nullptr,
            fallbackPaint, foundPaint, static_cast<std::int8_t>(live), s};
}
constexpr FieldRow chain(int byte, int field, const BitChain& c, Paint p0 = Paint::Keep,
                         Paint p1 = Paint::Keep, int secondByte = -1) {
    return {static_cast<std::uint8_t>(secondByte >= 0 ? secondByte : byte),
            static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(field), TextRule::Chain, 0, {},
            {}, nullptr, &c, p0, p1, -1, Store::None};
}
constexpr FieldRow fan(int byte, int field, const CodeTable& small, std::string_view prefix,
                       int live = -1) {
    return {static_cast<std::uint8_t>(byte), static_cast<std::uint8_t>(byte),
            static_cast<std::uint8_t>(field), TextRule::Fan, 0, prefix, {}, &small, nullptr,
            Paint::Black, Paint::On, static_cast<std::int8_t>(live),
            live >= 0 ? Store::Byte : Store::None};
}

// Slave k (1..4): status byte D[11 + 2k] -> fields 7k+7 .. 7k+11; acknowledge
// byte D[12 + 2k] -> fields 7k+12, 7k+13. Slaves 1..3 store their STS bits.
constexpr std::array<FieldRow, 7> slaveRows(int k) {
    const int s = 11 + 2 * k, a = 12 + 2 * k, f = 7 * k + 7;
    const int live = k <= 3 ? 10 + k : -1;
    return {{
        codes(s, f, kSlaveCap),
        codes(s, f + 1, kSlaveSts, Paint::Keep, Paint::Keep, live, live >= 0 ? Store::Mask0C : Store::None),
        codes(s, f + 2, kSlaveCmd),
        bit(s, 6, f + 3, "No", "Yes", Paint::On, Paint::Red),
        bit(s, 7, f + 4, "On", "Off", Paint::Keep, Paint::Keep),
        chain(a, f + 5, k == 1 ? kAckSlave1 : kAckOther),
        bit(a, 7, f + 6, "Yes", "No", Paint::Keep, Paint::Keep),
    }};
}

// Output byte: bit k -> field first + k, "On" in OnColor / "Off" in black.
constexpr std::array<FieldRow, 8> outputRows(int byte, int first, int live) {
    std::array<FieldRow, 8> rows{};
    for (int k = 0; k < 8; ++k) {
        rows[static_cast<std::size_t>(k)] =
            bit(byte, k, first + k, "On", "Off", Paint::Black, Paint::On, k == 0 ? live : -1,
                k == 0 && live >= 0 ? Store::Byte : Store::None);
    }
    return rows;
}

template <std::size_t... N>
constexpr auto join(const std::array<FieldRow, N>&... parts) {
    std::array<FieldRow, (N + ...)> out{};
    std::size_t i = 0;
    ((
         [&] {
             for (const FieldRow& r : parts) out[i++] = r;
         }()),
     ...);
    return out;
}

using enum TextRule;

inline constexpr auto kA5Head = std::to_array<FieldRow>({
    chain(1, 0, kSensor, Paint::Black, Paint::Red),
    chain(2, 1, kError, Paint::Black, Paint::Red),
    chain(2, 2, kComError, Paint::Black, Paint::Red),
    chain(3, 3, kProtect, Paint::Black, Paint::Red, 5),
    bit(6, 1, 4, "On", "Off", Paint::Black, Paint::On),
    bit(6, 3, 5, "On", "Off", Paint::Black, Paint::On),
    bit(6, 4, 6, "On", "Off", Paint::Black, Paint::On),
    bit(6, 6, 7, "On", "Off", Paint::Black, Paint::On),
    codes(7, 8, kMode, Paint::Black, Paint::Blue),
    codes(8, 9, kMode, Paint::Blue, Paint::Blue),
    num(Int8, 9, 10, 9, Store::Byte),
    num(Int8, 10, 11),
    num(Int8, 11, 12),
    codes(12, 13, kDefrost),
});

inline constexpr auto kA5Tail = std::to_array<FieldRow>({
    chain(21, 42, kHzProtect, Paint::Black, Paint::Red),
    bit(22, 0, 43, "On", "Off", Paint::Red, Paint::On),
    bit(23, 2, 44, "Yes", "No", Paint::Black, Paint::Red),
    bit(23, 3, 45, "Yes", "Off", Paint::Black, Paint::Red),
    bit(23, 4, 46, "Yes", "No", Paint::Keep, Paint::Keep),
    num(Int8, 24, 47),
    bit(25, 6, 48, "Yes", "No", Paint::Keep, Paint::Keep),
    bit(26, 0, 49, "Yes", "No", Paint::Black, Paint::Red),
    bit(26, 3, 50, "Yes", "No", Paint::Black, Paint::Red),
    word(Int16, 27, 51, 7),
    word(Int16, 29, 52),
    word(Kg100, 31, 53, 1),
    word(Kg100, 33, 54, 0),
    word(Current, 35, 55, 8),
    num(Minus64, 37, 56, 18, Store::Minus64),
    num(Minus64, 38, 57, 19, Store::Minus64),
    word(Time16, 39, 58),
    fan(43, 59, kProtFan, "Class_"),
    fan(44, 60, kFan, "Class_", 15),
    num(Int8, 45, 61),
    word(Int16, 46, 62),
    num(Signed8, 48, 63),
    num(Signed8, 49, 64),
    word(Time16, 50, 151),
    word(Time16, 52, 152),
    word(Time16, 54, 155),
    word(Int16, 56, 156, 25),
    word(Int16, 58, 157, 35),
});

// Rows of the A5 frame in the order of decoding.
inline constexpr auto kA5Rows =
    join(kA5Head, slaveRows(1), slaveRows(2), slaveRows(3), slaveRows(4), kA5Tail);

inline constexpr auto k5ATail = std::to_array<FieldRow>({
    word(Int16, 10, 113, 14),
    word(Int16, 12, 114),
    word(Int16, 14, 115, 10),
    num(Int8, 16, 116),
    num(Int8, 17, 117),
    num(Int8, 18, 118),
    num(Minus64, 19, 119, 2, Store::Minus64),
    num(Minus64, 20, 120, 3, Store::Minus64),
    num(Minus64, 21, 121, 4, Store::Minus64),
    num(Minus64, 22, 122, 5, Store::Minus64),
    num(Minus64, 23, 123, 6, Store::Minus64),
    num(Minus64, 24, 124),
    num(Minus64, 25, 125),
    num(Minus64, 26, 126),
    num(SlavePressure, 27, 127, 23, Store::Byte),
    num(Minus64, 28, 128, 20, Store::Minus64),
    num(Minus64, 29, 129, 21, Store::Minus64),
    num(OilFlag, 30, 130, 24, Store::Byte),
    num(Minus64, 31, 131, 22, Store::Minus64),
    num(SlavePressure, 32, 132, 33, Store::Byte),
    num(Minus64, 33, 133, 30, Store::Minus64),
    num(Minus64, 34, 134, 31, Store::Minus64),
    num(OilFlag, 35, 135, 34, Store::Byte),
    num(Minus64, 36, 136, 32, Store::Minus64),
    num(SlavePressure, 37, 137, 43, Store::Byte),
    num(Minus64, 38, 138, 40, Store::Minus64),
    num(Minus64, 39, 139, 41, Store::Minus64),
    num(OilFlag, 40, 140, 44, Store::Byte),
    num(Minus64, 41, 141, 42, Store::Minus64),
    num(SlavePressure, 42, 142),
    num(Minus64, 43, 143),
    num(Minus64, 44, 144),
    num(OilFlag, 45, 145),
    num(Minus64, 46, 146),
    fan(47, 147, kFan, "Class"),
    num(Signed8, 48, 148),
    bit(49, 5, 149, "On", "Off", Paint::Black, Paint::Blue),
    bit(49, 7, 150, "60HZ", "50HZ", Paint::Purple, Paint::Purple),
    word(Time16, 50, 153),
    word(Time16, 52, 154),
    word(Int16, 56, 158, 45),
    word(Int16, 58, 159),
});

// Rows of the 5A frame in the order of decoding.
inline constexpr auto k5ARows = join(outputRows(0, 65, 16), outputRows(1, 73, -1), outputRows(2, 81, 26),
                                     outputRows(4, 89, 36), outputRows(6, 97, 46), outputRows(8, 105, -1),
                                     k5ATail);

}  // namespace frame_rows
}  // namespace orlix
