// The positional message formatter of the user-interface texts: the order of
// the arguments in a translated text may differ from the caller's order.
#include <string>
#include <vector>

#include "settings/common/common_utils.h"

namespace {

struct Token {
  bool placeholder = false;
  std::u16string text;  // literal text, or the placeholder's template text
  int arg = 0;          // argument number (0-based)
  bool is_string = false;
  bool suppressed = false;
};

bool is_conversion(WCHAR c) { return c == u's' || c == u'd' || c == u'S' || c == u'D'; }

std::vector<Token> tokenize(LPCWSTR templ) {
  std::vector<Token> tokens;
  int placeholders = 0;
  auto literal = [&](const WCHAR* p, size_t n) {
    if (tokens.empty() || tokens.back().placeholder) tokens.push_back(Token{});
    tokens.back().text.append(p, n);
  };
  for (const WCHAR* p = templ; *p;) {
    if (*p != u'%') {
      literal(p++, 1);
      continue;
    }
    if (p[1] == u'%') {
      literal(p, 1);
      p += 2;
      continue;
    }
    Token t;
    t.placeholder = true;
    size_t len = 0;
    WCHAR conv = 0;
    if (is_conversion(p[1])) {
      t.arg = placeholders;
      conv = p[1];
      len = 2;
    } else if (p[1] >= u'1' && p[1] <= u'9' && is_conversion(p[2])) {
      t.arg = p[1] - u'1';
      conv = p[2];
      len = 3;
    } else {
      literal(p++, 1);  // a '%' that starts no placeholder is text
      continue;
    }
    t.is_string = conv == u's' || conv == u'S';
    t.suppressed = conv == u'S' || conv == u'D';
    t.text.assign(p, len);
    tokens.push_back(std::move(t));
    ++placeholders;
    p += len;
  }
  return tokens;
}

struct Argument {
  bool fetched = false;
  bool is_string = false;
  LPCWSTR str = nullptr;
  INT number = 0;
};

std::u16string decimal(INT value) {
  std::u16string digits;
  long long v = value;
  bool negative = v < 0;
  if (negative) v = -v;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
    v /= 10;
  } while (v);
  if (negative) digits.insert(digits.begin(), u'-');
  return digits;
}

INT render(LPWSTR out, INT size, const std::vector<Token>& tokens, const std::vector<Argument>& argv) {
  const int count = static_cast<int>(argv.size());
  INT length = 0;
  auto put = [&](const std::u16string& piece) {
    // A piece that leaves no room for the terminator is skipped; later
    // pieces that fit are still written.
    if (static_cast<long long>(length) + static_cast<long long>(piece.size()) >= size) return;
    piece.copy(out + length, piece.size());
    length += static_cast<INT>(piece.size());
  };
  for (const Token& t : tokens) {
    if (!t.placeholder) {
      put(t.text);
      continue;
    }
    const Argument* a = t.arg < count ? &argv[static_cast<size_t>(t.arg)] : nullptr;
    if (!a || !a->fetched || a->is_string != t.is_string) {
      put(t.text);  // no argument of this kind: the template text stands
      continue;
    }
    if (t.suppressed) continue;
    if (t.is_string)
      put(a->str ? std::u16string(a->str) : std::u16string());
    else
      put(decimal(a->number));
  }
  out[length] = 0;
  return length;
}

int placeholder_count(const std::vector<Token>& tokens) {
  int count = 0;
  for (const Token& t : tokens) count += t.placeholder;
  return count;
}

// The first placeholder naming argument k; null when none does.
const Token* first_of(const std::vector<Token>& tokens, int k) {
  for (const Token& t : tokens)
    if (t.placeholder && t.arg == k) return &t;
  return nullptr;
}

}  // namespace

INT FormatPositionalMessageV(LPWSTR out, INT size, LPCWSTR templ, va_list args) {
  if (!out || size <= 0) return 0;
  out[0] = 0;
  if (!templ) return 0;
  std::vector<Token> tokens = tokenize(templ);
  const int count = placeholder_count(tokens);
  // Arguments come in the order of their numbers; every placeholder naming
  // the same number shares one argument. A number no placeholder names
  // leaves its type unknown, so nothing after it can be fetched.
  std::vector<Argument> argv(static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    const Token* first = first_of(tokens, k);
    if (!first) break;
    Argument& a = argv[static_cast<size_t>(k)];
    a.fetched = true;
    a.is_string = first->is_string;
    if (a.is_string)
      a.str = va_arg(args, LPCWSTR);
    else
      a.number = va_arg(args, INT);
  }
  return render(out, size, tokens, argv);
}

INT FormatPositionalMessageArgs(LPWSTR out, INT size, LPCWSTR templ, const PositionalArg* args, INT arg_count) {
  if (!out || size <= 0) return 0;
  out[0] = 0;
  if (!templ) return 0;
  std::vector<Token> tokens = tokenize(templ);
  const int count = placeholder_count(tokens);
  std::vector<Argument> argv(static_cast<size_t>(count));
  for (int k = 0; k < count && k < arg_count && args; ++k) {
    const Token* first = first_of(tokens, k);
    if (!first) break;
    Argument& a = argv[static_cast<size_t>(k)];
    a.fetched = true;
    a.is_string = first->is_string;
    a.str = args[k].text;
    a.number = args[k].number;
  }
  return render(out, size, tokens, argv);
}

INT FormatResourceMessage(LPWSTR out, INT size, LPCWSTR templ, ...) {
  va_list args;
  va_start(args, templ);
  INT n = FormatPositionalMessageV(out, size, templ, args);
  va_end(args);
  return n;
}
