#include "output/spool_stream.h"

#include <cstring>

#include "output/page_recording.h"

#include "win/win.h"

namespace {

bool to_printer(WORD s) { return s == kStreamPrinter || s == kStreamPrinterAndFile; }
bool to_file(WORD s) { return s == kStreamFile || s == kStreamPrinterAndFile || s == kStreamSideFile; }

// The store-file box; IDCANCEL when its buffers cannot be had.
INT ask_store_retry(const SpoolStream* s) {
  auto* caption = static_cast<LPWSTR>(GlobalAlloc(GPTR, kStoreBoxCaptionChars * sizeof(WCHAR)));
  auto* text = static_cast<LPWSTR>(GlobalAlloc(GPTR, kStoreBoxTextChars * sizeof(WCHAR)));
  INT answer = IDCANCEL;
  if (caption && text) {
    if (s->resources) {
      LoadStringW(s->resources, kStoreBoxCaptionId, caption, kStoreBoxCaptionChars);
      if (s->store_text_id) LoadStringW(s->resources, s->store_text_id, text, kStoreBoxTextChars);
    }
    // No window of ours is active in the graphics driver's thread.
    answer = MessageBoxW(nullptr, text, caption, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
  }
  if (caption) GlobalFree(caption);
  if (text) GlobalFree(text);
  return answer;
}

// Writes all bytes to the store file, asking after every short write.
bool write_store(SpoolStream* s, const BYTE* bytes, DWORD length) {
  DWORD done = 0;
  while (done < length) {
    DWORD n = 0;
    BOOL ok = FileWrite(s->store_file, bytes + done, length - done, &n);
    done += n;
    if (ok && done == length) break;
    if (ask_store_retry(s) != IDOK) return false;
  }
  return true;
}

bool write_page_record(SpoolStream* s, const BYTE* bytes, DWORD length) {
  if (SeekTempSpoolFileEnd(&s->page_file) < 0) return false;
  return WriteTempSpoolFile(&s->page_file, bytes, length) == static_cast<INT>(length);
}

bool write_printer(SpoolStream* s, const BYTE* bytes, DWORD length) {
  DWORD written = 0;
  return WritePrinterChunked(s->output, bytes, length, &written) && written == length;
}

// Sends bytes to every destination of the state; false when any failed.
bool send(SpoolStream* s, const BYTE* bytes, DWORD length) {
  if (s->state == kStreamPageRecord) return write_page_record(s, bytes, length);
  bool ok = true;
  if (to_printer(s->state) && !write_printer(s, bytes, length)) ok = false;
  if (to_file(s->state) && !write_store(s, bytes, length)) ok = false;
  return ok;
}

}  // namespace

SpoolStream* CreateSpoolStream(HMODULE resources) {
  auto* s = static_cast<SpoolStream*>(GlobalAlloc(GPTR, sizeof(SpoolStream)));
  if (!s) return nullptr;
  s->state = kStreamClosed;
  s->output = nullptr;
  s->resources = resources;
  s->store_file = INVALID_HANDLE_VALUE;
  s->store_text_id = 0;
  ResetTempSpoolFile(&s->page_file, FALSE, resources);
  return s;
}

void DestroySpoolStream(SpoolStream* stream) {
  if (!stream) return;
  if (stream->output) CloseSpoolStream(stream, FALSE);
  // A store file left open would leak its handle and stay locked.
  if (stream->store_file != INVALID_HANDLE_VALUE) FileClose(stream->store_file);
  // A recording left open (an aborted document) is of no further use; an
  // open handle would keep the file locked until the process ends.
  ClearRecordingTables(stream);
  if (stream->page_file.file != INVALID_HANDLE_VALUE) DeleteTempSpoolFile(&stream->page_file);
  ResetTempSpoolFile(&stream->page_file, FALSE, stream->page_file.owner);
  GlobalFree(stream);
}

INT OpenSpoolStream(SpoolStream* stream, HANDLE printer) {
  if (!stream) return -1;
  ResetTempSpoolFile(&stream->page_file, TRUE, stream->resources);
  stream->buffered = 0;
  if (!printer) {
    stream->output = nullptr;
    stream->state = kStreamClosed;
    return -1;
  }
  stream->output = printer;
  stream->state = kStreamPrinter;
  return 0;
}

INT OpenSpoolStreamOnPrinter(SpoolStream* stream, HANDLE job_printer, LPCWSTR document) {
  if (!stream) return -1;
  stream->buffered = 0;
  HANDLE channel = OpenPrinterChannel(job_printer, document);
  stream->output = channel;
  stream->state = channel ? kStreamPrinter : kStreamClosed;
  return channel ? 0 : -1;
}

INT IsSpoolStreamOpen(const SpoolStream* stream) {
  if (!stream) return -1;
  return stream->output ? 1 : 0;
}

INT FlushSpoolStream(SpoolStream* stream) {
  if (!stream || stream->state == kStreamClosed || stream->state > kStreamSideFile) return -1;
  if (stream->buffered == 0) return 0;
  bool ok = send(stream, stream->buffer, stream->buffered);
  stream->buffered = 0;
  return ok ? 0 : -1;
}

INT WriteSpoolStream(SpoolStream* stream, DWORD length, const void* bytes) {
  if (!stream || stream->state == kStreamClosed || stream->state > kStreamSideFile) return -1;
  if (length == 0) return 0;
  if (!bytes) return -1;
  if (stream->buffered + static_cast<ULONGLONG>(length) <= kSpoolBufferBytes) {
    std::memcpy(stream->buffer + stream->buffered, bytes, length);
    stream->buffered += length;
    return static_cast<INT>(length);
  }
  bool flushed = FlushSpoolStream(stream) == 0;
  bool sent = send(stream, static_cast<const BYTE*>(bytes), length);
  return flushed && sent ? static_cast<INT>(length) : -1;
}

INT SetSpoolStreamState(SpoolStream* stream, WORD state) {
  if (!stream || stream->state > kStreamSideFile) return -1;
  INT result = stream->state == kStreamClosed ? 0 : FlushSpoolStream(stream);
  stream->state = state;
  return result;
}

INT OpenStoreFile(SpoolStream* stream, LPCWSTR path, DWORD* size, DWORD flags) {
  // One store file at a time: a second would lose the first one's handle.
  if (!stream || !size || stream->store_file != INVALID_HANDLE_VALUE) return -1;
  HANDLE file = FileOpen(path, flags & kFileCreateAlways);
  if (file == INVALID_HANDLE_VALUE) return -1;
  LONGLONG end = FileSeekEnd(file);
  if (end < 0 || end > 0xFFFFFFFFll) {
    FileClose(file);
    return -1;
  }
  // Bytes buffered for the old destination go there first.
  INT flushed = stream->state == kStreamClosed ? 0 : FlushSpoolStream(stream);
  stream->store_file = file;
  *size = static_cast<DWORD>(end);
  stream->state = kStreamFile;
  return flushed;
}

INT CloseStoreFile(SpoolStream* stream, DWORD* size) {
  if (!stream || stream->store_file == INVALID_HANDLE_VALUE) return -1;
  INT flushed = stream->state == kStreamClosed ? 0 : FlushSpoolStream(stream);
  LONGLONG end = FileSeekEnd(stream->store_file);
  if (size) *size = end < 0 ? 0 : static_cast<DWORD>(end);
  stream->state = kStreamPrinter;
  BOOL closed = FileClose(stream->store_file);
  stream->store_file = INVALID_HANDLE_VALUE;
  if (!closed) return -1;
  return flushed == 0 && end >= 0 ? 0 : -1;
}

INT OpenStoreFileAs(SpoolStream* stream, LPCWSTR path, DWORD* size, DWORD flags, WORD state) {
  INT result = OpenStoreFile(stream, path, size, flags);
  if (stream && stream->store_file != INVALID_HANDLE_VALUE && SetSpoolStreamState(stream, state) != 0) result = -1;
  return result;
}

INT CloseStoreFileAs(SpoolStream* stream, DWORD* size, WORD state) {
  INT result = CloseStoreFile(stream, size);
  if (stream && SetSpoolStreamState(stream, state) != 0) result = -1;
  return result;
}

INT AttachStoreFile(SpoolStream* stream, LPCWSTR path) {
  if (!stream || stream->state != kStreamPrinter || stream->store_file != INVALID_HANDLE_VALUE) return -1;
  HANDLE file = FileOpen(path, kFileCreateAlways);
  if (file == INVALID_HANDLE_VALUE) return -1;
  // The file gets the bytes written from now on, not those already buffered.
  INT flushed = FlushSpoolStream(stream);
  stream->store_file = file;
  stream->state = kStreamPrinterAndFile;
  return flushed;
}

INT DetachStoreFile(SpoolStream* stream) {
  if (!stream) return -1;
  INT flushed = FlushSpoolStream(stream);
  stream->state = kStreamPrinter;
  INT closed = CloseStoreFile(stream, nullptr);
  return flushed == 0 && closed == 0 ? 0 : -1;
}

INT CloseSpoolStream(SpoolStream* stream, BOOL) {
  if (!stream || !stream->output) return -1;
  INT result = 0;
  if (stream->state == kStreamFile && CloseStoreFile(stream, nullptr) != 0) result = -1;
  if (stream->state == kStreamPrinterAndFile && DetachStoreFile(stream) != 0) result = -1;
  if (FlushSpoolStream(stream) != 0) result = -1;
  stream->output = nullptr;
  stream->state = kStreamClosed;
  return result;
}

INT CloseSpoolStreamOnPrinter(SpoolStream* stream, BOOL) {
  if (!stream || !stream->output) return -1;
  INT result = FlushSpoolStream(stream) == 0 ? 0 : -1;
  if (!ClosePrinterChannel(stream->output)) result = -1;
  stream->output = nullptr;
  stream->state = kStreamClosed;
  return result;
}
