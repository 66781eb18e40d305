#include "settings/gfx/gfx_ddd_accessors.h"

#include "settings/database/ddd_file.h"

namespace {
constexpr DddStatus kOk = 0;
constexpr DddStatus kBad = 1;

// The process-wide level is read under the database lock.
bool level_reached() { return DddGetProcessFormatLevel() >= kGfxAccessorLevel; }
}  // namespace

DddStatus DddGetKind5Code(const DddValue* value, WORD* code) {
  if (!value || !code || value->kind != 5) return kBad;
  *code = static_cast<const DddRange*>(value)->word;
  return kOk;
}

DddStatus DddGetChoiceFlagByte(const DddValue* value, BYTE* flag) {
  if (!value || !flag || (value->kind != 5 && value->kind != 6) || !level_reached()) return kBad;
  *flag = static_cast<const DddRange*>(value)->byte;
  return kOk;
}

// The media code is the first WORD after the paper's three record ids.
DddStatus GetPaperObjectMediaCode(const DddValue* value, WORD* code) {
  if (!value || !code) return kBad;
  if (value->kind != 10) {
    *code = 0;
    return kBad;
  }
  *code = static_cast<const DddPaper*>(value)->word1;
  return kOk;
}

// The extent is the BYTE and the fourth record of a level-0x200 paper.
DddStatus DddGetPaperExtent(const DddValue* value, BYTE* kind, const DddPair** first, const DddPair** second) {
  if (!value || !kind || !first || !second || value->kind != 10 || !level_reached()) return kBad;
  const auto* paper = static_cast<const DddPaper*>(value);
  *kind = paper->byte2;
  *first = &paper->fourth;
  *second = &paper->fourth2;
  return kOk;
}

DddStatus GetFontObjectDataSize(const DddValue* value, DWORD* size) {
  if (!value || !size) return kBad;
  if (value->kind != 11) {
    *size = 0;
    return kBad;
  }
  *size = static_cast<const DddDeviceFont*>(value)->data_size;
  return kOk;
}

DddStatus DddGetKind19Flag(const DddValue* value, BYTE* flag) {
  if (!value || !flag || value->kind != 19 || !level_reached()) return kBad;
  *flag = static_cast<const DddKind19*>(value)->byte;
  return kOk;
}
