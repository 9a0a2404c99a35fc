// A SHA-256 digest fed piece by piece, for bytes that are never one file:
// the payloads of an AVI file's chunks as a backup takes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace korvex {

class Sha256Digest {
 public:
  Sha256Digest();
  ~Sha256Digest();
  Sha256Digest(Sha256Digest&&) noexcept;
  Sha256Digest& operator=(Sha256Digest&&) noexcept;

  void add(const std::uint8_t* bytes, std::size_t count);
  // The 64 hex digits of what was added; empty when the digest failed (or
  // was taken already).
  std::string finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

}  // namespace korvex
