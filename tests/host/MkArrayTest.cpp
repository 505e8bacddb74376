// What the report component relies on from the host arrays: growing, editing,
// searching, sorting, duplicates, intersections and text forms.
#include "host/ug/MkArray.h"
#include <gtest/gtest.h>
#include <climits>
#include <cmath>
#include <set>
#include <string>
#include <vector>

namespace {

MkIntArray ints(const std::vector<int>& values) {
    MkIntArray a;
    a.CopyData(values.data(), static_cast<int>(values.size()));
    return a;
}

TEST(MkArray, GrowingEditingAndSearching) {
    // Growing to an index and inserting are not used by the report component.
    MkIntArray a;
    EXPECT_TRUE(a.SetAtGrow(3, 7));
    EXPECT_TRUE(a.SetAtGrow(1, 5));
    EXPECT_FALSE(a.SetAtGrow(INT_MAX, 1));  // would need INT_MAX + 1 items
    EXPECT_TRUE(a.Insert(0, -1));
    EXPECT_FALSE(a.Insert(a.GetSize() + 1, 13));
    EXPECT_EQ(a.AddGrow(9), 5);
    EXPECT_EQ(a.AddUniqueGrow(5), 2);
    EXPECT_EQ(a.AddUniqueGrow(11), 6);
    EXPECT_EQ(a.AddGrow(12), 7);
    EXPECT_EQ(a.Std(), (std::vector<int>{-1, 0, 5, 0, 7, 9, 11, 12}));
    EXPECT_TRUE(a.Delete(6, 10));  // clipped to the end
    EXPECT_TRUE(a.Delete(-1, 2));  // clipped to the start: removes item 0 only
    EXPECT_FALSE(a.Delete(5));
    EXPECT_EQ(a.Std(), (std::vector<int>{0, 5, 0, 7, 9}));

    MkIntArray f = ints({4, 8, 4, 1});
    const int found[][2] = {
        {f.Find(4), 0}, {f.Find(4, 1), 2}, {f.Find(4, -1, false), 2}, {f.Find(4, 1, false), 0}, {f.Find(8, 2), -1}};
    for (const auto& row : found) EXPECT_EQ(row[0], row[1]) << "row " << (&row - found);
    f.Sort();
    EXPECT_EQ(f.Std(), (std::vector<int>{1, 4, 4, 8}));
    EXPECT_EQ(f.BinSearch(8), 3);
    EXPECT_EQ(f.BinSearch(5), -1);
    EXPECT_EQ(f.BinSearch(9), -1);

    EXPECT_TRUE(a.AssignConsecutive(4, 10));
    EXPECT_EQ(a.Std(), (std::vector<int>{10, 11, 12, 13}));
    EXPECT_FALSE(a.AssignConsecutive(-1, 0));
    EXPECT_FALSE(a.AssignConsecutive(3, INT_MAX - 1));  // the last item would overflow
    EXPECT_TRUE(a.AssignConsecutive(2, INT_MAX - 1));
    EXPECT_EQ(a[1], INT_MAX);
    EXPECT_FALSE(a.CopyData(nullptr, 2));
    EXPECT_TRUE(a.CopyData(nullptr, 0));
    EXPECT_TRUE(a.IsEmpty());
}

TEST(MkArray, ItemsOfTheArrayItselfAsArguments) {
    const MkString first(L"first item, long enough to live on the heap");
    MkStringArray s;
    s.AddGrow(first);
    EXPECT_TRUE(s.SetAtGrow(50, s[0]));  // the growth moves s[0]
    EXPECT_EQ(s[50], s[0]);
    for (int i = 0; i < 40; ++i) s.AddGrow(s[0]);
    EXPECT_EQ(s[90], s[0]);
    EXPECT_TRUE(s.Append(s));
    EXPECT_EQ(s.GetSize(), 182);
    EXPECT_EQ(s[181], s[0]);
    EXPECT_TRUE(s.CopyData(s.GetData() + 49, 2));
    ASSERT_EQ(s.GetSize(), 2);
    EXPECT_EQ(s[0], MkString());
    EXPECT_EQ(s[1], first);

    MkIntArray a = ints({5, 3, 9, 3, 1});
    a.Intersect(ints({1, 3, 7}));  // keeps this array's order
    EXPECT_EQ(a.Std(), (std::vector<int>{3, 3, 1}));
    a.Intersect(a);
    EXPECT_EQ(a.Std(), (std::vector<int>{3, 3, 1}));
    a.Intersect(MkIntArray());
    EXPECT_TRUE(a.IsEmpty());
}

TEST(MkArray, RemoveDuplicatesKeepsFirstOccurrences) {
    // Many names with many repeats, against a straightforward reference.
    MkStringArray names;
    std::vector<MkString> expected;
    std::set<std::wstring> seen;
    for (int i = 0; i < 20000; ++i) {
        MkString name;
        name.MakeForm("SIT%d_$FIELD%d", (i * 7919) % 3001, i % 3);
        names.AddGrow(name);
        if (seen.insert(name.Std()).second) expected.push_back(name);
    }
    EXPECT_EQ(names.RemoveDuplicates(), 20000 - static_cast<int>(expected.size()));
    EXPECT_EQ(names.Std(), expected);

    MkFloatArray f;
    for (float v : {1.0f, NAN, 2.0f, 1.0f, NAN}) f.AddGrow(v);
    EXPECT_EQ(f.RemoveDuplicates(), 2);
    ASSERT_EQ(f.GetSize(), 3);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_TRUE(std::isnan(f[1]));
    EXPECT_EQ(f[2], 2.0f);
}

TEST(MkArray, TextForms) {
    MkIntArray a;
    EXPECT_TRUE(a.SetFromString(L"  255 0\t12 x7 "));
    EXPECT_EQ(a.GetAsString(), MkString(L"255 0 12 0"));
    MkFloatArray f;
    EXPECT_TRUE(f.SetFromString(L"0.5;-2;1e3", L';'));
    EXPECT_EQ(f.GetAsString(L", "), MkString(L"0.5, -2, 1000"));
    MkStringArray s;
    EXPECT_TRUE(s.SetFromString(L"a|b c||", L'|'));
    EXPECT_EQ(s.GetSize(), 4);
    EXPECT_EQ(s.GetAsString(L"|"), MkString(L"a|b c||"));
}

}  // namespace
