// The keyed list of the property sheets and of the fax destination list: a
// counted singly linked list of (key1, key2, data) nodes, pushed at the head.
//
// Walking from the head visits the newest node first; index i of
// KeyList_GetAt counts in insertion order (0 = oldest). The list owns its
// nodes, never the data they point to. A second key of 0xFFFF in a lookup
// matches any key2. Every operation answers 0 or null for a null list.
#pragma once

#include "win/types.h"

inline constexpr DWORD kKeyListAnyKey2 = 0xFFFF;

struct KeyListNode {
  DWORD key1;
  DWORD key2;
  KeyListNode* next;
  void* data;
};

struct KeyList {
  INT count;  // number of nodes
  KeyListNode* head;
};

// An empty list, or null when memory runs out.
KeyList* KeyList_Create();
// 1 after pushing a node for `data` at the head; 0 for a null list or data,
// or when memory runs out.
int KeyList_Push(KeyList* list, DWORD key1, DWORD key2, void* data);
// The first node from the head whose keys match; `previous` (may be null)
// receives the node before it (null for the head, or when none matches).
KeyListNode* KeyList_FindNode(KeyList* list, KeyListNode** previous, DWORD key2, DWORD key1);
// 1 after unlinking and freeing the first matching node; 0 when none.
int KeyList_Remove(KeyList* list, DWORD key1, DWORD key2);
// Frees every node (not the data) and the list, and clears *list.
void KeyList_Destroy(KeyList** list);
// The head node's data and, in `next` (may be null), the node after it.
void* KeyList_First(KeyList* list, KeyListNode** next);
// The node's data and, in `next` (may be null), its successor.
void* KeyList_Next(KeyListNode* node, KeyListNode** next);
// The data of the i-th node in insertion order; null when i is out of range.
void* KeyList_GetAt(KeyList* list, INT i);
// 1 after unlinking and freeing the i-th node in insertion order.
int KeyList_RemoveAt(KeyList* list, INT i);
// The number of nodes, -1 for a null list.
INT KeyList_Count(const KeyList* list);
// The data of the first matching node from the head, or null.
void* KeyList_FindData(KeyList* list, DWORD key1, DWORD key2);
