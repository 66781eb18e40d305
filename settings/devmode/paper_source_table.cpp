#include "settings/devmode/paper_source_table.h"

namespace {

struct PaperSourceRow {
  WORD source;
  WORD ids[kPaperSourceIds];
};

constexpr PaperSourceRow kPaperSourceSettingTable[kPaperSourceRows] = {
    {1, {6145, 6160, 6175, 6295, 6190, 6205}},   {3, {6146, 6161, 6176, 6296, 6191, 6206}},
    {2, {6147, 6162, 6177, 6297, 6192, 6207}},   {257, {6148, 6163, 6178, 6298, 6193, 6208}},
    {261, {6149, 6164, 6179, 6299, 6194, 6209}}, {262, {6150, 6165, 6180, 6300, 6195, 6210}},
    {11, {6151, 6166, 6181, 6301, 6196, 6211}},  {265, {6152, 6167, 6182, 6302, 6197, 6212}},
    {266, {6153, 6168, 6183, 6303, 6198, 6213}}, {267, {6154, 6169, 6184, 6304, 6199, 6214}},
    {268, {6155, 6170, 6185, 6305, 6200, 6215}}, {269, {6156, 6171, 6186, 6306, 6201, 6216}},
    {270, {6157, 6172, 6187, 6307, 6202, 6217}}, {272, {6158, 6173, 6188, 6308, 6203, 6218}},
    {271, {6159, 6174, 6189, 6309, 6204, 6219}}, {273, {6220, 6235, 6250, 6310, 6265, 6280}},
    {274, {6221, 6236, 6251, 6311, 6266, 6281}}, {275, {6222, 6237, 6252, 6312, 6267, 6282}},
    {276, {6223, 6238, 6253, 6313, 6268, 6283}}, {277, {6224, 6239, 6254, 6314, 6269, 6284}},
};

}  // namespace

BOOL GetSourceSettingIds(WORD source, WORD* ids) {
  if (!ids) return 0;
  for (const PaperSourceRow& row : kPaperSourceSettingTable) {
    if (row.source != source) continue;
    for (int i = 0; i < kPaperSourceIds; ++i) ids[i] = row.ids[i];
    return 1;
  }
  return 0;
}

BOOL GetSourceSizeSettingIds(WORD first_id, WORD* width_id, WORD* length_id) {
  if (!width_id || !length_id) return 0;
  for (const PaperSourceRow& row : kPaperSourceSettingTable) {
    if (row.ids[0] != first_id) continue;
    *width_id = row.ids[4];
    *length_id = row.ids[5];
    return 1;
  }
  return 0;
}
