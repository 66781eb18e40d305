// The in-memory destination list and its packing into DFAX002 blobs.
#include "fax/fax_list.h"

#include <cstring>

#include "win/endian.h"
#include "win/memory.h"

namespace morva::fax {
namespace {

FaxDestination* new_record() { return static_cast<FaxDestination*>(GlobalAlloc(GPTR, sizeof(FaxDestination))); }

// Frees the entry records and the nodes of an entry list.
void destroy_entries(KeyList** entries) {
  if (*entries == nullptr) return;
  KeyListNode* next = nullptr;
  for (void* data = KeyList_First(*entries, &next); data != nullptr; data = KeyList_Next(next, &next)) {
    GlobalFree(data);
  }
  KeyList_Destroy(entries);
}

// Pushes a copy of the record; frees the copy when the push fails.
bool push_copy(KeyList* entries, const FaxDestination& record) {
  FaxDestination* copy = new_record();
  if (copy == nullptr) return false;
  *copy = record;
  if (KeyList_Push(entries, 0, 0, copy) == 0) {
    GlobalFree(copy);
    return false;
  }
  return true;
}

void store_text(BYTE* out, const WCHAR* text, DWORD chars) {
  for (DWORD i = 0; i < chars; ++i) store_le16(out + 2 * i, text[i]);
}

// Reads a header text, always ending it inside its field.
void load_text(const BYTE* in, WCHAR* text, DWORD chars) {
  for (DWORD i = 0; i < chars; ++i) text[i] = load_le16(in + 2 * i);
  text[chars - 1] = 0;
}

}  // namespace

FaxDestinationList* FaxList_Create() {
  auto* list = static_cast<FaxDestinationList*>(GlobalAlloc(GPTR, sizeof(FaxDestinationList)));
  if (list == nullptr) return nullptr;
  list->Entries = KeyList_Create();
  if (list->Entries == nullptr) {
    GlobalFree(list);
    return nullptr;
  }
  return list;
}

int FaxList_Destroy(FaxDestinationList* list) {
  if (list == nullptr) return 1;
  destroy_entries(&list->Entries);
  GlobalFree(list);
  return 1;
}

int FaxList_Copy(FaxDestinationList* target, const FaxDestinationList* source) {
  if (target == nullptr || source == nullptr || source->Entries == nullptr) return 0;
  if (target == source) return 1;
  // Build the copy aside so that a failure leaves the target whole.
  KeyList* entries = KeyList_Create();
  if (entries == nullptr) return 0;
  const INT count = KeyList_Count(source->Entries);
  for (INT i = 0; i < count; ++i) {
    const auto* record = static_cast<const FaxDestination*>(KeyList_GetAt(source->Entries, i));
    if (record == nullptr || !push_copy(entries, *record)) {
      destroy_entries(&entries);
      return 0;
    }
  }
  std::memcpy(target->Subject, source->Subject, sizeof(target->Subject));
  std::memcpy(target->Comment, source->Comment, sizeof(target->Comment));
  destroy_entries(&target->Entries);
  target->Entries = entries;
  return 1;
}

int FaxList_Append(FaxDestinationList* list, const FaxDestination& record) {
  if (list == nullptr || list->Entries == nullptr) return 0;
  if (static_cast<DWORD>(KeyList_Count(list->Entries)) >= kFaxMaxEntries) return 0;
  return push_copy(list->Entries, record) ? 1 : 0;
}

int FaxList_RemoveAt(FaxDestinationList* list, INT i) {
  FaxDestination* record = FaxList_GetAt(list, i);
  if (record == nullptr || !KeyList_RemoveAt(list->Entries, i)) return 0;
  GlobalFree(record);
  return 1;
}

INT FaxList_Count(const FaxDestinationList* list) {
  return list != nullptr && list->Entries != nullptr ? KeyList_Count(list->Entries) : -1;
}

FaxDestination* FaxList_GetAt(const FaxDestinationList* list, INT i) {
  if (list == nullptr) return nullptr;
  return static_cast<FaxDestination*>(KeyList_GetAt(list->Entries, i));
}

int PackFaxSendList(BYTE* blob, DWORD blobSize, INT count, const FaxDestinationList* list) {
  if (blob == nullptr || list == nullptr || list->Entries == nullptr) return 0;
  if (count < 0) count = 0;
  const INT available = KeyList_Count(list->Entries);
  if (available < count || static_cast<DWORD>(count) > kFaxMaxEntries) return 0;
  if (blobSize < FaxBlobSize(static_cast<DWORD>(count))) return 0;

  // The list is walked from its head (newest first): collect the entry
  // pointers, then write them from the oldest on.
  FaxDestination** table = nullptr;
  if (available > 0) {
    table = static_cast<FaxDestination**>(GlobalAlloc(GPTR, sizeof(FaxDestination*) * available));
    if (table == nullptr) return 0;
    KeyListNode* next = nullptr;
    INT n = 0;
    for (void* data = KeyList_First(list->Entries, &next); data != nullptr && n < available;
         data = KeyList_Next(next, &next)) {
      table[n++] = static_cast<FaxDestination*>(data);
    }
  }

  FaxBook_WriteTag(blob, kTagDfax002);
  FaxBook_SetCount(blob, static_cast<WORD>(count));
  store_text(blob + kFaxText1Offset, list->Subject, kFaxSubjectChars);
  store_text(blob + kFaxText2Offset, list->Comment, kFaxCommentChars);
  for (INT i = 0; i < count; ++i) {
    FaxDestination_Encode(*table[available - 1 - i], blob + FaxBlobSize(static_cast<DWORD>(i)));
  }
  if (table != nullptr) GlobalFree(table);
  return 1;
}

int FaxList_Pack(const FaxDestinationList* list, BYTE** blob, DWORD* size) {
  if (blob != nullptr) *blob = nullptr;
  if (size != nullptr) *size = 0;
  const INT count = FaxList_Count(list);
  if (blob == nullptr || size == nullptr || count < 0 || static_cast<DWORD>(count) > kFaxMaxEntries) return 0;
  const DWORD bytes = FaxBlobSize(static_cast<DWORD>(count));
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, bytes));
  if (block == nullptr) return 0;
  if (PackFaxSendList(block, bytes, count, list) == 0) {
    GlobalFree(block);
    return 0;
  }
  *blob = block;
  *size = bytes;
  return 1;
}

int UnpackFaxSendList(FaxDestinationList* list, const BYTE* blob, DWORD size) {
  if (list == nullptr) return 0;
  FaxBookView view;
  if (!FaxBook_Parse(blob, size, &view) || view.kind != FaxBookKind::kDfax002) return 0;
  // Blob order is insertion order: pushing each entry at the head in that
  // order leaves index 0 on the first entry.
  KeyList* entries = KeyList_Create();
  if (entries == nullptr) return 0;
  for (DWORD i = 0; i < view.count; ++i) {
    FaxDestination* record = new_record();
    if (record == nullptr) {
      destroy_entries(&entries);
      return 0;
    }
    FaxDestination_Decode(blob + FaxBlobSize(i), record);
    if (KeyList_Push(entries, 0, 0, record) == 0) {
      GlobalFree(record);
      destroy_entries(&entries);
      return 0;
    }
  }
  load_text(blob + kFaxText1Offset, list->Subject, kFaxSubjectChars);
  load_text(blob + kFaxText2Offset, list->Comment, kFaxCommentChars);
  destroy_entries(&list->Entries);
  list->Entries = entries;
  return 1;
}

}  // namespace morva::fax
