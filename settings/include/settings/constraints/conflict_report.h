// The report of one constraint check, its DDMID lists and the severity
// rank of conflict kinds.
#pragma once

#include "win/types.h"

// Conflict kinds of a report; 0 is no conflict. The rank table in
// conflict_report.cpp orders them.
inline constexpr WORD kConflictNone = 0;

// Inline room of the report's lists and of the working lists of a check.
inline constexpr WORD kReportRuleRoom = 8;
inline constexpr WORD kReportDdmidRoom = 20;
inline constexpr WORD kCheckDdmidRoom = 10;
inline constexpr WORD kChangedItemRoom = 5;

// A list of WORDs that lives in an inline array until it outgrows it; then
// `ids` points at a GlobalAlloc'ed array. In memory only.
template <WORD Room>
struct ConflictIdList {
  WORD count;
  WORD inline_ids[Room];
  WORD* ids;
};

struct ConflictReport {
  WORD user_field;  // passed on by the property sheets, never set or read here
  WORD reserved;
  WORD kind;        // the most severe conflict kind found, 0 none
  WORD flags;       // paper and finishing conflict flags (kConflictFlag*)
  ConflictIdList<kReportRuleRoom> rules;      // list 1: type-7 rules that fired
  ConflictIdList<kReportRuleRoom> rules_alt;  // list 2: type-8 rules that fired
  ConflictIdList<kReportDdmidRoom> ddmids;    // list 3: DDMIDs involved
};

// Conflict flags of conditions, post-checks and reports.
inline constexpr WORD kConflictFlagInputPaper = 0x1;   // DDMID 8
inline constexpr WORD kConflictFlagOutputPaper = 0x2;  // 262
inline constexpr WORD kConflictFlagSource = 0x4;       // 13
inline constexpr WORD kConflictFlagTray = 0x8;         // 265
inline constexpr WORD kConflictFlag389 = 0x10;
inline constexpr WORD kConflictFlag266 = 0x20;
inline constexpr WORD kConflictFlag410 = 0x40;
inline constexpr WORD kConflictFlag411 = 0x80;
inline constexpr WORD kConflictFlag407 = 0x100;
inline constexpr WORD kConflictFlag408 = 0x200;
inline constexpr WORD kConflictFlag409 = 0x400;
inline constexpr WORD kConflictFlag333 = 0x800;

// A zeroed report with its inline lists attached; null when out of memory.
ConflictReport* NewConflictReport();
// Frees grown lists and the report; null is ignored.
void FreeConflictReport(ConflictReport* report);
// Frees grown lists, zeroes the report and re-attaches the inline lists.
void ResetConflictReport(ConflictReport* report);
// Copies `source` into `target` (which is reset first), grown lists
// duplicated. 0 ok, 1 missing argument, 2 out of memory (target reset).
INT CopyConflictReport(ConflictReport* target, const ConflictReport* source);

// Appends `ddmid` to a list whose inline array holds `room` entries:
// 0 appended or already present, 1 missing list or count, 2 out of memory
// (the list unchanged). Beyond the inline room the list moves to a
// GlobalAlloc'ed array that grows by 5 entries at a time.
INT AddChangedItem(WORD ddmid, WORD room, WORD** list, WORD* count);
// Frees the grown array of such a list (nothing for an inline one) and
// points it back at `inline_ids` with count 0.
void ReleaseChangedItems(WORD room, WORD* inline_ids, WORD** list, WORD* count);
// Entries the list's array can hold at `count`.
WORD ChangedItemCapacity(WORD room, WORD count);

template <WORD Room>
INT AddToIdList(ConflictIdList<Room>* list, WORD id) {
  return AddChangedItem(id, Room, &list->ids, &list->count);
}

// Rank of a conflict kind, 0 for a kind outside the table.
INT ConflictSeverityRank(WORD kind);
// Keeps the more severe of *kind and `new_kind`: *kind becomes `new_kind`
// only when that kind is ranked and its rank is strictly higher.
void RaiseConflictSeverity(WORD* kind, WORD new_kind);
