// The stored bytes of a fax destination, converted field by field so that
// the record's byte order never depends on the host.
#include "fax/fax_destination.h"

#include <cstring>

#include "win/endian.h"

namespace morva::fax {
namespace {

enum class FieldKind { kWord, kDword, kText, kBytes };

struct Field {
  std::size_t offset;
  std::size_t bytes;
  FieldKind kind;
};

#define FAX_FIELD(member, kind) \
  Field { offsetof(FaxDestination, member), sizeof(FaxDestination::member), FieldKind::kind }

constexpr Field kFields[] = {
    FAX_FIELD(Kind, kWord),          FAX_FIELD(Number, kText),        FAX_FIELD(Line, kWord),
    FAX_FIELD(Name, kText),          FAX_FIELD(Company, kText),       FAX_FIELD(CommMode, kWord),
    FAX_FIELD(BoxMode, kWord),       FAX_FIELD(MailboxId, kWord),     FAX_FIELD(MailboxPassword, kText),
    FAX_FIELD(RelayId, kWord),       FAX_FIELD(RelayPrint, kWord),    FAX_FIELD(RelayNumbers, kText),
    FAX_FIELD(FCode, kText),         FAX_FIELD(FCodePassword, kText), FAX_FIELD(Reserved1, kWord),
    FAX_FIELD(SourceKind, kDword),   FAX_FIELD(SourceValue, kDword),  FAX_FIELD(OldSourceId, kBytes),
    FAX_FIELD(SourceId, kText),      FAX_FIELD(Reserved2, kWord),
};
#undef FAX_FIELD

constexpr bool fields_cover_record() {
  std::size_t at = 0;
  for (const Field& f : kFields) {
    if (f.offset != at) return false;
    at += f.bytes;
  }
  return at == sizeof(FaxDestination);
}
static_assert(fields_cover_record(), "the field table must describe every byte of the record in order");

}  // namespace

void FaxDestination_Encode(const FaxDestination& record, BYTE* out) {
  const auto* base = reinterpret_cast<const BYTE*>(&record);
  for (const Field& f : kFields) {
    const BYTE* src = base + f.offset;
    BYTE* dst = out + f.offset;
    switch (f.kind) {
      case FieldKind::kDword: {
        DWORD v;
        std::memcpy(&v, src, 4);
        store_le32(dst, v);
        break;
      }
      case FieldKind::kWord:
      case FieldKind::kText:
        for (std::size_t i = 0; i < f.bytes; i += 2) {
          WORD v;
          std::memcpy(&v, src + i, 2);
          store_le16(dst + i, v);
        }
        break;
      case FieldKind::kBytes:
        std::memcpy(dst, src, f.bytes);
        break;
    }
  }
}

void FaxDestination_Decode(const BYTE* in, FaxDestination* record) {
  auto* base = reinterpret_cast<BYTE*>(record);
  for (const Field& f : kFields) {
    const BYTE* src = in + f.offset;
    BYTE* dst = base + f.offset;
    switch (f.kind) {
      case FieldKind::kDword: {
        const DWORD v = load_le32(src);
        std::memcpy(dst, &v, 4);
        break;
      }
      case FieldKind::kWord:
      case FieldKind::kText:
        for (std::size_t i = 0; i < f.bytes; i += 2) {
          const WORD v = load_le16(src + i);
          std::memcpy(dst + i, &v, 2);
        }
        if (f.kind == FieldKind::kText) std::memset(dst + f.bytes - 2, 0, 2);
        break;
      case FieldKind::kBytes:
        std::memcpy(dst, src, f.bytes);
        break;
    }
  }
}

}  // namespace morva::fax
