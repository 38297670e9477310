// Bounds-checked reading of a request body. The host sends bodies in
// byte-stream mode, so body byte i is byte i % 4 of payload word i / 4 counted
// from the more significant end: the words stored big-endian give the bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sim::module {

// The body bytes of a frame's payload words.
inline std::vector<uint8_t> bodyBytes(const std::vector<uint32_t>& words) {
  std::vector<uint8_t> bytes;
  bytes.reserve(words.size() * 4);
  for (uint32_t word : words) {
    bytes.push_back(static_cast<uint8_t>(word >> 24));
    bytes.push_back(static_cast<uint8_t>(word >> 16));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
    bytes.push_back(static_cast<uint8_t>(word));
  }
  return bytes;
}

// Words whose big-endian bytes are `bytes`, the last word padded with zeros:
// what the host reads in byte-stream mode comes out in file order.
inline std::vector<uint32_t> packBigEndian(const uint8_t* bytes, size_t length) {
  std::vector<uint32_t> words((length + 3) / 4, 0);
  for (size_t i = 0; i < length; ++i)
    words[i / 4] |= uint32_t{bytes[i]} << (24 - 8 * (i % 4));
  return words;
}

class BodyReader {
 public:
  explicit BodyReader(const std::vector<uint8_t>& body) : body_(body) {}

  // A big-endian 32-bit integer; false when fewer than 4 bytes are left.
  bool word(uint32_t* value) {
    if (body_.size() - at_ < 4) return false;
    *value = (uint32_t{body_[at_]} << 24) | (uint32_t{body_[at_ + 1]} << 16) |
             (uint32_t{body_[at_ + 2]} << 8) | body_[at_ + 3];
    at_ += 4;
    return true;
  }
  // A zero-terminated string; false when no zero byte ends it inside the body.
  bool string(std::string* text) {
    for (size_t end = at_; end < body_.size(); ++end) {
      if (body_[end] == 0) {
        text->assign(reinterpret_cast<const char*>(body_.data() + at_), end - at_);
        at_ = end + 1;
        return true;
      }
    }
    return false;
  }
  // True when only zero bytes (the channel's padding) are left.
  bool onlyPaddingLeft() const {
    for (size_t i = at_; i < body_.size(); ++i)
      if (body_[i] != 0) return false;
    return true;
  }
  // True when what is left is `fill` bytes up to the end of the word the
  // reader stands in, and nothing more.
  bool onlyFillToWordLeft(uint8_t fill) const {
    if (remaining() >= 4 || body_.size() % 4 != 0) return false;
    for (size_t i = at_; i < body_.size(); ++i)
      if (body_[i] != fill) return false;
    return true;
  }
  size_t position() const { return at_; }
  size_t remaining() const { return body_.size() - at_; }
  const uint8_t* here() const { return body_.data() + at_; }
  void skip(size_t bytes) { at_ += bytes < remaining() ? bytes : remaining(); }

 private:
  const std::vector<uint8_t>& body_;
  size_t at_ = 0;
};

}  // namespace sim::module
