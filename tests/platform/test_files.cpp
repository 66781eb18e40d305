#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>
#include <set>

#include "temp_root.h"
#include "win/clock.h"
#include "win/errors.h"
#include "win/files.h"
#include "win/strings.h"
#include "win/sysinfo.h"

namespace {

using morva::test::read_file;
using morva::test::write_file;

class Files : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(root_.file("drive_c/dir")); }
  void TearDown() override { morva::platform::inject_file_write_failure(0, 0, 0); }
  HANDLE open(const char16_t* name, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(name, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  morva::test::TempRoot root_;
};

TEST_F(Files, CreationDispositions) {
  struct Step {
    DWORD disposition;
    bool exists_before;
    bool opens;
    DWORD error;  // last error after the call
    const char* content_after;
  } steps[] = {
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, nullptr},
      {CREATE_NEW, false, true, ERROR_SUCCESS, ""},
      {CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
      {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, "old"},
      {OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, ""},
      {CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
      {TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
      {OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
  };
  const std::string path = root_.file("drive_c/dir/f.txt");
  for (const auto& s : steps) {
    std::filesystem::remove(path);
    if (s.exists_before) write_file(path, "old");
    HANDLE h = open(u"C:\\DIR\\f.txt", GENERIC_READ | GENERIC_WRITE, 0, s.disposition);
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, s.opens) << s.disposition;
    EXPECT_EQ(GetLastError(), s.error) << s.disposition;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (s.content_after) {
      EXPECT_EQ(read_file(path), s.content_after) << s.disposition;
    }
  }
  EXPECT_EQ(open(u"C:\\nodir\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(open(u"C:\\dir", GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
}

TEST_F(Files, ReadWriteSeekAndSize) {
  HANDLE h = open(u"C:\\dir\\data.bin", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &n, nullptr));
  EXPECT_EQ(n, 11u);
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(n, 5u);
  EXPECT_STREQ(buf, "world");
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &n, nullptr));  // end of file
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NEGATIVE_SEEK));
  LONG high = 1;  // 4 GiB + 2: beyond the 32-bit answer
  EXPECT_EQ(SetFilePointer(h, 2, &high, FILE_BEGIN), 2u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(SetFilePointer(h, 5, nullptr, FILE_BEGIN), 5u);
  ASSERT_TRUE(SetEndOfFile(h));
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(h, &size));
  EXPECT_EQ(size.QuadPart, 5);
  OVERLAPPED at{};
  at.Offset = 1;
  ASSERT_TRUE(ReadFile(h, buf, 3, &n, &at));
  EXPECT_EQ(std::string(buf, 3), "ell");
  ASSERT_TRUE(FlushFileBuffers(h));
  ASSERT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReadFile(h, buf, 1, &n, nullptr));
}

TEST_F(Files, AccessRights) {
  write_file(root_.file("drive_c/dir/r.txt"), "abc");
  HANDLE h = open(u"C:\\dir\\r.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  DWORD n;
  EXPECT_FALSE(WriteFile(h, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  CloseHandle(h);
  h = open(u"C:\\dir\\r.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  char c;
  EXPECT_FALSE(ReadFile(h, &c, 1, &n, nullptr));
  CloseHandle(h);
}

TEST_F(Files, SharingModesBetweenHandles) {
  write_file(root_.file("drive_c/dir/s.txt"), "abc");
  struct Case {
    DWORD access1, share1, access2, share2;
    bool second_opens;
  } cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, FILE_SHARE_READ, false},
      {GENERIC_READ, 0, GENERIC_READ, FILE_SHARE_READ, false},
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, false},  // 2nd must share write
      {GENERIC_WRITE, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {0, 0, GENERIC_READ | GENERIC_WRITE, 0, true},  // attribute-only opens do not lock
  };
  for (const auto& c : cases) {
    HANDLE a = open(u"C:\\dir\\s.txt", c.access1, c.share1, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    HANDLE b = open(u"c:\\DIR\\s.txt", c.access2, c.share2, OPEN_EXISTING);
    EXPECT_EQ(b != INVALID_HANDLE_VALUE, c.second_opens) << c.access1 << "/" << c.share1 << " " << c.access2 << "/" << c.share2;
    if (b == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    } else {
      CloseHandle(b);
    }
    CloseHandle(a);
  }
  // Deleting or moving an open file needs FILE_SHARE_DELETE.
  HANDLE a = open(u"C:\\dir\\s.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(DeleteFileW(u"C:\\dir\\s.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(u"C:\\dir\\s.txt", u"C:\\dir\\t.txt"));
  CloseHandle(a);
  a = open(u"C:\\dir\\s.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(u"C:\\dir\\s.txt"));
  CloseHandle(a);
}

TEST_F(Files, FailingWritesAreReported) {
  // A real full device: writes fail with ENOSPC.
  ASSERT_EQ(::symlink("/dev/full", root_.file("drive_c/dir/full").c_str()), 0);
  HANDLE h = open(u"C:\\dir\\full", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 99;
  EXPECT_FALSE(WriteFile(h, "data", 4, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DISK_FULL));
  EXPECT_EQ(n, 0u);
  CloseHandle(h);
  // Injected failures for callers that test their error paths.
  h = open(u"C:\\dir\\w.bin", GENERIC_WRITE, 0, CREATE_ALWAYS);
  morva::platform::inject_file_write_failure(ERROR_WRITE_FAULT, 1, 1);
  EXPECT_TRUE(WriteFile(h, "a", 1, &n, nullptr));
  EXPECT_FALSE(WriteFile(h, "b", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_TRUE(WriteFile(h, "c", 1, &n, nullptr));
  CloseHandle(h);
  EXPECT_EQ(read_file(root_.file("drive_c/dir/w.bin")), "ac");
}

TEST_F(Files, ReadOnlyAttribute) {
  HANDLE h = CreateFileW(u"C:\\dir\\ro.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_READONLY, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(u"C:\\dir\\ro.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_EQ(open(u"C:\\dir\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(DeleteFileW(u"C:\\dir\\ro.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\dir\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(DeleteFileW(u"C:\\dir\\ro.txt"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\dir\\ro.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"C:\\nodir\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesW(u"c:\\DIR"), FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(Files, CopyMoveAndFolders) {
  write_file(root_.file("drive_c/dir/a.txt"), "AAA");
  write_file(root_.file("drive_c/dir/b.txt"), "B");
  EXPECT_FALSE(CopyFileW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt", FALSE));
  EXPECT_EQ(read_file(root_.file("drive_c/dir/b.txt")), "AAA");
  EXPECT_FALSE(CopyFileW(u"C:\\dir\\none", u"C:\\dir\\c.txt", FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_FALSE(MoveFileW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_TRUE(MoveFileExW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt", MOVEFILE_REPLACE_EXISTING));
  EXPECT_TRUE(MoveFileW(u"C:\\dir\\b.txt", u"C:\\dir\\c.txt"));
  EXPECT_EQ(read_file(root_.file("drive_c/dir/c.txt")), "AAA");

  EXPECT_TRUE(CreateDirectoryW(u"C:\\dir\\sub", nullptr));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\dir\\SUB", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(CreateDirectoryW(u"C:\\no\\sub", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  write_file(root_.file("drive_c/dir/sub/x"), "");
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\dir\\sub"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  EXPECT_TRUE(DeleteFileW(u"C:\\dir\\sub\\x"));
  EXPECT_TRUE(RemoveDirectoryW(u"C:\\dir\\sub"));
}

TEST_F(Files, FindFiles) {
  for (const char* n : {"Alpha.txt", "beta.TXT", "gamma.dat", "README"}) write_file(root_.file(std::string("drive_c/dir/") + n), "12345");
  auto find = [](const char16_t* pattern) {
    std::set<std::u16string> names;
    WIN32_FIND_DATAW data{};
    HANDLE h = FindFirstFileW(pattern, &data);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.insert(data.cFileName);
    while (FindNextFileW(h, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
  };
  using S = std::set<std::u16string>;
  EXPECT_EQ(find(u"C:\\dir\\*.txt"), (S{u"Alpha.txt", u"beta.TXT"}));
  EXPECT_EQ(find(u"C:\\dir\\*.*"), (S{u".", u"..", u"Alpha.txt", u"beta.TXT", u"gamma.dat", u"README"}));
  EXPECT_EQ(find(u"C:\\dir\\?eta.*"), (S{u"beta.TXT"}));
  EXPECT_EQ(find(u"C:\\dir\\readme.*"), (S{u"README"}));
  EXPECT_EQ(find(u"c:\\DIR\\ALPHA.TXT"), (S{u"Alpha.txt"}));
  EXPECT_EQ(find(u"C:\\*"), (S{u"dir"}));  // no dots at a drive's root
  WIN32_FIND_DATAW data{};
  EXPECT_EQ(FindFirstFileW(u"C:\\dir\\*.none", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(FindFirstFileW(u"C:\\nodir\\*", &data), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  HANDLE h = FindFirstFileW(u"C:\\dir\\gamma.dat", &data);
  EXPECT_EQ(data.nFileSizeLow, 5u);
  EXPECT_EQ(data.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  FindClose(h);
}

TEST_F(Files, TempAndSystemFolders) {
  WCHAR buf[MAX_PATH];
  EXPECT_EQ(GetTempPathW(MAX_PATH, buf), 16u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\Temp\\");
  EXPECT_EQ(GetTempPathW(4, buf), 17u);
  EXPECT_TRUE(std::filesystem::is_directory(root_.file("drive_c/Windows/Temp")));
  EXPECT_EQ(GetWindowsDirectoryW(buf, MAX_PATH), 10u);
  EXPECT_EQ(GetSystemDirectoryW(buf, MAX_PATH), 19u);
  EXPECT_EQ(std::u16string(buf), u"C:\\Windows\\System32");

  WCHAR name[MAX_PATH];
  UINT n = GetTempFileNameW(u"C:\\dir", u"QZFX", 0, name);
  ASSERT_NE(n, 0u);
  std::u16string made(name);
  EXPECT_EQ(made.rfind(u"C:\\dir\\QZF", 0), 0u);
  EXPECT_EQ(made.substr(made.size() - 4), u".tmp");
  EXPECT_NE(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);  // created
  UINT m = GetTempFileNameW(u"C:\\dir", u"QZF", 0, name);
  EXPECT_NE(m, n);
  EXPECT_EQ(GetTempFileNameW(u"C:\\dir\\", u"A", 0x1AB, name), 0x1ABu);
  EXPECT_EQ(std::u16string(name), u"C:\\dir\\A1AB.tmp");
  EXPECT_EQ(GetFileAttributesW(name), INVALID_FILE_ATTRIBUTES);  // not created
  EXPECT_EQ(GetTempFileNameW(u"C:\\missing", u"A", 0, name), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIRECTORY));
}

TEST_F(Files, FileTimes) {
  HANDLE h = open(u"C:\\dir\\t.txt", GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW);
  SYSTEMTIME st{2024, 2, 0, 29, 13, 45, 30, 250};
  FILETIME ft{}, got{};
  ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
  ASSERT_TRUE(SetFileTime(h, nullptr, nullptr, &ft));
  ASSERT_TRUE(GetFileTime(h, nullptr, nullptr, &got));
  EXPECT_EQ(CompareFileTime(&ft, &got), 0);
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&got, &back));
  EXPECT_EQ(back.wYear, 2024);
  EXPECT_EQ(back.wDay, 29);
  EXPECT_EQ(back.wDayOfWeek, 4);  // a Thursday
  EXPECT_EQ(back.wMilliseconds, 250);
  CloseHandle(h);
}

TEST_F(Files, DeleteOnClose) {
  HANDLE h = CreateFileW(u"C:\\dir\\gone.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(std::filesystem::exists(root_.file("drive_c/dir/gone.tmp")));
  CloseHandle(h);
  EXPECT_FALSE(std::filesystem::exists(root_.file("drive_c/dir/gone.tmp")));
}

}  // namespace

namespace {

// Threads writing their own files and reading a shared one at once.
TEST(FilesThreads, ConcurrentHandles) {
  morva::test::TempRoot root;
  write_file(root.file("drive_c/shared.txt"), "shared");
  std::vector<std::thread> threads;
  std::atomic<int> good{0};
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([&, t] {
      std::u16string mine = u"C:\\t" + std::u16string(1, static_cast<char16_t>(u'0' + t)) + u".bin";
      for (int i = 0; i < 40; ++i) {
        HANDLE w = CreateFileW(mine.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD n = 0;
        bool ok = w != INVALID_HANDLE_VALUE && WriteFile(w, "abcd", 4, &n, nullptr) && n == 4;
        CloseHandle(w);
        HANDLE r = CreateFileW(u"C:\\shared.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        char buf[8] = {};
        ok = ok && r != INVALID_HANDLE_VALUE && ReadFile(r, buf, 8, &n, nullptr) && n == 6;
        CloseHandle(r);
        if (ok) ++good;
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(good.load(), 320);
  // With every reader gone the shared file can be opened exclusively.
  HANDLE x = CreateFileW(u"C:\\shared.txt", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(x, INVALID_HANDLE_VALUE);
  CloseHandle(x);
}

}  // namespace
