// Temp spool files: their life, their registry records, the write-failure
// box (answered by the platform's script) and the purge of stale files.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "output/temp_spool_file.h"
#include "settings/common/module_state.h"
#include "temp_root.h"
#include "win/win.h"

namespace {

std::string narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class TempFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    morva::platform::reset_message_boxes();
    SetTempFileKeyBase(kDefaultTempFileKeyBase);
    ResetTempSpoolFile(&record_, FALSE, nullptr);
  }
  void TearDown() override {
    morva::platform::inject_file_write_failure(0, 0, 0);
    if (record_.file != INVALID_HANDLE_VALUE || record_.path[0]) DeleteTempSpoolFile(&record_);
    morva::platform::reset_message_boxes();
  }
  bool record_exists(LPCWSTR path) {
    HKEY key = nullptr;
    std::u16string name = morva::output::temp_file_record_key(path);
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  std::u16string record_value(LPCWSTR path) {
    std::u16string name = morva::output::temp_file_record_key(path);
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return u"";
    WCHAR value[64] = {};
    DWORD type = 0, size = sizeof value - sizeof(WCHAR);
    LONG rc = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && type == REG_SZ ? std::u16string(value) : std::u16string();
  }
  std::string native(LPCWSTR path) {
    return morva::platform::native_path(path);
  }

  morva::test::TempRoot root_;
  TempSpoolFile record_{};
};

}  // namespace

TEST_F(TempFiles, RecordKeyNamesThePathWithSlashes) {
  EXPECT_EQ(morva::output::temp_file_record_key(u"C:\\Temp\\QZP3A.tmp"),
            u"Software\\Orvanto\\VKM Printer Driver\\TempFile\\C:/Temp/QZP3A.tmp");
  SetTempFileKeyBase(u"Software\\Other\\");
  EXPECT_EQ(morva::output::temp_file_record_key(u"C:\\a\\b.tmp"), u"Software\\Other\\TempFile\\C:/a/b.tmp");
}

TEST_F(TempFiles, CreatedWrittenReadAndDeletedWithItsRecord) {
  EXPECT_EQ(WriteTempSpoolFile(&record_, "x", 1), -1);  // closed
  ASSERT_EQ(CreateTempSpoolFile(&record_), 0);
  std::u16string path = record_.path;
  EXPECT_NE(path.find(u"\\QZP"), std::u16string::npos);
  EXPECT_EQ(IsTempSpoolFileOpen(&record_), 1);
  ASSERT_TRUE(record_exists(path.c_str()));
  EXPECT_TRUE(std::regex_match(narrow(record_value(path.c_str())),
                               std::regex(R"(\[\d{4},\d{2}/\d{2},\d{2}:\d{2}:\d{2}\])")));

  EXPECT_EQ(WriteTempSpoolFile(&record_, "0123456789", 10), 10);
  EXPECT_EQ(WriteTempSpoolFile(&record_, "", 0), 0);
  EXPECT_EQ(GetTempSpoolFileSize(&record_), 10);
  EXPECT_EQ(SeekTempSpoolFile(&record_, 11), -1);
  ASSERT_EQ(SeekTempSpoolFile(&record_, 2), 2);
  EXPECT_EQ(WriteTempSpoolFile(&record_, "ab", 2), 2);  // overwrites; size stays
  EXPECT_EQ(GetTempSpoolFileSize(&record_), 10);
  ASSERT_EQ(SeekTempSpoolFile(&record_, 5), 5);
  char out[16] = {};
  // Past the written size: refused, position kept.
  EXPECT_EQ(ReadTempSpoolFile(&record_, out, 10), -1);
  EXPECT_EQ(ReadTempSpoolFile(&record_, out, 5), 5);
  EXPECT_EQ(std::string(out, 5), "56789");
  ASSERT_EQ(SeekTempSpoolFile(&record_, 0), 0);
  EXPECT_EQ(ReadTempSpoolFile(&record_, out, 4), 4);
  EXPECT_EQ(std::string(out, 4), "01ab");
  EXPECT_EQ(SeekTempSpoolFileEnd(&record_), 10);

  std::string file = native(path.c_str());
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(DeleteTempSpoolFile(&record_), 0);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(record_exists(path.c_str()));
  EXPECT_EQ(IsTempSpoolFileOpen(&record_), -1);
  EXPECT_EQ(record_.path[0], 0);
}

TEST_F(TempFiles, CreatingAgainReplacesTheEarlierFile) {
  ASSERT_EQ(CreateTempSpoolFile(&record_), 0);
  std::u16string first = record_.path;
  std::string first_file = native(first.c_str());
  ASSERT_EQ(CreateTempSpoolFile(&record_), 0);
  EXPECT_FALSE(std::filesystem::exists(first_file));
  EXPECT_FALSE(record_exists(first.c_str()));
  EXPECT_TRUE(record_exists(record_.path));
}

// A failing write asks the user: OK retries until the bytes are all
// written, Cancel makes this and every later use of the file fail.
TEST_F(TempFiles, WriteFailureRetriedOnOkAndGivenUpOnCancel) {
  ASSERT_EQ(CreateTempSpoolFile(&record_), 0);
  ASSERT_EQ(WriteTempSpoolFile(&record_, "head", 4), 4);
  morva::platform::script_message_box_answers({IDOK, IDOK});
  morva::platform::inject_file_write_failure(ERROR_DISK_FULL, 0, 2);
  EXPECT_EQ(WriteTempSpoolFile(&record_, "body", 4), 4);
  auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].style, MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND);
  EXPECT_EQ(boxes[0].caption, u"警告");  // no owner module
  EXPECT_NE(boxes[0].text.find(u"\nCドライブ"), std::u16string::npos) << narrow(boxes[0].text);
  ASSERT_EQ(SeekTempSpoolFile(&record_, 0), 0);
  char out[8] = {};
  ASSERT_EQ(ReadTempSpoolFile(&record_, out, 8), 8);
  EXPECT_EQ(std::string(out, 8), "headbody");

  morva::platform::script_message_box_answers({IDCANCEL});
  morva::platform::inject_file_write_failure(ERROR_DISK_FULL, 0, 1);
  SeekTempSpoolFileEnd(&record_);
  EXPECT_EQ(WriteTempSpoolFile(&record_, "tail", 4), -1);
  EXPECT_EQ(IsTempSpoolFileOpen(&record_), -1);
  EXPECT_EQ(WriteTempSpoolFile(&record_, "tail", 4), -1);
  EXPECT_EQ(ReadTempSpoolFile(&record_, out, 1), -1);
  EXPECT_EQ(SeekTempSpoolFile(&record_, 0), -1);
  EXPECT_EQ(GetTempSpoolFileSize(&record_), 8);
}

// A real full device behind the record: the box names its drive, and the
// owner module's texts (the resource module beside this program) are used.
TEST_F(TempFiles, FullDeviceShowsTheOwnersTextsAndFailsOnCancel) {
  HMODULE texts = GetResourceModule();
  ASSERT_NE(texts, nullptr);
  ResetTempSpoolFile(&record_, FALSE, texts);
  record_.file = FileOpen(u"z:\\dev\\full", 0);
  ASSERT_NE(record_.file, INVALID_HANDLE_VALUE);
  lstrcpynW(record_.path, u"z:\\dev\\full", kTempPathChars);
  record_.usable = TRUE;
  morva::platform::script_message_box_answers({IDOK, IDCANCEL});
  EXPECT_EQ(WriteTempSpoolFile(&record_, "abc", 3), -1);
  auto boxes = morva::platform::message_box_log();
  ASSERT_EQ(boxes.size(), 2u);
  WCHAR caption[64] = {};
  ASSERT_GT(LoadStringW(texts, 6, caption, 64), 0);
  EXPECT_EQ(boxes[1].caption, caption);
  EXPECT_NE(boxes[1].text.find(u"Z"), std::u16string::npos);
  FileClose(record_.file);
  ResetTempSpoolFile(&record_, FALSE, nullptr);
  ReleaseResourceModule();
}

TEST_F(TempFiles, BoxDriveLetter) {
  struct Case {
    const char16_t* path;
    const char16_t* expected;
  } cases[] = {{u"d:\\spool\\QZP1.tmp", u"\nDドライブ"}, {u"\\\\server\\share\\QZP1.tmp", u"\n ドライブ"}, {u"", u"\n ドライブ"}};
  for (const Case& c : cases) {
    morva::platform::reset_message_boxes();
    TempSpoolFile r{};
    ResetTempSpoolFile(&r, FALSE, nullptr);
    lstrcpynW(r.path, c.path, kTempPathChars);
    EXPECT_EQ(ShowTempFileWriteBox(&r), IDOK);  // the default button
    auto boxes = morva::platform::message_box_log();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(c.expected), std::u16string::npos) << narrow(c.path);
  }
  EXPECT_EQ(ShowTempFileWriteBox(nullptr), IDCANCEL);
}

// Files left by jobs that died are deleted with their records; records of
// files already gone are dropped; a file still in use keeps existing.
TEST_F(TempFiles, PurgeDeletesStaleFilesAndRecords) {
  EXPECT_EQ(PurgeStaleTempFiles(), -1);  // no records yet
  TempSpoolFile stale{}, live{};
  ResetTempSpoolFile(&stale, FALSE, nullptr);
  ResetTempSpoolFile(&live, FALSE, nullptr);
  ASSERT_EQ(CreateTempSpoolFile(&stale), 0);
  ASSERT_EQ(CreateTempSpoolFile(&live), 0);
  std::u16string stale_path = stale.path, live_path = live.path;
  FileClose(stale.file);  // its job died: the file and its record stay behind
  RecordTempFileInRegistry(u"C:\\gone\\QZP99.tmp");
  ASSERT_EQ(PurgeStaleTempFiles(), 0);
  EXPECT_FALSE(std::filesystem::exists(native(stale_path.c_str())));
  EXPECT_FALSE(record_exists(stale_path.c_str()));
  EXPECT_FALSE(record_exists(u"C:\\gone\\QZP99.tmp"));
  // The live file cannot be opened by the purge (no sharing): its record
  // goes, the file stays with its job.
  EXPECT_FALSE(record_exists(live_path.c_str()));
  EXPECT_TRUE(std::filesystem::exists(native(live_path.c_str())));
  EXPECT_EQ(DeleteTempSpoolFile(&live), 0);
  EXPECT_FALSE(std::filesystem::exists(native(live_path.c_str())));

  // A reset with purge does the same at the start of a job.
  ASSERT_EQ(CreateTempSpoolFile(&stale), 0);
  stale_path = stale.path;
  FileClose(stale.file);
  ResetTempSpoolFile(&record_, TRUE, nullptr);
  EXPECT_FALSE(std::filesystem::exists(native(stale_path.c_str())));
}
