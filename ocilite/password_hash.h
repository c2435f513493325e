// Passwords of the users table (users.h) as salted hashes.
//
// The password column holds either form:
//
//   $argon2id$v=19$m=65536,t=2,p=1$<salt>$<hash>   a hash: Argon2id in the
//       standard string form (version, memory in KiB, passes, lanes; salt and
//       hash in base64 without padding), as libsodium writes and checks it;
//       every value that starts with "$argon2" is read as such a hash
//   anything else                                  the password itself, in
//       plain text (databases made before hashes keep logging on)
//
// A hash takes about 64 MiB and a tenth of a second to compute, on purpose:
// it makes guessing from a stolen database slow.
#ifndef DRIFT_OCILITE_PASSWORD_HASH_H
#define DRIFT_OCILITE_PASSWORD_HASH_H

#include <string>
#include <string_view>

namespace ocilite {

// The hashed form of `password` with a fresh random salt; empty when it
// could not be computed (no memory, no crypto library).
std::string hashPassword(std::string_view password);

// True when `stored` is a value of the hashed form.
bool isPasswordHash(std::string_view stored);

// True when `given` is the password that `stored` holds, hashed or in plain
// text.  A hash that cannot be read or checked matches nothing.
bool passwordMatches(std::string_view stored, std::string_view given);

}  // namespace ocilite

#endif
