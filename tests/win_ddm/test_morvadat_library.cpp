// libmorvadat.so as an outside tool uses it: loaded at run time with
// LoadLibraryW, every function bound by name with GetProcAddress.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ddm/dma.h"
#include "ddm/dma_tables.h"
#include "temp_root.h"
#include "win/endian.h"
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
      "DMA_SetUserSettingInfo", "DMA_QueryStructSize", "DMA_GetNameFromInfo", "DMA_AccessibleData",
      "DMA_DeleteData", "DMA_ApplyData", "DMA_ExtractDocPropEx", "DMA_ExtractDocProp", "DMA_ExtractOneTimeEx",
      "DMA_ExtractOneTime", "DMA_ReplaceDocProp", "DllMain"};
  for (const char* name : exported) EXPECT_NE(GetProcAddress(lib_, name), nullptr) << name;
  // The entry has nothing to do and always agrees.
  using EntryFn = BOOL (*)(HINSTANCE, DWORD, LPVOID);
  auto entry = bind<EntryFn>("DllMain");
  ASSERT_NE(entry, nullptr);
  for (DWORD reason : {DLL_PROCESS_ATTACH, DLL_THREAD_ATTACH, DLL_THREAD_DETACH, DLL_PROCESS_DETACH})
    EXPECT_EQ(entry(nullptr, reason, nullptr), TRUE) << reason;
  // The engine's internals and the linked helpers stay private.
  const char* hidden[] = {"_ZN5morva3ddm12dma_TypeSizeEt", "_ZN5morva2pi13ScrambleBytesEPKhiPhPii",
                          "_ZN5morva3fax13FaxBook_ParseEPKhmPNS0_11FaxBookViewE",
                          "_ZN5morva3ddm20dma_SplitDocPropFileEPKhjP11DmaSections"};
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

TEST_F(Morvadat, MovesTableEntriesAndSettingsFilesThroughItsExports) {
  using SizeFn = DWORD (*)(DWORD);
  using TableFn = LONG (*)(DMA_CONTEXT*, DWORD, const char*);
  using ApplyFn = LONG (*)(DMA_CONTEXT*, DWORD, DWORD, const char*);
  using SetStringFn = LONG (*)(DMA_CONTEXT*, WORD, const char*, DWORD);
  using ExtractFn = LONG (*)(DMA_CONTEXT*, BYTE*, DWORD, BYTE*, DWORD, BYTE*, DWORD, BYTE*, DWORD);
  using ReplaceFn = LONG (*)(DMA_CONTEXT*, DmaSections*);
  auto structSize = bind<SizeFn>("DMA_QueryStructSize");
  auto accessible = bind<TableFn>("DMA_AccessibleData");
  auto remove = bind<TableFn>("DMA_DeleteData");
  auto apply = bind<ApplyFn>("DMA_ApplyData");
  auto setString = bind<SetStringFn>("DMA_SetStringData");
  auto extract = bind<ExtractFn>("DMA_ExtractDocProp");
  auto replace = bind<ReplaceFn>("DMA_ReplaceDocProp");
  ASSERT_TRUE(structSize && accessible && remove && apply && setString && extract && replace);
  EXPECT_EQ(structSize(2), 308u);

  std::vector<BYTE> dm(5988), pd(7972);
  auto ctx = std::make_unique<DMA_CONTEXT>();
  ctx->devmode = dm.data();
  ctx->printerData = pd.data();
  std::vector<BYTE> flags(2), stamps(2 * 308);
  ctx->stamps = DmaCallerTable{2, 308, flags.data(), stamps.data()};
  // The settings' stamp becomes entry 1 under the name "Urgent", and from
  // there the settings again once it was changed.
  ASSERT_EQ(setString(ctx.get(), 0x12B, "Stamp text", 10), DMA_OK);  // DDMID 299
  ASSERT_EQ(apply(ctx.get(), 2, 1, "Urgent"), DMA_OK);
  EXPECT_EQ(flags[1], 1);
  ASSERT_EQ(setString(ctx.get(), 0x12B, "Other", 5), DMA_OK);
  ASSERT_EQ(accessible(ctx.get(), 2, "Urgent"), DMA_OK);
  char text[80] = {};
  DWORD size = sizeof text;
  using GetStringFn = LONG (*)(DMA_CONTEXT*, WORD, char*, DWORD*);
  ASSERT_EQ(bind<GetStringFn>("DMA_GetStringData")(ctx.get(), 0x12B, text, &size), DMA_OK);
  EXPECT_STREQ(text, "Stamp text");
  ASSERT_EQ(remove(ctx.get(), 2, "Urgent"), DMA_OK);
  EXPECT_EQ(accessible(ctx.get(), 2, "Urgent"), -22);

  // A document-property file written and split back.
  std::vector<BYTE> ndev(24 + 4), wpk(20), sp(20 + 2);
  const char16_t* tags[] = {u"NDEV001", u"WPKINFO", u"SPINFO"};
  std::vector<BYTE>* images[] = {&ndev, &wpk, &sp};
  for (int i = 0; i < 3; ++i) {
    for (int c = 0; tags[i][c] != 0; ++c) morva::store_le16(images[i]->data() + 2 * c, tags[i][c]);
  }
  morva::store_le32(ndev.data() + 16, 21072);
  morva::store_le32(ndev.data() + 20, 4);
  morva::store_le32(sp.data() + 16, 2);
  ASSERT_EQ(setString(ctx.get(), 0x176, "C:\\doc.prop", 11), DMA_OK);
  ASSERT_EQ(extract(ctx.get(), ndev.data(), 28, wpk.data(), 20, nullptr, 0, sp.data(), 22), DMA_OK);
  DmaSections sizes{};
  ASSERT_EQ(replace(ctx.get(), &sizes), DMA_ERR_BUFFER);
  EXPECT_EQ(sizes.ndevSize, 28u);
  EXPECT_EQ(sizes.wpkSize, 20u);
  EXPECT_EQ(sizes.spSize, 22u);
  EXPECT_EQ(sizes.faxSize, 0u);
  std::vector<BYTE> ndevOut(28), wpkOut(20), spOut(22);
  DmaSections out{ndevOut.data(), 28, wpkOut.data(), 20, nullptr, 0, spOut.data(), 22};
  ASSERT_EQ(replace(ctx.get(), &out), DMA_OK);
  EXPECT_EQ(ndevOut, ndev);
  EXPECT_EQ(wpkOut, wpk);
  EXPECT_EQ(spOut, sp);
}

}  // namespace
