// The per-user lists of fax temporary files: what a sweep keeps and
// deletes, how files are listed, the key paths from the database, and
// processes sweeping and listing at the same time without losing entries.
//
// Most cases take the windows the sweep asks about from a small "user32.dll"
// table of window, parent and instance, so that any window layout can be
// set up; one case uses real windows of the platform's window system.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "fax/fax_temp_files.h"
#include "fax_database.h"
#include "temp_root.h"
#include "win/win.h"

using namespace morva::fax;
namespace fs = std::filesystem;

namespace {

constexpr char16_t kBase1[] = u"Software\\Test\\A\\";
constexpr char16_t kBase2[] = u"Software\\Test\\B\\";
const std::u16string kKey1 = std::u16string(kBase1) + u"DirectFax\\TempFile";
const std::u16string kKey2 = std::u16string(kBase2) + u"TempFile";

struct FakeWindow {
  HWND parent;
  LONG_PTR instance;
};
std::map<HWND, FakeWindow> g_windows;

HWND hwnd(ULONG_PTR n) { return reinterpret_cast<HWND>(n); }
HINSTANCE hinst(ULONG_PTR n) { return reinterpret_cast<HINSTANCE>(n); }
BOOL fake_is_window(HWND w) { return g_windows.count(w) ? TRUE : FALSE; }
HWND fake_get_parent(HWND w) { return g_windows.count(w) ? g_windows[w].parent : nullptr; }
LONG_PTR fake_get_long(HWND w, int index) {
  return index == -6 && g_windows.count(w) ? g_windows[w].instance : 0;
}

std::u16string native_to_u16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

class FaxTempFiles : public ::testing::Test {
 protected:
  morva::test::TempRoot root;

  void SetUp() override {
    g_windows.clear();
    morva::platform::register_builtin_module(u"user32.dll",
                                             {{"IsWindow", morva_proc(&fake_is_window)},
                                              {"GetParent", morva_proc(&fake_get_parent)},
                                              {"GetWindowLongPtrW", morva_proc(&fake_get_long)}});
  }
  // Puts the platform's own window queries back.
  void TearDown() override {
    morva::platform::register_builtin_module(u"user32.dll", {{"IsWindow", morva_proc(&IsWindow)},
                                                             {"GetParent", morva_proc(&GetParent)},
                                                             {"GetWindowLongPtrW", morva_proc(&GetWindowLongPtrW)}});
  }

  // A file under C:\fax of the given age in days; its Windows path.
  std::u16string make_file(const std::string& name, int days_old) {
    const std::string native = root.file("drive_c/fax/" + name);
    morva::test::write_file(native, "data");
    fs::last_write_time(native, fs::file_time_type::clock::now() - std::chrono::hours(24 * days_old) -
                                    std::chrono::minutes(days_old ? 5 : 0));
    return u"C:\\fax\\" + native_to_u16(name);
  }
  bool exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  // name → record of every "DFaxInfo_" value under the key.
  static std::map<std::u16string, FaxTempFileRecord> listed(const std::u16string& key_path) {
    std::map<std::u16string, FaxTempFileRecord> out;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    for (DWORD i = 0;; ++i) {
      WCHAR name[260];
      DWORD chars = 260;
      FaxTempFileRecord record{};
      DWORD size = sizeof(record);
      if (RegEnumValueW(key, i, name, &chars, nullptr, nullptr, reinterpret_cast<BYTE*>(&record), &size) !=
          ERROR_SUCCESS)
        break;
      if (IsFaxTempValueName(name)) out[name] = record;
    }
    RegCloseKey(key);
    return out;
  }
  static std::set<std::u16string> paths(const std::u16string& key_path) {
    std::set<std::u16string> out;
    for (const auto& [name, record] : listed(key_path)) out.insert(record.Path);
    return out;
  }
};

TEST_F(FaxTempFiles, ASweepKeepsLiveOwnersAndYoungFilesAndDeletesTheRest) {
  g_windows[hwnd(0x100)] = {nullptr, 0x4000};
  struct Case {
    const char* what;
    std::string file;
    int days_old;
    bool create;
    ULONG_PTR window, instance;
    bool value_kept, file_kept;
  };
  const Case cases[] = {
      {"owner alive, however old", "alive.tmp", 30, true, 0x100, 0x4000, true, true},
      {"owner window reused by another instance", "reused.tmp", 8, true, 0x100, 0x5000, false, false},
      {"file gone: only the value goes", "missing.tmp", 0, false, 0x200, 0x4000, false, false},
      {"owner gone, four days old", "young.tmp", 4, true, 0x200, 0x4000, true, true},
      {"owner gone, seven days old", "old.tmp", 7, true, 0x200, 0x4000, false, false},
  };
  std::vector<std::u16string> files;
  for (const Case& c : cases) {
    std::u16string path = c.create ? make_file(c.file, c.days_old) : u"C:\\fax\\" + native_to_u16(c.file);
    files.push_back(path);
    ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), path.c_str(), hwnd(c.window), hinst(c.instance)), ERROR_SUCCESS);
  }
  // A value of another name and a damaged value stay untouched.
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey2.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  const BYTE junk[4] = {1, 2, 3, 4};
  ASSERT_EQ(RegSetValueExW(key, u"Other", 0, REG_BINARY, junk, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, u"DFaxInfo_99", 0, REG_BINARY, junk, 4), ERROR_SUCCESS);
  RegCloseKey(key);

  EXPECT_EQ(PurgeDirectFaxTempFiles(nullptr, kBase1, kBase2), ERROR_SUCCESS);
  const auto left = paths(kKey2);
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(left.count(files[i]) == 1, cases[i].value_kept) << cases[i].what;
    EXPECT_EQ(exists(files[i]), cases[i].file_kept) << cases[i].what;
  }
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey2.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"Other", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(key, u"DFaxInfo_99", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
}

TEST_F(FaxTempFiles, BothListsAreSweptAndAMissingKeyIsReported) {
  const std::u16string old_file = make_file("first.tmp", 9);
  ASSERT_EQ(RegisterFaxTempFile(kKey1.c_str(), old_file.c_str(), hwnd(0x300), hinst(1)), ERROR_SUCCESS);
  EXPECT_EQ(PurgeFaxTempFiles(kKey2.c_str()), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(PurgeDirectFaxTempFiles(nullptr, kBase1, kBase2), ERROR_FILE_NOT_FOUND);  // second key missing
  EXPECT_FALSE(exists(old_file));
  EXPECT_TRUE(listed(kKey1).empty());
  EXPECT_EQ(PurgeDirectFaxTempFiles(nullptr, kBase1, nullptr), 0);  // no database for the second base
}

TEST_F(FaxTempFiles, ListingTakesTheLowestFreeNumberAndNeverListsTwice) {
  const std::u16string a = make_file("a.tmp", 0);
  const std::u16string b = make_file("b.tmp", 0);
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), a.c_str(), hwnd(1), hinst(2)), ERROR_SUCCESS);
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), u"c:\\FAX\\A.TMP", hwnd(1), hinst(2)), ERROR_SUCCESS);
  EXPECT_EQ(listed(kKey2).size(), 1u);  // same path (any case), window and instance
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), a.c_str(), hwnd(3), hinst(2)), ERROR_SUCCESS);
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), b.c_str(), hwnd(1), hinst(2)), ERROR_SUCCESS);
  auto values = listed(kKey2);
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[u"DFaxInfo_2"].Window, 3u);

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey2.c_str(), 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueW(key, u"DFaxInfo_2"), ERROR_SUCCESS);
  RegCloseKey(key);
  const std::u16string c = make_file("c.tmp", 0);
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), c.c_str(), hwnd(5), hinst(6)), ERROR_SUCCESS);
  values = listed(kKey2);
  EXPECT_EQ(std::u16string(values[u"DFaxInfo_2"].Path), c);
  EXPECT_EQ(values[u"DFaxInfo_2"].Instance, 6u);
  EXPECT_EQ(values.count(u"DFaxInfo_4"), 0u);
}

TEST_F(FaxTempFiles, AFileIsListedForItsTopLevelWindowUnderTheDatabasesKeys) {
  DddHandle* database = morva::test::open_fax_database(root);
  ASSERT_NE(database, nullptr);
  WCHAR path[kFaxTempKeyChars];
  ASSERT_EQ(GetFaxTempKeyPath(database, 0, kFaxTempKeyTail30, path, kFaxTempKeyChars), 1);
  EXPECT_EQ(std::u16string(path), std::u16string(morva::test::kFaxBase30) + u"DirectFax\\TempFile");
  ASSERT_EQ(GetFaxTempKeyPath(database, 1, nullptr, path, kFaxTempKeyChars), 1);
  EXPECT_EQ(std::u16string(path), morva::test::kFaxBase33);
  EXPECT_EQ(GetFaxTempKeyPath(database, 1, nullptr, path, 10), 0);  // does not fit
  EXPECT_EQ(GetFaxTempKeyPath(database, 2, nullptr, path, kFaxTempKeyChars), 0);

  g_windows[hwnd(0x10)] = {nullptr, 0x7000};       // the sheet's frame
  g_windows[hwnd(0x11)] = {hwnd(0x10), 0x7001};    // a page
  g_windows[hwnd(0x12)] = {hwnd(0x11), 0x7002};    // a control on it
  const std::u16string file = make_file("sheet.tmp", 10);
  EXPECT_EQ(PurgeAndRecordFaxTempFile(database, hwnd(0x12), file.c_str(), nullptr), ERROR_SUCCESS);
  const std::u16string key33 = std::u16string(morva::test::kFaxBase33) + u"TempFile";
  auto values = listed(key33);
  ASSERT_EQ(values.size(), 1u);
  EXPECT_EQ(values[u"DFaxInfo_1"].Window, 0x10u);
  EXPECT_EQ(values[u"DFaxInfo_1"].Instance, 0x7000u);

  EXPECT_EQ(PurgeDirectFaxTempFiles(database, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_TRUE(exists(file));  // its sheet is still open
  g_windows.clear();          // the sheet closed
  EXPECT_EQ(PurgeDirectFaxTempFiles(database, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_FALSE(exists(file));
  EXPECT_TRUE(listed(key33).empty());
  DddClose(database);
}

TEST_F(FaxTempFiles, TheFixedAddressFileIsNeverDeleted) {
  morva::test::write_file(root.file("drive_c/qzfaxaddress.tmp"), "x");
  EXPECT_TRUE(DeleteFaxAddressFile(kFixedFaxAddressFile));
  EXPECT_TRUE(exists(kFixedFaxAddressFile));
  EXPECT_TRUE(DeleteFaxAddressFile(u"c:\\qzfaxaddress.tmp"));  // another spelling is an ordinary file
  EXPECT_FALSE(exists(kFixedFaxAddressFile));
  EXPECT_FALSE(DeleteFaxAddressFile(u"C:\\fax\\none.tmp"));
  EXPECT_FALSE(DeleteFaxAddressFile(nullptr));
}

// Processes listing files while another sweeps: every file listed is there
// afterwards, each under a number of its own.
TEST_F(FaxTempFiles, ProcessesListingAndSweepingAtOnceLoseNoEntry) {
  constexpr int kWriters = 3;
  constexpr int kFilesEach = 15;
  std::vector<std::thread> children;
  std::vector<int> results(kWriters + 1, -1);
  for (int i = 0; i <= kWriters; ++i)
    children.emplace_back([&, i] {
      results[i] = morva::test::run_child_tests("FaxTempFilesChild.*", root.path(), i < kWriters ? "lister" : "sweeper",
                                                {{"FAX_WRITER", std::to_string(i)}});
    });
  for (auto& t : children) t.join();
  for (int r : results) EXPECT_EQ(r, 0);
  const auto values = listed(kKey2);
  EXPECT_EQ(values.size(), static_cast<size_t>(kWriters * kFilesEach));
  std::set<std::u16string> seen;
  for (const auto& [name, record] : values) seen.insert(record.Path);
  EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kFilesEach));
}

TEST(FaxTempFilesChild, ListsOrSweeps) {
  const std::string role = morva::test::child_role();
  if (role.empty()) GTEST_SKIP() << "runs in the child process only";
  if (role == "sweeper") {
    for (int i = 0; i < 20; ++i) PurgeDirectFaxTempFiles(nullptr, kBase1, kBase2);
    return;
  }
  const std::string writer = std::getenv("FAX_WRITER");
  for (int n = 0; n < 15; ++n) {
    const std::string name = "w" + writer + "-" + std::to_string(n) + ".tmp";
    morva::test::write_file(morva::platform::machine_root() + "/drive_c/fax/" + name, "data");
    const std::u16string path = u"C:\\fax\\" + native_to_u16(name);
    ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), path.c_str(), hwnd(0x50), hinst(1)), ERROR_SUCCESS);
  }
}

}  // namespace

// The sweep's run-time binding reaches the platform's own window system: a
// file whose owner is a live window of the right instance is kept, and goes
// once that window is destroyed.
TEST(FaxTempFilesWithRealWindows, AFileStaysWhileItsOwnerWindowLives) {
  morva::test::TempRoot root;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(0x6000));
  HWND frame = CreateWindowExW(0, u"STATIC", u"sheet", 0, 0, 0, 100, 100, nullptr, nullptr, instance, nullptr);
  ASSERT_NE(frame, nullptr);
  const std::string native = root.file("drive_c/fax/owned.tmp");
  morva::test::write_file(native, "data");
  fs::last_write_time(native, fs::file_time_type::clock::now() - std::chrono::hours(24 * 30));
  const std::u16string path = u"C:\\fax\\owned.tmp";
  ASSERT_EQ(RegisterFaxTempFile(kKey2.c_str(), path.c_str(), frame, instance), ERROR_SUCCESS);

  EXPECT_EQ(PurgeFaxTempFiles(kKey2.c_str()), ERROR_SUCCESS);
  EXPECT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
  ASSERT_TRUE(DestroyWindow(frame));
  EXPECT_EQ(PurgeFaxTempFiles(kKey2.c_str()), ERROR_SUCCESS);
  EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
}
