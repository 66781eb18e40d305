// Cover-sheet items: the layout tables (narrow and wide, two variants) and
// the laying out of each row's text.
//
// The item block is sized from the tables themselves, so that every item a
// layout asks for has room: the fullest wide layout needs 42 items, more
// than a fixed block of 40 holds.
#include "fax/fax_cover_sheet.h"

#include <cstring>
#include <span>

#include "settings/common/common_utils.h"
#include "settings/common/module_state.h"
#include "win/win.h"
#include "fax_text.h"

namespace morva::fax {
namespace {

using fax_text::text_of;


constexpr DWORD kWideLayoutCapability = 0xFFFF0040;
constexpr INT kLabelChars = 49;
constexpr size_t kItemTextChars = 128;

enum RowKind : SHORT {
  kTitle = 0, kLabel = 1, kName = 2, kChoiceA = 3, kCompany = 4, kChoiceB = 5, kSender6 = 6,
  kNumberLabel = 7, kNumber = 8, kSender9 = 9, kSubject = 10, kComment = 11,
};

// A row of the narrow layout with the string of each variant.
struct Row {
  SHORT kind, string0, string1, align_h, size, x, y, bytes, lines, step;
  bool variant0_only;
};
constexpr SHORT kNone = -3;

constexpr Row kTitleRows0[] = {{kLabel, 1774, 1774, 1, 100, 1750, 518, 0, 1, 0, false},
                           {kTitle, kNone, kNone, 1, 100, 1397, 518, 0, 1, 0, false}};
constexpr Row kTitleRows1[] = {{kLabel, 1775, 1775, 1, 100, 1750, 518, 0, 1, 0, false},
                           {kTitle, kNone, kNone, 1, 100, 1715, 518, 0, 1, 0, false}};
constexpr Row kRecipientRows[] = {
    {kLabel, 1776, 1777, 0, 110, 350, 680, 0, 1, 0, false},
    {kName, kNone, kNone, 0, 145, 680, 669, 40, 1, 0, false},
    {kChoiceA, kNone, kNone, 1, 120, 1750, 676, 0, 1, 0, true},
    {kCompany, kNone, kNone, 0, 90, 680, 762, 40, 2, 40, false},
    {kChoiceB, kNone, kNone, 1, 90, 1750, 762, 0, 1, 0, true},
    {kNumberLabel, 1778, 1779, 0, 90, 350, 870, 0, 1, 0, false},
    {kNumber, kNone, kNone, 0, 120, 680, 864, 100, 1, 0, false},
};
constexpr Row kSenderRows[] = {
    {kLabel, 1780, 1781, 0, 110, 350, 1021, 0, 1, 0, false},
    {kName, kNone, kNone, 0, 145, 680, 1010, 40, 1, 0, false},
    {kCompany, kNone, kNone, 0, 90, 680, 1101, 40, 5, 40, false},
    {kLabel, 1782, 1783, 0, 90, 350, 1335, 0, 1, 0, false},
    {kSender6, kNone, kNone, 0, 140, 680, 1323, 30, 1, 0, false},
    {kLabel, 1784, 1785, 0, 90, 350, 1418, 0, 1, 0, false},
    {kNumber, kNone, kNone, 0, 140, 680, 1406, 30, 1, 0, false},
};
// The wide layout's two further sender rows (x already wide).
constexpr Row kSenderWideRows[] = {
    {kLabel, 1816, 1817, 0, 90, 200, 1501, 0, 1, 0, false},
    {kSender9, kNone, kNone, 0, 120, 530, 1495, 128, 1, 0, false},
};
constexpr Row kCommentRows[] = {
    {kLabel, 1786, 1787, 0, 100, 350, 1650, 0, 1, 0, false},
    {kSubject, kNone, kNone, 0, 130, 680, 1640, 40, 1, 0, false},
    {kLabel, 1788, 1789, 0, 90, 350, 1744, 0, 1, 0, false},
    {kComment, kNone, kNone, 0, 110, 680, 1744, 40, 16, 49, false},
};

constexpr INT lines_of(std::span<const Row> rows) {
  INT n = 0;
  for (const Row& r : rows) n += r.lines;
  return n;
}

SHORT widen_x(SHORT x) {
  switch (x) {
    case 350: return 200;
    case 680: return 530;
    case 1750: return 1900;
    default: return x;
  }
}

std::string to_ansi(const std::u16string& text, bool* ok) {
  std::string out;
  *ok = fax_text::to_ansi(text, &out);
  if (!*ok) out.clear();
  return out;
}

std::u16string to_wide(const std::string& text) {
  if (text.empty()) return {};
  const int chars = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0);
  if (chars <= 0) return {};
  std::u16string out(static_cast<size_t>(chars), u'\0');
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), out.data(), chars);
  return out;
}

std::u16string load_label(HMODULE resources, SHORT id) {
  WCHAR buffer[kLabelChars + 1] = {};
  const int n = resources ? LoadStringW(resources, static_cast<UINT>(id), buffer, kLabelChars + 1) : 0;
  return std::u16string(buffer, static_cast<size_t>(n > 0 ? n : 0));
}

SHORT shrink(double limit_mm, size_t n) {
  return static_cast<SHORT>(static_cast<int>(limit_mm * 2 * 72 / (2.54 * static_cast<double>(n))));
}

// Everything a row needs to find its text.
struct Sources {
  const CoverSheetDestination* destination;
  const CoverSheetRecord* record;
  const FaxLineSettings* line;
  HMODULE resources;
  INT variant;  // 0 or 1
};

std::u16string row_text(const Row& row, bool recipient, const Sources& s) {
  const FaxDestination& d = s.destination->Destination;
  const CoverSheetRecord& r = *s.record;
  const bool one_job = r.OneJob == 1;
  switch (row.kind) {
    case kLabel: return load_label(s.resources, s.variant == 0 ? row.string0 : row.string1);
    case kTitle: return text_of(r.Title);
    case kSubject: return text_of(s.destination->Subject);
    case kComment: return text_of(s.destination->Comment);
    default: break;
  }
  if (!recipient) {
    switch (row.kind) {
      case kName: return text_of(r.Sender1820);
      case kCompany: return text_of(r.Sender1821);
      case kSender6: return text_of(r.Sender1822);
      case kNumber: return text_of(r.Sender1823);
      case kSender9: return text_of(r.Sender1876);
      default: return {};
    }
  }
  switch (row.kind) {
    case kName: return one_job ? text_of(r.Recipient) : text_of(d.Name);
    case kChoiceA: {
      if (one_job) return {};
      static constexpr SHORT ids[] = {kNone, 1770, 1771, 1769};
      return r.ChoiceA >= 1 && r.ChoiceA <= 3 ? load_label(s.resources, ids[r.ChoiceA]) : std::u16string();
    }
    case kChoiceB: {
      if (one_job) return {};
      static constexpr SHORT ids[] = {kNone, 1772, 1773, 1768};
      return r.ChoiceB >= 1 && r.ChoiceB <= 3 ? load_label(s.resources, ids[r.ChoiceB]) : std::u16string();
    }
    case kCompany: return one_job ? std::u16string() : text_of(d.Company);
    case kNumberLabel:
      return one_job || d.Kind == kFaxKindSpeedDial ? std::u16string()
                                                     : load_label(s.resources, s.variant == 0 ? row.string0 : row.string1);
    case kNumber: {
      if (one_job || d.Kind == kFaxKindSpeedDial) return {};
      std::u16string prefix;
      if (r.LinePrefix == 1 && s.line) {
        if (d.Line == 2) prefix = text_of(s.line->OutsideLinePrefix);
        else if (d.Line == 1) prefix = text_of(s.line->ExtensionPrefix);
      }
      return prefix + text_of(d.Number);
    }
    default: return {};
  }
}

}  // namespace

const INT kCoverSheetItemCapacity = lines_of(kTitleRows0) + lines_of(kRecipientRows) + lines_of(kSenderRows) +
                                    lines_of(kSenderWideRows) + lines_of(kCommentRows);

bool SplitTextLines(const std::u16string& text, INT bytesPerLine, INT lines, std::vector<std::u16string>* out) {
  out->clear();
  bool ok = false;
  const std::string ansi = to_ansi(text, &ok);
  if (!ok || bytesPerLine <= 0 || lines <= 0) return ok;
  const size_t limit = std::min<size_t>(static_cast<size_t>(bytesPerLine), 127);
  std::string current;
  size_t i = 0;
  while (i < ansi.size() && static_cast<INT>(out->size()) < lines) {
    if (ansi[i] == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') {
      out->push_back(to_wide(current));
      current.clear();
      i += 2;
      continue;
    }
    const size_t width =
        IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size() ? 2 : 1;
    if (current.size() + width > limit) {
      out->push_back(to_wide(current));
      current.clear();
      continue;
    }
    current.append(ansi, i, width);
    i += width;
  }
  if (!current.empty() && static_cast<INT>(out->size()) < lines) out->push_back(to_wide(current));
  return true;
}

void AddCoverSheetText(const CoverSheetLayoutRow& row, BOOL recipientGroup, const std::u16string& source,
                       CoverSheetItem* items, INT capacity, INT* count) {
  if (source.empty() || !items || !count) return;
  std::u16string text = source;
  SHORT size = row.Size;
  bool ok = false;
  const size_t n = to_ansi(source, &ok).size();
  if (!ok) return;
  if (row.Kind == kNumber && recipientGroup) {
    if (row.BytesPerLine <= 100 && text.size() > 100) text = text.substr(0, 100) + u"...";
    if (n >= (row.BytesPerLine > 100 ? 52u : 51u)) size = shrink(107, n);
  } else if (row.Kind == kSender9 && !recipientGroup && n >= 66) {
    size = shrink(137, n);
  }
  std::vector<std::u16string> lines;
  if (row.Lines < 2) lines.push_back(text);
  else if (!SplitTextLines(text, row.BytesPerLine, row.Lines, &lines)) return;
  INT offset = 0;
  for (const std::u16string& line : lines) {
    if (*count >= capacity) return;
    CoverSheetItem& item = items[*count];
    const double length = static_cast<double>(to_ansi(line, &ok).size());
    INT x = row.X;
    if (row.AlignH == 1) x -= static_cast<INT>(row.Size * 0.1 * (25.4 / 72) * (length * 0.5) * 10);
    INT y = row.Y + offset;
    if (row.AlignV == 2) y -= static_cast<INT>(row.Size * 0.1 * 0.86 * (25.4 / 72) * 10);
    item.X = static_cast<SHORT>(x);
    item.Y = static_cast<SHORT>(y);
    item.Size = size;
    item.Style = row.Style;
    std::memset(item.Text, 0, sizeof(item.Text));
    std::memcpy(item.Text, line.data(), std::min(line.size(), kItemTextChars) * sizeof(WCHAR));
    ++*count;
    offset += row.LineStep;
  }
}

INT BuildCoverSheetItems(const CoverSheetDestination* destination, const CoverSheetRecord* record,
                         const FaxLineSettings* line, CoverSheetItem** items, INT* count, INT layout,
                         const DeviceCapabilityBits* capabilities, HMODULE resources) {
  if (!destination || !record || !items || !count) return 0;
  *items = nullptr;
  *count = 0;
  auto* block = static_cast<CoverSheetItem*>(
      GlobalAlloc(GPTR, static_cast<SIZE_T>(kCoverSheetItemCapacity) * sizeof(CoverSheetItem)));
  if (!block) return 0;
  const bool wide = capabilities && TestCapabilityBit(capabilities, kWideLayoutCapability) && layout != 1;
  const Sources sources{destination, record, line, resources ? resources : GetResourceModule(),
                        record->Variant == 0 ? 0 : 1};
  INT used = 0;
  auto lay_out = [&](std::span<const Row> rows, bool recipient, bool widen) {
    for (const Row& r : rows) {
      if (r.variant0_only && sources.variant != 0) continue;
      CoverSheetLayoutRow row{r.kind, sources.variant == 0 ? r.string0 : r.string1, 1, r.align_h, 0,
                              r.size,  widen ? widen_x(r.x) : r.x,               r.y, r.bytes,   r.lines,
                              r.step};
      if (widen && recipient && r.kind == kNumber) row.BytesPerLine = 128;
      AddCoverSheetText(row, recipient, row_text(r, recipient, sources), block, kCoverSheetItemCapacity, &used);
    }
  };
  lay_out(sources.variant == 0 ? std::span<const Row>(kTitleRows0) : std::span<const Row>(kTitleRows1), false, false);
  lay_out(kRecipientRows, true, wide);
  lay_out(kSenderRows, false, wide);
  if (wide) lay_out(kSenderWideRows, false, false);
  lay_out(kCommentRows, false, wide);
  *items = block;
  *count = used;
  return 1;
}

}  // namespace morva::fax
