// morva-snmp-fixture <data-file> <root-oid> [<set-log>]
//
// The pass_persist helper that SnmpAgent registers with snmpd, once per
// served subtree: it answers the agent's get/getnext/set commands on stdin
// from a fixture file (see fixture_data.h) and writes accepted SETs, in
// fixture format, to the set log so tests can see what reached the device.
#include <cstdio>
#include <iostream>
#include <string>

#include "fixture_data.h"

namespace {

using morva::test::FixtureData;
using morva::test::FixtureEntry;
namespace wire = morva::test::wire;

void answer(const FixtureEntry* e) {
  if (!e)
    std::cout << "NONE\n";
  else
    std::cout << "." << wire::oid_text(e->oid) << "\n" << e->type << "\n" << e->value << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: morva-snmp-fixture <data-file> <root-oid> [<set-log>]\n";
    return 2;
  }
  FixtureData data;
  wire::Oid root;
  try {
    data = FixtureData::load(argv[1]);
    root = wire::oid(argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "morva-snmp-fixture: " << e.what() << "\n";
    return 2;
  }
  const std::string set_log = argc > 3 ? argv[3] : "";
  std::string cmd;
  while (std::getline(std::cin, cmd)) {
    if (!cmd.empty() && cmd.back() == '\r') cmd.pop_back();
    if (cmd == "PING") {
      std::cout << "PONG\n";
    } else if (cmd == "get" || cmd == "getnext") {
      std::string oid_line;
      if (!std::getline(std::cin, oid_line)) break;
      auto oid = wire::parse_oid(oid_line);
      const FixtureEntry* e = nullptr;
      if (oid && cmd == "get") {
        e = data.get(*oid);
        if (e && !(e->oid.size() >= root.size() && std::equal(root.begin(), root.end(), e->oid.begin()))) e = nullptr;
      } else if (oid) {
        e = data.next(*oid, root);
      }
      answer(e);
    } else if (cmd == "set") {
      std::string oid_line, value_line;
      if (!std::getline(std::cin, oid_line) || !std::getline(std::cin, value_line)) break;
      auto oid = wire::parse_oid(oid_line);
      FixtureEntry applied;
      std::string result = oid ? data.set(*oid, value_line, &applied) : "not-writable";
      if (result == "DONE" && !set_log.empty()) {
        if (FILE* f = std::fopen(set_log.c_str(), "a")) {
          std::fprintf(f, "%s\n", morva::test::fixture_line(applied).c_str());
          std::fclose(f);
        }
      }
      std::cout << result << "\n";
    } else if (cmd.empty()) {
      continue;
    } else {
      break;
    }
    std::cout.flush();
  }
  return 0;
}
