// Conflict reports, their growing DDMID lists and the severity ranking.
#include "settings/constraints/conflict_report.h"

#include <cstring>

#include "win/memory.h"

namespace {

struct KindRank {
  WORD kind;
  INT rank;
};

// Higher is more severe.
constexpr KindRank kSeverityRanks[] = {
    {6, 900}, {1, 800}, {7, 700}, {8, 600},  {15, 590}, {14, 580}, {12, 555}, {10, 550},
    {13, 545}, {11, 540}, {2, 500}, {5, 400}, {3, 300}, {9, 270},  {4, 200},  {0, 100},
};

bool ranked(WORD kind, INT* rank) {
  for (const auto& entry : kSeverityRanks)
    if (entry.kind == kind) {
      *rank = entry.rank;
      return true;
    }
  return false;
}

template <WORD Room>
void attach(ConflictIdList<Room>* list) {
  list->count = 0;
  list->ids = list->inline_ids;
}

template <WORD Room>
void release(ConflictIdList<Room>* list) {
  ReleaseChangedItems(Room, list->inline_ids, &list->ids, &list->count);
}

template <WORD Room>
bool duplicate(ConflictIdList<Room>* target, const ConflictIdList<Room>& source) {
  attach(target);
  const WORD* from = source.ids ? source.ids : source.inline_ids;
  if (source.count > Room) {
    const WORD capacity = ChangedItemCapacity(Room, source.count);
    auto* grown = static_cast<WORD*>(GlobalAlloc(GMEM_FIXED, capacity * sizeof(WORD)));
    if (!grown) return false;
    std::memcpy(grown, from, source.count * sizeof(WORD));
    target->ids = grown;
  } else {
    std::memcpy(target->inline_ids, from, source.count * sizeof(WORD));
  }
  target->count = source.count;
  return true;
}

}  // namespace

WORD ChangedItemCapacity(WORD room, WORD count) {
  if (count <= room) return room;
  const DWORD beyond = count - room;
  return static_cast<WORD>(room + 5 * ((beyond + 4) / 5));
}

INT AddChangedItem(WORD ddmid, WORD room, WORD** list, WORD* count) {
  if (!list || !count || !*list) return 1;
  WORD* ids = *list;
  for (WORD i = 0; i < *count; ++i)
    if (ids[i] == ddmid) return 0;
  const WORD capacity = ChangedItemCapacity(room, *count);
  if (*count < capacity) {
    ids[(*count)++] = ddmid;
    return 0;
  }
  if (capacity > 0xFFFF - 5) return 2;
  auto* grown = static_cast<WORD*>(GlobalAlloc(GMEM_FIXED, (capacity + 5) * sizeof(WORD)));
  if (!grown) return 2;
  if (*count) std::memcpy(grown, ids, *count * sizeof(WORD));
  // The array in use was allocated once the count went beyond the room.
  if (*count > room) GlobalFree(ids);
  grown[*count] = ddmid;
  *list = grown;
  ++*count;
  return 0;
}

void ReleaseChangedItems(WORD room, WORD* inline_ids, WORD** list, WORD* count) {
  if (!list || !count) return;
  if (*count > room && *list && *list != inline_ids) GlobalFree(*list);
  *list = inline_ids;
  *count = 0;
}

ConflictReport* NewConflictReport() {
  auto* report = static_cast<ConflictReport*>(GlobalAlloc(GPTR, sizeof(ConflictReport)));
  if (!report) return nullptr;
  attach(&report->rules);
  attach(&report->rules_alt);
  attach(&report->ddmids);
  return report;
}

void ResetConflictReport(ConflictReport* report) {
  if (!report) return;
  release(&report->rules);
  release(&report->rules_alt);
  release(&report->ddmids);
  std::memset(report, 0, sizeof(*report));
  attach(&report->rules);
  attach(&report->rules_alt);
  attach(&report->ddmids);
}

void FreeConflictReport(ConflictReport* report) {
  if (!report) return;
  release(&report->rules);
  release(&report->rules_alt);
  release(&report->ddmids);
  GlobalFree(report);
}

INT CopyConflictReport(ConflictReport* target, const ConflictReport* source) {
  if (!target || !source) return 1;
  if (target == source) return 0;
  ResetConflictReport(target);
  target->user_field = source->user_field;
  target->reserved = source->reserved;
  target->kind = source->kind;
  target->flags = source->flags;
  if (!duplicate(&target->rules, source->rules) || !duplicate(&target->rules_alt, source->rules_alt) ||
      !duplicate(&target->ddmids, source->ddmids)) {
    ResetConflictReport(target);
    return 2;
  }
  return 0;
}

INT ConflictSeverityRank(WORD kind) {
  INT rank = 0;
  return ranked(kind, &rank) ? rank : 0;
}

void RaiseConflictSeverity(WORD* kind, WORD new_kind) {
  if (!kind) return;
  INT new_rank = 0;
  if (!ranked(new_kind, &new_rank)) return;
  if (new_rank > ConflictSeverityRank(*kind)) *kind = new_kind;
}
