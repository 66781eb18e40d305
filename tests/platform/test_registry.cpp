#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

#include "child_process.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

using morva::platform::StoreFault;

std::vector<BYTE> bytes_of(const std::u16string& s) {
  std::vector<BYTE> b((s.size() + 1) * 2);
  std::memcpy(b.data(), s.c_str(), b.size());
  return b;
}

std::vector<BYTE> query(HKEY key, const char16_t* name, DWORD* type = nullptr) {
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, type, nullptr, &size) != ERROR_SUCCESS) return {};
  std::vector<BYTE> out(size);
  EXPECT_EQ(RegQueryValueExW(key, name, nullptr, type, out.data(), &size), ERROR_SUCCESS);
  return out;
}

std::vector<std::u16string> enum_values(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[64];
    DWORD chars = 64;
    LSTATUS rc = RegEnumValueW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    names.emplace_back(name, chars);
  }
  return names;
}

std::vector<std::u16string> enum_keys(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD chars = 256;
    LSTATUS rc = RegEnumKeyExW(key, i, name, &chars, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    EXPECT_EQ(rc, ERROR_SUCCESS);
    names.emplace_back(name, chars);
  }
  return names;
}

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { morva::platform::use_in_memory_store(true); }
  void TearDown() override {
    if (key_) RegCloseKey(key_);
    morva::platform::clear_store_faults();
    morva::platform::use_in_memory_store(false);
  }
  HKEY create(HKEY root, const char16_t* path, REGSAM sam = KEY_ALL_ACCESS) {
    HKEY k = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path, 0, nullptr, 0, sam, nullptr, &k, nullptr), ERROR_SUCCESS);
    return k;
  }
  HKEY key_ = nullptr;
};

TEST_F(Registry, KeysOpenWhateverTheCaseAndKeepTheirOwn) {
  DWORD disposition = 0;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Morva\\Printers", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key_, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  HKEY again = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"SOFTWARE\\morva\\PRINTERS", 0, nullptr, 0, KEY_READ, nullptr,
                            &again, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(again);

  HKEY parent = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\MORVA", 0, KEY_READ, &parent), ERROR_SUCCESS);
  EXPECT_EQ(enum_keys(parent), std::vector<std::u16string>{u"Printers"});
  RegCloseKey(parent);

  // Case is ignored beyond ASCII too.
  HKEY accented = create(HKEY_LOCAL_MACHINE, u"Software\\\u00c4rger\\\u041f\u0440\u0438\u043d\u0442\u0435\u0440");
  RegCloseKey(accented);
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"software\\\u00e4RGER\\\u041f\u0420\u0418\u041d\u0422\u0415\u0420", 0,
                          KEY_READ, &accented),
            ERROR_SUCCESS);
  RegCloseKey(accented);

  // The two hives are separate.
  HKEY user = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Morva", 0, KEY_READ, &user), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(0x1234)), ERROR_INVALID_HANDLE);
}

TEST_F(Registry, ValuesOfEveryTypeRoundTrip) {
  key_ = create(HKEY_CURRENT_USER, u"Software\\Morva\\Values");
  const DWORD dword = 0x12345678;
  const BYTE binary[] = {0, 1, 2, 0xff, 0};
  const char16_t multi[] = u"first\0second\0";
  struct Case {
    const char16_t* name;
    DWORD type;
    std::vector<BYTE> data;
  } cases[] = {
      {u"Text", REG_SZ, bytes_of(u"h\u00e9llo")},
      {u"Number", REG_DWORD, std::vector<BYTE>(reinterpret_cast<const BYTE*>(&dword), reinterpret_cast<const BYTE*>(&dword) + 4)},
      {u"Blob", REG_BINARY, std::vector<BYTE>(binary, binary + sizeof binary)},
      {u"List", REG_MULTI_SZ, std::vector<BYTE>(reinterpret_cast<const BYTE*>(multi), reinterpret_cast<const BYTE*>(multi) + sizeof multi)},
      {u"", REG_SZ, bytes_of(u"unnamed")},
      {u"Empty", REG_BINARY, {}},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(RegSetValueExW(key_, c.name, 0, c.type, c.data.data(), static_cast<DWORD>(c.data.size())), ERROR_SUCCESS);
  }
  for (const auto& c : cases) {
    DWORD type = 0;
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExW(key_, c.name, nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(query(key_, c.name), c.data);
  }
  // The unnamed value is reached by a null name as well, and names ignore case.
  EXPECT_EQ(query(key_, nullptr), bytes_of(u"unnamed"));
  EXPECT_EQ(query(key_, u"NUMBER").size(), 4u);
  // RegSetValueW writes the unnamed value of a sub-key, creating it.
  ASSERT_EQ(RegSetValueW(key_, u"Sub\\Deeper", REG_SZ, u"[stamp]", 0), ERROR_SUCCESS);
  HKEY sub = nullptr;
  ASSERT_EQ(RegOpenKeyExW(key_, u"sub\\deeper", 0, KEY_READ, &sub), ERROR_SUCCESS);
  EXPECT_EQ(query(sub, u""), bytes_of(u"[stamp]"));
  RegCloseKey(sub);
}

TEST_F(Registry, QueryReportsSizesAndMoreData) {
  key_ = create(HKEY_LOCAL_MACHINE, u"Software\\Sizes");
  const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(RegSetValueExW(key_, u"Ten", 0, REG_BINARY, data, 10), ERROR_SUCCESS);

  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key_, u"Ten", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 10u);

  BYTE small[4] = {0xee, 0xee, 0xee, 0xee};
  size = sizeof small;
  EXPECT_EQ(RegQueryValueExW(key_, u"Ten", nullptr, nullptr, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 10u);

  BYTE exact[10] = {};
  size = 10;
  EXPECT_EQ(RegQueryValueExW(key_, u"Ten", nullptr, nullptr, exact, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::memcmp(exact, data, 10), 0);

  EXPECT_EQ(RegQueryValueExW(key_, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key_, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key_, u"Ten", nullptr, nullptr, exact, nullptr), ERROR_INVALID_PARAMETER);
}

TEST_F(Registry, ValuesEnumerateInOrderAfterChangesAndDeletion) {
  key_ = create(HKEY_CURRENT_USER, u"Software\\Enum");
  DWORD one = 1;
  for (const char16_t* n : {u"alpha", u"Bravo", u"charlie", u"delta"})
    ASSERT_EQ(RegSetValueExW(key_, n, 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), 4), ERROR_SUCCESS);
  // Rewriting a value (in another case) keeps its place and its name.
  DWORD two = 2;
  ASSERT_EQ(RegSetValueExW(key_, u"BRAVO", 0, REG_DWORD, reinterpret_cast<BYTE*>(&two), 4), ERROR_SUCCESS);
  EXPECT_EQ(enum_values(key_), (std::vector<std::u16string>{u"alpha", u"Bravo", u"charlie", u"delta"}));

  ASSERT_EQ(RegDeleteValueW(key_, u"bravo"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueW(key_, u"bravo"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(enum_values(key_), (std::vector<std::u16string>{u"alpha", u"charlie", u"delta"}));

  // A name buffer without room for the terminator, and a data buffer too small.
  WCHAR name[8];
  DWORD chars = 7;  // "charlie" needs 8 with its terminator
  EXPECT_EQ(RegEnumValueW(key_, 1, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  BYTE data[2];
  DWORD size = sizeof data;
  DWORD type = 0;
  chars = 8;
  EXPECT_EQ(RegEnumValueW(key_, 1, name, &chars, nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_DWORD);

  DWORD values = 0, max_name = 0, max_data = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key_, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &max_name,
                             &max_data, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(max_name, 7u);
  EXPECT_EQ(max_data, 4u);
}

TEST_F(Registry, KeysEnumerateByNameAfterDeletion) {
  key_ = create(HKEY_LOCAL_MACHINE, u"Software\\Tree");
  for (const char16_t* n : {u"gamma", u"Alpha", u"beta", u"Beta2"}) RegCloseKey(create(key_, n));
  EXPECT_EQ(enum_keys(key_), (std::vector<std::u16string>{u"Alpha", u"beta", u"Beta2", u"gamma"}));
  ASSERT_EQ(RegDeleteKeyW(key_, u"BETA"), ERROR_SUCCESS);
  EXPECT_EQ(enum_keys(key_), (std::vector<std::u16string>{u"Alpha", u"Beta2", u"gamma"}));
  WCHAR name[4];
  DWORD chars = 4;
  EXPECT_EQ(RegEnumKeyExW(key_, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(RegDeleteKeyW(key_, u"beta"), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, TreesDeleteWholeAndHandlesNoticeIt) {
  key_ = create(HKEY_CURRENT_USER, u"Software\\Gone");
  HKEY deep = create(key_, u"a\\b\\c");
  DWORD v = 7;
  ASSERT_EQ(RegSetValueExW(deep, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key_, u"top", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);

  // A key with sub-keys is not deleted on its own.
  EXPECT_EQ(RegDeleteKeyW(key_, u"a"), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegDeleteTreeW(key_, u"A"), ERROR_SUCCESS);
  EXPECT_TRUE(enum_keys(key_).empty());
  EXPECT_EQ(RegSetValueExW(deep, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(deep), ERROR_SUCCESS);
  // Re-creating the path gives a new, empty key.
  deep = create(key_, u"a\\b\\c");
  EXPECT_TRUE(enum_values(deep).empty());
  RegCloseKey(deep);

  // A null sub-key empties the key but keeps it.
  ASSERT_EQ(RegDeleteTreeW(key_, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(enum_keys(key_).empty());
  EXPECT_TRUE(enum_values(key_).empty());
  EXPECT_EQ(RegSetValueExW(key_, u"again", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
}

TEST_F(Registry, HandlesKeepTheirAccessRights) {
  RegCloseKey(create(HKEY_LOCAL_MACHINE, u"Software\\Locked"));
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Locked", 0, KEY_READ, &key_), ERROR_SUCCESS);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(key_, u"x", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_ACCESS_DENIED);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key_, u"child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(enum_values(key_).empty());
}

TEST_F(Registry, InjectedFaultsAreReportedAndChangeNothing) {
  key_ = create(HKEY_CURRENT_USER, u"Software\\Faults");
  DWORD v = 5;
  struct Case {
    StoreFault fault;
    LSTATUS error;
  } cases[] = {{StoreFault::access_denied, ERROR_ACCESS_DENIED},
               {StoreFault::write_failure, ERROR_WRITE_FAULT},
               {StoreFault::disk_full, ERROR_DISK_FULL}};
  for (const auto& c : cases) {
    morva::platform::inject_store_fault(c.fault, 0, 1);
    EXPECT_EQ(RegSetValueExW(key_, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), c.error);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key_, u"v", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  }
  // A fault that lets one write through strikes the second: a new key.
  morva::platform::inject_store_fault(StoreFault::disk_full, 1, 1);
  EXPECT_EQ(RegSetValueExW(key_, u"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  HKEY sub = nullptr;
  EXPECT_EQ(RegCreateKeyExW(key_, u"new", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr), ERROR_DISK_FULL);
  EXPECT_EQ(sub, nullptr);
  EXPECT_TRUE(enum_keys(key_).empty());
  EXPECT_EQ(RegDeleteValueW(key_, u"v"), ERROR_SUCCESS);
}

// A real limit from the system: the database cannot grow past a file-size
// limit. The write fails with an error, and the store works on afterwards.
TEST(RegistryOnDisk, FileSizeLimitFailsTheWrite) {
  morva::test::TempRoot root;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Big", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::vector<BYTE> big(1 << 20, 0x5a);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit low = old;
  low.rlim_cur = 256 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &low), 0);
  LSTATUS rc = RegSetValueExW(key, u"Blob", 0, REG_BINARY, big.data(), static_cast<DWORD>(big.size()));
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, previous);
  EXPECT_TRUE(rc == ERROR_DISK_FULL || rc == ERROR_WRITE_FAULT) << rc;
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Blob", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  DWORD v = 1;
  EXPECT_EQ(RegSetValueExW(key, u"Small", 0, REG_DWORD, reinterpret_cast<BYTE*>(&v), 4), ERROR_SUCCESS);
  RegCloseKey(key);
}

// Several processes writing at once: every write that succeeded is there.
TEST(RegistryAcrossProcesses, ConcurrentWritersLoseNothing) {
  morva::test::TempRoot root;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Busy", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  std::vector<std::thread> writers;
  std::vector<int> results(3, -1);
  for (int i = 0; i < 3; ++i)
    writers.emplace_back([&, i] {
      results[i] = morva::test::run_child_tests("RegistryChild.*", root.path(), "writer",
                                                {{"WRITER", std::to_string(i)}});
    });
  for (DWORD n = 0; n < 40; ++n) {
    std::u16string name = u"parent-" + std::u16string(1, static_cast<char16_t>(u'A' + n % 26)) + std::u16string(1, static_cast<char16_t>(u'a' + n / 26));
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4), ERROR_SUCCESS);
  }
  for (auto& t : writers) t.join();
  for (int r : results) EXPECT_EQ(r, 0);
  DWORD values = 0;
  ASSERT_EQ(RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(values, 40u + 3u * 40u);
  RegCloseKey(key);
}

TEST(RegistryChild, WritesBesideOthers) {
  if (morva::test::child_role() != "writer") GTEST_SKIP() << "runs in the child process only";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Busy", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  std::string writer = std::getenv("WRITER");
  for (DWORD n = 0; n < 40; ++n) {
    std::string name = "w" + writer + "-" + std::to_string(n);
    std::u16string wide(name.begin(), name.end());
    ASSERT_EQ(RegSetValueExW(key, wide.c_str(), 0, REG_DWORD, reinterpret_cast<BYTE*>(&n), 4), ERROR_SUCCESS);
  }
  RegCloseKey(key);
}

// Persistence: a write that returned success is seen by another process.
TEST(RegistryAcrossProcesses, WrittenValuesSurviveTheProcess) {
  morva::test::TempRoot root;
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Software\\Morva\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  auto text = bytes_of(u"from the parent");
  ASSERT_EQ(RegSetValueExW(key, u"Text", 0, REG_SZ, text.data(), static_cast<DWORD>(text.size())), ERROR_SUCCESS);
  DWORD gone = 1;
  ASSERT_EQ(RegSetValueExW(key, u"Gone", 0, REG_DWORD, reinterpret_cast<BYTE*>(&gone), 4), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(key, u"Gone"), ERROR_SUCCESS);

  ASSERT_EQ(morva::test::run_child_tests("RegistryChild.*", root.path(), "registry"), 0);

  // The child's answer is visible here.
  EXPECT_EQ(query(key, u"Reply"), bytes_of(u"from the child"));
  RegCloseKey(key);
}

TEST(RegistryChild, ReadsWhatTheParentWrote) {
  if (morva::test::child_role() != "registry") GTEST_SKIP() << "runs in the child process only";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"software\\morva\\shared", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  EXPECT_EQ(query(key, u"text"), bytes_of(u"from the parent"));
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(key, u"Gone", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  auto reply = bytes_of(u"from the child");
  EXPECT_EQ(RegSetValueExW(key, u"Reply", 0, REG_SZ, reply.data(), static_cast<DWORD>(reply.size())), ERROR_SUCCESS);
  RegCloseKey(key);
}

}  // namespace

namespace {

TEST_F(Registry, AnsiCallsConvertNamesAndText) {
  morva::test::TempRoot root;  // holds the machine's code page
  struct Case {
    unsigned code_page;
    std::string ansi;       // "caf\xe9" in 1252, a kana pair in 932
    std::u16string wide;
  } cases[] = {{1252, "caf\xe9", u"caf\u00e9"}, {932, "\x83\x65\x83\x58\x83\x67", u"\u30c6\u30b9\u30c8"}};
  for (const auto& c : cases) {
    ASSERT_TRUE(morva::platform::set_ansi_code_page(c.code_page));
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, ("Software\\" + c.ansi).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    std::string text = c.ansi + std::string(1, '\0');
    ASSERT_EQ(RegSetValueExA(key, c.ansi.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size())),
              ERROR_SUCCESS);
    // The registry holds UTF-16; the W call sees it so.
    std::u16string name = c.wide;
    EXPECT_EQ(query(key, name.c_str()), bytes_of(c.wide));
    // The A call converts back, and reports the ANSI size.
    DWORD size = 0;
    ASSERT_EQ(RegQueryValueExA(key, c.ansi.c_str(), nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, text.size());
    std::string back(size, 'x');
    ASSERT_EQ(RegQueryValueExA(key, c.ansi.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(back.data()), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(back, text);
    RegCloseKey(key);
    HKEY software = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, &software), ERROR_SUCCESS);
    char sub[64];
    DWORD chars = sizeof sub;
    ASSERT_EQ(RegEnumKeyExA(software, 0, sub, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(std::string(sub, chars), c.ansi);
    RegCloseKey(software);
    ASSERT_EQ(RegDeleteTreeW(HKEY_LOCAL_MACHINE, u"Software"), ERROR_SUCCESS);
  }
}

}  // namespace

namespace {

// HKEY_CURRENT_USER follows the machine's current user; HKEY_LOCAL_MACHINE
// is shared.
TEST(RegistryUsers, EachUserHasAHiveOfItsOwn) {
  morva::test::TempRoot root;
  auto write = [](HKEY hive, const std::u16string& text) {
    HKEY k = nullptr;
    ASSERT_EQ(RegCreateKeyExW(hive, u"Software\\Mine", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k, nullptr),
              ERROR_SUCCESS);
    auto b = bytes_of(text);
    ASSERT_EQ(RegSetValueExW(k, u"who", 0, REG_SZ, b.data(), static_cast<DWORD>(b.size())), ERROR_SUCCESS);
    RegCloseKey(k);
  };
  auto read = [](HKEY hive) {
    HKEY k = nullptr;
    if (RegOpenKeyExW(hive, u"Software\\Mine", 0, KEY_READ, &k) != ERROR_SUCCESS) return std::u16string(u"<none>");
    auto b = query(k, u"who");
    RegCloseKey(k);
    return std::u16string(reinterpret_cast<const char16_t*>(b.data()));
  };
  write(HKEY_CURRENT_USER, u"default user");
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", "alice"));
  EXPECT_EQ(read(HKEY_CURRENT_USER), u"<none>");
  write(HKEY_CURRENT_USER, u"alice");
  write(HKEY_LOCAL_MACHINE, u"machine");
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", "Bob"));
  EXPECT_EQ(read(HKEY_CURRENT_USER), u"<none>");
  write(HKEY_CURRENT_USER, u"bob");
  EXPECT_EQ(read(HKEY_LOCAL_MACHINE), u"machine");
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u""), ERROR_ACCESS_DENIED);  // the hive itself stays
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", "ALICE"));
  EXPECT_EQ(read(HKEY_CURRENT_USER), u"alice");
  ASSERT_TRUE(morva::platform::set_machine_setting("user_name", ""));
  EXPECT_EQ(read(HKEY_CURRENT_USER), u"default user");
}

}  // namespace
