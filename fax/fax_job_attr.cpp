// The direct-fax job-attribute line of one destination.
#include "fax/fax_job_attr.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "pi/scramble.h"
#include "settings/common/common_utils.h"
#include "win/win.h"
#include "fax_text.h"

namespace morva::fax {
namespace {

using fax_text::to_ansi;


constexpr size_t kItemsCapacity = 508;
constexpr LONG kLineLimit = 180;
constexpr LONG kSubAddressLimit = 47;
constexpr LONG kNameLimit = 76;
constexpr size_t kNameChars = 18;

// A field's text up to its terminator, never past the field.
template <size_t N>
std::u16string field(const WCHAR (&text)[N]) {
  size_t n = 0;
  while (n < N && text[n]) ++n;
  return std::u16string(text, n);
}

std::u16string ascii(const char* text) { return std::u16string(text, text + std::strlen(text)); }

// The items text and the counted lengths of its groups.
struct Items {
  std::string text;
  LONG line = 0;         // items 0-4 and 7
  LONG sub_address = 0;  // items 5 and 6
  LONG name = 0;         // item 7
  bool ok = true;

  // Item 0 starts the text; the others follow in braces. `counted` is the
  // text measured with the passwords unchanged.
  void add(int number, const std::u16string& wide, size_t counted_chars) {
    std::string ansi;
    if (!ok || !to_ansi(wide, &ansi)) {
      ok = false;
      return;
    }
    const LONG counted = static_cast<LONG>(counted_chars) + (number ? 2 : 0);
    if (number == 0) text = ansi;
    else text += "{" + ansi + "}";
    if (text.size() > kItemsCapacity) ok = false;
    if (number == 5 || number == 6) sub_address += counted;
    else line += counted;
    if (number == 7) name += counted;
  }
  void add(int number, const std::u16string& wide) { add(number, wide, wide.size()); }
};

// A password as the kind sends it: protected for kinds 2 and 5.
bool password(DWORD kind, const std::u16string& clear, std::u16string* out) {
  if (kind != 2 && kind != 5) {
    *out = clear;
    return true;
  }
  LPWSTR converted = nullptr;
  if (!ConvertProtectedString(1, clear.c_str(), &converted) || !converted) return false;
  *out = converted;
  GlobalFree(converted);
  return true;
}

// "1" + relay id, print flag and the relay numbers, each padded to four.
bool relay_item(const FaxDestination& d, std::u16string* out) {
  char head[32];
  std::snprintf(head, sizeof(head), "%d%04d%d", 1, d.RelayId, d.RelayPrint == 1 ? 1 : 0);
  std::u16string list;
  const std::u16string numbers = field(d.RelayNumbers);
  size_t start = 0;
  while (start <= numbers.size()) {
    size_t comma = numbers.find(u',', start);
    if (comma == std::u16string::npos) comma = numbers.size();
    const std::u16string token = numbers.substr(start, comma - start);
    const bool last = comma == numbers.size();
    if (!(last && token.empty())) {
      if (token.size() != 1 && token.size() != 2) return false;
      list += std::u16string(4 - token.size(), u'0') + token;
    }
    if (last) break;
    start = comma + 1;
  }
  if (list.size() >= 81) return false;
  *out = ascii(head) + list;
  return true;
}

const char* attribute_name(DWORD kind) {
  switch (kind) {
    case 1: return "@FANU=";
    case 2: return "@FAEN=";
    case 5: return "@SFEN=";
    default: return "@SFNU=";
  }
}

}  // namespace

BOOL BuildFaxJobAttr(DWORD kind, const FaxDestination* destination, const FaxLineSettings* settings,
                     DWORD capacity, BOOL with_pjl, void* /*reserved*/, LPSTR buffer, LONG* length, BYTE card_type) {
  if (!destination || !settings || !length) return FALSE;
  const FaxDestination& d = *destination;
  Items items;
  const std::u16string number = field(d.Number);
  if (d.Kind == kFaxKindSpeedDial) {
    std::u16string quoted = u"'";
    if (card_type == 1 && number.size() < 4) quoted += std::u16string(4 - number.size(), u'0');
    quoted += number + u"'";
    items.add(0, quoted);
  } else {
    int dial = 2;
    if (d.Kind == kFaxKindIpAddress) {
      items.add(0, number);
    } else {
      std::u16string prefix;
      WORD dial_setting = settings->DirectDial;
      if (d.Line == 2) {
        prefix = field(settings->OutsideLinePrefix);
        dial_setting = settings->OutsideLineDial;
      } else if (d.Line == 1) {
        prefix = field(settings->ExtensionPrefix);
        dial_setting = settings->ExtensionDial;
      }
      items.add(0, prefix + number);
      dial = dial_setting == 0 ? 0 : 1;
    }
    if (d.BoxMode == 2) {
      std::u16string relay;
      if (!relay_item(d, &relay)) return FALSE;
      items.add(1, relay);
    }
    if (d.BoxMode == 1) {
      char head[16];
      std::snprintf(head, sizeof(head), "%d%04d", 4, d.MailboxId);
      const std::u16string clear = field(d.MailboxPassword);
      std::u16string sent;
      if (!password(kind, clear, &sent)) return FALSE;
      items.add(4, ascii(head) + sent, std::strlen(head) + clear.size());
    }
    char digit[8];
    std::snprintf(digit, sizeof(digit), "%d%d", 2, dial);
    items.add(2, ascii(digit));
    static constexpr int kCommModes[] = {0, 2, 4};
    if (d.CommMode > 2) return FALSE;
    std::snprintf(digit, sizeof(digit), "%d%d", 3, kCommModes[d.CommMode]);
    items.add(3, ascii(digit));
    const std::u16string fcode = field(d.FCode);
    if (!fcode.empty()) items.add(5, u"5" + fcode);
    const std::u16string clear = field(d.FCodePassword);
    if (!clear.empty()) {
      std::u16string sent;
      if (!password(kind, clear, &sent)) return FALSE;
      items.add(6, u"6" + sent, 1 + clear.size());
    }
  }
  const std::u16string name = field(d.Name);
  if (!name.empty()) {
    const std::u16string cut = name.substr(0, kNameChars);
    const int utf8_bytes =
        WideCharToMultiByte(CP_UTF8, 0, cut.c_str(), static_cast<int>(cut.size()), nullptr, 0, nullptr, nullptr);
    if (utf8_bytes <= 0) return FALSE;
    std::string utf8(static_cast<size_t>(utf8_bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, cut.c_str(), static_cast<int>(cut.size()), utf8.data(), utf8_bytes, nullptr,
                        nullptr);
    std::string encoded(static_cast<size_t>(morva::pi::Base64EncodedLength(utf8_bytes)), '\0');
    int written = 0;
    if (morva::pi::Base64Encode(reinterpret_cast<const BYTE*>(utf8.data()), utf8_bytes, encoded.data(), &written,
                                static_cast<int>(encoded.size())) < 0)
      return FALSE;
    encoded.resize(static_cast<size_t>(written));
    items.add(7, u"7" + ascii(encoded.c_str()));
  }
  if (!items.ok) return FALSE;
  if ((d.Kind != kFaxKindIpAddress && items.line >= kLineLimit) || items.sub_address >= kSubAddressLimit ||
      items.name >= kNameLimit) {
    *length = -1;
    return FALSE;
  }
  if (!buffer) {
    *length = items.line + items.sub_address;
    return TRUE;
  }
  std::string line;
  if (with_pjl) line = "@PJL SET JOBATTR=\"";
  line += attribute_name(kind);
  line += items.text;
  if (with_pjl) line += "\"";
  line += "\r\n";
  if (capacity <= line.size()) {
    *length = 0;
    return FALSE;
  }
  std::memcpy(buffer, line.c_str(), line.size() + 1);
  *length = static_cast<LONG>(line.size());
  return TRUE;
}

}  // namespace morva::fax
