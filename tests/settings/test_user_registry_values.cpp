#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "blobs_fixture.h"
#include "settings/stores/printer_identity.h"
#include "settings/stores/user_registry_values.h"
#include "win/endian.h"
#include "win/memory.h"

namespace morva::test {
namespace {

const BYTE kId[16] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                      0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0xAB, 0xFF};
constexpr char16_t kIdHex[] = u"000102030405060708090A0B0C0DABFF";

TEST(UserRegistryKey, Paths) {
  const std::u16string base230(230, u'b');
  struct Case {
    std::u16string base;
    const char16_t* sub;
    DWORD capacity;
    std::u16string expected;
  } cases[] = {
      {u"Base\\", nullptr, 260, std::u16string(u"Base\\") + kIdHex},
      {u"Base\\", u"Stamps\\Others", 260, std::u16string(u"Base\\") + kIdHex + u"\\Stamps\\Others"},
      {base230, nullptr, 260, base230},                       // 230 + 33 >= 260
      {std::u16string(226, u'b'), nullptr, 260, std::u16string(226, u'b') + kIdHex},
      {u"Base\\", u"Paper Margin", 5 + 32 + 13, std::u16string(u"Base\\") + kIdHex},  // sub-key does not fit
      {u"Base\\", u"Paper Margin", 5 + 32 + 14, std::u16string(u"Base\\") + kIdHex + u"\\Paper Margin"},
      {std::u16string(300, u'b'), nullptr, 260, std::u16string(259, u'b')},
  };
  for (const Case& c : cases) {
    std::vector<WCHAR> out(c.capacity, u'?');
    ASSERT_EQ(BuildUserRegistryKey(c.base.c_str(), kId, c.sub, out.data(), c.capacity), 1);
    EXPECT_EQ(std::u16string(out.data()), c.expected) << c.base.size() << " " << c.capacity;
  }
  WCHAR out[4];
  EXPECT_EQ(BuildUserRegistryKey(nullptr, kId, nullptr, out, 4), 0);
  EXPECT_EQ(BuildUserRegistryKey(u"B", kId, nullptr, out, 0), 0);
}

class UserRegistry : public PrinterTest {
 protected:
  void SetUp() override { install(); }

  // A user key under the base with the given recorded attributes (none when
  // `attributes` is null) and a sub-key.
  void make_key(const std::u16string& name, const DWORD* attributes) {
    HKEY key = nullptr;
    const std::u16string path = std::u16string(kUserBase) + name + u"\\Stamps";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    if (attributes) {
      ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::u16string(kUserBase) + name).c_str(), 0, KEY_ALL_ACCESS, &key),
                ERROR_SUCCESS);
      BYTE bytes[4];
      store_le32(bytes, *attributes);
      ASSERT_EQ(RegSetValueExW(key, nullptr, 0, REG_BINARY, bytes, 4), ERROR_SUCCESS);
      RegCloseKey(key);
    }
  }
  bool key_exists(const std::u16string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (std::u16string(kUserBase) + name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
  std::u16string own_id() {
    BYTE id[16];
    EXPECT_TRUE(ReadPrinterId(printer, id));
    WCHAR hex[33];
    FormatPrinterIdHex(id, hex, 33);
    return hex;
  }
};

// Values are read back only from the printer's own key, by type.
TEST_F(UserRegistry, WriteAndRead) {
  BYTE* block = nullptr;
  DWORD size = 0;
  EXPECT_EQ(ReadUserRegistryValueAlloc(printer, &block, &size, REG_BINARY, nullptr, u"V", handle), 1) << "no identity";
  const std::vector<BYTE> data = pattern(3000);
  ASSERT_EQ(WriteUserRegistryValue(printer, handle, data.data(), DWORD(data.size()), REG_BINARY, u"Paper Margin", u"V"),
            1);
  const std::u16string id = own_id();
  EXPECT_EQ(ReadUserRegistryValueAlloc(printer, &block, &size, REG_BINARY, nullptr, u"V", handle), 1);
  ASSERT_EQ(ReadUserRegistryValueAlloc(printer, &block, &size, REG_BINARY, u"Paper Margin", u"V", handle), 0);
  EXPECT_EQ(std::vector<BYTE>(block, block + size), data);
  GlobalFree(block);
  EXPECT_EQ(ReadUserRegistryValueAlloc(printer, &block, &size, REG_DWORD, u"Paper Margin", u"V", handle), 1)
      << "another type";
  EXPECT_EQ(block, nullptr);
  EXPECT_EQ(ReadUserRegistryValueAlloc(printer, &block, &size, REG_BINARY, u"Paper Margin", u"V", nullptr), -1);

  // The attributes are recorded in the printer's own key, not the sub-key.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (std::u16string(kUserBase) + id).c_str(), 0, KEY_READ, &key),
            ERROR_SUCCESS);
  BYTE bytes[4];
  DWORD type = 0, bytes_size = 4;
  ASSERT_EQ(RegQueryValueExW(key, nullptr, nullptr, &type, bytes, &bytes_size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_TRUE(load_le32(bytes) & PRINTER_ATTRIBUTE_LOCAL);
  RegCloseKey(key);
}

// Every write purges the keys of local printers that are gone; other keys
// stay.
TEST_F(UserRegistry, StaleKeysPurgedOnWrite) {
  const DWORD local = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_QUEUED, network = PRINTER_ATTRIBUTE_NETWORK;
  make_key(u"00000000000000000000000000000001", &local);    // gone, local: purged
  make_key(u"00000000000000000000000000000002", &network);  // gone, a connection: stays
  make_key(u"00000000000000000000000000000003", nullptr);   // nothing recorded: stays
  make_key(u"DirectFax", nullptr);
  make_key(u"A key whose name is far longer than any identity", &local);
  const BYTE v = 1;
  ASSERT_EQ(WriteUserRegistryValue(printer, handle, &v, 1, REG_BINARY, nullptr, u"V"), 1);
  EXPECT_FALSE(key_exists(u"00000000000000000000000000000001"));
  EXPECT_TRUE(key_exists(u"00000000000000000000000000000002"));
  EXPECT_TRUE(key_exists(u"00000000000000000000000000000003"));
  EXPECT_TRUE(key_exists(u"DirectFax"));
  EXPECT_TRUE(key_exists(u"A key whose name is far longer than any identity"));
  const std::u16string own = own_id();
  EXPECT_TRUE(key_exists(own));
  EXPECT_EQ(PurgeStaleUserKeys(kUserBase), 0u) << "a live printer's key is never stale";

  // The printer's own key goes when the printer is deleted.
  make_key(own, &local);
  ASSERT_EQ(DeleteUserRegistryKeys(printer, handle), 1);
  EXPECT_FALSE(key_exists(own));
  EXPECT_EQ(DeleteUserRegistryKeys(printer, nullptr), 0);
}

TEST_F(UserRegistry, DeleteUserKeyByMask) {
  const DWORD shared = PRINTER_ATTRIBUTE_SHARED;
  make_key(u"K1", &shared);
  EXPECT_EQ(DeleteUserKeyOfPrinter(u"K1", kUserBase, PRINTER_ATTRIBUTE_LOCAL), 0);
  EXPECT_TRUE(key_exists(u"K1"));
  EXPECT_EQ(DeleteUserKeyOfPrinter(u"K1", kUserBase, PRINTER_ATTRIBUTE_SHARED), 1);
  EXPECT_FALSE(key_exists(u"K1"));
  make_key(u"K2", nullptr);
  EXPECT_EQ(DeleteUserKeyOfPrinter(u"K2", kUserBase, PRINTER_ATTRIBUTE_LOCAL), 0);
  EXPECT_EQ(DeleteUserKeyOfPrinter(u"K2", kUserBase, 0), 1) << "mask 0 deletes always";
  EXPECT_FALSE(key_exists(u"K2"));
  EXPECT_EQ(DeleteUserKeyOfPrinter(u"K3", kUserBase, 0), 0);
}

}  // namespace
}  // namespace morva::test
