#include "comm/frame_tables.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace orlix {
namespace {

using frame_rows::k5ARows;
using frame_rows::kA5Rows;

std::set<int> range(int from, int to) {
    std::set<int> s;
    for (int i = from; i <= to; ++i) s.insert(i);
    return s;
}

template <class Rows>
std::set<int> fieldsOf(const Rows& rows) {
    std::set<int> s;
    for (const FieldRow& r : rows) s.insert(r.field);
    return s;
}

// Every value field is written by exactly one row of exactly one frame kind:
// the A5 frame owns 0..64 and the slave run-time/valve fields 151, 152,
// 155..157; the 5A frame owns 65..150, 153, 154, 158, 159.
TEST(FrameTables, EveryFieldHasExactlyOneRow) {
    std::map<int, int> writers;
    for (const FieldRow& r : kA5Rows) ++writers[r.field];
    for (const FieldRow& r : k5ARows) ++writers[r.field];
    ASSERT_EQ(writers.size(), 160u);
    for (auto [field, count] : writers) {
        EXPECT_GE(field, 0);
        EXPECT_LT(field, 160);
        EXPECT_EQ(count, 1) << "field " << field;
    }
    std::set<int> a5 = range(0, 64);
    a5.insert({151, 152, 155, 156, 157});
    EXPECT_EQ(fieldsOf(kA5Rows), a5);
    std::set<int> x5a = range(65, 150);
    x5a.insert({153, 154, 158, 159});
    EXPECT_EQ(fieldsOf(k5ARows), x5a);
}

// Which data bytes feed each field, written out from the frame layouts
// independently of the row tables: {first field, last field, byte, second
// byte or -1}.
struct FieldBytes {
    int first, last, byte, second;
};
constexpr FieldBytes kA5Layout[] = {
    {0, 0, 1, -1},    {1, 2, 2, -1},    {3, 3, 3, 5},     {4, 7, 6, -1},    {8, 8, 7, -1},
    {9, 9, 8, -1},    {10, 10, 9, -1},  {11, 11, 10, -1}, {12, 12, 11, -1}, {13, 13, 12, -1},
    {14, 18, 13, -1}, {19, 20, 14, -1}, {21, 25, 15, -1}, {26, 27, 16, -1}, {28, 32, 17, -1},
    {33, 34, 18, -1}, {35, 39, 19, -1}, {40, 41, 20, -1}, {42, 42, 21, -1}, {43, 43, 22, -1},
    {44, 46, 23, -1}, {47, 47, 24, -1}, {48, 48, 25, -1}, {49, 50, 26, -1}, {51, 51, 27, 28},
    {52, 52, 29, 30}, {53, 53, 31, 32}, {54, 54, 33, 34}, {55, 55, 35, 36}, {56, 56, 37, -1},
    {57, 57, 38, -1}, {58, 58, 39, 40}, {59, 59, 43, -1}, {60, 60, 44, -1}, {61, 61, 45, -1},
    {62, 62, 46, 47}, {63, 63, 48, -1}, {64, 64, 49, -1}, {151, 151, 50, 51}, {152, 152, 52, 53},
    {155, 155, 54, 55}, {156, 156, 56, 57}, {157, 157, 58, 59},
};
constexpr FieldBytes k5ALayout[] = {
    {65, 72, 0, -1},    {73, 80, 1, -1},    {81, 88, 2, -1},    {89, 96, 4, -1},    {97, 104, 6, -1},
    {105, 112, 8, -1},  {113, 113, 10, 11}, {114, 114, 12, 13}, {115, 115, 14, 15}, {147, 147, 47, -1},
    {148, 148, 48, -1}, {149, 150, 49, -1}, {153, 153, 50, 51}, {154, 154, 52, 53}, {158, 158, 56, 57},
    {159, 159, 58, 59},
};

template <class Rows>
std::map<int, std::set<int>> bytesByField(const Rows& rows) {
    std::map<int, std::set<int>> m;
    for (const FieldRow& r : rows) m[r.field] = {r.lo, r.hi};
    return m;
}

TEST(FrameTables, EachFieldReadsTheBytesOfItsLayout) {
    std::map<int, std::set<int>> a5, x5a;
    for (const FieldBytes& f : kA5Layout)
        for (int i = f.first; i <= f.last; ++i) a5[i] = f.second < 0 ? std::set<int>{f.byte} : std::set<int>{f.byte, f.second};
    for (const FieldBytes& f : k5ALayout)
        for (int i = f.first; i <= f.last; ++i) x5a[i] = f.second < 0 ? std::set<int>{f.byte} : std::set<int>{f.byte, f.second};
    for (int i = 116; i <= 146; ++i) x5a[i] = {i - 100};  // one byte each, D[16]..D[46]
    EXPECT_EQ(bytesByField(kA5Rows), a5);
    EXPECT_EQ(bytesByField(k5ARows), x5a);
}

// Rows run in ascending byte order, and the bytes without a row are never
// read: D[0], D[4], D[41], D[42] of the A5 frame (D[5] only with D[3]);
// D[3], D[5], D[7], D[9], D[54], D[55] of the 5A frame.
template <class Rows>
void checkBytes(const Rows& rows, std::set<int> unread, const char* kind) {
    int last = -1;
    for (const FieldRow& r : rows) {
        EXPECT_LT(r.lo, 60) << kind;
        EXPECT_LT(r.hi, 60) << kind;
        const int pos = std::max<int>(r.lo, r.hi == r.lo + 1 ? r.hi : r.lo);
        EXPECT_GE(pos, last) << kind << " field " << int(r.field);
        last = pos;
        EXPECT_EQ(unread.count(r.lo), 0u) << kind << " field " << int(r.field);
        if (!(r.lo == 3 && r.hi == 5)) {
            EXPECT_EQ(unread.count(r.hi), 0u) << kind << " field " << int(r.field);
        }
    }
}

TEST(FrameTables, RowsFollowTheByteOrder) {
    checkBytes(kA5Rows, {0, 4, 5, 41, 42}, "A5");
    checkBytes(k5ARows, {3, 5, 7, 9, 54, 55}, "5A");
}

// Live value slots: each written by one row; 17, 27..29, 37..39, 47..51 never.
TEST(FrameTables, LiveSlotsAreWrittenOnce) {
    std::map<int, int> slots;
    for (const FieldRow& r : kA5Rows)
        if (r.live >= 0) ++slots[r.live];
    for (const FieldRow& r : k5ARows)
        if (r.live >= 0) ++slots[r.live];
    std::set<int> want = range(0, 16);
    for (int s : {18, 19, 20, 21, 22, 23, 24, 25, 26, 30, 31, 32, 33, 34, 35, 36, 40, 41, 42, 43, 44, 45, 46})
        want.insert(s);
    std::set<int> got;
    for (auto [slot, count] : slots) {
        EXPECT_EQ(count, 1) << "slot " << slot;
        got.insert(slot);
    }
    EXPECT_EQ(got, want);
    for (const FieldRow& r : kA5Rows) EXPECT_EQ(r.live >= 0, r.store != Store::None);
    for (const FieldRow& r : k5ARows) EXPECT_EQ(r.live >= 0, r.store != Store::None);
}

}  // namespace
}  // namespace orlix
