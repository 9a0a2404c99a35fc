#include "jobs/sha256_digest.h"

#include <openssl/evp.h>

namespace korvex {

struct Sha256Digest::Context {
  EVP_MD_CTX* md = nullptr;
  bool sound = false;
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256Digest::Sha256Digest() : context_(std::make_unique<Context>()) {
  context_->md = EVP_MD_CTX_new();
  context_->sound = context_->md != nullptr && EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) == 1;
}

Sha256Digest::~Sha256Digest() = default;
Sha256Digest::Sha256Digest(Sha256Digest&&) noexcept = default;
Sha256Digest& Sha256Digest::operator=(Sha256Digest&&) noexcept = default;

void Sha256Digest::add(const std::uint8_t* bytes, std::size_t count) {
  if (!context_ || !context_->sound || count == 0) return;
  context_->sound = EVP_DigestUpdate(context_->md, bytes, count) == 1;
}

std::string Sha256Digest::finish() {
  if (!context_ || !context_->sound) return {};
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  context_->sound = false;
  if (EVP_DigestFinal_ex(context_->md, digest, &length) != 1) return {};
  static constexpr char HEX[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(2 * length);
  for (unsigned int i = 0; i < length; ++i) {
    hex += HEX[digest[i] >> 4];
    hex += HEX[digest[i] & 0xf];
  }
  return hex;
}

}  // namespace korvex
