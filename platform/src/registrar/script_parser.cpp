#include "platform/text.h"
#include "registrar/script.h"
#include "registrar/script_lexer.h"
#include "registry/names.h"

#include <limits>

namespace rzd::registrar {

namespace {

constexpr int kMaxDepth = 64;

struct ParseError {
  std::string message;
};

// Decimal (with an optional minus sign, taken as two's complement) or 0x hexadecimal, within
// `bits` bits.
std::optional<uint64_t> ParseNumber(std::u16string_view text, int bits) {
  text = TrimView(text);
  uint64_t limit = bits == 64 ? std::numeric_limits<uint64_t>::max() : (uint64_t{1} << bits) - 1;
  if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
    uint64_t value = 0;
    for (char16_t c : text.substr(2)) {
      const int digit = HexDigitValue(c);
      if (digit < 0 || value > (limit >> 4)) return std::nullopt;
      value = (value << 4) | static_cast<unsigned>(digit);
    }
    return value;
  }
  bool negative = !text.empty() && text[0] == u'-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  uint64_t max = negative ? (limit >> 1) + 1 : limit;  // magnitude of the most negative number
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return std::nullopt;
    uint64_t digit = c - u'0';
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  if (negative) value = (~value + 1) & limit;
  return value;
}

std::optional<std::vector<uint8_t>> ParseHexBytes(std::u16string_view text) {
  std::vector<uint8_t> out;
  int pending = -1;
  for (char16_t c : text) {
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') continue;
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (pending < 0) {
      pending = digit;
    } else {
      out.push_back(static_cast<uint8_t>((pending << 4) | digit));
      pending = -1;
    }
  }
  if (pending >= 0) return std::nullopt;
  return out;
}

std::optional<std::vector<std::u16string>> SplitMulti(std::u16string_view text) {
  std::vector<std::u16string> out;
  if (text.empty()) return out;
  size_t start = 0;
  while (true) {
    size_t end = text.find(u"\\0", start);
    std::u16string_view part = text.substr(start, end == std::u16string_view::npos ? text.size() - start : end - start);
    if (part.empty()) return std::nullopt;  // an empty string would end the list
    out.emplace_back(part);
    if (end == std::u16string_view::npos) return out;
    start = end + 2;
  }
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  std::vector<ScriptRoot> Script() {
    std::vector<ScriptRoot> roots;
    while (pos_ < tokens_.size()) {
      const Token& name = Next("a root key");
      std::optional<Hive> hive = name.kind == TokenKind::Word ? ParseHive(name.text) : std::nullopt;
      if (!hive || name.text != name.raw) Fail(name, "unknown root key '" + ToUtf8(name.text) + "'");
      ScriptRoot root{*hive, {}};
      root.body.line = name.line;
      Expect(TokenKind::OpenBrace, "'{' after the root key");
      Block(&root.body, 1);
      roots.push_back(std::move(root));
    }
    return roots;
  }

 private:
  [[noreturn]] void Fail(const Token& at, const std::string& what) {
    throw ParseError{"line " + std::to_string(at.line) + ": " + what};
  }
  [[noreturn]] void FailAtEnd(const std::string& what) {
    int line = tokens_.empty() ? 1 : tokens_.back().line;
    throw ParseError{"line " + std::to_string(line) + ": " + what};
  }

  const Token& Next(const std::string& expected) {
    if (pos_ >= tokens_.size()) FailAtEnd("unexpected end of script, expected " + expected);
    return tokens_[pos_++];
  }
  const Token* Peek() const { return pos_ < tokens_.size() ? &tokens_[pos_] : nullptr; }
  const Token& Expect(TokenKind kind, const std::string& what) {
    const Token& token = Next(what);
    if (token.kind != kind) Fail(token, "expected " + what + ", found '" + ToUtf8(token.text) + "'");
    return token;
  }
  bool IsKeyword(const Token& token, std::u16string_view keyword) const {
    return token.kind == TokenKind::Word && EqualsNoCase(token.raw, keyword);
  }

  // The contents of a block, up to and including its closing brace.
  void Block(ScriptKey* key, int depth) {
    if (depth > kMaxDepth) Fail(tokens_[pos_ - 1], "keys nested too deeply");
    while (true) {
      const Token& token = Next("'}'");
      if (token.kind == TokenKind::CloseBrace) return;
      KeyFlag flag = KeyFlag::None;
      const Token* current = &token;
      if (IsKeyword(token, u"NoRemove")) flag = KeyFlag::NoRemove;
      else if (IsKeyword(token, u"ForceRemove")) flag = KeyFlag::ForceRemove;
      else if (IsKeyword(token, u"Delete")) flag = KeyFlag::Delete;
      if (flag != KeyFlag::None) current = &Next("a key name after '" + ToUtf8(token.raw) + "'");
      if (IsKeyword(*current, u"val")) {
        if (flag != KeyFlag::None && flag != KeyFlag::NoRemove) Fail(*current, "only NoRemove may stand before val");
        key->values.push_back(Value(flag == KeyFlag::NoRemove));
        continue;
      }
      key->subkeys.push_back(Key(*current, flag, depth));
    }
  }

  ScriptKey Key(const Token& name, KeyFlag flag, int depth) {
    if (name.kind != TokenKind::Word && name.kind != TokenKind::Quoted) {
      Fail(name, "expected a key name, found '" + ToUtf8(name.text) + "'");
    }
    if (name.kind == TokenKind::Word && (IsKeyword(name, u"NoRemove") || IsKeyword(name, u"ForceRemove") ||
                                         IsKeyword(name, u"Delete"))) {
      Fail(name, "more than one of NoRemove, ForceRemove and Delete");
    }
    registry::Name checked;
    if (registry::MakeKeyName(name.text, &checked) != 0) {
      Fail(name, "invalid key name '" + ToUtf8(name.text) + "' (empty, too long or holding a backslash)");
    }
    ScriptKey key;
    key.name = name.text;
    key.flag = flag;
    key.line = name.line;
    const Token* next = Peek();
    if (next && next->kind == TokenKind::Equals) {
      ++pos_;
      ScriptValue value = Data(name.line);
      key.defaultValue = std::move(value);
      next = Peek();
    }
    if (next && next->kind == TokenKind::OpenBrace) {
      ++pos_;
      Block(&key, depth + 1);
    }
    return key;
  }

  ScriptValue Value(bool noRemove) {
    const Token& name = Next("a value name");
    if (name.kind != TokenKind::Word && name.kind != TokenKind::Quoted) {
      Fail(name, "expected a value name, found '" + ToUtf8(name.text) + "'");
    }
    registry::Name checked;
    if (registry::MakeValueName(name.text, &checked) != 0) Fail(name, "invalid value name '" + ToUtf8(name.text) + "'");
    Expect(TokenKind::Equals, "'=' after the value name");
    ScriptValue value = Data(name.line);
    value.name = name.text;
    value.noRemove = noRemove;
    return value;
  }

  // `type 'data'` after an '='.
  ScriptValue Data(int line) {
    const Token& type = Next("a value type (s, e, d, q, b or m)");
    const Token& data = Next("the value's data");
    if (type.kind != TokenKind::Word || type.text.size() != 1 || type.text != type.raw) {
      Fail(type, "unknown value type '" + ToUtf8(type.text) + "'");
    }
    if (data.kind != TokenKind::Word && data.kind != TokenKind::Quoted) {
      Fail(data, "expected the value's data, found '" + ToUtf8(data.text) + "'");
    }
    ScriptValue value;
    value.line = line;
    switch (FoldChar(type.text[0])) {
      case u'S':
      case u'E':
        value.type = FoldChar(type.text[0]) == u'S' ? REG_SZ : REG_EXPAND_SZ;
        if (data.text.find(u'\0') != std::u16string::npos) Fail(data, "a string holds a terminator");
        value.data = EncodeRegString(data.text);
        break;
      case u'D':
      case u'Q': {
        bool dword = FoldChar(type.text[0]) == u'D';
        auto number = ParseNumber(data.text, dword ? 32 : 64);
        if (!number) Fail(data, "invalid number '" + ToUtf8(data.text) + "'");
        value.type = dword ? REG_DWORD : REG_QWORD;
        for (int i = 0; i < (dword ? 4 : 8); ++i) value.data.push_back(static_cast<uint8_t>(*number >> (8 * i)));
        break;
      }
      case u'B': {
        auto bytes = ParseHexBytes(data.text);
        if (!bytes) Fail(data, "invalid hexadecimal bytes '" + ToUtf8(data.text) + "'");
        value.type = REG_BINARY;
        value.data = std::move(*bytes);
        break;
      }
      case u'M': {
        auto strings = SplitMulti(data.text);
        if (!strings) Fail(data, "an empty string inside a multi-string");
        value.type = REG_MULTI_SZ;
        value.data = EncodeRegMultiString(*strings);
        break;
      }
      default:
        Fail(type, "unknown value type '" + ToUtf8(type.text) + "'");
    }
    return value;
  }

  std::vector<Token> tokens_;
  size_t pos_ = 0;
};

}  // namespace

bool ParseScript(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements,
                 std::vector<ScriptRoot>* roots, std::string* error) {
  std::vector<Token> tokens;
  if (!Tokenize(script, replacements, &tokens, error)) return false;
  try {
    *roots = Parser(std::move(tokens)).Script();
    return true;
  } catch (const ParseError& e) {
    *error = e.message;
    return false;
  }
}

}  // namespace rzd::registrar
