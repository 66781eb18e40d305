// The background pictures of the fax cover-sheet preview: a sheet of paper
// with a shadow on the key colour. The preview writes the cover texts on
// the sheet's white area, which starts at (2, 2) and is 203 x 293 pixels.
#include "preview_art.h"

namespace morva::preview_art {
namespace {

constexpr int kInset = 2, kPageW = 203, kPageH = 293, kDrop = 3;

Canvas blank_sheet() {
  Canvas cv(kInset * 2 + kPageW + kDrop, kInset * 2 + kPageH + kDrop, kKey);
  cv.fill(kInset + kDrop, kInset + kDrop, kPageW + 2, kPageH + 2, kShadow);
  cv.fill(kInset - 1, kInset - 1, kPageW + 2, kPageH + 2, kDark);
  cv.fill(kInset, kInset, kPageW, kPageH, kWhite);
  return cv;
}

// A form of the user's own: the sheet shows a dashed frame where the
// form's fields go and a small form mark in the corner.
Canvas form_sheet() {
  Canvas cv = blank_sheet();
  const int x0 = kInset + 6, y0 = kInset + 6, x1 = kInset + kPageW - 7, y1 = kInset + kPageH - 7;
  for (int x = x0; x <= x1; x += 6) {
    cv.fill(x, y0, 3, 1, kLight);
    cv.fill(x, y1, 3, 1, kLight);
  }
  for (int y = y0; y <= y1; y += 6) {
    cv.fill(x0, y, 1, 3, kLight);
    cv.fill(x1, y, 1, 3, kLight);
  }
  cv.fill(x1 - 14, y1 - 18, 10, 13, kPaleBlue);
  cv.frame(x1 - 14, y1 - 18, 10, 13, kBlue);
  for (int i = 0; i < 3; ++i) cv.fill(x1 - 12, y1 - 15 + i * 3, 6, 1, kBlue);
  return cv;
}

// The built-in cover sheet: a header band above the sender and recipient
// fields, thin rules between the field rows, and a frame for the comment.
Canvas standard_sheet(std::uint8_t band) {
  Canvas cv = blank_sheet();
  cv.fill(kInset + 6, kInset + 6, kPageW - 12, 4, band);
  for (int i = 0; i < 6; ++i) cv.fill(kInset + 8, kInset + 60 + i * 14, kPageW - 16, 1, kLight);
  cv.frame(kInset + 8, kInset + 150, kPageW - 16, kPageH - 170, kLight);
  cv.fill(kInset + 6, kInset + kPageH - 10, kPageW - 12, 2, band);
  return cv;
}

}  // namespace

std::vector<Art> fax_cover_art() {
  return {Art{5060, form_sheet(), 8}, Art{5061, standard_sheet(kNavy), 8}, Art{5065, standard_sheet(kGreen), 8}};
}

}  // namespace morva::preview_art
