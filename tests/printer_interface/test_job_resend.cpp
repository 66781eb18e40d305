// Locating the page data of a saved job file: the line that switches to the
// page description language and the job end, however long its
// job-information block is.
#include <gtest/gtest.h>

#include <string>

#include "pi/job_resend.h"
#include "temp_root.h"
#include "win/files.h"
#include "win/paths.h"

namespace {

using morva::pi::FindPdlBody;
using morva::pi::PdlBody;

const std::string kUel = "\x1B%-12345X";

PdlBody find(const std::string& bytes, INT* found) {
  morva::test::TempRoot root;
  morva::test::write_file(morva::platform::native_path(u"C:\\saved.prn"), bytes);
  HANDLE f = CreateFileW(u"C:\\saved.prn", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(f, INVALID_HANDLE_VALUE);
  PdlBody body;
  *found = FindPdlBody(f, &body);
  CloseHandle(f);
  return body;
}

TEST(JobResend, FindsTheBodyAndTheKindOfJobEnd) {
  const std::string head = kUel + "@PJL JOB\n@PJL SET COPIES=1\n";
  const std::string body = std::string("BODY\0\x01\x02", 7);  // binary page data
  std::string info;
  for (int i = 0; info.size() < 3000; ++i) info += "@PJL COMMENT QZJOBINFO ITEM" + std::to_string(i) + "=1\n";
  const std::string info_end = kUel + info + "@PJL COMMENT QZJOBINFO END\n@PJL EOJ\n";
  struct Case {
    const char* what;
    std::string file;
    INT found, kind;
  } cases[] = {
      {"plain", head + "@PL>VANTIQ\n" + body + kUel + "@PJL EOJ\n", 1, 1},
      {"enter language", head + "@PJL ENTER LANGUAGE=VANTIQ\r\n" + body + kUel + "@PJL EOJ\n", 1, 2},
      // The job-information block reaches further back than 1024 bytes.
      {"job information", head + "@PJL ENTER LANGUAGE=VANTIQ\n" + body + info_end, 1, 3},
      {"no job end", head + "@PL>VANTIQ\n" + body + "@PJL EOJ\n", 0, 0},
      {"no switch", head + body, 0, 0},
      {"long line", head + std::string(1025, 'x') + "\n@PL>VANTIQ\n" + body + kUel, 0, 0},
      {"full line", head + std::string(1024, 'x') + "\r\n@PL>VANTIQ\n" + body + kUel, 1, 1},
  };
  for (const Case& c : cases) {
    INT found = -1;
    PdlBody b = find(c.file, &found);
    EXPECT_EQ(found, c.found) << c.what;
    if (found != 1) continue;
    EXPECT_EQ(b.kind, c.kind) << c.what;
    EXPECT_EQ(b.total, c.file.size()) << c.what;
    EXPECT_EQ(c.file.substr(b.start, body.size()), body) << c.what;
    EXPECT_EQ(c.file.substr(b.end, kUel.size()), kUel) << c.what;
    EXPECT_EQ(b.end, c.file.find(kUel, b.start)) << c.what;
  }
}

}  // namespace
