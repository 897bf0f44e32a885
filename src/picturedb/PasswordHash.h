#pragma once

// Database passwords are kept only as salted, slow hashes
// (PBKDF2-HMAC-SHA256): "pbkdf2-sha256$<iterations>$<salt>$<key>", salt and
// key in base64. Nothing keeps or shows the typed text.

#include <QString>

namespace picturedb {

QString hashPassword(const QString& password);
bool isPasswordHash(const QString& stored);
// Whether a typed password is the stored one. A stored value that is not a
// hash is an old plain password and is compared as it stands (case and width
// included); the caller then replaces it with its hash.
bool passwordMatches(const QString& stored, const QString& typed);

} // namespace picturedb
