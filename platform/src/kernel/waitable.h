// Kernel objects that WaitForSingleObject can wait on (mutexes, processes).
#pragma once

#include "win/handles.h"
#include "win/types.h"

namespace morva::platform {

class Waitable : public KernelObject {
 public:
  // WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED (last error set).
  virtual DWORD wait(DWORD milliseconds) = 0;
};

}  // namespace morva::platform
