// libmorvadat.so as an outside tool uses it: loaded at run time with
// LoadLibraryW, every function bound by name with GetProcAddress.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ddm/dma.h"
#include "temp_root.h"
#include "win/modules.h"

namespace {

class Morvadat : public ::testing::Test {
 protected:
  void SetUp() override {
    lib_ = LoadLibraryW(u"morvadat.dll");
    ASSERT_NE(lib_, nullptr) << morva::platform::last_load_error();
  }
  void TearDown() override {
    if (lib_ != nullptr) {
      EXPECT_TRUE(FreeLibrary(lib_));
    }
  }
  template <typename F>
  F bind(const char* name) {
    return morva_proc_as<F>(GetProcAddress(lib_, name));
  }
  morva::test::TempRoot root_;
  HMODULE lib_ = nullptr;
};

TEST_F(Morvadat, ExportsTheInterfaceAndNothingElse) {
  const char* exported[] = {
      "dma_GetValue", "dma_SetValue", "DMA_GetValue", "DMA_SetValue", "DMA_GetStringData",
      "DMA_SetStringData", "DMA_GetStringData_StrLength", "DMA_SetStringData_StrLength",
      "DMA_GetLogFontData", "DMA_SetLogFontData", "DMA_EnumDMAID_ByTargetInfo", "DMA_QueryAttributes",
      "DMA_QuerySWSupportInfo", "DMA_GetFaxAddressNum", "DMA_SetFaxAddressNum", "DMA_GetUserSettingInfo",
      "DMA_SetUserSettingInfo"};
  for (const char* name : exported) EXPECT_NE(GetProcAddress(lib_, name), nullptr) << name;
  // The engine's internals and the linked helpers stay private.
  const char* hidden[] = {"_ZN5morva3ddm12dma_TypeSizeEt", "_ZN5morva2pi13ScrambleBytesEPKhiPhPii",
                          "_ZN5morva3fax13FaxBook_ParseEPKhmPNS0_11FaxBookViewE", "DMA_QueryStructSize"};
  for (const char* name : hidden) EXPECT_EQ(GetProcAddress(lib_, name), nullptr) << name;
}

TEST_F(Morvadat, ReadsAndWritesSettingsThroughItsExports) {
  using GetValueFn = LONG (*)(DMA_CONTEXT*, WORD, DWORD*);
  using SetValueFn = LONG (*)(DMA_CONTEXT*, WORD, DWORD);
  using SetStringFn = LONG (*)(DMA_CONTEXT*, WORD, const char*, DWORD);
  using GetStringFn = LONG (*)(DMA_CONTEXT*, WORD, char*, DWORD*);
  using EngineGetFn = WORD (*)(WORD, void*, void*, WORD*, DWORD*, void*, WORD*);
  auto getValue = bind<GetValueFn>("DMA_GetValue");
  auto setValue = bind<SetValueFn>("DMA_SetValue");
  auto setString = bind<SetStringFn>("DMA_SetStringData");
  auto getString = bind<GetStringFn>("DMA_GetStringData");
  auto engineGet = bind<EngineGetFn>("dma_GetValue");
  ASSERT_TRUE(getValue && setValue && setString && getString && engineGet);

  std::vector<BYTE> dm(5988), pd(7972);
  auto ctx = std::make_unique<DMA_CONTEXT>();
  ctx->devmode = dm.data();
  ctx->printerData = pd.data();
  ASSERT_EQ(setValue(ctx.get(), 0x1C9, 1), DMA_OK);  // DDMID 1289, a flag
  DWORD v = 0;
  ASSERT_EQ(getValue(ctx.get(), 0x1C9, &v), DMA_OK);
  EXPECT_EQ(v, 1u);
  WORD type, selector;
  DWORD size;
  ASSERT_EQ(engineGet(260, dm.data(), pd.data(), &type, &size, &v, &selector), 0);
  EXPECT_EQ(v, 1u << 8);
  ASSERT_EQ(setString(ctx.get(), 0x409, "Billing", 7), DMA_OK);
  char text[25] = {};
  size = sizeof text;
  ASSERT_EQ(getString(ctx.get(), 0x409, text, &size), DMA_OK);
  EXPECT_STREQ(text, "Billing");
}

}  // namespace
