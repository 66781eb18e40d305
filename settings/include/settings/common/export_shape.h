// The shape every export of the printer-interface library has: an entry
// line, a resource-module reference held for the call, the work, the
// reference dropped, and a result line "<name> RetValue = <result>".
#pragma once

#include <type_traits>

#include "settings/common/module_state.h"
#include "settings/common/trace_log.h"
#include "win/errors.h"

template <typename Work>
auto RunExport(LPCWSTR name, Work&& work) -> decltype(work()) {
  TraceEnter(name);
  LoadResourceModule();
  auto result = work();
  ReleaseResourceModule();
  TraceLeave(u"%s RetValue = %d", name, static_cast<INT>(result));
  return result;
}

// The same shape with a result line of the export's own format (its
// arguments: the name, then the result). The last error the work left
// survives the trace writing.
template <typename Work>
auto RunExportFormatted(LPCWSTR name, LPCWSTR result_format, Work&& work) -> decltype(work()) {
  TraceEnter(name);
  LoadResourceModule();
  auto result = work();
  ReleaseResourceModule();
  const DWORD error = GetLastError();
  TraceLeave(result_format, name, result);
  SetLastError(error);
  return result;
}
