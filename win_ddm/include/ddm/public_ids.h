// The map between the public setting ids of the DMA_ interface and DDMIDs.
#pragma once

#include "win/types.h"

namespace morva::ddm {

// One run of consecutive pairs: public ids first..last name DDMIDs
// ddmid.. in order. Runs are grouped in 16 ranges; a public id is looked up
// in the first range whose bounds hold it.
struct PublicIdRun {
  BYTE range;
  WORD firstPublic;
  WORD lastPublic;
  WORD firstDdmid;
};

// The run table (ending with a run whose range is 0xFF).
const PublicIdRun* dma_PublicIdRuns();
inline constexpr int kPublicIdRanges = 16;

// Public id → DDMID; false when the id is not mapped.
bool dma_PublicToDdmid(WORD publicId, WORD* ddmid);
// DDMID → its first public id in range order; false when it has none.
bool dma_DdmidToPublic(WORD ddmid, WORD* publicId);

}  // namespace morva::ddm
