// Reads a printer's options and status through the PSW functions of
// libdevlink.so, loaded at run time as an outside caller loads it, and
// writes them as a person wants to read them.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace morva::device_status {

struct Request {
  std::string library;       // path of libdevlink.so
  std::string address;       // device address
  std::int32_t transport = 1;  // PSW transport code (1 IPv4, 5 IPv6)
  std::uint32_t timeout_ms = 2000;
  std::uint32_t retries = 1;
};

// Writes the report to `out` and problems to `err`. Answers 0 when the
// device was read, 1 when the library or the device failed.
int report(const Request& request, std::ostream& out, std::ostream& err);

// libdevlink.so beside the running program.
std::string library_beside_program();

}  // namespace morva::device_status
