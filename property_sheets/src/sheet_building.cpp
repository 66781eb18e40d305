// Building a sheet: its dialogs in order (page variants and the inserted
// fax page), the PROPSHEETPAGEW records of its pages, and the sheet's
// private copies of the control tables.
#include <cstring>
#include <string>

#include "control_handlers.h"
#include "fax/key_list.h"
#include "property_sheets/sheet_engine.h"
#include "settings/common/common_utils.h"
#include "settings/database/ddd_file.h"
#include "settings/database/ddd_queries.h"
#include "settings/items/item_info.h"
#include "win/memory.h"
#include "win/msgbox.h"

namespace {

constexpr INT kMaxPages = 20;
constexpr DWORD kVariant46Capability = 0x2000000;
constexpr INT kInsertBeforeKind = 1;  // the fax page goes before page kind 1
constexpr WORD kPageRecordSize = 52;  // the record size the pages declare
constexpr INT kTitleFromDatabase = -3;

// The sheet's pages after the 20-page check; null for an unknown type.
const DialogDescriptor* const* page_list(INT sheet_type, INT* count) {
  const DialogDescriptor* const* pages = SheetPageList(sheet_type, count);
  if (!pages) return nullptr;
  if (*count > kMaxPages) {
    MessageBoxW(nullptr, u"Tab's number is too large.\n", u"local_SetWndInfoList error!", MB_OK);
    return nullptr;
  }
  return pages;
}

const DialogDescriptor* choose_variant(const DialogDescriptor* page, const SheetState* state) {
  if (page->page && page->page->kind == 3 && state && state->database &&
      DddGetColorCapability(state->database) == 1)
    return PageVariant537();
  if (page->page && page->page->kind == 5 && state && TestCapabilityBit(&state->capabilities, kVariant46Capability))
    return PageVariant46();
  return page;
}

bool fax_page_allowed(INT sheet_type, BOOL insert_pages, INT device_class) {
  return sheet_type == kSheetTypeDocument && insert_pages && device_class != 3 && device_class != 4;
}

// Writes (or with a null list only counts) a descriptor and its children.
INT put_with_children(const DialogDescriptor* d, const DialogDescriptor** list, INT at) {
  if (list) list[at] = d;
  ++at;
  if (d->page)
    for (WORD i = 0; i < d->page->child_count; ++i) {
      if (list) list[at] = d->page->children[i];
      ++at;
    }
  return at;
}

// The flat dialog list of a sheet; its length.
INT collect(INT sheet_type, const SheetState* state, const DialogDescriptor** list, BOOL insert_pages,
            INT device_class, bool* ok) {
  INT count = 0;
  const DialogDescriptor* const* pages = page_list(sheet_type, &count);
  *ok = pages != nullptr;
  if (!pages) return 0;
  const bool fax = fax_page_allowed(sheet_type, insert_pages, device_class);
  INT at = 0;
  for (INT i = 0; i < count; ++i) {
    if (fax && pages[i]->kind == kInsertBeforeKind) at = put_with_children(InsertedFaxPage(), list, at);
    at = put_with_children(choose_variant(pages[i], state), list, at);
  }
  return at;
}

}  // namespace

const DialogDescriptor** AllocatePageList(INT sheet_type, SheetState* state, INT* count, BOOL insert_pages,
                                          INT device_class) {
  if (!count) return nullptr;
  bool ok = false;
  const INT n = collect(sheet_type, state, nullptr, insert_pages, device_class, &ok);
  *count = n;
  if (!ok || n == 0) return nullptr;
  return static_cast<const DialogDescriptor**>(GlobalAlloc(GPTR, sizeof(DialogDescriptor*) * static_cast<SIZE_T>(n)));
}

INT CollectSheetDialogs(INT sheet_type, SheetState* state, const DialogDescriptor** list, BOOL insert_pages,
                        INT device_class) {
  if (!list) return 0;
  bool ok = false;
  collect(sheet_type, state, list, insert_pages, device_class, &ok);
  return ok ? 1 : 0;
}

PROPSHEETPAGEW* BuildPropertyPages(const DialogDescriptor* const* list, SheetState* state, INT count,
                                   INT* page_count) {
  if (!list || !state || !page_count) return nullptr;
  INT pages = 0;
  for (INT i = 0; i < count; ++i)
    if (list[i] && list[i]->page) ++pages;
  *page_count = 0;
  if (!pages) return nullptr;
  auto* records = static_cast<PROPSHEETPAGEW*>(GlobalAlloc(GPTR, sizeof(PROPSHEETPAGEW) * static_cast<SIZE_T>(pages)));
  FreeStringArray(state);
  state->page_titles = static_cast<LPWSTR*>(GlobalAlloc(GPTR, sizeof(LPWSTR) * static_cast<SIZE_T>(pages + 1)));
  if (!records || !state->page_titles) {
    SafeGlobalFree(records);
    return nullptr;
  }
  INT title_at = 0;
  INT at = 0;
  for (INT i = 0; i < count; ++i) {
    const PageTemplate* t = list[i] ? list[i]->page : nullptr;
    if (!t) continue;
    PROPSHEETPAGEW& p = records[at++];
    // The record is 52 bytes in the layout the pages were written for; in
    // this build its size is that of the platform's record.
    static_assert(sizeof(PROPSHEETPAGEW) >= kPageRecordSize);
    p.dwSize = sizeof(PROPSHEETPAGEW);
    p.dwFlags = PSP_HASHELP;
    p.pszTemplate = MAKEINTRESOURCEW(t->resource & 0xFFFF);
    p.pfnDlgProc = t->proc;
    if (t->title_id != kTitleFromDatabase) {
      p.pszTitle = MAKEINTRESOURCEW(t->title_id);
      p.dwFlags |= PSP_USETITLE;
    } else if (t->title_text_id && state->database) {
      WCHAR* text = nullptr;
      if (DddGetItemString(&state->database->main, &state->database->linked, static_cast<WORD>(t->title_text_id),
                           nullptr, &text) == 0 &&
          text) {
        const size_t bytes = (std::char_traits<char16_t>::length(text) + 1) * sizeof(WCHAR);
        auto* copy = static_cast<LPWSTR>(GlobalAlloc(GPTR, bytes));
        if (copy) {
          std::memcpy(copy, text, bytes);
          state->page_titles[title_at++] = copy;
          p.pszTitle = copy;
          p.dwFlags |= PSP_USETITLE;
        }
      }
      if (text) GlobalFree(text);
    }
  }
  *page_count = pages;
  return records;
}

DialogTableSet* CreateDialogTables(const DialogDescriptor* const* list, INT count) {
  if (!list) return nullptr;
  auto* tables = static_cast<DialogTableSet*>(GlobalAlloc(GPTR, sizeof(DialogTableSet)));
  if (!tables) return nullptr;
  tables->item_infos = KeyList_Create();
  bool ok = tables->item_infos != nullptr;
  for (INT i = 0; ok && i < count; ++i) {
    const DialogDescriptor* d = list[i];
    if (!d || d->kind < 0 || d->kind >= kDialogKindCount || tables->sets[d->kind] || !d->controls) continue;
    auto* copy = static_cast<ControlSet*>(GlobalAlloc(GPTR, sizeof(ControlSet)));
    if (!copy) {
      ok = false;
      break;
    }
    *copy = *d->controls;
    copy->rebuild = 0;
    tables->sets[d->kind] = copy;
  }
  if (!ok) {
    DestroyDialogTables(tables);
    return nullptr;
  }
  return tables;
}

void DestroyDialogTables(DialogTableSet* tables) {
  if (!tables) return;
  for (ControlSet*& set : tables->sets) SafeGlobalFree(set), set = nullptr;
  if (tables->item_infos) {
    for (INT i = 0; i < KeyList_Count(tables->item_infos); ++i) {
      auto* entry = static_cast<CachedItem*>(KeyList_GetAt(tables->item_infos, i));
      if (!entry) continue;
      ItemInfo_Free(entry->info);
      GlobalFree(entry);
    }
    KeyList_Destroy(&tables->item_infos);
  }
  GlobalFree(tables);
}

ControlSet* GetDialogControlSet(HWND window, INT kind) {
  const SheetState* state = GetSheetState(window);
  if (!state || !state->dialog_tables || kind < 0 || kind >= kDialogKindCount) return nullptr;
  return state->dialog_tables->sets[kind];
}

const ControlRecord* GetDialogControls(HWND window, INT kind) {
  const ControlSet* set = GetDialogControlSet(window, kind);
  return set ? set->records : nullptr;
}

INT GetDialogControlCount(HWND window, INT kind) {
  const ControlSet* set = GetDialogControlSet(window, kind);
  return set ? set->count : -1;
}

const ControlRecord* FindControlById(HWND window, INT kind, INT id) {
  const ControlSet* set = GetDialogControlSet(window, kind);
  if (!set) return nullptr;
  for (INT i = 0; i < set->count; ++i)
    if (set->records[i].id == id) return &set->records[i];
  return nullptr;
}

BOOL FindSettingRefIndex(const ControlRecord* record, WORD ddmid, INT* index) {
  if (index) *index = 0;
  if (!record) return FALSE;
  for (INT i = 0; i < record->setting_count; ++i)
    if (RefDdmid(record->settings[i]) == ddmid) {
      if (index) *index = i;
      return TRUE;
    }
  return FALSE;
}
