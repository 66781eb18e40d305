// Decodes arbitrary bytes as an SNMPv1/v2c message. A message that decodes
// and encodes again must decode to the same PDU.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "snmp/ber_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 65535) return 0;
  IPmsStreamRegistry* reg = pms_get_stream_registry();
  CPmcMessageBuffer in;
  in.assign(data, static_cast<std::uint32_t>(size));

  std::int32_t status = 0, id = 0;
  reg->decode_header(&in, &status, &id, kPmsSenderCommunity);

  auto packet = pms_create_snmp_packet(nullptr);
  if (reg->decode_packet(&in, packet.get(), kPmsSenderCommunity) != 0) return 0;
  IPmsPdu* pdu = packet->get_pdu();
  if (pdu->get_type() == kPduTrap) return 0;  // trap forms are normalised on the way back

  packet->get_target()->set_max_message_size(70000);
  CPmcMessageBuffer out;
  if (reg->encode_packet(packet.get(), &out, nullptr) != 0) return 0;
  auto again = pms_create_snmp_packet(nullptr);
  if (reg->decode_packet(&out, again.get(), kPmsSenderCommunity) != 0) std::abort();
  if (!again->get_pdu()->equals(pdu) || !again->get_target()->equals(packet->get_target())) std::abort();
  return 0;
}
