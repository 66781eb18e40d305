// Small texts from the resource module and a question to the browser's
// library.
#include <string>

#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "settings/common/system_utils.h"
#include "win/resources.h"
#include "win/win.h"

namespace {
constexpr UINT kUserPaperNameId = 16;
constexpr UINT kResourceNumberId = 5146;
// The name used when the resource module has none.
constexpr char16_t kDefaultUserPaperName[] = u"\u30e6\u30fc\u30b6\u30fc\u5b9a\u7fa9";

std::u16string resource_string(UINT id, int max_chars) {
  ResourceModuleRef ref;
  std::u16string text(static_cast<size_t>(max_chars) + 1, u'\0');
  int n = LoadStringW(GetResourceInstance(), id, text.data(), max_chars + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}
}  // namespace

INT FormatUserPaperName(INT n, LPWSTR out, INT chars) {
  if (!out || chars <= 0) return 0;
  std::u16string base = resource_string(kUserPaperNameId, 32);
  if (base.empty()) base = kDefaultUserPaperName;
  std::u16string name = morva::format_w(u"%s%d", base.c_str(), n + 1);
  if (name.size() >= static_cast<size_t>(chars)) name.resize(static_cast<size_t>(chars) - 1);
  name.copy(out, name.size());
  out[name.size()] = 0;
  return static_cast<INT>(name.size());
}

BOOL ReadResourceNumber(INT* out) {
  if (!out) return FALSE;
  std::u16string text = resource_string(kResourceNumberId, 4);
  *out = text.empty() ? 0 : WStrToInt(text.c_str());
  return !text.empty();
}

BOOL IsIEProtectedModeProcess() {
  if (!IsWindowsVistaOrLater()) return FALSE;
  HMODULE lib = LoadLibraryExW(u"ieframe.dll", nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!lib) return FALSE;
  BOOL protected_mode = FALSE;
  using Query = HRESULT (*)(BOOL*);
  if (auto query = morva_proc_as<Query>(GetProcAddress(lib, "IEIsProtectedModeProcess"))) {
    BOOL answer = FALSE;
    if (SUCCEEDED(query(&answer))) protected_mode = answer;
  }
  FreeLibrary(lib);
  return protected_mode;
}
