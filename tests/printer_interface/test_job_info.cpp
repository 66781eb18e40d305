// The job-information writer: which lines its values give, and writing in
// pieces that fit the caller's buffer.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pi/job_info.h"

namespace {

struct WriterDeleter {
  void operator()(JobInfoWriter* w) const { JobInfo_Destroy(w); }
};
using Writer = std::unique_ptr<JobInfoWriter, WriterDeleter>;

// Every line of the block written in pieces of `capacity` bytes, without
// the common prefix; the status of the last piece.
std::vector<std::string> lines(JobInfoWriter* w, DWORD capacity, WORD* status = nullptr, int* pieces = nullptr) {
  std::string all;
  std::vector<char> buffer(capacity);
  DWORD more = 1;
  int n = 0;
  WORD st = 0;
  while (more && n < 1000) {
    DWORD written = JobInfo_WriteLines(w, buffer.data(), capacity, &more, &st);
    all.append(buffer.data(), written);
    ++n;
  }
  if (status) *status = st;
  if (pieces) *pieces = n;
  std::vector<std::string> out;
  const std::string prefix = "@PJL COMMENT QZJOBINFO ";
  for (std::size_t at = 0; at < all.size();) {
    std::size_t end = all.find('\n', at);
    std::string line = all.substr(at, end - at);
    EXPECT_EQ(line.rfind(prefix, 0), 0u) << line;
    out.push_back(line.substr(prefix.size()));
    at = end + 1;
  }
  return out;
}

TEST(JobInfo, AFreshWriterWritesItsFrameAndReportsItIncomplete) {
  Writer w(JobInfo_Create(4, 4));
  ASSERT_NE(w, nullptr);
  WORD status = 0;
  EXPECT_EQ(lines(w.get(), 513, &status), (std::vector<std::string>{"VERSION=1.2.0", "BEGIN", "END"}));
  EXPECT_EQ(status & kJobInfoIncomplete, kJobInfoIncomplete);
}

TEST(JobInfo, ValuesGiveTheirLinesOnlyWithinTheirTables) {
  struct Case {
    void (*set)(JobInfoWriter*);
    std::string line;  // empty: no line
  } cases[] = {
      {[](JobInfoWriter* w) { JobInfo_SetOutTray(w, 2, 3); }, "OUTTRAY=OUTBIN3"},
      {[](JobInfoWriter* w) { JobInfo_SetOutTray(w, 2, 0); }, ""},
      {[](JobInfoWriter* w) { JobInfo_SetBookletType(w, 2, 0); }, ""},
      {[](JobInfoWriter* w) { JobInfo_SetBookletType(w, 2, 10); }, "BOOKLETTYPE=TYPE[AUTODIVIDE]:THRESHOLD[10]"},
      {[](JobInfoWriter* w) { JobInfo_SetPunch(w, 3, 1); }, "PUNCH=HOLES[THREE]:POSITION[LEFT]"},
      {[](JobInfoWriter* w) { JobInfo_SetPunch(w, 3, 4); }, ""},
      {[](JobInfoWriter* w) { JobInfo_SetStaple(w, 10); }, ""},
      {[](JobInfoWriter* w) { JobInfo_SetJobCopies(w, 0); }, ""},
      {[](JobInfoWriter* w) { JobInfo_SetPassThrough(w, 5); }, "PASSTHROUGH=ON"},
  };
  for (const auto& c : cases) {
    Writer w(JobInfo_Create(1, 1));
    c.set(w.get());
    std::vector<std::string> expected = {"VERSION=1.2.0", "BEGIN"};
    if (!c.line.empty()) expected.push_back(c.line);
    expected.push_back("END");
    EXPECT_EQ(lines(w.get(), 513), expected) << c.line;
  }
}

TEST(JobInfo, PageGroupsCountPhysicalPagesAndGrowPastTheirChunks) {
  Writer w(JobInfo_Create(1, 1));
  // Enough groups to need a second 64000-byte chunk.
  for (int i = 0; i < 1700; ++i) {
    ASSERT_TRUE(JobInfo_AddPageGroupRecord(w.get()));
    JobInfo_SetPageSize(w.get(), "210.0X297.0");
    JobInfo_SetPageMode(w.get(), i == 1 ? 3 : 1);
  }
  auto out = lines(w.get(), 513);
  EXPECT_EQ(out[2], "PHYSICALPAGES=1699");
  EXPECT_EQ(out[3], "PAGEINFOBEGIN");
  EXPECT_EQ(out[4], "PAGEINFO=SIZE[210.0X297.0]:MODE[COLOR]");
  EXPECT_EQ(out[5], "PAGEINFO=SIZE[210.0X297.0]:MODE[EMPTY]");
  EXPECT_EQ(out.size(), 2u + 2 + 1700 + 2);
}

TEST(JobInfo, SmallBuffersTakeWholeLinesAndEveryCallMakesProgress) {
  Writer w(JobInfo_Create(1, 1));
  JobInfo_SetJobType(w.get(), 0);
  JobInfo_SetLineEnd(w.get(), TRUE);
  // Three lines fit; the next call goes on with the fourth.
  char buffer[200];
  DWORD more = 0;
  WORD status = 0;
  const std::string prefix = "@PJL COMMENT QZJOBINFO ";
  const DWORD three = static_cast<DWORD>(3 * prefix.size() + 13 + 5 + 13 + 3 * 2);
  EXPECT_EQ(JobInfo_WriteLines(w.get(), buffer, three, &more, &status), three);
  EXPECT_EQ(more, 1u);
  EXPECT_EQ(std::string(buffer + three - 2, 2), "\r\n");
  DWORD n = JobInfo_WriteLines(w.get(), buffer, sizeof buffer, &more, &status);
  EXPECT_EQ(std::string(buffer, n), prefix + "END\r\n");
  EXPECT_EQ(more, 0u);
  // A buffer that holds no line at all still reaches the end of the block.
  Writer tiny(JobInfo_Create(1, 1));
  int pieces = 0;
  EXPECT_TRUE(lines(tiny.get(), 10, &status, &pieces).empty());
  EXPECT_LE(pieces, 1);
  EXPECT_EQ(status & kJobInfoIncomplete, kJobInfoIncomplete);
}

}  // namespace
