// The job-information writer and the chunked record list of its page
// groups.
#include "pi/job_info.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "win/memory.h"

// ---- chunk list ------------------------------------------------------------------

namespace {
constexpr DWORD kChunkBytes = 64000;

struct Chunk {
  BYTE* block;
  DWORD capacity;
  DWORD used;
};
}  // namespace

struct ChunkList {
  Chunk* chunks;
  DWORD chunk_count;
  DWORD chunks_allocated;
  DWORD capacity;
  DWORD in_use;
  DWORD record_size;
  DWORD growth;
  DWORD per_chunk;
  DWORD selected;  // 1-based, 0 none
  BYTE* selected_block;
  DWORD selected_index;
};

namespace {

bool add_chunk(ChunkList* l, DWORD records) {
  if (l->chunk_count == l->chunks_allocated) {
    const DWORD n = l->chunks_allocated ? l->chunks_allocated * 2 : 4;
    auto* table = static_cast<Chunk*>(GlobalAlloc(GPTR, sizeof(Chunk) * n));
    if (!table) return false;
    if (l->chunks) {
      std::memcpy(table, l->chunks, sizeof(Chunk) * l->chunk_count);
      GlobalFree(l->chunks);
    }
    l->chunks = table;
    l->chunks_allocated = n;
  }
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(records) * l->record_size));
  if (!block) return false;
  l->chunks[l->chunk_count++] = {block, records, 0};
  l->capacity += records;
  return true;
}

}  // namespace

ChunkList* ChunkList_Create(DWORD records, DWORD record_size, DWORD growth) {
  if (record_size == 0 || record_size > kChunkBytes) return nullptr;
  auto* l = static_cast<ChunkList*>(GlobalAlloc(GPTR, sizeof(ChunkList)));
  if (!l) return nullptr;
  l->record_size = record_size;
  l->growth = std::max<DWORD>(growth, 1);
  l->per_chunk = kChunkBytes / record_size;
  for (DWORD left = records; left > 0;) {
    const DWORD n = std::min(left, l->per_chunk);
    if (!add_chunk(l, n)) {
      ChunkList_Free(l);
      return nullptr;
    }
    left -= n;
  }
  return l;
}

void ChunkList_Free(ChunkList* l) {
  if (!l) return;
  for (DWORD i = 0; i < l->chunk_count; ++i) GlobalFree(l->chunks[i].block);
  if (l->chunks) GlobalFree(l->chunks);
  GlobalFree(l);
}

void* ChunkList_Append(ChunkList* l) {
  if (!l) return nullptr;
  if (l->in_use == l->capacity) {
    // Enlarge the last chunk within its limit, else add chunks for the
    // growth step.
    DWORD wanted = l->growth;
    if (l->chunk_count > 0) {
      Chunk& last = l->chunks[l->chunk_count - 1];
      const DWORD room = std::min(l->per_chunk - last.capacity, wanted);
      if (room > 0) {
        const SIZE_T bytes = static_cast<SIZE_T>(last.capacity + room) * l->record_size;
        auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, bytes));
        if (!block) return nullptr;
        std::memcpy(block, last.block, static_cast<SIZE_T>(last.capacity) * l->record_size);
        if (l->selected_block == last.block) l->selected_block = block;
        GlobalFree(last.block);
        last.block = block;
        last.capacity += room;
        l->capacity += room;
        wanted -= room;
      }
    }
    if (l->in_use == l->capacity && !add_chunk(l, std::min(std::max<DWORD>(wanted, 1), l->per_chunk))) return nullptr;
  }
  for (DWORD i = 0; i < l->chunk_count; ++i) {
    Chunk& c = l->chunks[i];
    if (c.used < c.capacity) {
      BYTE* record = c.block + static_cast<SIZE_T>(c.used) * l->record_size;
      std::memset(record, 0, l->record_size);
      l->selected_block = c.block;
      l->selected_index = c.used;
      ++c.used;
      ++l->in_use;
      l->selected = l->in_use;
      return record;
    }
  }
  return nullptr;
}

DWORD ChunkList_Seek(ChunkList* l, DWORD n) {
  if (!l || n == 0 || n > l->in_use) return 0;
  DWORD left = n - 1;
  for (DWORD i = 0; i < l->chunk_count; ++i) {
    if (left < l->chunks[i].used) {
      l->selected = n;
      l->selected_block = l->chunks[i].block;
      l->selected_index = left;
      return n;
    }
    left -= l->chunks[i].used;
  }
  return 0;
}

void* ChunkList_Current(ChunkList* l) {
  if (!l || l->selected == 0) return nullptr;
  return l->selected_block + static_cast<SIZE_T>(l->selected_index) * l->record_size;
}

DWORD ChunkList_Count(const ChunkList* l) { return l ? l->in_use : 0; }
DWORD ChunkList_Position(const ChunkList* l) { return l ? l->selected : 0; }

BOOL ChunkList_CopyCurrent(ChunkList* l, void* out) {
  void* current = ChunkList_Current(l);
  if (!current || !out) return FALSE;
  std::memcpy(out, current, l->record_size);
  return TRUE;
}

// ---- the writer ---------------------------------------------------------------------

namespace {

constexpr int kItemCount = 26;
constexpr int kFlagCount = 33;
constexpr const char kPrefix[] = "@PJL COMMENT QZJOBINFO ";

template <std::size_t N>
const char* name_of(const char* const (&table)[N], INT code) {
  return code >= 0 && static_cast<std::size_t>(code) < N ? table[code] : nullptr;
}

const char* const kPdl[] = {"UNKNOWN", "VANTIQ", "POSTSCRIPT", "PCLXL"};
const char* const kJobType[] = {"PRINT", "DIRECTFAX", "INTERNETFAX", "FORMREGISTRATION"};
const char* const kStored[] = {"IMMEDIATE", "SECURITY", "PROOF", "DELAY", "QUICKCOPY", "PERSONALBOX"};
const char* const kDuplex[] = {"SIMPLEX", "DUPLEX", "TUMBLE"};
const char* const kBooklet[] = {"NOBOOKLET", "NONEDIVIDE", "AUTODIVIDE", "MANUALDIVIDE"};
const char* const kTray[] = {"MAINTRAY", "SIDETRAY", "OUTBIN", "BOOKLETTRAY", "FOLDERTRAY"};
const char* const kOrder[] = {"1TON", "NTO1"};
const char* const kStaple[] = {"NOSTAPLE",    "TOPLEFT",    "TOPDUAL",    "TOPRIGHT", "RIGHTDUAL",
                               "BOTTOMRIGHT", "BOTTOMDUAL", "BOTTOMLEFT", "LEFTDUAL", "SADDLE"};
const char* const kHoles[] = {"NOPUNCH", "UNKNOWN", "TWO", "THREE", "FOUR"};
const char* const kPunchPos[] = {"TOP", "LEFT", "RIGHT", "BOTTOM"};
const char* const kFold[] = {"NOFOLD",         "BIFOLDINSIDE",   "BIFOLDOUTSIDE",  "ZFOLDLEFT",      "ZFOLDRIGHT",
                             "TRIZFOLDINSIDE", "TRIZFOLDOUTSIDE", "TRICFOLDINSIDE", "TRICFOLDOUTSIDE"};
const char* const kSlip[] = {"NOSLIPSHEET", "EMPTY", "COPY"};
const char* const kOnOff[] = {"OFF", "ON"};
const char* const kMode[] = {"UNKNOWN", "COLOR", "MONOCHROME", "EMPTY"};
const char* const kOrientation[] = {"UNKNOWN", "PORTRAIT", "LANDSCAPE", "REVPORTRAIT", "REVLANDSCAPE"};

}  // namespace

struct JobInfoWriter {
  ChunkList* groups;
  INT pdl_code;
  CHAR pdl_version[65];
  INT job_type, stored_job_type, job_copies, page_copies, duplex_type, nup, poster;
  INT booklet_type, booklet_threshold, out_tray, out_bin;
  INT page_order, staple, punch_holes, punch_position, fold, slip_sheet, toner_save;
  UINT logical_pages, physical_pages, estimated_sheets;
  INT pass_through;
  CHAR line_end[2];
  DWORD line_end_length;
  INT enabled[kFlagCount + 1];  // 1-based
  INT cursor_item, cursor_group, group_count;
  WORD status;
};

namespace {

void enable(JobInfoWriter* w, int item) { w->enabled[item] = 1; }

PageGroupRecord* current_group(JobInfoWriter* w) {
  return static_cast<PageGroupRecord*>(ChunkList_Current(w->groups));
}

// The text of one item (without prefix and line end); empty when the item
// writes nothing.
std::string item_text(JobInfoWriter* w, int item) {
  char text[256] = {};
  const char* name = nullptr;
  switch (item) {
    case 1: return "VERSION=1.2.0";
    case 2: return "BEGIN";
    case 3:
      if (!(name = name_of(kPdl, w->pdl_code))) return {};
      std::snprintf(text, sizeof text, "PDLTYPE=PDL[%s]:VERSION[%s]", name, w->pdl_version);
      return text;
    case 4: return (name = name_of(kJobType, w->job_type)) ? std::string("JOBTYPE=") + name : std::string();
    case 5: return (name = name_of(kStored, w->stored_job_type)) ? std::string("STOREDJOBTYPE=") + name : std::string();
    case 6: return w->job_copies > 0 ? "JOBCOPIES=" + std::to_string(w->job_copies) : std::string();
    case 7: return w->page_copies > 0 ? "PAGECOPIES=" + std::to_string(w->page_copies) : std::string();
    case 8: return (name = name_of(kDuplex, w->duplex_type)) ? std::string("DUPLEXTYPE=") + name : std::string();
    case 9: return w->nup > 0 ? "NUP=" + std::to_string(w->nup) : std::string();
    case 10: return w->poster > 0 ? "POSTER=" + std::to_string(w->poster) : std::string();
    case 11:
      if (!(name = name_of(kBooklet, w->booklet_type))) return {};
      if (w->booklet_type >= 2) {
        if (w->booklet_threshold <= 0) return {};
        std::snprintf(text, sizeof text, "BOOKLETTYPE=TYPE[%s]:THRESHOLD[%d]", name, w->booklet_threshold);
        return text;
      }
      return std::string("BOOKLETTYPE=TYPE[") + name + "]";
    case 12:
      if (!(name = name_of(kTray, w->out_tray))) return {};
      if (w->out_tray == 2) return w->out_bin > 0 ? std::string("OUTTRAY=") + name + std::to_string(w->out_bin) : "";
      return std::string("OUTTRAY=") + name;
    case 13: return (name = name_of(kOrder, w->page_order)) ? std::string("PAGEORDER=") + name : std::string();
    case 14: return (name = name_of(kStaple, w->staple)) ? std::string("STAPLE=") + name : std::string();
    case 15: {
      if (!(name = name_of(kHoles, w->punch_holes))) return {};
      if (w->punch_holes == 0) return std::string("PUNCH=HOLES[") + name + "]";
      const char* pos = name_of(kPunchPos, w->punch_position);
      return pos ? std::string("PUNCH=HOLES[") + name + "]:POSITION[" + pos + "]" : std::string();
    }
    case 16: return (name = name_of(kFold, w->fold)) ? std::string("FOLD=") + name : std::string();
    case 17: return (name = name_of(kSlip, w->slip_sheet)) ? std::string("SLIPSHEET=") + name : std::string();
    case 18: return (name = name_of(kOnOff, w->toner_save)) ? std::string("TONERSAVE=") + name : std::string();
    case 19: return "PHYSICALPAGES=" + std::to_string(w->physical_pages);
    case 20: return "LOGICALPAGES=" + std::to_string(w->logical_pages);
    case 21: return "ESTIMATEDSHEETS=" + std::to_string(w->estimated_sheets);
    case 22: return w->pass_through ? "PASSTHROUGH=ON" : "PASSTHROUGH=OFF";
    case 23: return "PAGEINFOBEGIN";
    case 24: {
      if (ChunkList_Seek(w->groups, static_cast<DWORD>(w->cursor_group)) == 0) return {};
      const PageGroupRecord* g = current_group(w);
      std::string out = "PAGEINFO=";
      bool first = true;
      auto part = [&](int flag, const std::string& value) {
        if (!w->enabled[flag]) return;
        if (!first) out += ':';
        first = false;
        out += value;
      };
      std::string size(g->size, strnlen(g->size, sizeof g->size));
      part(27, size.empty() ? std::string() : "SIZE[" + size + "]");
      const char* mode = name_of(kMode, g->mode);
      part(28, mode ? std::string("MODE[") + mode + "]" : std::string());
      part(29, g->mode == 1 && g->colors >= 0 ? "COLORS[" + std::to_string(g->colors) + "]" : std::string());
      part(30, "INTRAY[" + std::to_string(g->intray) + "]");
      const char* duplex = name_of(kDuplex, g->duplex);
      part(31, duplex ? std::string("DUPLEX[") + duplex + "]" : std::string());
      const char* orientation = name_of(kOrientation, g->orientation);
      part(32, orientation ? std::string("ORIENTATION[") + orientation + "]" : std::string());
      part(33, "POS[" + std::to_string(g->pos) + "]");
      if (!w->enabled[27] || size.empty()) w->status |= kJobInfoIncomplete;
      return out;
    }
    case 25: return "PAGEINFOEND";
    case 26: return "END";
    default: return {};
  }
}

bool is_incomplete(const JobInfoWriter* w) {
  static const int kPrint[] = {3, 4, 6, 7, 24, 27};
  static const int kOther[] = {3, 4, 24, 27};
  if (w->job_type == 0) {
    for (int i : kPrint)
      if (!w->enabled[i]) return true;
  } else if (w->job_type >= 1 && w->job_type <= 3) {
    for (int i : kOther)
      if (!w->enabled[i]) return true;
  }
  return false;
}

}  // namespace

JobInfoWriter* JobInfo_Create(DWORD initial_records, DWORD growth) {
  auto* w = static_cast<JobInfoWriter*>(GlobalAlloc(GPTR, sizeof(JobInfoWriter)));
  if (!w) return nullptr;
  w->groups = ChunkList_Create(initial_records, sizeof(PageGroupRecord), growth);
  if (!w->groups) {
    GlobalFree(w);
    return nullptr;
  }
  enable(w, 1);
  enable(w, 2);
  enable(w, 26);
  JobInfo_SetLineEnd(w, FALSE);
  return w;
}

void JobInfo_Destroy(JobInfoWriter* w) {
  if (!w) return;
  ChunkList_Free(w->groups);
  GlobalFree(w);
}

void JobInfo_SetLineEnd(JobInfoWriter* w, BOOL crlf) {
  if (crlf) {
    w->line_end[0] = '\r';
    w->line_end[1] = '\n';
    w->line_end_length = 2;
  } else {
    w->line_end[0] = '\n';
    w->line_end_length = 1;
  }
}

void JobInfo_SetPdlType(JobInfoWriter* w, INT code, const char* version) {
  w->pdl_code = code;
  std::snprintf(w->pdl_version, sizeof w->pdl_version, "%s", version ? version : "");
  enable(w, 3);
}
#define MORVA_JOBINFO_SETTER(name, field, item) \
  void name(JobInfoWriter* w, INT value) {      \
    w->field = value;                           \
    enable(w, item);                            \
  }
MORVA_JOBINFO_SETTER(JobInfo_SetJobType, job_type, 4)
MORVA_JOBINFO_SETTER(JobInfo_SetStoredJobType, stored_job_type, 5)
MORVA_JOBINFO_SETTER(JobInfo_SetJobCopies, job_copies, 6)
MORVA_JOBINFO_SETTER(JobInfo_SetPageCopies, page_copies, 7)
MORVA_JOBINFO_SETTER(JobInfo_SetDuplexType, duplex_type, 8)
MORVA_JOBINFO_SETTER(JobInfo_SetNup, nup, 9)
MORVA_JOBINFO_SETTER(JobInfo_SetPoster, poster, 10)
MORVA_JOBINFO_SETTER(JobInfo_SetPageOrder, page_order, 13)
MORVA_JOBINFO_SETTER(JobInfo_SetStaple, staple, 14)
MORVA_JOBINFO_SETTER(JobInfo_SetFold, fold, 16)
MORVA_JOBINFO_SETTER(JobInfo_SetSlipSheet, slip_sheet, 17)
MORVA_JOBINFO_SETTER(JobInfo_SetTonerSave, toner_save, 18)
MORVA_JOBINFO_SETTER(JobInfo_SetPassThrough, pass_through, 22)
#undef MORVA_JOBINFO_SETTER

void JobInfo_SetBookletType(JobInfoWriter* w, INT type, INT threshold) {
  w->booklet_type = type;
  w->booklet_threshold = threshold;
  enable(w, 11);
}
void JobInfo_SetOutTray(JobInfoWriter* w, INT tray, INT bin) {
  w->out_tray = tray;
  w->out_bin = bin;
  enable(w, 12);
}
void JobInfo_SetPunch(JobInfoWriter* w, INT holes, INT position) {
  w->punch_holes = holes;
  w->punch_position = position;
  enable(w, 15);
}
void JobInfo_SetLogicalPages(JobInfoWriter* w, UINT pages) {
  w->logical_pages = pages;
  enable(w, 20);
}
void JobInfo_SetEstimatedSheets(JobInfoWriter* w, UINT sheets) {
  w->estimated_sheets = sheets;
  enable(w, 21);
}

BOOL JobInfo_AddPageGroupRecord(JobInfoWriter* w) { return w && ChunkList_Append(w->groups) ? TRUE : FALSE; }

namespace {
PageGroupRecord* sub_item(JobInfoWriter* w, int flag) {
  PageGroupRecord* g = w ? current_group(w) : nullptr;
  if (!g) return nullptr;
  enable(w, 24);
  enable(w, flag);
  return g;
}
}  // namespace

BOOL JobInfo_SetPageSize(JobInfoWriter* w, const char* size) {
  PageGroupRecord* g = sub_item(w, 27);
  if (!g) return FALSE;
  std::snprintf(g->size, sizeof g->size, "%s", size ? size : "");
  return TRUE;
}
BOOL JobInfo_SetPageMode(JobInfoWriter* w, INT mode) {
  PageGroupRecord* g = sub_item(w, 28);
  if (g) g->mode = mode;
  return g != nullptr;
}
BOOL JobInfo_SetPageColors(JobInfoWriter* w, INT colors) {
  PageGroupRecord* g = sub_item(w, 29);
  if (g) g->colors = colors;
  return g != nullptr;
}
BOOL JobInfo_SetPageInTray(JobInfoWriter* w, UINT tray) {
  PageGroupRecord* g = sub_item(w, 30);
  if (g) g->intray = tray;
  return g != nullptr;
}
BOOL JobInfo_SetPageDuplex(JobInfoWriter* w, INT duplex) {
  PageGroupRecord* g = sub_item(w, 31);
  if (g) g->duplex = duplex;
  return g != nullptr;
}

DWORD JobInfo_WriteLines(JobInfoWriter* w, char* buffer, DWORD capacity, DWORD* more, WORD* status) {
  if (more) *more = 0;
  if (!w || !buffer) return 0;
  if (w->cursor_item == 0) {
    if (is_incomplete(w)) w->status |= kJobInfoIncomplete;
    w->group_count = static_cast<INT>(ChunkList_Count(w->groups));
    w->physical_pages = 0;
    for (INT g = 1; g <= w->group_count; ++g) {
      ChunkList_Seek(w->groups, static_cast<DWORD>(g));
      if (current_group(w)->mode != 3) ++w->physical_pages;
    }
    if (w->group_count > 0) {
      enable(w, 19);
      enable(w, 23);
      enable(w, 25);
    }
    w->cursor_item = 1;
    w->cursor_group = 1;
  }
  DWORD written = 0;
  while (w->cursor_item <= kItemCount) {
    const int item = w->cursor_item;
    if (!w->enabled[item] || (item == 24 && w->cursor_group > w->group_count)) {
      ++w->cursor_item;
      w->cursor_group = item == 24 ? 1 : w->cursor_group;
      continue;
    }
    const WORD status_before = w->status;
    std::string line = item_text(w, item);
    if (!line.empty()) {
      line = kPrefix + line + std::string(w->line_end, w->line_end_length);
      if (written + line.size() > capacity) {
        if (written > 0) {
          // The next call goes on with this line.
          w->status = status_before;
          if (more) *more = 1;
          if (status) *status = w->status;
          return written;
        }
        // A line that no buffer of this size holds is left out, so the
        // block still ends.
        w->status |= kJobInfoIncomplete;
      } else {
        std::memcpy(buffer + written, line.data(), line.size());
        written += static_cast<DWORD>(line.size());
      }
    }
    if (item == 24 && w->cursor_group < w->group_count) {
      ++w->cursor_group;
    } else {
      ++w->cursor_item;
      if (item == 24) w->cursor_group = 1;
    }
  }
  w->cursor_item = 1;
  w->cursor_group = 1;
  if (status) *status = w->status;
  return written;
}
