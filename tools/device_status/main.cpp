// demo-20-device-status [ROOT]: opens the demo device (the agent's address
// from MORVA_SNMP_AGENT_ADDRESS, else 127.0.0.1, on UDP port 161) through
// the PSW functions and prints its options and status.
#include <cstdlib>
#include <iostream>

#include "device_status.h"

int main() {
  morva::device_status::Request r;
  r.library = morva::device_status::library_beside_program();
  const char* address = std::getenv("MORVA_SNMP_AGENT_ADDRESS");
  r.address = address && *address ? address : "127.0.0.1";
  return morva::device_status::report(r, std::cout, std::cerr);
}
