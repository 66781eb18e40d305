#include "output/temp_spool_file.h"

#include <cstring>

#include "win/win.h"

namespace {

constexpr UINT kWriteBoxTextId = 5;
constexpr UINT kWriteBoxCaptionId = 6;
constexpr INT kBoxChars = 512;
constexpr char16_t kBuiltInCaption[] = u"警告";
constexpr char16_t kBuiltInTemplate[] =
    u"印刷作業ファイルに書き込めませんでした。\n%cドライブに十分な空きがあるかどうか確認してください。\n\n"
    u"[OK]を押すと再試行します。\n[キャンセル]を押すと印刷を中止します。";

bool open(const TempSpoolFile* r) { return r && r->file != INVALID_HANDLE_VALUE; }
bool ready(const TempSpoolFile* r) { return open(r) && r->usable; }

void clear(TempSpoolFile* r, HMODULE owner) {
  r->owner = owner;
  r->file = INVALID_HANDLE_VALUE;
  std::memset(r->path, 0, sizeof r->path);
  r->size = 0;
  r->position = 0;
  r->usable = FALSE;
}

}  // namespace

void ResetTempSpoolFile(TempSpoolFile* record, BOOL purge, HMODULE owner) {
  if (purge) PurgeStaleTempFiles();
  if (record) clear(record, owner);
}

INT CreateTempSpoolFile(TempSpoolFile* record) {
  if (!record) return -1;
  if (record->file != INVALID_HANDLE_VALUE || record->path[0]) DeleteTempSpoolFile(record);
  MakeTempFileName(record->path, u"QZP");
  record->file = FileOpen(record->path, kFileCreateAlways);
  if (record->file == INVALID_HANDLE_VALUE) {
    std::memset(record->path, 0, sizeof record->path);
    return -1;
  }
  RecordTempFileInRegistry(record->path);
  record->size = 0;
  record->position = 0;
  record->usable = TRUE;
  return 0;
}

INT DeleteTempSpoolFile(TempSpoolFile* record) {
  if (!record) return -1;
  INT result = 0;
  if (record->file != INVALID_HANDLE_VALUE && !FileClose(record->file)) result = -1;
  record->file = INVALID_HANDLE_VALUE;
  if (record->path[0]) {
    if (DeleteTempFile(record->path))
      DeleteTempFileRecord(record->path);
    else
      result = -1;
  }
  clear(record, record->owner);
  return result;
}

INT WriteTempSpoolFile(TempSpoolFile* record, const void* bytes, DWORD length) {
  if (!ready(record)) return -1;
  if (length == 0) return 0;
  if (!bytes) return -1;
  const auto* p = static_cast<const BYTE*>(bytes);
  DWORD done = 0;
  while (done < length) {
    DWORD n = 0;
    BOOL ok = FileWrite(record->file, p + done, length - done, &n);
    done += n;
    record->position += n;
    if (record->position > record->size) record->size = record->position;
    if (ok && n > 0) continue;
    // A failed or empty write: the user may free room and retry.
    if (ShowTempFileWriteBox(record) != IDOK) {
      record->usable = FALSE;
      return -1;
    }
    FileSeek(record->file, record->position);
  }
  return static_cast<INT>(length);
}

INT ReadTempSpoolFile(TempSpoolFile* record, void* buffer, DWORD length) {
  if (!ready(record) || !buffer) return -1;
  if (static_cast<ULONGLONG>(record->position) + length > record->size) return -1;
  DWORD n = 0;
  if (!FileRead(record->file, buffer, length, &n)) return -1;
  record->position += n;
  return static_cast<INT>(n);
}

LONG SeekTempSpoolFile(TempSpoolFile* record, DWORD offset) {
  if (!ready(record) || offset > record->size) return -1;
  if (!FileSeek(record->file, offset)) return -1;
  record->position = offset;
  return static_cast<LONG>(offset);
}

LONG SeekTempSpoolFileEnd(TempSpoolFile* record) { return open(record) ? SeekTempSpoolFile(record, record->size) : -1; }

LONG GetTempSpoolFileSize(TempSpoolFile* record) { return open(record) ? static_cast<LONG>(record->size) : -1; }

INT IsTempSpoolFileOpen(TempSpoolFile* record) { return ready(record) ? 1 : -1; }

INT MarkTempSpoolFileUnusable(TempSpoolFile* record) {
  if (!open(record)) return -1;
  record->usable = FALSE;
  return 0;
}

INT ShowTempFileWriteBox(const TempSpoolFile* record) {
  if (!record) return IDCANCEL;
  WCHAR drive = u' ';
  if (record->path[0] && record->path[1] == u':') {
    drive = record->path[0];
    if (drive >= u'a' && drive <= u'z') drive = static_cast<WCHAR>(drive - u'a' + u'A');
  }
  WCHAR caption[kBoxChars] = {};
  WCHAR format[kBoxChars] = {};
  WCHAR text[kBoxChars] = {};
  if (!record->owner || LoadStringW(record->owner, kWriteBoxCaptionId, caption, kBoxChars) <= 0)
    lstrcpynW(caption, kBuiltInCaption, kBoxChars);
  if (!record->owner || LoadStringW(record->owner, kWriteBoxTextId, format, kBoxChars) <= 0)
    lstrcpynW(format, kBuiltInTemplate, kBoxChars);
  // The template comes from our own resources; wsprintfW stops at 1024
  // characters, so format into a buffer of that size and keep what fits.
  WCHAR formatted[1025] = {};
  wsprintfW(formatted, format, static_cast<int>(drive));
  lstrcpynW(text, formatted, kBoxChars);
  // No window of ours is active in the graphics driver's thread.
  return MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
}
