#include "lang/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace korvex {

namespace {

// A conversion descriptor that is closed when it goes.
class IconvHandle {
 public:
  IconvHandle(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
  ~IconvHandle() {
    if (valid()) iconv_close(handle_);
  }
  IconvHandle(const IconvHandle&) = delete;
  IconvHandle& operator=(const IconvHandle&) = delete;

  bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return handle_; }

 private:
  iconv_t handle_;
};

constexpr std::string_view REPLACEMENT_CHARACTER = "\xEF\xBF\xBD";

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// Bytes of the character that starts with `lead`, or 0 when no valid
// character starts with it.
std::size_t sequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

bool isValidUtf8(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = sequenceLength(lead);
    if (length == 0 || bytes.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k)
      if (!isContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
    if (length >= 3) {
      const auto second = static_cast<unsigned char>(bytes[i + 1]);
      if (lead == 0xE0 && second < 0xA0) return false;  // overlong
      if (lead == 0xED && second > 0x9F) return false;  // surrogate
      if (lead == 0xF0 && second < 0x90) return false;  // overlong
      if (lead == 0xF4 && second > 0x8F) return false;  // above U+10FFFF
    }
    i += length;
  }
  return true;
}

std::string gb18030ToUtf8(std::string_view bytes) {
  std::string out;
  IconvHandle converter("UTF-8", "GB18030");
  if (!converter.valid()) {
    // Without the converter keep the ASCII and mark everything else.
    for (char c : bytes) {
      if (static_cast<unsigned char>(c) < 0x80) out.push_back(c);
      else out.append(REPLACEMENT_CHARACTER);
    }
    return out;
  }
  out.reserve(bytes.size() * 3 / 2);
  // iconv takes a non-const input pointer but does not write through it.
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  char chunk[4096];
  while (inLeft > 0) {
    char* outPtr = chunk;
    std::size_t outLeft = sizeof chunk;
    const std::size_t result = iconv(converter.get(), &in, &inLeft, &outPtr, &outLeft);
    out.append(chunk, static_cast<std::size_t>(outPtr - chunk));
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An invalid or a cut-off character: mark it and go on after its first byte.
    out.append(REPLACEMENT_CHARACTER);
    ++in;
    --inLeft;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

std::size_t utf8PrefixLength(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text.size();
  std::size_t length = maxBytes;
  // Step back over the continuation bytes of a character that would be cut.
  while (length > 0 && isContinuation(static_cast<unsigned char>(text[length]))) --length;
  return length;
}

}  // namespace korvex
