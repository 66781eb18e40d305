// A stand-in in-process component for tests: a class factory whose objects
// answer one interface id (and IUnknown), with counters of the objects made
// and still alive, so tests can see that a caller released what it created.
#pragma once

#include <atomic>

#include "win/com.h"

namespace morva::test {

class StandInFactory : public IClassFactory {
 public:
  explicit StandInFactory(const IID& iid) : iid_(iid) {}
  // Lives on the test's stack: the reference count is only observed.
  HRESULT QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!(riid == iid_) && !(riid == IID_IUnknown)) return E_NOINTERFACE;
    ++created;
    ++alive;
    *object = static_cast<IUnknown*>(new Object(this));
    return S_OK;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }

  std::atomic<int> refs{0};
  std::atomic<int> created{0};
  std::atomic<int> alive{0};

 private:
  struct Object final : IUnknown {
    explicit Object(StandInFactory* f) : factory(f) {}
    HRESULT QueryInterface(REFIID riid, void** object) override {
      if (!object) return E_POINTER;
      if (riid == IID_IUnknown || riid == factory->iid_) {
        *object = this;
        AddRef();
        return S_OK;
      }
      *object = nullptr;
      return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override {
      ULONG left = --refs;
      if (left == 0) {
        --factory->alive;
        delete this;
      }
      return left;
    }
    StandInFactory* factory;
    std::atomic<ULONG> refs{1};
  };
  IID iid_;
};

}  // namespace morva::test
