// The shape every export of the printer-interface library has: an entry
// line, a resource-module reference held for the call, the work, the
// reference dropped, and a result line "<name> RetValue = <result>".
#pragma once

#include <type_traits>

#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"

template <typename Work>
auto RunExport(LPCWSTR name, Work&& work) -> decltype(work()) {
  TraceEnter(name);
  LoadResourceModule();
  auto result = work();
  ReleaseResourceModule();
  TraceLeave(u"%s RetValue = %d", name, static_cast<INT>(result));
  return result;
}
