#include "win/com.h"

#include <mutex>
#include <vector>

namespace {

// The calling thread's initialisation: count of successful calls and the
// model of the first.
struct ThreadCom {
  ULONG count = 0;
  DWORD model = 0;
};
thread_local ThreadCom t_com;

struct ClassEntry {
  CLSID clsid;
  IClassFactory* factory;
  DWORD contexts;
};
std::mutex g_classes_lock;
std::vector<ClassEntry> g_classes;

}  // namespace

HRESULT CoInitialize(LPVOID reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
  if (reserved) return E_INVALIDARG;
  DWORD model = coInit & COINIT_APARTMENTTHREADED;
  if (t_com.count > 0) {
    if (t_com.model != model) return RPC_E_CHANGED_MODE;
    ++t_com.count;
    return S_FALSE;
  }
  t_com.count = 1;
  t_com.model = model;
  return S_OK;
}

void CoUninitialize() {
  if (t_com.count > 0) --t_com.count;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (t_com.count == 0) return CO_E_NOTINITIALIZED;
  IClassFactory* factory = nullptr;
  {
    std::lock_guard<std::mutex> g(g_classes_lock);
    for (const ClassEntry& e : g_classes) {
      if (IsEqualGUID(e.clsid, clsid) && (e.contexts & clsContext) != 0) {
        factory = e.factory;
        factory->AddRef();  // held across the call, outside the lock
        break;
      }
    }
  }
  if (!factory) return REGDB_E_CLASSNOTREG;
  HRESULT hr = factory->CreateInstance(outer, riid, object);
  factory->Release();
  if (FAILED(hr)) *object = nullptr;
  return hr;
}

namespace morva::platform {

void register_com_class(REFCLSID clsid, IClassFactory* factory, DWORD clsContext) {
  IClassFactory* old = nullptr;
  {
    std::lock_guard<std::mutex> g(g_classes_lock);
    for (auto it = g_classes.begin(); it != g_classes.end(); ++it) {
      if (IsEqualGUID(it->clsid, clsid)) {
        old = it->factory;
        g_classes.erase(it);
        break;
      }
    }
    if (factory) {
      factory->AddRef();
      g_classes.push_back(ClassEntry{clsid, factory, clsContext});
    }
  }
  if (old) old->Release();
}

ULONG com_init_count() { return t_com.count; }

}  // namespace morva::platform
