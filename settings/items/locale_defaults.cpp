// Country-dependent defaults (pure lookups; the locale queries that feed
// them live with the other platform-facing utilities).
#include "settings/common/common_utils.h"

namespace {

struct CountryDefaults {
  WORD country;  // LOCALE_ICOUNTRY of the user default locale
  BYTE item_a;   // default of DDMID 4356
  BYTE item_b;   // default of DDMID 4358
};

constexpr CountryDefaults kCountryDefaultsTable[] = {
    {1, 4, 0},   {2, 4, 0},   {7, 0, 0},   {20, 0, 0},  {27, 0, 0},  {30, 0, 0},  {31, 0, 0},  {32, 0, 0},
    {33, 0, 0},  {34, 0, 0},  {36, 0, 0},  {39, 0, 0},  {40, 0, 0},  {41, 0, 0},  {43, 0, 0},  {44, 0, 0},
    {45, 0, 0},  {46, 0, 0},  {47, 0, 0},  {48, 0, 0},  {49, 0, 0},  {51, 3, 0},  {52, 3, 0},  {54, 3, 0},
    {55, 3, 0},  {56, 3, 0},  {57, 3, 0},  {58, 3, 0},  {60, 2, 0},  {61, 0, 0},  {62, 2, 0},  {63, 2, 0},
    {64, 0, 0},  {65, 2, 0},  {66, 2, 0},  {81, 1, 0},  {82, 2, 0},  {84, 2, 0},  {86, 2, 1},  {90, 0, 0},
    {91, 0, 0},  {212, 0, 0}, {351, 0, 0}, {353, 0, 0}, {358, 0, 0}, {359, 0, 0}, {420, 0, 0}, {593, 3, 0},
    {852, 2, 1}, {886, 2, 0},
};
static_assert(sizeof(kCountryDefaultsTable) / sizeof(kCountryDefaultsTable[0]) == 50);

// Countries whose locale uses letter-size paper: [low, high] ranges.
struct CountryRange {
  INT low;
  INT high;
};
constexpr CountryRange kLetterPaperCountries[] = {{1, 2}, {50, 54}, {56, 59}, {500, 592}, {594, 599}};

}  // namespace

BOOL LookupCountryDefaults(INT country, BYTE* item_a, BYTE* item_b) {
  for (const CountryDefaults& row : kCountryDefaultsTable) {
    if (row.country == country) {
      if (item_a) *item_a = row.item_a;
      if (item_b) *item_b = row.item_b;
      return TRUE;
    }
  }
  return FALSE;
}

INT PaperFamilyOfCountry(INT country) {
  for (const CountryRange& r : kLetterPaperCountries)
    if (country >= r.low && country <= r.high) return 0;
  return 1;
}
