// The paper page's layout preview: a picture control painted by the
// print-settings preview builder.
#include "paper_preview.h"
#include "property_sheets/picture_control.h"
#include "property_sheets/preview.h"
#include "settings/common/module_state.h"

namespace document_pages {

namespace {
constexpr PictureKindData kPreviewPicture{SelectPreviewImages, 0, nullptr, 0, FALSE, kPictureBackgroundParent, FALSE};
}  // namespace

void AttachPreviewPicture(HWND dialog, UINT control_id) {
  SubclassPictureControl(dialog, control_id, &kPreviewPicture, GetResourceModule());
}

void RedrawPreviewPicture(HWND dialog, UINT control_id) { InvalidatePicture(dialog, control_id); }

}  // namespace document_pages
