// The dialog and control tables: one constant ControlSet per dialog kind,
// the page templates, the page lists of the three sheets, the control
// kinds' default handlers and the records every dialog shares.
#include "control_handlers.h"
#include "property_sheets/device_pages.h"
#include "property_sheets/document_pages.h"
#include "property_sheets/fax_page_dialogs.h"
#include "property_sheets/fax_pages.h"
#include "property_sheets/sheet_controls.h"
#include "property_sheets/sheet_engine.h"
#include "property_sheets/version_dialog.h"
#include "win/msgbox.h"

namespace {

constexpr WORD kKeepEnabled = kFlagKeepEnabled;

// ---- the records every dialog shares -------------------------------------------

constexpr CommandItem kOkCommand{kCommandOk, nullptr};
constexpr CommandItem kCancelCommand{kCommandCancel, nullptr};
constexpr CommandItem kDefaultsCommand{kCommandDefaults, nullptr};
constexpr CommandItem kHelpCommand{kCommandHelp, nullptr};

constexpr ControlRecord kCommonRecords[] = {
    {1092, 0, nullptr, kControlCommand, nullptr, &kOkCommand, kNone, kNone, &kKeepEnabled},
    {1091, 0, nullptr, kControlCommand, nullptr, &kCancelCommand, kNone, kNone, &kKeepEnabled},
    {IDCANCEL, 0, nullptr, kControlCommand, nullptr, &kCancelCommand, kNone, kNone, &kKeepEnabled},
    {1090, 0, nullptr, kControlCommand, nullptr, &kDefaultsCommand, kNone, kNone, nullptr},
    {1341, 0, nullptr, kControlCommand, nullptr, &kHelpCommand, kNone, kNone, &kKeepEnabled},
};

struct KindHandler {
  INT kind;
  ControlHandler handler;
};
constexpr KindHandler kControlKindTable[] = {
    {kControlDropDown, DropDownListHandler},
    {kControlListBox, ListBoxHandler},
    {kControlEdit, NumericEditHandler},
    {kControlRadioGroup, RadioGroupHandler},
    {kControlCommand, CommandButtonHandler},
    {kControlCheckBox, CheckBoxHandler},
    {kControlScrollBar, ScrollBarHandler},
    {kControlUpDown, SpinControlHandler},
    {kControlStatic, StaticTextHandler},
    {kControlTrackbar, TrackbarHandler},
    {kControlTitle, TitleHandler},
    {kControlChoiceIcon, ChoiceIconHandler},
    {kControlAvailability, AvailabilityHandler},
    {0, nullptr},
};

constexpr INT kNoHelp[] = {0, 0};

// ---- settings of the controls -------------------------------------------------------

constexpr SettingRef kCollate[] = {Bound(18)};


// ---- child dialogs -------------------------------------------------------------------

// Kind 4 (dialog 869 of page 13): the collation of copies.
constexpr ControlRecord kKind4Records[] = {
    {8691, 1, kCollate, kControlCheckBox, nullptr, nullptr, kNone, kNone, nullptr},
};
constexpr INT kKind4Help[] = {8691, 3081, 0, 0};
constexpr ControlSet kKind4{kKind4Records, 1, 3080, kKind4Help, nullptr, 0};

// Child dialogs whose controls come with their own pages: their sets hold
// the dialog record only for now.
constexpr ControlRecord kDialogOnly[] = {
    {kDialogRecordId, 0, nullptr, 0, nullptr, nullptr, kNone, kNone, nullptr},
};
#define MORVA_EMPTY_SET(name, help) constexpr ControlSet name{kDialogOnly, 1, help, kNoHelp, nullptr, 0}
constexpr const ControlSet& kKind8 = kVersionDialogControls;
constexpr const ControlSet& kKind11 = kImageAdjustControls;
constexpr const ControlSet& kKind14 = kImageOptionControls;
MORVA_EMPTY_SET(kKind15, 1430);
constexpr const ControlSet& kKind18 = kStampDialogControls;
constexpr const ControlSet& kKind19 = kStampDialogControls;
constexpr const ControlSet& kKind22 = kJobIdentifierControls;
constexpr const ControlSet& kKind23 = kFontSubstitutionControls;
constexpr const ControlSet& kKind24 = kUserPaperControls;
constexpr const ControlSet& kKind25 = kItemPlacementControls;
constexpr const ControlSet& kKind26 = kColourBalanceControls;
constexpr const ControlSet& kKind27 = kColourProfileControls;
constexpr const ControlSet& kKind28 = kMarginControls;
constexpr const ControlSet& kKind29 = kPatternControls;
constexpr const ControlSet& kKind30 = kCoverSheetSet;
constexpr const ControlSet& kKind31 = kRecipientSet;
constexpr const ControlSet& kKind32 = kSenderSet;
constexpr const ControlSet& kKind33 = kFormListSet;
MORVA_EMPTY_SET(kKind39, 95050);
constexpr const ControlSet& kKind42 = kJobNameControls;
constexpr const ControlSet& kKind43 = kJobPairControls;
constexpr const ControlSet& kKind44 = kJobNumberControls;
constexpr const ControlSet& kKind45 = kLineDialSet;
constexpr const ControlSet& kKind49 = kRecipientReducedSet;
constexpr const ControlSet& kKind55 = kCustomSizeControls;
constexpr const ControlSet& kKind56 = kSizeUnitControls;
constexpr const ControlSet& kKind57 = kSenderNoticeSet;
constexpr const ControlSet& kKind58 = kToolWaitSet;
constexpr const ControlSet& kKind59 = kConfirmNumberSet;
constexpr const ControlSet& kKind60 = kAddressBookSet;
#undef MORVA_EMPTY_SET
constexpr const ControlSet& kKind47 = kAccountDialogControls;

// ---- pages ---------------------------------------------------------------------------

// Kind 1 (4701): the paper page.
constexpr const ControlSet& kKind1 = kPaperPageControls;

// Kind 3 (505, variant 537): the colour page.
constexpr const ControlSet& kKind3 = kColourPageControls;

// Kind 13 (504): the detail settings page.
constexpr const ControlSet& kKind13 = kDetailPageControls;

// Kind 17 (524): the stamps page.
constexpr const ControlSet& kKind17 = kStampPageControls;

// Kind 5 (4702) and its variant 46 (4703): device settings.
constexpr const ControlSet& kKind5 = kDeviceSettingsPageControls;
constexpr const ControlSet& kKind46 = kUserSettingsPageControls;

// Kind 6 (503): installable options (options_page.cpp).
constexpr const ControlSet& kKind6 = kOptionsPageControls;

// Kind 0 (4000): the fax page; its controls come with the fax page.
constexpr const ControlSet& kKind0 = kFaxPageSet;

// ---- descriptors ---------------------------------------------------------------------

#define MORVA_CHILD(kind) constexpr DialogDescriptor kChild##kind{kind, &kKind##kind, nullptr}
MORVA_CHILD(4);
MORVA_CHILD(8);
MORVA_CHILD(11);
MORVA_CHILD(14);
MORVA_CHILD(15);
MORVA_CHILD(18);
MORVA_CHILD(19);
MORVA_CHILD(22);
MORVA_CHILD(23);
MORVA_CHILD(24);
MORVA_CHILD(25);
MORVA_CHILD(26);
MORVA_CHILD(27);
MORVA_CHILD(28);
MORVA_CHILD(29);
MORVA_CHILD(30);
MORVA_CHILD(31);
MORVA_CHILD(32);
MORVA_CHILD(33);
MORVA_CHILD(39);
MORVA_CHILD(42);
MORVA_CHILD(43);
MORVA_CHILD(44);
MORVA_CHILD(45);
MORVA_CHILD(47);
MORVA_CHILD(49);
MORVA_CHILD(55);
MORVA_CHILD(56);
MORVA_CHILD(57);
MORVA_CHILD(58);
MORVA_CHILD(59);
MORVA_CHILD(60);
#undef MORVA_CHILD

constexpr const DialogDescriptor* kFaxChildren[] = {&kChild31, &kChild49, &kChild30, &kChild33, &kChild32,
                                                    &kChild57, &kChild58, &kChild59, &kChild60};
constexpr const DialogDescriptor* kPage1Children[] = {&kChild15, &kChild14, &kChild39, &kChild28, &kChild29,
                                                      &kChild22, &kChild42, &kChild44, &kChild43, &kChild55};
constexpr const DialogDescriptor* kPage3Children[] = {&kChild11, &kChild26, &kChild27};
constexpr const DialogDescriptor* kPage17Children[] = {&kChild18, &kChild19, &kChild25};
constexpr const DialogDescriptor* kPage13Children[] = {&kChild4, &kChild8, &kChild56};
constexpr const DialogDescriptor* kPage5Children[] = {&kChild23, &kChild24, &kChild45};
constexpr const DialogDescriptor* kPage46Children[] = {&kChild47, &kChild23, &kChild24, &kChild45};

constexpr PageTemplate kFaxTemplate{4000, FaxPageProc, 0, -3, 0, kFaxChildren, 9};
constexpr PageTemplate kPage1Template{4701, EngineDialogProc<1, kDialogTypePage>, 1, -3, 0, kPage1Children, 10};
constexpr PageTemplate kPage3Template{505, EngineDialogProc<3, kDialogTypePage>, 3, -3, 0, kPage3Children, 3};
constexpr PageTemplate kPage3Variant{537, EngineDialogProc<3, kDialogTypePage>, 3, -3, 0, nullptr, 0};
constexpr PageTemplate kPage17Template{524, StampPageProc, 17, -3, 36894, kPage17Children, 3};
constexpr PageTemplate kPage13Template{504, EngineDialogProc<13, kDialogTypePage>, 13, -3, 0, kPage13Children, 3};
constexpr PageTemplate kPage5Template{4702, EngineDialogProc<5, kDialogTypePage>, 5, -3, 0, kPage5Children, 3};
constexpr PageTemplate kPage46Template{4703, EngineDialogProc<46, kDialogTypePage>, 46, -3, 0, kPage46Children, 4};
constexpr PageTemplate kPage6Template{503, EngineDialogProc<6, kDialogTypePage>, 6, 4623, 0, nullptr, 0};

constexpr DialogDescriptor kFaxPage{0, &kKind0, &kFaxTemplate};
constexpr DialogDescriptor kPage1{1, &kKind1, &kPage1Template};
constexpr DialogDescriptor kPage3{3, &kKind3, &kPage3Template};
constexpr DialogDescriptor kPage3Small{3, &kColourPageSmallControls, &kPage3Variant};
constexpr DialogDescriptor kPage17{17, &kKind17, &kPage17Template};
constexpr DialogDescriptor kPage13{13, &kKind13, &kPage13Template};
constexpr DialogDescriptor kPage5{5, &kKind5, &kPage5Template};
constexpr DialogDescriptor kPage46{46, &kKind46, &kPage46Template};
constexpr DialogDescriptor kPage6{6, &kKind6, &kPage6Template};

constexpr const DialogDescriptor* kDevicePages[] = {&kPage5, &kPage6};
constexpr const DialogDescriptor* kDocumentPages[] = {&kPage1, &kPage3, &kPage17, &kPage13};
constexpr const DialogDescriptor* kFaxPages[] = {&kFaxPage};

// Every descriptor by kind, for lookups outside a sheet.
constexpr const DialogDescriptor* kAllDescriptors[] = {
    &kFaxPage, &kPage1,   &kPage3,   &kPage17,  &kPage13,  &kPage5,   &kPage46,  &kPage6,   &kChild4,
    &kChild8,  &kChild11, &kChild14, &kChild15, &kChild18, &kChild19, &kChild22, &kChild23, &kChild24,
    &kChild25, &kChild26, &kChild27, &kChild28, &kChild29, &kChild30, &kChild31, &kChild32, &kChild33,
    &kChild39, &kChild42, &kChild43, &kChild44, &kChild45, &kChild47, &kChild49, &kChild55, &kChild56,
    &kChild57, &kChild58, &kChild59, &kChild60};

}  // namespace

const DialogDescriptor* PageVariant537() { return &kPage3Small; }
const DialogDescriptor* PageVariant46() { return &kPage46; }
const DialogDescriptor* InsertedFaxPage() { return &kFaxPage; }

const DialogDescriptor* const* SheetPageList(INT sheet_type, INT* count) {
  switch (sheet_type) {
    case kSheetTypeDevice: *count = 2; return kDevicePages;
    case kSheetTypeDocument: *count = 4; return kDocumentPages;
    case kSheetTypeFax: *count = 1; return kFaxPages;
    default: *count = 0; return nullptr;
  }
}

const DialogDescriptor* FindDialogDescriptor(INT kind) {
  for (const DialogDescriptor* d : kAllDescriptors)
    if (d->kind == kind) return d;
  return nullptr;
}

ControlHandler FindControlKindHandler(INT kind) {
  for (const KindHandler* k = kControlKindTable; k->handler; ++k)
    if (k->kind == kind) return k->handler;
  return nullptr;
}

const ControlRecord* CommonControlRecords(INT* count) {
  *count = static_cast<INT>(sizeof kCommonRecords / sizeof kCommonRecords[0]);
  return kCommonRecords;
}
