// Presence test of the outside print-time prompt component.
#include "settings/common/common_utils.h"
#include "settings/common/prompt_component.h"

BOOL ProbeComComponent(DddHandle* database, BOOL* out) {
  if (!out) return FALSE;
  *out = FALSE;
  // Only models that can use the component look for it.
  if (!HasDeviceCapability(database, 0xFFFF002B)) return TRUE;
  HRESULT init = CoInitialize(nullptr);
  IUnknown* object = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_PromptComponentPrimary, nullptr, kPromptComponentContext,
                                IID_PromptComponentPrimary, reinterpret_cast<void**>(&object));
  if (FAILED(hr))
    hr = CoCreateInstance(CLSID_PromptComponentSecondary, nullptr, kPromptComponentContext,
                          IID_PromptComponentSecondary, reinterpret_cast<void**>(&object));
  if (SUCCEEDED(hr) && object) {
    object->Release();
    *out = TRUE;
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return TRUE;
}
