// Splits a registry script into tokens and puts the replacement texts in.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace rzd::registrar {

enum class TokenKind { Word, Quoted, Equals, OpenBrace, CloseBrace };

struct Token {
  TokenKind kind;
  std::u16string text;  // after replacement (and, when quoted, without quotes)
  std::u16string raw;   // as written; keywords are recognised on this
  int line;
};

// `replacements` is keyed by the case-folded variable name. False with `error` set for an
// unterminated quote, an unterminated or unknown %variable%.
bool Tokenize(std::u16string_view script, const std::map<std::u16string, std::u16string>& replacements,
              std::vector<Token>* tokens, std::string* error);

}  // namespace rzd::registrar
