// A minimal component object model: GUIDs, IUnknown and IClassFactory, the
// per-thread initialisation count and in-process object creation.
//
// No outside component is installed on this machine: CoCreateInstance
// answers REGDB_E_CLASSNOTREG for every class unless a class factory has
// been registered for it (register_com_class, used by tests and by hosts
// that provide a stand-in component).
#pragma once

#include <cstring>

#include "win/errors.h"
#include "win/types.h"

struct GUID {
  DWORD Data1;
  WORD Data2;
  WORD Data3;
  BYTE Data4[8];
};
static_assert(sizeof(GUID) == 16);
static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 && offsetof(GUID, Data4) == 8);

using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }

#define E_NOINTERFACE static_cast<HRESULT>(0x80004002u)
#define E_POINTER static_cast<HRESULT>(0x80004003u)
#define REGDB_E_CLASSNOTREG static_cast<HRESULT>(0x80040154u)
#define CLASS_E_NOAGGREGATION static_cast<HRESULT>(0x80040110u)
#define CO_E_NOTINITIALIZED static_cast<HRESULT>(0x800401F0u)
#define RPC_E_CHANGED_MODE static_cast<HRESULT>(0x80010106u)

// Concurrency models of CoInitializeEx.
#define COINIT_MULTITHREADED 0x0u
#define COINIT_APARTMENTTHREADED 0x2u

// Class contexts of CoCreateInstance.
#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u

// {00000000-0000-0000-C000-000000000046}
inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Interfaces are abstract classes whose first three virtual functions are
// those of IUnknown; an object frees itself in its last Release.
struct IUnknown {
  virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

extern "C" {
// CoInitializeEx(reserved, COINIT_APARTMENTTHREADED).
MORVA_WIN_API HRESULT CoInitialize(LPVOID reserved);
// Counted per thread: S_OK for the first call on a thread, S_FALSE for each
// further call with the same model (each needs its CoUninitialize),
// RPC_E_CHANGED_MODE (not counted) for another model, E_INVALIDARG for a
// non-null reserved pointer.
MORVA_WIN_API HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
// Undoes one successful CoInitialize(Ex) of the calling thread; nothing when
// the thread is not initialised.
MORVA_WIN_API void CoUninitialize();
// Creates an object of a registered class through its factory. E_POINTER
// without `object`; CO_E_NOTINITIALIZED on a thread without CoInitialize;
// REGDB_E_CLASSNOTREG when the class is not registered for any of the
// contexts asked; otherwise the factory's answer. *object is null on
// failure.
MORVA_WIN_API HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid,
                                       LPVOID* object);
}

namespace morva::platform {
// Registers a class factory for `clsid` in the given contexts (the factory
// is AddRef'ed and replaces an earlier one), or with a null factory removes
// the class (releasing its factory). Process-wide.
MORVA_WIN_API void register_com_class(REFCLSID clsid, IClassFactory* factory,
                                      DWORD clsContext = CLSCTX_INPROC_SERVER);
// Initialisation count of the calling thread.
MORVA_WIN_API ULONG com_init_count();
}  // namespace morva::platform
