#include "registrar/script_lexer.h"

#include "platform/text.h"

namespace rzd::registrar {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\v' || c == u'\f' || c == 0 || c == 0xFEFF;
}


std::string LinePrefix(int line) { return "line " + std::to_string(line) + ": "; }

class Lexer {
 public:
  Lexer(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements)
      : s_(script), replacements_(replacements) {}

  bool Run(std::vector<Token>* tokens, std::string* error) {
    while (true) {
      while (pos_ < s_.size() && IsBlank(s_[pos_])) {
        if (s_[pos_] == u'\n') ++line_;
        ++pos_;
      }
      if (pos_ >= s_.size()) return true;
      Token token{TokenKind::Word, {}, {}, line_};
      if (s_[pos_] == u'\'') {
        token.kind = TokenKind::Quoted;
        if (!ReadQuoted(&token, error)) return false;
      } else {
        if (!ReadWord(&token, error)) return false;
        // Braces and '=' are structure only when they stand alone, so {GUID} is a name.
        if (token.raw == u"{") token.kind = TokenKind::OpenBrace;
        if (token.raw == u"}") token.kind = TokenKind::CloseBrace;
        if (token.raw == u"=") token.kind = TokenKind::Equals;
      }
      tokens->push_back(std::move(token));
    }
  }

 private:
  // Appends the replacement of the variable starting after the '%' at pos_; pos_ ends after the
  // closing '%'. `stop` tells where the token ends.
  template <typename Stop>
  bool ReadVariable(Token* token, Stop stop, std::string* error) {
    size_t start = pos_;
    while (pos_ < s_.size() && s_[pos_] != u'%' && !stop(s_[pos_])) ++pos_;
    if (pos_ >= s_.size() || s_[pos_] != u'%') {
      *error = LinePrefix(line_) + "unterminated %variable%";
      return false;
    }
    std::u16string_view name = s_.substr(start, pos_ - start);
    ++pos_;
    token->raw.append(u"%").append(name).append(u"%");
    if (name.empty()) {
      token->text.push_back(u'%');  // %% is one percent sign
      return true;
    }
    auto it = replacements_.find(FoldCase(name));
    if (it == replacements_.end()) {
      *error = LinePrefix(line_) + "unknown replacement variable %" + ToUtf8(name) + "%";
      return false;
    }
    token->text.append(it->second);
    return true;
  }

  bool ReadWord(Token* token, std::string* error) {
    while (pos_ < s_.size() && !IsBlank(s_[pos_])) {
      char16_t c = s_[pos_++];
      if (c == u'%') {
        if (!ReadVariable(token, IsBlank, error)) return false;
      } else {
        token->raw.push_back(c);
        token->text.push_back(c);
      }
    }
    return true;
  }

  bool ReadQuoted(Token* token, std::string* error) {
    int startLine = line_;
    ++pos_;  // opening quote
    auto endsQuoted = [](char16_t c) { return c == u'\'' || c == u'\n'; };
    while (true) {
      if (pos_ >= s_.size()) {
        *error = LinePrefix(startLine) + "unterminated quoted text";
        return false;
      }
      char16_t c = s_[pos_++];
      if (c == u'\'') {
        if (pos_ < s_.size() && s_[pos_] == u'\'') {
          ++pos_;
          token->raw.push_back(c);
          token->text.push_back(c);
          continue;
        }
        return true;
      }
      if (c == u'%') {
        if (!ReadVariable(token, endsQuoted, error)) return false;
        continue;
      }
      if (c == u'\n') ++line_;
      token->raw.push_back(c);
      token->text.push_back(c);
    }
  }

  std::u16string_view s_;
  const std::map<std::u16string, std::u16string>& replacements_;
  size_t pos_ = 0;
  int line_ = 1;
};

}  // namespace

bool Tokenize(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements,
              std::vector<Token>* tokens, std::string* error) {
  tokens->clear();
  return Lexer(script, replacements).Run(tokens, error);
}

}  // namespace rzd::registrar
