// CPmcString: the engine's growable ANSI text. It always ends with a zero
// byte, grows in fixed capacity steps, searches with double-byte awareness
// for the ANSI code page, and shares one static empty text among all empty
// strings (an empty string owns no block).
#pragma once

#include <cstdint>

class CPmcString {
 public:
  static constexpr std::uint32_t npos = 0xFFFFFFFFu;

  CPmcString() = default;
  CPmcString(const CPmcString& other);
  explicit CPmcString(const char* text);
  CPmcString(const char* bytes, std::uint32_t n);
  ~CPmcString();
  CPmcString& operator=(const CPmcString& other);
  CPmcString& operator=(const char* text);

  void clear();
  void assign(const char* bytes, std::uint32_t n);
  void assign(const CPmcString& other);
  void assign(const char* text);
  void append(const char* bytes, std::uint32_t n);
  void append(const CPmcString& other);
  void append(const char* text);
  void append(char c);
  CPmcString& operator+=(const CPmcString& other) { append(other); return *this; }
  CPmcString& operator+=(const char* text) { append(text); return *this; }
  CPmcString& operator+=(char c) { append(c); return *this; }

  const char* c_str() const { return text_; }
  std::uint32_t length() const { return length_; }
  std::uint32_t capacity() const { return capacity_; }
  bool is_empty() const { return length_ == 0; }

  std::uint32_t find(const char* text, std::uint32_t from = 0) const;
  std::uint32_t find_char(char c, std::uint32_t from = 0) const;
  std::uint32_t rfind(const char* text, std::uint32_t from = npos) const;
  std::uint32_t rfind_char(char c) const;
  bool is_lead_byte_at(std::uint32_t position) const;
  void erase(std::uint32_t position, std::uint32_t count = npos);
  void substr(CPmcString& out, std::uint32_t position, std::uint32_t count = npos) const;
  int compare(const CPmcString& other) const { return compare(other.text_); }
  int compare(const char* text) const;

  // The ANSI code page that decides which bytes lead a double-byte
  // character (932, 936, 949, 950 have lead bytes; others have none).
  static void set_ansi_code_page(unsigned code_page);
  static bool is_lead_byte(unsigned char c);

 private:
  static std::uint32_t capacity_for(std::uint32_t n);
  std::uint32_t length_ = 0;
  std::uint32_t capacity_ = 0;
  char* text_ = empty_text();
  static char* empty_text();
};

bool operator==(const CPmcString& a, const CPmcString& b);
bool operator==(const CPmcString& a, const char* b);
bool operator==(const char* a, const CPmcString& b);
bool operator!=(const CPmcString& a, const CPmcString& b);
bool operator!=(const CPmcString& a, const char* b);
bool operator!=(const char* a, const CPmcString& b);
bool operator<(const CPmcString& a, const CPmcString& b);
bool operator<(const CPmcString& a, const char* b);
bool operator<(const char* a, const CPmcString& b);
bool operator>(const CPmcString& a, const CPmcString& b);
bool operator>(const CPmcString& a, const char* b);
bool operator>(const char* a, const CPmcString& b);
bool operator<=(const CPmcString& a, const CPmcString& b);
bool operator<=(const CPmcString& a, const char* b);
bool operator<=(const char* a, const CPmcString& b);
bool operator>=(const CPmcString& a, const CPmcString& b);
bool operator>=(const CPmcString& a, const char* b);
bool operator>=(const char* a, const CPmcString& b);
