#include "provisioning/seed_file_serials.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "provisioning/files/file_source.h"
#include "provisioning/seed_text.h"

namespace {

constexpr std::string_view kTag = "serial";
// A serial the key can hold has at most 63 bytes; written with entities it is
// at most six times longer. A longer text cannot be a candidate.
constexpr std::size_t kMaxText = 63 * 6;

// Character data with the predefined and numeric entities decoded; anything
// else is kept as it stands.
std::string Decode(std::string_view text) {
  static const struct {
    std::string_view entity;
    char character;
  } kNamed[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '&') {
      out.push_back(text[i++]);
      continue;
    }
    bool decoded = false;
    for (const auto& named : kNamed) {
      if (text.substr(i, named.entity.size()) == named.entity) {
        out.push_back(named.character);
        i += named.entity.size();
        decoded = true;
        break;
      }
    }
    const std::size_t end = text.find(';', i);
    if (!decoded && text.substr(i, 2) == "&#" && end != std::string_view::npos && end > i + 2) {
      const bool hex = text[i + 2] == 'x';
      std::uint32_t code = 0;
      bool valid = end > i + 2 + (hex ? 1 : 0);
      for (std::size_t d = i + 2 + (hex ? 1 : 0); valid && d < end; ++d) {
        const char c = text[d];
        const int digit = c >= '0' && c <= '9' ? c - '0'
                          : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                        : -1;
        valid = digit >= 0 && code < 0x110000;
        code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit);
      }
      if (valid) {
        AppendUtf8(out, code);
        i = end + 1;
        decoded = true;
      }
    }
    if (!decoded) out.push_back(text[i++]);
  }
  return out;
}

// Finds "<serial" followed by white space, '>' or "/>", then takes the text
// up to the next '<'. Fed block by block; keeps only the text being read.
class SerialScanner {
 public:
  SerialScanner(const std::vector<std::string>& candidates, std::vector<bool>& found)
      : candidates_(candidates), found_(found) {}

  void Feed(const char* data, std::size_t size) {
    const char* const end = data + size;
    while (data < end) {
      switch (state_) {
        case State::Outside: {
          const void* open = std::memchr(data, '<', static_cast<std::size_t>(end - data));
          if (!open) return;
          data = static_cast<const char*>(open) + 1;
          state_ = State::Name;
          matched_ = 0;
          break;
        }
        case State::Name: {
          const char c = *data++;
          if (matched_ < kTag.size()) {
            state_ = c == kTag[matched_] ? State::Name : c == '<' ? State::Name : State::Outside;
            matched_ = c == kTag[matched_] ? matched_ + 1 : 0;
          } else if (c == '>') {
            StartText();
          } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '/') {
            state_ = State::Attributes;
            selfClosing_ = c == '/';
          } else {
            state_ = c == '<' ? State::Name : State::Outside;
            matched_ = 0;
          }
          break;
        }
        case State::Attributes: {
          const char c = *data++;
          if (c == '>') {
            if (selfClosing_) {
              text_.clear();
              Check();
              state_ = State::Outside;
            } else {
              StartText();
            }
          } else {
            selfClosing_ = c == '/';
          }
          break;
        }
        case State::Text: {
          const void* close = std::memchr(data, '<', static_cast<std::size_t>(end - data));
          const char* stop = close ? static_cast<const char*>(close) : end;
          if (!overlong_) {
            const std::size_t take = static_cast<std::size_t>(stop - data);
            if (text_.size() + take > kMaxText) {
              overlong_ = true;
              text_.clear();
            } else {
              text_.append(data, take);
            }
          }
          data = stop;
          if (close) {
            if (!overlong_) Check();
            ++data;
            state_ = State::Name;
            matched_ = 0;
          }
          break;
        }
      }
    }
  }

  // A file cut off inside a serial still has that serial taken.
  void Finish() {
    if (state_ == State::Text && !overlong_) Check();
  }

 private:
  enum class State { Outside, Name, Attributes, Text };

  void StartText() {
    state_ = State::Text;
    text_.clear();
    overlong_ = false;
  }

  void Check() {
    const std::string serial = Decode(text_);
    for (std::size_t i = 0; i < candidates_.size(); ++i) {
      if (candidates_[i] == serial) found_[i] = true;
    }
  }

  const std::vector<std::string>& candidates_;
  std::vector<bool>& found_;
  State state_ = State::Outside;
  std::size_t matched_ = 0;
  bool selfClosing_ = false;
  bool overlong_ = false;
  std::string text_;
};

}  // namespace

bool FindSerials(ByteSource& in, const std::vector<std::string>& candidates, std::vector<bool>& found) {
  found.resize(candidates.size(), false);
  SerialScanner scanner(candidates, found);
  constexpr std::size_t kBlock = 1 << 20;
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  for (;;) {
    const std::optional<std::size_t> got = in.Read(buffer.get(), kBlock);
    if (!got) return false;
    if (*got == 0) {
      scanner.Finish();
      return true;
    }
    scanner.Feed(buffer.get(), *got);
  }
}

bool FindSerialsInFile(const std::filesystem::path& file, const std::vector<std::string>& candidates,
                       std::vector<bool>& found) {
  found.resize(candidates.size(), false);
  OpenForReadingOutcome opened = OpenForReading(file);
  if (opened.state == OpenForReadingOutcome::State::Missing) return true;
  return opened.source && FindSerials(*opened.source, candidates, found);
}
