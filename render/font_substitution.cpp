// Which device font stands in for a TrueType face: the printer's
// substitution list first, then a scoring of every device font record by
// character set, name, pitch and family, weight and italics. Scores only
// ever grow; each step adds to the records that are best so far.
#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "render/device_fonts.h"
#include "win/fonts.h"

namespace morva::gfx {

namespace {

using Name = std::u16string_view;

// Face names that stand for one another; names beginning with "@" are the
// vertical-writing faces. The first table has all 15 groups; the second,
// for printers without the Japanese faces, only the last 7 (the Latin
// faces).
const std::vector<std::vector<Name>>& all_name_groups() {
  static const std::vector<std::vector<Name>> groups = {
      {u"QZ リョービ 本明朝-L", u"平成明朝", u"ＭＳ 明朝"},
      {u"QZ リョービ P本明朝-L", u"ＭＳ Ｐ明朝"},
      {u"@QZ リョービ 本明朝-L", u"@平成明朝", u"@ＭＳ 明朝"},
      {u"@QZ リョービ P本明朝-L", u"@ＭＳ Ｐ明朝"},
      {u"QZ リョービ ゴシック-B", u"平成角ゴシック", u"ＭＳ ゴシック"},
      {u"QZ リョービ Pゴシック-B", u"ＭＳ Ｐゴシック"},
      {u"@QZ リョービ ゴシック-B", u"@平成角ゴシック", u"@ＭＳ ゴシック"},
      {u"@QZ リョービ Pゴシック-B", u"@ＭＳ Ｐゴシック"},
      {u"Arial", u"CS Triumvirate", u"Helv", u"Helvetica", u"Swiss"},
      {u"Courier New", u"CS Courier", u"Courier"},
      {u"Times New Roman", u"CS Times Roman", u"Tms Rmn", u"Times Roman", u"TimesRoman", u"Times", u"TmsRmn",
       u"Varitimes", u"Dutch", u"TimesNewRomanPS"},
      {u"Bookman Old Style", u"ITC Bookman", u"Bookman"},
      {u"Century", u"Classic"},
      {u"Century Schoolbook", u"NewCenturySchlbk", u"NewCenturySchoolBook", u"New Century SchoolBook",
       u"CenturySchoolBook"},
      {u"Book Antiqua", u"Modern", u"Bookman Antiqua", u"Zapf Calligraphic", u"ZapfCalligraphic", u"Paratino"},
  };
  return groups;
}

constexpr std::size_t kLatinGroups = 7;

// The groups of the table the request names.
std::pair<const std::vector<Name>*, const std::vector<Name>*> name_groups(UINT table) {
  const auto& all = all_name_groups();
  const std::size_t first = table == kSubstTableLatin ? all.size() - kLatinGroups : 0;
  return {all.data() + first, all.data() + all.size()};
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

bool equal_ignoring_case(Name a, Name b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

bool prefix_equal(Name a, Name b) {
  const std::size_t n = std::min(a.size(), b.size());
  return equal_ignoring_case(a.substr(0, n), b.substr(0, n));
}

struct Scores {
  std::vector<BYTE> score;
  BYTE best = 0;
  explicit Scores(std::size_t n) : score(n, 0) {}
  // Adds to the records that hold the best score at the step's start.
  template <typename F>
  bool add_to_best(F points) {
    const BYTE start = best;
    bool gained = false;
    for (std::size_t i = 0; i < score.size(); ++i) {
      if (score[i] != start) continue;
      const int add = points(i);
      if (add <= 0) continue;
      score[i] = static_cast<BYTE>(score[i] + add);
      best = std::max(best, score[i]);
      gained = true;
    }
    return gained;
  }
  std::size_t first_best() const {
    for (std::size_t i = 0; i < score.size(); ++i)
      if (score[i] == best) return i;
    return 0;
  }
};

Name record_name(const DeviceFontNameRecord& r) { return Name(r.face); }

const WCHAR* lookup_list(const WCHAR* list, Name face) {
  while (list && *list) {
    const Name key(list);
    const WCHAR* value = list + key.size() + 1;
    if (key == face) return value;
    list = value + Name(value).size() + 1;
  }
  return nullptr;
}

BYTE weight_italic_score(const SubstituteRequest& r, const DeviceFontNameRecord& rec) {
  const bool want_italic = r.simulated_italic || (r.ifi->fsSelection & FM_SEL_ITALIC);
  const bool italic = rec.flag != 0;
  int base;
  if (want_italic) base = italic ? 57 : 45;
  else base = italic ? 0 : 57;
  int score = base + 40 - std::abs(static_cast<int>(r.ifi->usWinWeight) - static_cast<int>(rec.weight)) / 100;
  if (rec.weight > r.ifi->usWinWeight) score -= 30;
  return static_cast<BYTE>(score);
}

void score_weight_italic(const SubstituteRequest& r, Scores* s) {
  s->add_to_best([&](std::size_t i) { return static_cast<int>(weight_italic_score(r, r.records[i])); });
}

bool in_list(Name face, std::initializer_list<Name> names) {
  for (Name n : names)
    if (equal_ignoring_case(face, n)) return true;
  return false;
}

}  // namespace

bool NamePrefixCompare(const WCHAR* a, const WCHAR* b) { return a && b && prefix_equal(Name(a), Name(b)); }

int FindSubstituteFont(const SubstituteRequest& r, std::size_t* index) {
  if (!index || !r.list) return kSubstBadArgument;
  if (!r.records || r.count == 0 || !r.face || !r.face[0]) return kSubstNotApplicable;
  if (!r.ifi) return kSubstNoMetrics;
  const WCHAR* substitute = lookup_list(r.list, Name(r.face));
  if (!substitute) return kSubstNotApplicable;
  Scores s(r.count);
  s.add_to_best([&](std::size_t i) { return record_name(r.records[i]) == Name(substitute) ? 2 : 0; });
  if (s.best == 0) return kSubstNotApplicable;
  const BYTE cs = r.ifi->jWinCharSet;
  const bool gained = s.add_to_best([&](std::size_t i) {
    const BYTE rc = r.records[i].charset;
    return ((rc < 3 && cs < 3) || (rc >= 3 && cs >= 3 && rc == cs)) ? 16 : 0;
  });
  if (!gained) return kSubstNotApplicable;
  score_weight_italic(r, &s);
  *index = s.first_best();
  return kSubstFound;
}

int SelectSubstituteFont(const SubstituteRequest& r, std::size_t* index) {
  const int found = FindSubstituteFont(r, index);
  if (found == kSubstFound || found == kSubstBadArgument || found == kSubstNoMetrics || found == kSubstNoMemory)
    return found;
  if (!r.records || r.count == 0) return kSubstNotApplicable;
  Scores s(r.count);
  s.add_to_best([&](std::size_t i) { return r.records[i].charset == r.ifi->jWinCharSet ? 16 : 0; });
  const Name face = r.face ? Name(r.face) : Name();
  bool name_matched = false;
  if (!face.empty()) {
    const std::vector<Name>* group = nullptr;
    const auto [begin, end] = name_groups(r.table);
    for (const std::vector<Name>* g = begin; g != end && !group; ++g)
      for (Name n : *g)
        if (prefix_equal(n, face)) group = g;
    const BYTE before = s.best;
    for (std::size_t i = 0; i < r.count; ++i) {
      const Name rec = record_name(r.records[i]);
      int points = 0;
      if (!rec.empty() && (rec[0] == u'@') == (face[0] == u'@')) {
        points = 1;
        if (equal_ignoring_case(rec, face)) points = 4;
        else if (group)
          for (Name n : *group)
            if (prefix_equal(n, rec)) points = 2;
      }
      s.score[i] = static_cast<BYTE>(s.score[i] + points);
      s.best = std::max(s.best, s.score[i]);
    }
    name_matched = s.best >= before + 2;
  }
  if (!name_matched) {
    const BYTE pf = r.ifi->jWinPitchAndFamily;
    const BYTE family = pf & 0xF0;
    s.add_to_best([&](std::size_t i) {
      const BYTE rec = r.records[i].pitch_family;
      int points = 0;
      if (((rec & 1) && (pf & 0x0F) == VARIABLE_PITCH) || (!(rec & 1) && (pf & 0x0F) == FIXED_PITCH)) points += 16;
      if ((rec & 0xF0) == family) points += 8;
      if (family == FF_SWISS) {
        if ((rec & 0xF0) == FF_ROMAN &&
            in_list(face, {u"Century", u"Century Gothic", u"Colonna MT", u"Footlight MT Light", u"Garamond"}))
          points += 4;
        if ((rec & 0xF0) == FF_MODERN &&
            in_list(face, {u"Arial", u"Arial Black", u"Arial Narrow", u"Arial Rounded MT Bold", u"Kino MT"}))
          points += 4;
      }
      return points;
    });
  }
  score_weight_italic(r, &s);
  *index = s.first_best();
  return kSubstFound;
}

}  // namespace morva::gfx
