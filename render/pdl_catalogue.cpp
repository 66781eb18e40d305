#include "render/pdl_catalogue.h"

#include <array>

namespace morva::render {

namespace {

constexpr bool CatalogueInOrder() {
  for (std::size_t i = 0; i < std::size(kPdlCatalogue); ++i) {
    const PdlOperatorInfo& e = kPdlCatalogue[i];
    if (static_cast<std::size_t>(e.op) != i) return false;
    if (e.opcode != ((static_cast<WORD>(e.name[0]) << 8) | static_cast<WORD>(e.name[1]))) return false;
  }
  return true;
}
static_assert(CatalogueInOrder(), "catalogue rows follow PdlOp and opcodes follow names");

constexpr bool OpcodesUnique() {
  for (std::size_t i = 0; i < std::size(kPdlCatalogue); ++i)
    for (std::size_t j = i + 1; j < std::size(kPdlCatalogue); ++j)
      if (kPdlCatalogue[i].opcode == kPdlCatalogue[j].opcode) return false;
  return true;
}
static_assert(OpcodesUnique(), "every operator has an opcode of its own");

// Opcode to catalogue row; both opcode bytes are printable ASCII.
struct OpcodeIndex {
  std::array<signed char, 96 * 96> row{};
  constexpr OpcodeIndex() {
    for (auto& r : row) r = -1;
    for (std::size_t i = 0; i < std::size(kPdlCatalogue); ++i) {
      WORD c = kPdlCatalogue[i].opcode;
      row[((c >> 8) - 32) * 96 + ((c & 0xFF) - 32)] = static_cast<signed char>(i);
    }
  }
};
constexpr OpcodeIndex kIndex;

}  // namespace

const PdlOperatorInfo* PdlCatalogue() { return kPdlCatalogue; }
std::size_t PdlCatalogueSize() { return std::size(kPdlCatalogue); }

const PdlOperatorInfo* PdlFindOpcode(WORD opcode) {
  unsigned hi = opcode >> 8, lo = opcode & 0xFF;
  if (hi < 32 || hi >= 128 || lo < 32 || lo >= 128) return nullptr;
  signed char r = kIndex.row[(hi - 32) * 96 + (lo - 32)];
  return r < 0 ? nullptr : &kPdlCatalogue[static_cast<std::size_t>(r)];
}

}  // namespace morva::render
