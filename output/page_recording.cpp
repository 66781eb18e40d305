#include "output/page_recording.h"

#include <cstring>

#include "win/memory.h"

namespace {

constexpr WORD kCursorIdle = 0;
constexpr WORD kCursorReading = 1;
constexpr WORD kCursorWriting = 2;

bool table_init(RecordTable* t, WORD entry_size, WORD capacity) {
  t->entries = capacity && entry_size
                   ? static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(entry_size) * capacity))
                   : nullptr;
  if (!t->entries) {
    *t = RecordTable{};
    return false;
  }
  t->capacity = capacity;
  t->entry_size = entry_size;
  t->growth = capacity;
  return true;
}

void table_free(RecordTable* t) {
  if (t->entries) GlobalFree(t->entries);
  *t = RecordTable{};
}

// One growth step: a new zeroed block with the old entries copied.
bool table_grow(RecordTable* t) {
  DWORD capacity = static_cast<DWORD>(t->capacity) + t->growth;
  if (!t->entries || t->growth == 0 || capacity > 0xFFFF) return false;
  auto* bigger = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(t->entry_size) * capacity));
  if (!bigger) return false;
  std::memcpy(bigger, t->entries, static_cast<std::size_t>(t->entry_size) * t->capacity);
  GlobalFree(t->entries);
  t->entries = bigger;
  t->capacity = static_cast<WORD>(capacity);
  return true;
}

BYTE* table_at(RecordTable* t, DWORD index) {
  return index < t->capacity ? t->entries + static_cast<std::size_t>(index) * t->entry_size : nullptr;
}

PageSpan* span_at(SpoolStream* s, DWORD index) { return reinterpret_cast<PageSpan*>(table_at(&s->page_spans, index)); }

void cursor_idle(PageRecordCursor* c) {
  c->mode = kCursorIdle;
  c->first_head = c->last_head = c->next_head = -1;
  c->end = c->read_position = -1;
}

bool append(SpoolStream* s, const void* bytes, DWORD length) {
  if (SeekTempSpoolFileEnd(&s->page_file) < 0) return false;
  return WriteTempSpoolFile(&s->page_file, bytes, length) == static_cast<INT>(length);
}

bool read_at(SpoolStream* s, LONG offset, void* buffer, DWORD length) {
  if (SeekTempSpoolFile(&s->page_file, static_cast<DWORD>(offset)) != offset) return false;
  return ReadTempSpoolFile(&s->page_file, buffer, length) == static_cast<INT>(length);
}

}  // namespace

INT BeginDocumentRecordingTables(SpoolStream* s, WORD base, WORD entry_size, WORD capacity) {
  if (!s) return -1;
  ClearRecordingTables(s);
  s->recorded_pages = 0;
  s->base_page = base;
  cursor_idle(&s->cursor);
  if (!table_init(&s->page_records, entry_size, capacity) ||
      !table_init(&s->page_spans, sizeof(PageSpan), capacity) || CreateTempSpoolFile(&s->page_file) != 0) {
    table_free(&s->page_records);
    table_free(&s->page_spans);
    return -1;
  }
  return 0;
}

INT BeginPageRecording(SpoolStream* s, WORD page) {
  if (!s || !s->page_spans.entries || page != static_cast<DWORD>(s->base_page) + s->recorded_pages) return -1;
  if (s->cursor.mode != kCursorIdle || IsTempSpoolFileOpen(&s->page_file) != 1) return -1;
  if (s->state == kStreamClosed || FlushSpoolStream(s) != 0) return -1;
  DWORD index = static_cast<DWORD>(page) - s->base_page;
  while (s->page_records.capacity < index + 1)
    if (!table_grow(&s->page_records)) return -1;
  while (s->page_spans.capacity < index + 1)
    if (!table_grow(&s->page_spans)) return -1;
  std::memset(table_at(&s->page_records, index), 0, s->page_records.entry_size);
  LONG size = SeekTempSpoolFileEnd(&s->page_file);
  if (size < 0) return -1;
  *span_at(s, index) = PageSpan{size, size, -1};
  s->cursor.mode = kCursorWriting;
  s->cursor.first_head = s->cursor.last_head = -1;
  s->cursor.end = size;
  return SetSpoolStreamState(s, kStreamPageRecord);
}

INT WritePageRecord(SpoolStream* s, WORD kind, WORD length, const void* data) {
  if (!s || s->cursor.mode != kCursorWriting || IsTempSpoolFileOpen(&s->page_file) != 1) return -1;
  if (length && !data) return -1;
  if (FlushSpoolStream(s) != 0) return -1;
  LONG at = SeekTempSpoolFileEnd(&s->page_file);
  if (at < 0) return -1;
  PageRecordHead head{kind, length, 0};
  if (!append(s, &head, sizeof head) || (length && !append(s, data, length))) return -1;
  if (s->cursor.first_head < 0) {
    s->cursor.first_head = at;
  } else {
    DWORD distance = static_cast<DWORD>(at - s->cursor.last_head);
    if (SeekTempSpoolFile(&s->page_file, static_cast<DWORD>(s->cursor.last_head + 4)) < 0 ||
        WriteTempSpoolFile(&s->page_file, &distance, sizeof distance) != static_cast<INT>(sizeof distance))
      return -1;
  }
  s->cursor.last_head = at;
  s->cursor.end = at + static_cast<LONG>(sizeof head) + length;
  LONG size = SeekTempSpoolFileEnd(&s->page_file);
  return size == s->cursor.end ? 0 : -1;
}

INT EndPageRecording(SpoolStream* s) {
  if (!s) return -1;
  if (FlushSpoolStream(s) != 0) return -1;
  if (s->state != kStreamPageRecord || s->cursor.mode != kCursorWriting) return -1;
  LONG size = SeekTempSpoolFileEnd(&s->page_file);
  PageSpan* span = span_at(s, s->recorded_pages);
  if (size < 0 || !span) return -1;
  span->end = size;
  span->first_head = s->cursor.first_head;
  cursor_idle(&s->cursor);
  ++s->recorded_pages;
  return SetSpoolStreamState(s, kStreamPrinter);
}

INT PutPageRecord(SpoolStream* s, WORD page, WORD entry_size, const void* data) {
  if (!s || !data || page < s->base_page || entry_size != s->page_records.entry_size) return -1;
  BYTE* at = table_at(&s->page_records, static_cast<DWORD>(page) - s->base_page);
  if (!at) return -1;
  std::memcpy(at, data, entry_size);
  return 0;
}

INT GetPageRecord(SpoolStream* s, WORD page, WORD entry_size, void* data) {
  if (!s || !data || page < s->base_page || entry_size != s->page_records.entry_size) return -1;
  BYTE* at = table_at(&s->page_records, static_cast<DWORD>(page) - s->base_page);
  if (!at) return -1;
  std::memcpy(data, at, entry_size);
  return 0;
}

INT BeginPagePlayback(SpoolStream* s, WORD page) {
  if (!s || s->cursor.mode != kCursorIdle || page < s->base_page ||
      static_cast<DWORD>(page) >= static_cast<DWORD>(s->base_page) + s->recorded_pages)
    return -1;
  const PageSpan* span = span_at(s, static_cast<DWORD>(page) - s->base_page);
  if (!span) return -1;
  s->cursor.mode = kCursorReading;
  s->cursor.read_position = span->start;
  s->cursor.end = span->end;
  s->cursor.next_head = span->first_head >= 0 ? span->first_head : span->end;
  return 0;
}

INT ReadRecordedRaw(SpoolStream* s, DWORD length, void* buffer) {
  if (!s || !buffer || s->cursor.mode != kCursorReading) return -1;
  LONG room = s->cursor.next_head - s->cursor.read_position;
  if (room < 0) return -1;
  DWORD n = length < static_cast<DWORD>(room) ? length : static_cast<DWORD>(room);
  if (n == 0) return 0;
  if (!read_at(s, s->cursor.read_position, buffer, n)) return -1;
  s->cursor.read_position += static_cast<LONG>(n);
  return static_cast<INT>(n);
}

INT ReadRecordHead(SpoolStream* s, PageRecordHead* head) {
  if (!s || !head || s->cursor.mode != kCursorReading) return -1;
  if (s->cursor.read_position != s->cursor.next_head) return -1;
  if (s->cursor.read_position >= s->cursor.end) {
    cursor_idle(&s->cursor);
    return kRecordPageEnd;
  }
  if (!read_at(s, s->cursor.read_position, head, sizeof *head)) return -1;
  s->cursor.read_position += static_cast<LONG>(sizeof *head);
  LONG next = head->distance ? s->cursor.next_head + static_cast<LONG>(head->distance) : s->cursor.end;
  // A distance that leads back, past the page or into this record's own
  // data would make the reader loop or read another page.
  if (next > s->cursor.end || next < s->cursor.read_position + head->length) return -1;
  s->cursor.next_head = next;
  return 0;
}

INT ReadRecordData(SpoolStream* s, DWORD length, void* buffer) {
  if (!s || s->cursor.mode != kCursorReading) return -1;
  if (length == 0) return 0;
  if (!buffer || s->cursor.read_position + static_cast<LONG>(length) > s->cursor.next_head) return -1;
  if (!read_at(s, s->cursor.read_position, buffer, length)) return -1;
  s->cursor.read_position += static_cast<LONG>(length);
  return static_cast<INT>(length);
}

INT IsRecordingOpen(SpoolStream* s) { return s && IsTempSpoolFileOpen(&s->page_file) == 1 ? 1 : 0; }

INT EndDocumentRecordingTables(SpoolStream* s) {
  if (!s) return -1;
  s->base_page = 0;
  s->recorded_pages = 0;
  table_free(&s->page_records);
  table_free(&s->page_spans);
  cursor_idle(&s->cursor);
  if (s->page_file.file == INVALID_HANDLE_VALUE && s->page_file.path[0] == 0) return 0;
  return DeleteTempSpoolFile(&s->page_file) == 0 ? 0 : -1;
}

void ClearRecordingTables(SpoolStream* s) {
  if (!s) return;
  table_free(&s->page_records);
  table_free(&s->page_spans);
  cursor_idle(&s->cursor);
}
