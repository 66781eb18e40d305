// Reads the engine ID out of arbitrary bytes taken as the answer to an
// SNMPv3 discovery probe; the first four bytes choose the message id.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "snmp/v3_session.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  std::int32_t id =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3]);
  auto engine = pmc_v3_engine_id_of(data + 4, size - 4, id);
  if (engine.size() > 32) std::abort();
  return 0;
}
