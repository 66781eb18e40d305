// Scramble and Base64 primitives, including malformed and truncated input.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pi/scramble.h"

using namespace morva::pi;

namespace {

std::string encode(const std::string& bytes) {
  std::string out(static_cast<std::size_t>(Base64EncodedLength(static_cast<int>(bytes.size()))), '\0');
  int written = 0;
  EXPECT_EQ(Base64Encode(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<int>(bytes.size()), out.data(),
                         &written, static_cast<int>(out.size())),
            kCodecOk);
  out.resize(static_cast<std::size_t>(written));
  return out;
}

// Decodes from a heap copy of exactly the text's bytes (no terminating
// zero), so that a read past the input is caught.
int decode(const std::string& text, std::string* out) {
  std::vector<char> in(text.begin(), text.end());
  std::vector<BYTE> buf(3 * ((text.size() + 3) / 4) + 1);
  int written = -1;
  const int rc = Base64Decode(in.data(), static_cast<int>(in.size()), buf.data(), &written,
                              static_cast<int>(buf.size()));
  out->assign(buf.begin(), buf.begin() + std::max(written, 0));
  return rc;
}

TEST(Scramble, TwiceGivesTheInputBackInPlace) {
  std::string text = "Secret 1234!";
  auto* p = reinterpret_cast<BYTE*>(text.data());
  int written = 0;
  ASSERT_EQ(ScrambleBytes(p, 12, p, &written, 12), kCodecOk);
  EXPECT_EQ(written, 12);
  EXPECT_EQ(text[0], static_cast<char>('S' ^ 'k'));
  EXPECT_EQ(text[5], static_cast<char>('t' ^ 'q'));
  ASSERT_EQ(ScrambleBytes(p, 12, p, &written, 12), kCodecOk);
  EXPECT_EQ(text, "Secret 1234!");
}

TEST(Scramble, Errors) {
  BYTE in[4] = {1, 2, 3, 4}, out[4];
  int written = -1;
  EXPECT_EQ(ScrambleBytes(in, 4, out, &written, 3), kCodecNoRoom);
  EXPECT_EQ(written, 0);
  BYTE big[6] = {}, small[5];
  EXPECT_EQ(ScrambleBytes(big, 6, small, &written, 5), kCodecNoRoom);
  EXPECT_EQ(written, 4);  // the first group was produced
  EXPECT_EQ(ScrambleBytes(nullptr, 4, out, &written, 4), kCodecNullArgument);
  EXPECT_EQ(ScrambleBytes(in, 4, out, nullptr, 4), kCodecNullArgument);
  EXPECT_EQ(ScrambleBytes(in, 0, out, &written, 4), kCodecBadLength);
  EXPECT_EQ(ScrambleBytes(in, 4, out, &written, -1), kCodecBadLength);
}

TEST(Base64, EncodesStandardAlphabetWithFill) {
  EXPECT_EQ(encode("M"), "TQ==");
  EXPECT_EQ(encode("Ma"), "TWE=");
  EXPECT_EQ(encode("Man"), "TWFu");
  EXPECT_EQ(encode(std::string("\xFB\xFF\xBF", 3)), "+/+/");
  char out[3];
  int written;
  EXPECT_EQ(Base64Encode(reinterpret_cast<const BYTE*>("M"), 1, out, &written, 3), kCodecNoRoom);
}

TEST(Base64, RoundTripsEveryLength) {
  std::string bytes;
  for (int n = 1; n < 40; ++n) {
    bytes.push_back(static_cast<char>(n * 37));
    std::string back;
    ASSERT_EQ(decode(encode(bytes), &back), kCodecOk);
    EXPECT_EQ(back, bytes) << n;
  }
}

TEST(Base64, DecodingRules) {
  struct Case {
    const char* text;
    std::string bytes;
  };
  const Case cases[] = {
      {"TWFu", "Man"},
      {"TW\nFu", "Man"},             // line break inside
      {"  TWFu TWFu", "ManMan"},     // leading and inner blanks
      {"TQ==", "M"},                 // two characters and two fill
      {"TWE=", "Ma"},
      {"TWFuTQ", "Man"},             // a final group of two decodes to nothing...
      {"TWFuTWE", "Man" "M"},        // ...one of three to one byte
      {"TQ==TWFu", "M"},             // decoding stops after a short group
  };
  for (const Case& c : cases) {
    std::string out;
    ASSERT_EQ(decode(c.text, &out), kCodecOk) << c.text;
    EXPECT_EQ(out, c.bytes) << c.text;
  }
}

TEST(Base64, MalformedInput) {
  std::string out;
  EXPECT_EQ(decode("TW\xC3\xA9", &out), kCodecBadInput);  // a byte >= 128
  EXPECT_EQ(decode("    ", &out), kCodecOk);             // only blanks: nothing
  EXPECT_TRUE(out.empty());
  // A zero inside the stated length ends the text.
  EXPECT_EQ(decode(std::string("TWFu\0TWFu", 9), &out), kCodecOk);
  EXPECT_EQ(out, "Man");
  BYTE buf[3];
  int written;
  EXPECT_EQ(Base64Decode("TWFuTWFu", 8, buf, &written, 3), kCodecNoRoom);
  EXPECT_EQ(Base64Decode("TWFu", 0, buf, &written, 3), kCodecBadLength);
  EXPECT_EQ(Base64Decode(nullptr, 4, buf, &written, 3), kCodecNullArgument);
}

}  // namespace
