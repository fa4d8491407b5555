#include "scan/object_lists.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillotone;

namespace {

struct Tracked {
    explicit Tracked(int* alive) : alive(alive) { ++*alive; }
    ~Tracked() { --*alive; }
    int* alive;
};

TEST(Lists, RefusesNullAndHeldItems) {
    TdcUniqueList<int> list;
    int a = 1, b = 2;
    EXPECT_EQ(list.Add(&a), 0);
    EXPECT_EQ(list.Add(&b), 1);
    EXPECT_EQ(list.Add(&a), -1);
    EXPECT_EQ(list.Add(nullptr), -1);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.IndexOf(&b), 1);
    EXPECT_EQ(list.Extract(&a), &a);
    EXPECT_EQ(list.IndexOf(&b), 0);
    EXPECT_EQ(list.Extract(&a), nullptr);
}

TEST(Lists, ObjectListFreesDeletedButNotExtractedItems) {
    int alive = 0;
    std::vector<std::string> events;
    auto* kept = new Tracked(&alive);
    {
        TdcObjectList<Tracked> list;
        list.OnItemAdded = [&](Tracked*) { events.push_back("added"); };
        list.OnItemRemoved = [&](Tracked*) { events.push_back("removed"); };
        list.OnChange = [&] { events.push_back("changed"); };
        list.Add(new Tracked(&alive));
        list.Add(kept);
        list.Add(new Tracked(&alive));
        EXPECT_EQ(list.Add(kept), -1); // a refused item is not freed either
        EXPECT_EQ(alive, 3);
        list.Delete(0);
        EXPECT_EQ(alive, 2);
        EXPECT_EQ(list.Extract(kept), kept);
        EXPECT_EQ(alive, 2);
        list.Clear();
        EXPECT_EQ(alive, 1);
        list.Add(new Tracked(&alive));
    } // the destructor frees what is left, without notifications
    EXPECT_EQ(alive, 1);
    delete kept;
    std::vector<std::string> expected = {"added",   "changed", "added",   "changed", "added",
                                         "changed", "removed", "changed", "removed", "changed",
                                         "removed", "changed", "added",   "changed"};
    EXPECT_EQ(events, expected);
}

} // namespace
