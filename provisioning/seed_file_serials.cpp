#include "provisioning/seed_file_serials.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "provisioning/sse2_support.h"
#include "text/unicode_text.h"

namespace {

// A serial the key can hold has at most 63 bytes, a seed 64 digits; written
// with entities a serial is at most six times longer. A longer text is none.
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

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Finds the elements named in `tags` ("<serial" followed by white space, '>'
// or "/>") and hands each one's text, up to the next '<', to `found` with the
// tag's index. Fed block by block; keeps only the text being read and the
// last bytes of the file.
class ElementTextScanner {
 public:
  // `closed`: the text ended at a tag, not at the end of the bytes.
  using Found = std::function<void(std::size_t tag, const std::string& text, bool closed)>;

  ElementTextScanner(std::vector<std::string_view> tags, Found found)
      : tags_(std::move(tags)), found_(std::move(found)) {}

  void Feed(const char* data, std::size_t size) {
    KeepTail(data, size);
    const char* const end = data + size;
    while (data < end) {
      switch (state_) {
        case State::Outside: {
          const void* open = std::memchr(data, '<', static_cast<std::size_t>(end - data));
          if (!open) return;
          data = static_cast<const char*>(open) + 1;
          StartName();
          break;
        }
        case State::Name: {
          const char c = *data++;
          if (c == '>' || c == '/' || IsSpace(c)) {
            tag_ = TagOf(name_);
            if (tag_ == kNone) {
              state_ = State::Outside;
            } else if (c == '>') {
              StartText();
            } else {
              state_ = State::Attributes;
              selfClosing_ = c == '/';
            }
          } else if (c == '<') {
            StartName();
          } else if (name_.size() < kLongestTag) {
            name_.push_back(c);
          } else {
            state_ = State::Outside;
          }
          break;
        }
        case State::Attributes: {
          const char c = *data++;
          if (c == '>') {
            if (selfClosing_) {
              text_.clear();
              overlong_ = false;
              Report(true);
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
            Report(true);
            ++data;
            StartName();
          }
          break;
        }
      }
    }
  }

  // A file cut off inside an element still has that element's text.
  void Finish() {
    if (state_ == State::Text) Report(false);
  }

  // Whether the last thing in the bytes, but for white space, is the closing
  // tag of the root element: only a file written to its end has it.
  bool EndsWithRootClose() const {
    std::string_view tail = tail_;
    while (!tail.empty() && IsSpace(tail.back())) tail.remove_suffix(1);
    constexpr std::string_view kClose = "</data>";
    return tail.size() >= kClose.size() && tail.substr(tail.size() - kClose.size()) == kClose;
  }

 private:
  enum class State { Outside, Name, Attributes, Text };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  static constexpr std::size_t kLongestTag = 16;
  static constexpr std::size_t kTailBytes = 64;

  void KeepTail(const char* data, std::size_t size) {
    const std::size_t take = size < kTailBytes ? size : kTailBytes;
    tail_.append(data + size - take, take);
    if (tail_.size() > kTailBytes) tail_.erase(0, tail_.size() - kTailBytes);
  }

  std::size_t TagOf(const std::string& name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
      if (tags_[i] == name) return i;
    }
    return kNone;
  }

  void StartName() {
    state_ = State::Name;
    name_.clear();
  }

  void StartText() {
    state_ = State::Text;
    text_.clear();
    overlong_ = false;
  }

  void Report(bool closed) {
    if (!overlong_) found_(tag_, Decode(text_), closed);
  }

  std::vector<std::string_view> tags_;
  Found found_;
  State state_ = State::Outside;
  std::string name_;
  std::size_t tag_ = kNone;
  bool selfClosing_ = false;
  bool overlong_ = false;
  std::string text_;
  std::string tail_;
};

// Feeds the whole source to `scanner`; false when a read failed.
bool ScanAll(ByteSource& in, ElementTextScanner& scanner) {
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

}  // namespace

namespace {

// 64-bit keys of texts: FNV-1a over their bytes, then mixed so that every
// bit depends on every byte.
constexpr std::uint64_t kKeyStart = 0xCBF29CE484222325ull;

std::uint64_t AddToKey(std::uint64_t key, unsigned char byte) { return (key ^ byte) * 0x100000001B3ull; }

std::uint64_t FinishKey(std::uint64_t key) {
  key = (key ^ (key >> 30)) * 0xBF58476D1CE4E5B9ull;
  key = (key ^ (key >> 27)) * 0x94D049BB133111EBull;
  return key ^ (key >> 31);
}

}  // namespace

std::uint64_t SeedFileTokenKey(std::string_view serial, std::string_view seedHex) {
  // Both texts, the seed's digits in upper case.
  std::uint64_t key = kKeyStart;
  for (const char c : serial) key = AddToKey(key, static_cast<unsigned char>(c));
  key = AddToKey(key, 0);
  for (const char c : seedHex) key = AddToKey(key, static_cast<unsigned char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c));
  return FinishKey(key);
}

bool ScanSeedFileTokens(ByteSource& in, SeedFileTokens& tokens) {
  tokens = SeedFileTokens{};
  std::optional<std::string> serial;
  // A text cut off by the end of the bytes is no token: its seed may be a part.
  ElementTextScanner scanner({"serial", "seed"}, [&](std::size_t tag, const std::string& text, bool closed) {
    if (!closed) return;
    if (tag == 0) {
      serial = text;
    } else if (serial) {
      tokens.keys.push_back(SeedFileTokenKey(*serial, text));
      serial.reset();
    }
  });
  if (!ScanAll(in, scanner)) return false;
  tokens.complete = scanner.EndsWithRootClose();
  std::sort(tokens.keys.begin(), tokens.keys.end());
  tokens.keys.erase(std::unique(tokens.keys.begin(), tokens.keys.end()), tokens.keys.end());
  return true;
}

bool SeedFileTokens::Holds(std::uint64_t key) const {
  return std::binary_search(keys.begin(), keys.end(), key);
}

bool SeedFileTokens::HoldsAllOf(const SeedFileTokens& other) const {
  return std::includes(keys.begin(), keys.end(), other.keys.begin(), other.keys.end());
}

std::uint64_t SerialSet::Key(std::string_view serial) {
  std::uint64_t key = kKeyStart;
  for (const char c : serial) key = AddToKey(key, static_cast<unsigned char>(c));
  return FinishKey(key);
}

void SerialSet::Sort() const {
  // Least significant byte first: each pass reads and writes in order, where
  // a comparison sort or a hash table would jump about memory.
  std::vector<std::uint64_t> other(keys_.size());
  for (unsigned shift = 0; shift < 64; shift += 8) {
    std::size_t counts[257] = {};
    for (const std::uint64_t key : keys_) ++counts[((key >> shift) & 0xFF) + 1];
    for (std::size_t digit = 0; digit < 256; ++digit) counts[digit + 1] += counts[digit];
    for (const std::uint64_t key : keys_) other[counts[(key >> shift) & 0xFF]++] = key;
    keys_.swap(other);
  }
  sorted_ = true;
}

bool SerialSet::Contains(std::string_view serial) const {
  if (!sorted_) Sort();
  return std::binary_search(keys_.begin(), keys_.end(), Key(serial));
}

namespace {

constexpr std::string_view kSerialOpen = "<serial";

#ifdef OTP_SCAN_SSE2
// Where "<serial" starts in [from, end), or end: sixteen places at a time,
// each checked for its '<', its 's' and its 'l' before the whole is compared.
__attribute__((target("sse2"))) const char* FindSerialOpenSse2(const char* from, const char* end) {
  const __m128i open = _mm_set1_epi8('<'), s = _mm_set1_epi8('s'), l = _mm_set1_epi8('l');
  const char* at = from;
  for (; end - at >= 16 + 6; at += 16) {
    const __m128i first = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), open);
    const __m128i second = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1)), s);
    const __m128i last = _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 6)), l);
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(first, second), last)));
    while (hits != 0) {
      const char* candidate = at + __builtin_ctz(hits);
      if (std::memcmp(candidate, kSerialOpen.data(), kSerialOpen.size()) == 0) return candidate;
      hits &= hits - 1;
    }
  }
  const std::string_view rest(at, static_cast<std::size_t>(end - at));
  const std::size_t found = rest.find(kSerialOpen);
  return found == std::string_view::npos ? end : at + found;
}
#endif

const char* FindSerialOpen(const char* from, const char* end) {
#ifdef OTP_SCAN_SSE2
  if (HasSse2()) return FindSerialOpenSse2(from, end);
#endif
  static const std::boyer_moore_horspool_searcher searcher(kSerialOpen.begin(), kSerialOpen.end());
  return std::search(from, end, searcher);
}

}  // namespace

bool CollectSerials(ByteSource& in, SerialSet& serials) {
  constexpr std::string_view kOpen = kSerialOpen;
  const auto add = [&](std::string_view text) {
    if (text.size() > kMaxText) return;
    serials.Add(text.find('&') == std::string_view::npos ? std::string(text) : Decode(text));
  };
  constexpr std::size_t kBlock = 4 << 20;
  std::string bytes;  // what is left of the last block, then the new one, read in place
  for (;;) {
    const std::size_t kept = bytes.size();
    bytes.resize(kept + kBlock);
    const std::optional<std::size_t> got = in.Read(&bytes[kept], kBlock);
    if (!got) return false;
    const bool end = *got == 0;
    bytes.resize(kept + *got);
    const std::string_view view(bytes);
    // A tag may begin in the last bytes; a serial whose end is not here yet
    // is read again with the next block.
    std::size_t keepFrom = view.size() > kOpen.size() ? view.size() - kOpen.size() : 0;
    std::size_t at = 0;
    while (at < view.size()) {
      const char* found = FindSerialOpen(view.data() + at, view.data() + view.size());
      if (found == view.data() + view.size()) break;
      const std::size_t tag = static_cast<std::size_t>(found - view.data());
      const std::size_t name = tag + kOpen.size();
      if (name >= view.size()) {
        keepFrom = std::min(keepFrom, tag);
        break;
      }
      const char next = view[name];
      std::size_t text = name + 1;
      if (next != '>') {
        if (!IsSpace(next) && next != '/') {
          at = name;  // another name that begins so
          continue;
        }
        const std::size_t close = view.find('>', name);
        if (close == std::string_view::npos) {
          if (!end) keepFrom = std::min(keepFrom, tag);
          break;
        }
        if (view[close - 1] == '/') {  // <serial/>: an empty serial
          add({});
          at = close + 1;
          continue;
        }
        text = close + 1;
      }
      const std::size_t stop = view.find('<', text);
      if (stop == std::string_view::npos) {
        if (end) {
          add(view.substr(text));  // a file cut off inside a serial still has it taken
        } else if (view.size() - text <= kMaxText) {
          keepFrom = std::min(keepFrom, tag);
        }
        break;
      }
      add(view.substr(text, stop - text));
      at = stop;
    }
    if (end) return true;
    bytes.erase(0, keepFrom);
  }
}
