#include "impl/common/MkOArray.h"
#include "host/ug/MkString.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Tracked {
    static int live;
    int value = 0;
    Tracked() { ++live; }
    explicit Tracked(int v) : value(v) { ++live; }
    Tracked(const Tracked& o) : value(o.value) { ++live; }
    Tracked(Tracked&& o) noexcept : value(o.value) { ++live; }
    Tracked& operator=(const Tracked&) = default;
    Tracked& operator=(Tracked&&) = default;
    ~Tracked() { --live; }
};
int Tracked::live = 0;

template <class T>
std::vector<T> items(const MkOArray<T>& a) {
    return std::vector<T>(a.begin(), a.end());
}

TEST(MkOArrayGrowth, CapacityFollowsTheGrowRule) {
    MkOArray<int> a;
    struct Step {
        int size, growBy, capacity;
    } steps[] = {
        {1, -1, 1},                                  // first allocation: exactly the size
        {2, -1, 5},   {5, -1, 5},   {6, -1, 9},      // below 32 elements the step is 4
        {3, -1, 9},                                  // shrinking keeps the buffer
        {20, -1, 20},                                // the new size wins over capacity + step
        {0, -1, 0},   {40, -1, 40}, {41, -1, 45},    // size 0 frees the buffer; 40 / 8
        {0, -1, 0},   {16000, -1, 16000}, {16001, -1, 17024},  // 16000 / 8 capped at 1024
        {0, -1, 0},   {10, 3, 10},                   // a stored step does not change a first allocation
        {11, -1, 13}, {14, -1, 16}, {17, 0, 20},     // the stored step, then back to the automatic one
    };
    for (const Step& s : steps) {
        ASSERT_TRUE(a.SetSize(s.size, s.growBy));
        EXPECT_EQ(a.GetSize(), s.size);
        EXPECT_EQ(a.GetCapacity(), s.capacity) << "after SetSize(" << s.size << ")";
    }
    EXPECT_EQ(a.GetGrowBy(), 0);
    a.SetSize(0);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_FALSE(a.SetSize(-1));
}

TEST(MkOArrayGrowth, ElementsSurviveReallocation) {
    // Short texts sit inside the string object itself, long ones on the heap.
    auto text = [](int i) { return (i % 2) ? std::to_wstring(i) : std::wstring(40, L'a') + std::to_wstring(i); };
    MkOArray<std::wstring> w;
    MkOArray<MkString> m;
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(w.Add(text(i)), i);
        ASSERT_EQ(m.Add(MkString(text(i))), i);
    }
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(w[i], text(i));
        ASSERT_EQ(m[i].Std(), text(i));
        ASSERT_EQ(m[i].Length(), static_cast<int>(text(i).size()));
    }
    // An element of the array handed back to it while the buffer moves.
    MkOArray<std::wstring> full;
    full.SetSize(4);
    full[0] = std::wstring(100, L'z');
    ASSERT_EQ(full.GetSize(), full.GetCapacity());
    EXPECT_EQ(full.Add(full[0]), 4);
    EXPECT_EQ(full[4], std::wstring(100, L'z'));
}

TEST(MkOArrayGrowth, EveryElementIsDestroyedOnce) {
    {
        MkOArray<Tracked> a;
        for (int i = 0; i < 50; ++i) a.Add(Tracked(i));
        EXPECT_EQ(Tracked::live, 50);
        a.SetSize(10);
        EXPECT_EQ(Tracked::live, 10);
        a.RemoveAt(2, 3);
        EXPECT_EQ(Tracked::live, 7);
        a.InsertAt(1, Tracked(99), 2);
        EXPECT_EQ(Tracked::live, 9);
        MkOArray<Tracked> copy(a);
        EXPECT_EQ(Tracked::live, 18);
        copy = MkOArray<Tracked>();
        EXPECT_EQ(Tracked::live, 9);
        a.SetSize(100);
        EXPECT_EQ(Tracked::live, 100);
    }
    EXPECT_EQ(Tracked::live, 0);
}

TEST(MkOArrayEdit, InsertRemoveAndCopy) {
    MkOArray<std::wstring> a;
    for (const wchar_t* t : {L"a", L"b", L"c"}) a.Add(t);
    EXPECT_TRUE(a.InsertAt(1, L"x", 2));
    EXPECT_EQ(items(a), (std::vector<std::wstring>{L"a", L"x", L"x", L"b", L"c"}));
    EXPECT_TRUE(a.InsertAt(7, L"y"));  // past the end: default elements fill the gap
    EXPECT_EQ(items(a), (std::vector<std::wstring>{L"a", L"x", L"x", L"b", L"c", L"", L"", L"y"}));
    EXPECT_TRUE(a.InsertAt(0, a[4]));
    EXPECT_EQ(a[0], L"c");
    EXPECT_FALSE(a.InsertAt(-1, L"z"));

    EXPECT_TRUE(a.RemoveAt(0));
    EXPECT_TRUE(a.RemoveAt(1, 2));
    EXPECT_EQ(items(a), (std::vector<std::wstring>{L"a", L"b", L"c", L"", L"", L"y"}));
    EXPECT_FALSE(a.RemoveAt(5, 2));
    EXPECT_EQ(a.GetSize(), 6);

    MkOArray<std::wstring> b(a);
    b[0] = L"changed";
    EXPECT_EQ(a[0], L"a");
    EXPECT_EQ(b.GetCapacity(), 6);
    EXPECT_TRUE(b.Append(b));
    EXPECT_EQ(b.GetSize(), 12);
    EXPECT_EQ(b[6], L"changed");
    MkOArray<std::wstring> c(std::move(b));
    EXPECT_EQ(c.GetSize(), 12);
    EXPECT_EQ(b.GetSize(), 0);
    a.RemoveAll();
    EXPECT_TRUE(a.IsEmpty());
    EXPECT_EQ(a.GetCapacity(), 0);
}

} // namespace
