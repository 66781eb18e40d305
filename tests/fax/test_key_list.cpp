// The keyed list: insertion order by index, newest first by walk, lookups
// with the any-second-key wildcard, and ownership of nodes but not data.
#include <gtest/gtest.h>

#include <vector>

#include "fax/key_list.h"
#include "win/memory.h"

namespace {

struct ListFixture : ::testing::Test {
  KeyList* list = KeyList_Create();
  int a = 1, b = 2, c = 3;
  void TearDown() override { KeyList_Destroy(&list); }

  std::vector<void*> walk() {
    std::vector<void*> seen;
    KeyListNode* next = nullptr;
    for (void* d = KeyList_First(list, &next); d != nullptr; d = KeyList_Next(next, &next)) seen.push_back(d);
    return seen;
  }
};

TEST_F(ListFixture, IndexCountsInsertionOrderWhileWalkingVisitsNewestFirst) {
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(KeyList_Count(list), 0);
  EXPECT_EQ(KeyList_First(list, nullptr), nullptr);
  ASSERT_EQ(KeyList_Push(list, 10, 1, &a), 1);
  ASSERT_EQ(KeyList_Push(list, 20, 2, &b), 1);
  ASSERT_EQ(KeyList_Push(list, 30, 3, &c), 1);
  EXPECT_EQ(KeyList_Count(list), 3);
  EXPECT_EQ(KeyList_GetAt(list, 0), &a);
  EXPECT_EQ(KeyList_GetAt(list, 1), &b);
  EXPECT_EQ(KeyList_GetAt(list, 2), &c);
  EXPECT_EQ(KeyList_GetAt(list, 3), nullptr);
  EXPECT_EQ(KeyList_GetAt(list, -1), nullptr);
  EXPECT_EQ(walk(), (std::vector<void*>{&c, &b, &a}));
}

TEST_F(ListFixture, LookupsMatchBothKeysOrAnySecondKey) {
  KeyList_Push(list, 270, 1, &a);
  KeyList_Push(list, 270, 2, &b);
  KeyList_Push(list, 271, 1, &c);
  struct Case {
    DWORD key1, key2;
    void* expected;
  };
  const Case cases[] = {
      {270, 1, &a},  {270, 2, &b}, {270, kKeyListAnyKey2, &b},  // newest match wins
      {271, 1, &c},  {271, 2, nullptr}, {1, kKeyListAnyKey2, nullptr},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(KeyList_FindData(list, k.key1, k.key2), k.expected) << k.key1 << "/" << k.key2;
  }
  KeyListNode* previous = reinterpret_cast<KeyListNode*>(1);
  KeyListNode* node = KeyList_FindNode(list, &previous, 1, 270);  // second key first
  ASSERT_NE(node, nullptr);
  EXPECT_EQ(node->data, &a);
  ASSERT_NE(previous, nullptr);
  EXPECT_EQ(previous->data, &b);
  EXPECT_EQ(previous->next, node);
  EXPECT_EQ(KeyList_FindNode(list, &previous, 1, 271)->data, &c);
  EXPECT_EQ(previous, nullptr);  // the head has no node before it
}

TEST_F(ListFixture, RemovalsKeepTheRestLinkedAndCounted) {
  int d = 4;
  for (int* p : {&a, &b, &c, &d}) KeyList_Push(list, static_cast<DWORD>(*p), 0, p);
  EXPECT_EQ(KeyList_Remove(list, 2, kKeyListAnyKey2), 1);  // middle
  EXPECT_EQ(KeyList_Remove(list, 2, 0), 0);               // already gone
  EXPECT_EQ(KeyList_Count(list), 3);
  EXPECT_EQ(walk(), (std::vector<void*>{&d, &c, &a}));
  EXPECT_EQ(KeyList_RemoveAt(list, 2), 1);  // newest: the head
  EXPECT_EQ(KeyList_RemoveAt(list, 0), 1);  // oldest: the tail
  EXPECT_EQ(KeyList_RemoveAt(list, 1), 0);
  EXPECT_EQ(walk(), (std::vector<void*>{&c}));
  EXPECT_EQ(KeyList_GetAt(list, 0), &c);
  EXPECT_EQ(KeyList_RemoveAt(list, 0), 1);
  EXPECT_EQ(KeyList_Count(list), 0);
  EXPECT_EQ(list->head, nullptr);
  EXPECT_EQ(KeyList_Push(list, 5, 5, &a), 1);  // usable again
  EXPECT_EQ(KeyList_GetAt(list, 0), &a);
}

TEST_F(ListFixture, DestroyFreesNodesButNotDataAndClearsThePointer) {
  auto* owned = static_cast<int*>(GlobalAlloc(GPTR, sizeof(int)));
  *owned = 77;
  KeyList_Push(list, 1, 1, owned);
  KeyList_Push(list, 2, 2, &a);
  KeyList_Destroy(&list);
  EXPECT_EQ(list, nullptr);
  EXPECT_EQ(*owned, 77);  // still the caller's, still readable
  GlobalFree(owned);
  KeyList_Destroy(&list);  // a cleared pointer is accepted
}

TEST(KeyList, NullListsAndRefusedPushes) {
  int x = 0;
  EXPECT_EQ(KeyList_Count(nullptr), -1);
  EXPECT_EQ(KeyList_Push(nullptr, 1, 1, &x), 0);
  EXPECT_EQ(KeyList_GetAt(nullptr, 0), nullptr);
  EXPECT_EQ(KeyList_RemoveAt(nullptr, 0), 0);
  EXPECT_EQ(KeyList_Remove(nullptr, 1, 1), 0);
  EXPECT_EQ(KeyList_FindData(nullptr, 1, kKeyListAnyKey2), nullptr);
  EXPECT_EQ(KeyList_First(nullptr, nullptr), nullptr);
  KeyListNode* next = reinterpret_cast<KeyListNode*>(1);
  EXPECT_EQ(KeyList_Next(nullptr, &next), nullptr);
  EXPECT_EQ(next, nullptr);

  KeyList* list = KeyList_Create();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(KeyList_Push(list, 1, 1, nullptr), 0);  // no data
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(KeyList_Push(list, 1, 1, &x), 0);  // no memory for the node
  EXPECT_EQ(KeyList_Count(list), 0);
  EXPECT_EQ(KeyList_Push(list, 1, 1, &x), 1);
  KeyList_Destroy(&list);
  morva::platform::inject_allocation_failure(0, 1);
  EXPECT_EQ(KeyList_Create(), nullptr);
}

}  // namespace
