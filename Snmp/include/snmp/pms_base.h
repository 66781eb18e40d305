// Result codes and the ownership vocabulary shared by every devlink object.
//
// Objects carry no reference count. A factory hands out a PmsOwn<T>: the one
// owner, which calls release() when it goes away. Operations named set take
// a PmsOwn (the callee owns the object from then on), get returns a plain
// pointer that is only lent, take returns a PmsOwn back to the caller, clone
// returns a new PmsOwn. A raw pointer in a signature therefore never carries
// ownership.
#pragma once

#include <cstdint>
#include <memory>

namespace pms {

enum Result : int {
  kOk = 0,
  kBadArgument = -2,
  kNoMemory = -3,
  kUnknownInterface = -4,
  kNotSupported = -5,
  kNoSession = -6,
  kArcOutOfRange = -7,
  kUnknownAddressForm = -7,
  kNothing = -8,
  kCannotOpen = -10,
  kIndexOutOfRange = -11,
  kSocketFailed = -201,
  kBindFailed = -202,
  kTimeout = -203,
  kReceiveFailed = -204,
  kSendFailed = -205,
  kTooBig = -211,
  kDecodeError = -250,
  kBadIndex = -401,
};

// Stores a code into an optional error word.
inline void set_err(int* err, int code) {
  if (err) *err = code;
}

struct Releaser {
  template <class T>
  void operator()(T* p) const noexcept {
    p->release();
  }
};

}  // namespace pms

template <class T>
using PmsOwn = std::unique_ptr<T, pms::Releaser>;

// Adopts a freshly allocated object (nullptr stays empty).
template <class T>
PmsOwn<T> pms_own(T* p) {
  return PmsOwn<T>(p);
}
