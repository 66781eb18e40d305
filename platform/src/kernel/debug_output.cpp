#include <mutex>

#include "win/codepage.h"
#include "win/debug.h"
#include "win/strings.h"

namespace {
std::mutex g_lock;
bool g_capturing = false;
std::u16string g_record;
}  // namespace

void OutputDebugStringW(LPCWSTR text) {
  if (!text) return;
  std::lock_guard<std::mutex> g(g_lock);
  if (g_capturing) g_record += morva::u16view(text);
}

void OutputDebugStringA(LPCSTR text) {
  if (!text) return;
  OutputDebugStringW(morva::ansi_to_u16(text).c_str());
}

namespace morva::platform {
void capture_debug_output(bool on) {
  std::lock_guard<std::mutex> g(g_lock);
  g_capturing = on;
  g_record.clear();
}
std::u16string take_debug_output() {
  std::lock_guard<std::mutex> g(g_lock);
  std::u16string out;
  out.swap(g_record);
  return out;
}
}  // namespace morva::platform
