// The content of a fax cover sheet laid out once, by table, as positioned
// text items: labels from the resource module, the recipient of the first
// destination, the sender fields, subject and comment. The preview of the
// cover-sheet dialog paints the items and the graphics driver draws them
// on the cover page; nothing is drawn here.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fax/fax_destination.h"
#include "fax/fax_job_attr.h"
#include "win/types.h"

struct DeviceCapabilityBits;

namespace morva::fax {

// One positioned text: coordinates in 0.1 mm from the page's top left,
// font size in 0.1 point.
struct CoverSheetItem {
  SHORT X;
  SHORT Y;
  SHORT Size;
  SHORT Style;
  WCHAR Text[129];
};
static_assert(sizeof(CoverSheetItem) == 266);

// The caller's destination: the first destination of the list (or zeros),
// the subject and the comment.
struct CoverSheetDestination {
  FaxDestination Destination;
  WCHAR Subject[41];
  WCHAR Comment[671];
};
static_assert(offsetof(CoverSheetDestination, Subject) == 820);
static_assert(offsetof(CoverSheetDestination, Comment) == 902);

// What the cover-sheet dialog fills in.
struct CoverSheetRecord {
  WORD Variant;          // 1804: layout variant
  WCHAR Title[5];        // 1805
  WORD OneJob;           // 379: one job for all destinations (0 with fewer than two)
  WCHAR Recipient[29];   // 1806: recipient text of a job for several destinations
  WORD ChoiceA;          // 1807
  WORD ChoiceB;          // 1808
  WORD LinePrefix;       // 1809: put the line prefix before the number
  WCHAR Sender1820[41];
  WCHAR Sender1821[209];
  WCHAR Sender1822[31];
  WCHAR Sender1823[31];
  WCHAR Sender1876[129];
};
static_assert(offsetof(CoverSheetRecord, Title) == 2);
static_assert(offsetof(CoverSheetRecord, OneJob) == 12);
static_assert(offsetof(CoverSheetRecord, Recipient) == 14);
static_assert(offsetof(CoverSheetRecord, ChoiceA) == 72);
static_assert(offsetof(CoverSheetRecord, LinePrefix) == 76);
static_assert(offsetof(CoverSheetRecord, Sender1820) == 78);
static_assert(offsetof(CoverSheetRecord, Sender1821) == 160);
static_assert(offsetof(CoverSheetRecord, Sender1822) == 578);
static_assert(offsetof(CoverSheetRecord, Sender1823) == 640);
static_assert(offsetof(CoverSheetRecord, Sender1876) == 702);

// One row of a layout table.
struct CoverSheetLayoutRow {
  SHORT Kind;
  SHORT StringId;
  SHORT Style;
  SHORT AlignH;  // 1: the text ends at x
  SHORT AlignV;  // 2: y is the baseline
  SHORT Size;
  SHORT X;
  SHORT Y;
  SHORT BytesPerLine;  // 0: one line, no wrapping
  SHORT Lines;
  SHORT LineStep;
};

// Room of an item block: every item the fullest layout can ask for (the
// wide layout with every field filled and a whole comment needs 42).
extern const INT kCoverSheetItemCapacity;

// Allocates a zeroed GlobalAlloc'ed block of kCoverSheetItemCapacity items
// (freed by the caller with GlobalFree), lays out the cover sheet into it
// and gives the number used. The wide layout is used when the device has
// capability 0xFFFF0040 and `layout` is not 1. 1 done; 0 when the block
// cannot be allocated or an argument is missing.
INT BuildCoverSheetItems(const CoverSheetDestination* destination, const CoverSheetRecord* record,
                         const FaxLineSettings* line, CoverSheetItem** items, INT* count, INT layout,
                         const DeviceCapabilityBits* capabilities, HMODULE resources = nullptr);

// Lays out one text by one row into items[*count...]; the count grows by
// the items added, never beyond `capacity`.
void AddCoverSheetText(const CoverSheetLayoutRow& row, BOOL recipientGroup, const std::u16string& text,
                       CoverSheetItem* items, INT capacity, INT* count);
// Splits a text (by its ANSI form) into at most `lines` lines of at most
// `bytesPerLine` bytes: CR LF ends a line, a double-byte character is never
// split. False when the text cannot be converted.
bool SplitTextLines(const std::u16string& text, INT bytesPerLine, INT lines, std::vector<std::u16string>* out);

}  // namespace morva::fax
