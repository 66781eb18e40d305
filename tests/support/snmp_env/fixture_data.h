// Fixture data that the test agent serves: a plain text file, one object a
// line, read by the pass_persist helper `morva-snmp-fixture` that SnmpAgent
// registers with snmpd for each served subtree.
//
// Format (later lines win, so a test appends overrides to a base file):
//   # comment
//   1.3.6.1.2.1.1.5.0 string corvane-m30      OID TYPE VALUE (rest of the line, trailing blanks dropped)
//   1.3.6.1.2.1.25.3.5.1.2.1 octet 80 00      hex octets (binary values, DateAndTime)
//   @set 1.3.6.1.2.1.1.6 ok                   SETs at or under the OID are taken;
//   @set 1.3.6.1.2.1.1.7 no-access            ... or refused with this agent error
//   @delete 1.3.6.1.4.1.32473.2.2.9999        drop what earlier lines defined there
// TYPE is one of the agent's pass types: integer, unsigned, gauge, counter,
// counter64, timeticks, ipaddress, objectid, string, octet, opaque.
// Without an @set rule an object is not writable ("not-writable"); an
// accepted SET needs a compatible type (else "wrong-type"), changes the
// value and is appended to the set log.
// Entries are kept sorted by OID (numerically, arc by arc) on load.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "snmp_wire.h"

namespace morva::test {

struct FixtureEntry {
  wire::Oid oid;
  std::string type;   // one of the pass type words
  std::string value;  // as written in the file
};

class FixtureData {
 public:
  // Throws std::runtime_error naming the line of a malformed entry.
  static FixtureData parse(std::string_view text);
  static FixtureData load(const std::string& path);

  const std::vector<FixtureEntry>& entries() const { return entries_; }
  const FixtureEntry* get(const wire::Oid& oid) const;
  // The first entry after `oid` that lies under `root` (or nullptr).
  const FixtureEntry* next(const wire::Oid& oid, const wire::Oid& root) const;
  // Applies a SET as the agent hands it over (`set_line` e.g. `integer 1414`,
  // `string "text"`, `octet "00 80"`). Answers "DONE" or the agent's error word.
  std::string set(const wire::Oid& oid, std::string_view set_line, FixtureEntry* applied = nullptr);

 private:
  struct SetRule {
    wire::Oid prefix;
    std::string result;
  };
  void put(FixtureEntry e);
  std::vector<FixtureEntry> entries_;  // sorted by OID, unique
  std::vector<SetRule> rules_;         // in file order; the last covering rule decides
};

// One fixture line for an entry ("OID TYPE VALUE").
std::string fixture_line(const FixtureEntry& e);

// Root of the generated benchmark table; columns 1 (integer index),
// 2 (string name), 3 (integer value), rows 1..n.
inline constexpr const char* kBigTableOid = "1.3.6.1.4.1.32473.99.1.1";
// Fixture text of a table with `rows` rows under `table_oid`.
std::string big_table_fixture(int rows, const std::string& table_oid = kBigTableOid);

}  // namespace morva::test
