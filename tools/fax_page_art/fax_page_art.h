// The fax page's own pictures: the 16 x 16 icons of the destination list's
// rows and the three pictures beside the page's groups of controls.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "preview_art.h"

namespace morva::fax_page_art {

// Icon id and picture: 4521 a fax number (a fax machine), 4522 a
// speed-dial number (a keypad), 4523 an IP-fax address (a globe), 4524 a
// destination from the device's address book (a book).
std::vector<std::pair<unsigned, preview_art::Canvas>> row_icons();

// Bitmap id and picture, each 20 x 20 on the key colour: 4026 the address
// book the list came from, 4027 the cover sheet, 4028 the sending time (a
// clock).
std::vector<std::pair<unsigned, preview_art::Canvas>> page_pictures();

// Writes i<id>.ico and b<id>.bmp for all of them and `json_name` listing
// them into `directory`. Throws std::runtime_error when a file cannot be
// written.
void write_fax_page_art(const std::string& directory, const std::string& json_name);

}  // namespace morva::fax_page_art
