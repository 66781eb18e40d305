#include "snmp/pmc_string.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<unsigned> g_code_page{1252};

int byte_compare(const char* a, const char* b) {
  const auto* x = reinterpret_cast<const unsigned char*>(a);
  const auto* y = reinterpret_cast<const unsigned char*>(b);
  while (*x && *x == *y) { ++x; ++y; }
  if (*x == *y) return 0;
  return *x < *y ? -1 : 1;
}
}  // namespace

char* CPmcString::empty_text() {
  static char empty[1] = {0};
  return empty;
}

void CPmcString::set_ansi_code_page(unsigned code_page) { g_code_page = code_page; }

bool CPmcString::is_lead_byte(unsigned char c) {
  switch (g_code_page.load(std::memory_order_relaxed)) {
    case 932: return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    case 936:
    case 949:
    case 950: return c >= 0x81 && c <= 0xFE;
    default: return false;
  }
}

std::uint32_t CPmcString::capacity_for(std::uint32_t n) {
  if (n < 64) return 64;
  if (n < 128) return 128;
  if (n < 256) return 256;
  if (n < 512) return 512;
  if (n < 1024) return 1024;
  return n + 1;
}

CPmcString::CPmcString(const CPmcString& other) { assign(other.text_, other.length_); }
CPmcString::CPmcString(const char* text) { assign(text); }
CPmcString::CPmcString(const char* bytes, std::uint32_t n) { assign(bytes, n); }
CPmcString::~CPmcString() { clear(); }

CPmcString& CPmcString::operator=(const CPmcString& other) {
  assign(other);
  return *this;
}
CPmcString& CPmcString::operator=(const char* text) {
  assign(text);
  return *this;
}

void CPmcString::clear() {
  if (capacity_ != 0) std::free(text_);
  text_ = empty_text();
  length_ = 0;
  capacity_ = 0;
}

void CPmcString::assign(const char* bytes, std::uint32_t n) {
  if (n == 0 || bytes == nullptr) {
    clear();
    return;
  }
  if (bytes == text_ && n == length_) return;  // assigning itself
  if (n < capacity_) {
    std::memmove(text_, bytes, n);
    text_[n] = 0;
    length_ = n;
    return;
  }
  std::uint32_t cap = capacity_for(n);
  char* block = static_cast<char*>(std::malloc(cap));
  if (block) {
    std::memcpy(block, bytes, n);
    block[n] = 0;
  }
  clear();
  if (!block) return;
  text_ = block;
  capacity_ = cap;
  length_ = n;
}

void CPmcString::assign(const CPmcString& other) {
  if (&other == this) return;
  assign(other.text_, other.length_);
}

void CPmcString::assign(const char* text) {
  if (text == text_) return;
  assign(text, text ? static_cast<std::uint32_t>(std::strlen(text)) : 0);
}

void CPmcString::append(const char* bytes, std::uint32_t n) {
  if (n == 0 || bytes == nullptr) return;
  if (length_ + n < capacity_) {
    std::memmove(text_ + length_, bytes, n);
    length_ += n;
    text_[length_] = 0;
    return;
  }
  std::uint32_t cap = capacity_for(length_ + n);
  char* block = static_cast<char*>(std::malloc(cap));
  if (!block) {
    clear();
    return;
  }
  std::memcpy(block, text_, length_);
  std::memcpy(block + length_, bytes, n);  // bytes may lie in the old block
  std::uint32_t len = length_ + n;
  block[len] = 0;
  clear();
  text_ = block;
  capacity_ = cap;
  length_ = len;
}

void CPmcString::append(const CPmcString& other) {
  // Appending a string to itself reads the old block before it is freed.
  append(other.text_, other.length_);
}
void CPmcString::append(const char* text) {
  if (text) append(text, static_cast<std::uint32_t>(std::strlen(text)));
}
void CPmcString::append(char c) { append(&c, 1); }

std::uint32_t CPmcString::find(const char* text, std::uint32_t from) const {
  if (from >= length_ || text == nullptr) return npos;
  std::size_t n = std::strlen(text);
  if (n == 0) return from;
  for (std::uint32_t i = from; i + n <= length_;) {
    if (std::memcmp(text_ + i, text, n) == 0) return i;
    i += (is_lead_byte(static_cast<unsigned char>(text_[i])) && i + 1 < length_) ? 2 : 1;
  }
  return npos;
}

std::uint32_t CPmcString::find_char(char c, std::uint32_t from) const {
  if (from >= length_ || c == 0) return npos;
  for (std::uint32_t i = from; i < length_;) {
    if (is_lead_byte(static_cast<unsigned char>(text_[i])) && i + 1 < length_) {
      i += 2;
      continue;
    }
    if (text_[i] == c) return i;
    ++i;
  }
  return npos;
}

bool CPmcString::is_lead_byte_at(std::uint32_t position) const {
  if (position >= length_) return false;
  if (!is_lead_byte(static_cast<unsigned char>(text_[position]))) return false;
  // Count the lead-looking bytes before it: an odd run means this byte is
  // the trail of the character that starts one byte earlier.
  std::uint32_t run = 0;
  for (std::uint32_t i = position; i > 0 && is_lead_byte(static_cast<unsigned char>(text_[i - 1])); --i) ++run;
  return run % 2 == 0;
}

std::uint32_t CPmcString::rfind(const char* text, std::uint32_t from) const {
  if (text == nullptr) return npos;
  std::uint32_t n = static_cast<std::uint32_t>(std::strlen(text));
  if (n > length_) return npos;
  if (from == npos) from = length_ - n;
  if (from > length_) return npos;
  if (from + n > length_) from = length_ - n;
  for (std::uint32_t i = from + 1; i-- > 0;) {
    if (std::memcmp(text_ + i, text, n) != 0) continue;
    if (i > 0 && is_lead_byte_at(i - 1)) return i - 1;
    return i;
  }
  return npos;
}

std::uint32_t CPmcString::rfind_char(char c) const {
  for (std::uint32_t i = length_; i-- > 0;) {
    if (text_[i] != c) continue;
    if (i > 0 && is_lead_byte_at(i - 1)) continue;
    return i;
  }
  return npos;
}

void CPmcString::erase(std::uint32_t position, std::uint32_t count) {
  if (length_ == 0 || position >= length_) return;
  if (count == npos || count >= length_ - position) {
    if (position == 0) {
      clear();
    } else {
      length_ = position;
      text_[length_] = 0;
    }
    return;
  }
  std::memmove(text_ + position, text_ + position + count, length_ - position - count + 1);
  length_ -= count;
}

void CPmcString::substr(CPmcString& out, std::uint32_t position, std::uint32_t count) const {
  if (length_ == 0 || position >= length_) {
    out.clear();
    return;
  }
  std::uint32_t n = length_ - position;
  if (count != npos && count < n) n = count;
  if (&out == this) {
    CPmcString tmp(text_ + position, n);
    out.assign(tmp);
    return;
  }
  out.assign(text_ + position, n);
}

int CPmcString::compare(const char* text) const { return byte_compare(text_, text ? text : ""); }

bool operator==(const CPmcString& a, const CPmcString& b) { return a.compare(b) == 0; }
bool operator==(const CPmcString& a, const char* b) { return a.compare(b) == 0; }
bool operator==(const char* a, const CPmcString& b) { return b.compare(a) == 0; }
bool operator!=(const CPmcString& a, const CPmcString& b) { return a.compare(b) != 0; }
bool operator!=(const CPmcString& a, const char* b) { return a.compare(b) != 0; }
bool operator!=(const char* a, const CPmcString& b) { return b.compare(a) != 0; }
bool operator<(const CPmcString& a, const CPmcString& b) { return a.compare(b) < 0; }
bool operator<(const CPmcString& a, const char* b) { return a.compare(b) < 0; }
bool operator<(const char* a, const CPmcString& b) { return b.compare(a) > 0; }
bool operator>(const CPmcString& a, const CPmcString& b) { return a.compare(b) > 0; }
bool operator>(const CPmcString& a, const char* b) { return a.compare(b) > 0; }
bool operator>(const char* a, const CPmcString& b) { return b.compare(a) < 0; }
bool operator<=(const CPmcString& a, const CPmcString& b) { return a.compare(b) <= 0; }
bool operator<=(const CPmcString& a, const char* b) { return a.compare(b) <= 0; }
bool operator<=(const char* a, const CPmcString& b) { return b.compare(a) >= 0; }
bool operator>=(const CPmcString& a, const CPmcString& b) { return a.compare(b) >= 0; }
bool operator>=(const CPmcString& a, const char* b) { return a.compare(b) >= 0; }
bool operator>=(const char* a, const CPmcString& b) { return b.compare(a) <= 0; }
