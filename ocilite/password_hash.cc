#include "ocilite/password_hash.h"

#include <sodium.h>

#include <cstring>

namespace ocilite {

namespace {

constexpr std::string_view kHashPrefix = "$argon2";

bool sodiumReady() { return sodium_init() >= 0; }

}  // namespace

std::string hashPassword(std::string_view password) {
  if (!sodiumReady()) return {};
  char out[crypto_pwhash_STRBYTES];
  // Argon2id, the library's default and the memory-hard hash recommended for
  // passwords, at the cost meant for interactive logons.
  if (crypto_pwhash_str_alg(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
    return {};
  return std::string(out);
}

bool isPasswordHash(std::string_view stored) { return stored.substr(0, kHashPrefix.size()) == kHashPrefix; }

bool passwordMatches(std::string_view stored, std::string_view given) {
  if (!isPasswordHash(stored)) {
    // Plain text: compared in time that does not depend on where they differ.
    return stored.size() == given.size() &&
           (stored.empty() || sodium_memcmp(stored.data(), given.data(), stored.size()) == 0);
  }
  // The checker reads a C string of bounded length: anything longer, or with
  // a zero byte inside, is no hash it wrote.
  char hash[crypto_pwhash_STRBYTES] = {};
  if (stored.size() >= sizeof hash || std::memchr(stored.data(), '\0', stored.size()) != nullptr) return false;
  std::memcpy(hash, stored.data(), stored.size());
  return sodiumReady() && crypto_pwhash_str_verify(hash, given.data(), given.size()) == 0;
}

}  // namespace ocilite
