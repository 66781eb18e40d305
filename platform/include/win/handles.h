// The process's table of kernel-object handles (files, find searches and
// whatever other services add). Handles are small multiples of 4, never
// NULL or INVALID_HANDLE_VALUE; CloseHandle releases any of them.
#pragma once

#include <memory>

#include "win/types.h"

extern "C" {
MORVA_WIN_API BOOL CloseHandle(HANDLE handle);
}

namespace morva::platform {

// Base of every object a handle can stand for; its destructor runs when
// the last handle (and any call still using it) lets go.
class MORVA_WIN_API KernelObject {
 public:
  virtual ~KernelObject();
};

// Registers an object and returns its new handle (NULL when out of memory).
MORVA_WIN_API HANDLE insert_handle(std::shared_ptr<KernelObject> object);
// The object of a handle, or null. Keep the result only for the call.
MORVA_WIN_API std::shared_ptr<KernelObject> find_handle(HANDLE handle);
// Removes a handle; false (and ERROR_INVALID_HANDLE) when it is unknown.
MORVA_WIN_API bool remove_handle(HANDLE handle);

// The object of a handle when it has type T, else null with
// ERROR_INVALID_HANDLE set.
template <class T>
std::shared_ptr<T> handle_object(HANDLE handle);

}  // namespace morva::platform

#include "win/errors.h"

template <class T>
std::shared_ptr<T> morva::platform::handle_object(HANDLE handle) {
  auto object = std::dynamic_pointer_cast<T>(find_handle(handle));
  if (!object) SetLastError(ERROR_INVALID_HANDLE);
  return object;
}
