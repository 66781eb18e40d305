// A caller's DMA_ context over a zeroed driver DEVMODE, PrinterData block
// and fax-book header, in a fresh machine root.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ddm/ddmid.h"
#include "ddm/dma.h"
#include "fax/fax_blob.h"
#include "temp_root.h"

namespace morva::test {

class DmaContextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ctx->devmode = dm.data();
    ctx->printerData = pd.data();
    ctx->faxBook = book.data();
  }

  TempRoot root;
  std::vector<BYTE> dm = std::vector<BYTE>(morva::ddm::kPrivateDevmodeSize);
  std::vector<BYTE> pd = std::vector<BYTE>(morva::ddm::kPrinterDataSize);
  std::vector<BYTE> book = std::vector<BYTE>(morva::fax::kFaxBookHeaderSize);
  std::unique_ptr<DMA_CONTEXT> ctx = std::make_unique<DMA_CONTEXT>();
};

}  // namespace morva::test
