// Setting ids of older stored formats and the DDMIDs they became.
#include <span>

#include "settings/common/common_utils.h"

namespace {

// Consecutive old ids [first, last] map to consecutive DDMIDs from `ddmid`.
struct LegacyRun {
  WORD first;
  WORD last;
  WORD ddmid;
};
struct LegacyRow {
  WORD low;
  WORD high;
  std::span<const LegacyRun> runs;
};

constexpr LegacyRun kRuns1[] = {{1, 25, 1}};
constexpr LegacyRun kRuns257[] = {{257, 288, 257}, {289, 290, 1832}, {291, 303, 291}};
constexpr LegacyRun kRuns304[] = {{304, 336, 304}, {337, 337, 1829}, {338, 346, 338}, {347, 347, 1831}, {348, 351, 348}};
constexpr LegacyRun kRuns352[] = {{352, 377, 352}, {378, 378, 1830}, {379, 399, 379}};
constexpr LegacyRun kRuns400[] = {{400, 414, 400}, {415, 434, 1834}, {435, 447, 435}};
constexpr LegacyRun kRuns4097[] = {{4097, 4104, 448}, {4105, 4129, 458}};
constexpr LegacyRun kRuns449[] = {{449, 462, 1281}, {463, 463, 4129}, {464, 499, 1296}, {500, 512, 1335}};
constexpr LegacyRun kRuns961[] = {{961, 980, 1348}, {984, 985, 1371}};
constexpr LegacyRun kRuns513[] = {{513, 548, 1793}, {549, 552, 1855}, {553, 568, 1861},
                                  {569, 569, 1878}, {571, 585, 1880}, {587, 587, 1896}};
constexpr LegacyRun kRuns2305[] = {{2305, 2560, 2305}};
constexpr LegacyRun kRuns769[] = {{769, 800, 4097}, {801, 810, 4353}, {811, 812, 4366}, {813, 822, 4130}, {823, 823, 4368},
                                  {824, 825, 4140}, {826, 826, 4369}, {827, 829, 4142}, {830, 831, 4370}};
constexpr LegacyRun kRuns897[] = {{897, 928, 4609}};
constexpr LegacyRun kRuns1025[] = {{1025, 1025, 5121}, {1026, 1026, 1333}, {1027, 1027, 5123}, {1028, 1028, 1332},
                                   {1029, 1029, 4365}, {1030, 1031, 5126}, {1032, 1032, 1334}, {1033, 1036, 5129},
                                   {1037, 1037, 456},  {1038, 1042, 5134}, {1043, 1044, 1859}, {1045, 1054, 5141},
                                   {1055, 1055, 457},  {1056, 1057, 5152}, {1058, 1058, 4363}, {1059, 1061, 5155},
                                   {1062, 1062, 4364}, {1063, 1119, 5159}};
constexpr LegacyRun kRuns1281[] = {{1281, 1281, 8201}, {1297, 1298, 8202}, {1307, 1310, 8204}, {1311, 1320, 5889},
                                   {1321, 1330, 5909}, {1331, 1340, 5929}, {1341, 1415, 6145}, {1416, 1425, 6401},
                                   {1426, 1429, 8208}, {1430, 1439, 5899}, {1536, 1545, 5919}, {1546, 1555, 5939},
                                   {1556, 1556, 8212}, {1557, 1661, 6220}, {1662, 1671, 6411}, {1672, 1674, 8213},
                                   {1676, 1676, 8224}, {1678, 1678, 8223}, {1679, 1679, 8225}};
constexpr LegacyRun kRuns8235[] = {{8235, 8235, 1370}};

constexpr LegacyRow kLegacyDdmidMap[] = {
    {1, 25, kRuns1},          {257, 303, kRuns257},     {304, 351, kRuns304},   {352, 399, kRuns352},
    {400, 447, kRuns400},     {4097, 4129, kRuns4097},  {449, 512, kRuns449},   {961, 985, kRuns961},
    {513, 587, kRuns513},     {2305, 2560, kRuns2305},  {769, 831, kRuns769},   {897, 928, kRuns897},
    {1025, 1119, kRuns1025},  {1281, 1679, kRuns1281},  {8235, 8235, kRuns8235},
};

// Format version 20482 kept these ids unchanged.
constexpr DWORD kIdentityFormatVersion = 20482;
constexpr LegacyRun kIdentityRuns[] = {{448, 450, 448}, {1281, 1330, 1281}};

bool find_in(std::span<const LegacyRun> runs, WORD old_id, WORD* ddmid) {
  for (const LegacyRun& run : runs) {
    if (old_id >= run.first && old_id <= run.last) {
      *ddmid = static_cast<WORD>(run.ddmid + (old_id - run.first));
      return true;
    }
  }
  return false;
}

}  // namespace

BOOL MapLegacyCode(WORD old_id, WORD* ddmid, DWORD format_version) {
  if (!ddmid) return FALSE;
  if (format_version == kIdentityFormatVersion && find_in(kIdentityRuns, old_id, ddmid)) return TRUE;
  for (const LegacyRow& row : kLegacyDdmidMap)
    if (old_id >= row.low && old_id <= row.high) return find_in(row.runs, old_id, ddmid);
  return FALSE;
}
