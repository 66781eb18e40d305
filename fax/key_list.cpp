// The counted keyed list: nodes are pushed at the head and found by walking
// from it, so lookups see the newest match first.
#include "fax/key_list.h"

#include "win/memory.h"

namespace {

KeyListNode* new_node() { return static_cast<KeyListNode*>(GlobalAlloc(GPTR, sizeof(KeyListNode))); }
void free_block(void* p) { GlobalFree(p); }

bool keys_match(const KeyListNode* node, DWORD key1, DWORD key2) {
  return node->key1 == key1 && (key2 == kKeyListAnyKey2 || node->key2 == key2);
}

// The node at insertion index i, and the node before it (nearer the head).
KeyListNode* node_at(KeyList* list, INT i, KeyListNode** previous) {
  *previous = nullptr;
  if (list == nullptr || i < 0 || i >= list->count) return nullptr;
  KeyListNode* node = list->head;
  for (INT skip = list->count - i - 1; skip > 0 && node != nullptr; --skip) {
    *previous = node;
    node = node->next;
  }
  return node;
}

void unlink(KeyList* list, KeyListNode* previous, KeyListNode* node) {
  if (previous != nullptr) {
    previous->next = node->next;
  } else {
    list->head = node->next;
  }
  free_block(node);
  --list->count;
}

}  // namespace

KeyList* KeyList_Create() { return static_cast<KeyList*>(GlobalAlloc(GPTR, sizeof(KeyList))); }

int KeyList_Push(KeyList* list, DWORD key1, DWORD key2, void* data) {
  if (list == nullptr || data == nullptr) return 0;
  KeyListNode* node = new_node();
  if (node == nullptr) return 0;
  node->key1 = key1;
  node->key2 = key2;
  node->data = data;
  node->next = list->head;
  list->head = node;
  ++list->count;
  return 1;
}

KeyListNode* KeyList_FindNode(KeyList* list, KeyListNode** previous, DWORD key2, DWORD key1) {
  if (previous != nullptr) *previous = nullptr;
  if (list == nullptr) return nullptr;
  KeyListNode* before = nullptr;
  for (KeyListNode* node = list->head; node != nullptr; before = node, node = node->next) {
    if (keys_match(node, key1, key2)) {
      if (previous != nullptr) *previous = before;
      return node;
    }
  }
  return nullptr;
}

int KeyList_Remove(KeyList* list, DWORD key1, DWORD key2) {
  KeyListNode* previous = nullptr;
  KeyListNode* node = KeyList_FindNode(list, &previous, key2, key1);
  if (node == nullptr) return 0;
  unlink(list, previous, node);
  return 1;
}

void KeyList_Destroy(KeyList** list) {
  if (list == nullptr || *list == nullptr) return;
  KeyListNode* node = (*list)->head;
  while (node != nullptr) {
    KeyListNode* next = node->next;
    free_block(node);
    node = next;
  }
  free_block(*list);
  *list = nullptr;
}

void* KeyList_First(KeyList* list, KeyListNode** next) {
  if (next != nullptr) *next = nullptr;
  if (list == nullptr || list->head == nullptr) return nullptr;
  return KeyList_Next(list->head, next);
}

void* KeyList_Next(KeyListNode* node, KeyListNode** next) {
  if (next != nullptr) *next = node != nullptr ? node->next : nullptr;
  return node != nullptr ? node->data : nullptr;
}

void* KeyList_GetAt(KeyList* list, INT i) {
  KeyListNode* previous = nullptr;
  KeyListNode* node = node_at(list, i, &previous);
  return node != nullptr ? node->data : nullptr;
}

int KeyList_RemoveAt(KeyList* list, INT i) {
  KeyListNode* previous = nullptr;
  KeyListNode* node = node_at(list, i, &previous);
  if (node == nullptr) return 0;
  unlink(list, previous, node);
  return 1;
}

INT KeyList_Count(const KeyList* list) { return list != nullptr ? list->count : -1; }

void* KeyList_FindData(KeyList* list, DWORD key1, DWORD key2) {
  KeyListNode* node = KeyList_FindNode(list, nullptr, key2, key1);
  return node != nullptr ? node->data : nullptr;
}
