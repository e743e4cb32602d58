// Recognises, line by line, an XML seed file exactly as the tool writes it:
// the declaration, the HOTP or TOTP header, the tokens with their texts in
// pugixml's escaping, tab indentation, LF endings, valid UTF-8, and the empty
// `<tokens />` form. Anything else is not in the layout; such a file is then
// parsed and rewritten instead, so being strict here is always safe.
#pragma once

#include <string_view>

enum class XmlLayoutLine {
  Invalid,      // not the layout: stop
  Plain,        // a line of the layout, copied as it is
  EmptyTokens,  // "\t<tokens />": a file without tokens
  TokensEnd,    // "\t</tokens>": the new token goes before it
};

class XmlLayoutScanner {
 public:
  explicit XmlLayoutScanner(bool totp) : totp_(totp) {}

  // `line` without its LF. Once a line is Invalid, every later one is too.
  XmlLayoutLine Next(std::string_view line);

  // True when the last line was a token's element with an empty text written
  // as "<name></name>": the rewrite writes it "<name />".
  bool EmptyPair() const { return emptyPair_; }

  // True when the lines so far are a whole file.
  bool Complete() const { return state_ == State::End; }

  // Where the next line may start a token: checks the whole tokens at the
  // start of `bytes` whose texts are all plain ASCII, as nearly all are, and
  // returns how many bytes they take. Much faster than Next line by line;
  // stops at anything else (another line, a token with escapes, non-ASCII or
  // an empty text, the end of `bytes`), which Next then takes.
  std::size_t PlainTokens(std::string_view bytes);

 private:
  enum class State {
    Declaration,
    Data,
    Header,
    HeaderEnd,
    Tokens,
    FirstToken,
    TokenOrEnd,
    Crypto,
    NameOrDigits,
    Digits,
    Serial,
    Seed,
    TokenEnd,
    DataEnd,
    End,
    Failed,
  };
  XmlLayoutLine Fail();

  bool totp_;
  State state_ = State::Declaration;
  int headerLine_ = 0;
  bool emptyPair_ = false;
};

// True when `text` is character data exactly as pugixml writes it, so that
// reading and writing it again gives the same bytes: UTF-8, `&amp;`, `&lt;`,
// `&gt;` and two-digit `&#NN;` for control characters, no other markup.
bool IsPugixmlEscapedText(std::string_view text);
