// The settings snapshot of the print-settings preview.
#include "property_sheets/preview.h"
#include "property_sheets/sheet_records.h"
#include "settings/common/common_utils.h"
#include "settings/constraints/conflict_check.h"
#include "settings/constraints/conflict_report.h"
#include "settings/items/item_access.h"

namespace {

constexpr DWORD kOptionPrintSet = 0xFFFF002D;
constexpr DWORD kOptionMask = 0x08000000;

// A setting's value read as it is; 4 when it cannot be read.
INT plain_read(const SheetContext* c, WORD ddmid, LONG* value) {
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, c->current.devmode, c->current.printer_data, &type, &size, &v) != 0) return 4;
  *value = GetTypedValue(type, &v);
  return 0;
}

// The availability check of ReadGovernedItem, with the text or number read.
INT governed_read(const SheetContext* context, WORD ddmid, LONG* number, std::u16string* text) {
  if (!context || !context->state) return 2;
  ConflictReport* report = NewConflictReport();
  if (!report) return 2;
  const INT checked = CheckSettingChange(kCheckModeView, context->state->printer, context->state->database,
                                         context->current.devmode, context->current.printer_data, nullptr, ddmid, 0,
                                         nullptr, report, nullptr, 0);
  const WORD kind = report->kind;
  FreeConflictReport(report);
  if (checked != 0) return 4;
  if (kind == 1 || kind == 6 || kind == 7) return 1;
  WORD type = 0;
  DWORD size = 0;
  ItemValue v{};
  if (GetItemValue(ddmid, context->current.devmode, context->current.printer_data, &type, &size, &v) != 0) return 4;
  if (text) *text = type == 6 ? ItemText(v, size) : std::u16string();
  if (number) *number = GetTypedValue(type, &v);
  return 0;
}

}  // namespace

INT ReadGovernedItem(const SheetContext* context, WORD ddmid, LONG* value) {
  LONG read = 0;
  const INT result = governed_read(context, ddmid, &read, nullptr);
  if (result == 0 && value) *value = read;
  return result;
}

INT ReadPreviewSettings(const SheetContext* context, PreviewSettings* out) {
  if (!context || !context->state || !out) return 2;
  *out = PreviewSettings{};
  PreviewSettings& s = *out;
  INT status = 0;
  // Governed reads: 0 and 1 go on, anything else ends the snapshot.
  auto governed = [&](WORD ddmid, LONG* field) {
    if (status) return;
    const INT r = ReadGovernedItem(context, ddmid, field);
    if (r != 0 && r != 1) status = r;
  };
  auto plain = [&](WORD ddmid, LONG* field) {
    if (!status) status = plain_read(context, ddmid, field);
  };
  governed(294, &s.documentTurn);
  governed(7, &s.orientation);
  LONG collate = 0;
  governed(18, &collate);
  s.flag18 = collate == 1;
  governed(16, &s.duplex);
  plain(270, &s.mode270);
  governed(1313, &s.option1313);
  governed(295, &s.pagesPerSheet);
  // A model without pages per sheet leaves the setting's place 0: one page.
  if (s.pagesPerSheet == 0) s.pagesPerSheet = 1;
  governed(264, &s.order264);
  governed(1337, &s.value1337);
  plain(321, &s.layoutMode);
  plain(296, &s.layoutCode);
  governed(1285, &s.option1285);
  if (!status) {
    std::u16string text;
    const INT r = governed_read(context, 297, nullptr, &text);
    if (r == 0) s.hasText297 = !text.empty();
    else if (r != 1) status = r;
  }
  governed(320, &s.position320);
  governed(341, &s.position341);
  plain(445, &s.count445);
  governed(8, &s.paperSize);
  governed(322, &s.flag322);
  governed(446, &s.option446);
  s.sheetOrientation = DeriveSheetOrientation(s.orientation, s.pagesPerSheet);
  governed(437, &s.side437);
  governed(441, &s.kind441);
  DddHandle* database = context->state->database;
  if (HasDeviceCapability(database, kOptionPrintSet)) {
    LONG v465 = 0;
    governed(465, &v465);
    s.option56 = v465 == 2;
  } else {
    governed(1328, &s.option56);
  }
  governed(332, &s.value332);
  governed(458, &s.value458);
  governed(339, &s.value339);
  governed(1330, &s.value1330);
  governed(448, &s.kind448);
  governed(449, &s.value449);
  governed(450, &s.value450);
  governed(404, &s.value404);
  governed(1340, &s.value1340);
  governed(405, &s.value405);
  governed(406, &s.value406);
  for (WORD id = 1296; id <= 1301 && !status && s.firstOf1296 == 0; ++id) governed(id, &s.firstOf1296);
  if (status) return status;
  s.colourCapable = IsDeviceColorCapable(database, context->current.devmode);
  s.optionMask08000000 = HasDeviceCapability(database, kOptionMask);
  return 0;
}
