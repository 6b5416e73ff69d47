#pragma once

#include <string>
#include <string_view>

// RS256 signing (RSASSA-PKCS1-v1_5 with SHA-256) for the tokens of Google's service accounts.
// The key is the PEM text of an RSA private key (PKCS#8 "PRIVATE KEY" or "RSA PRIVATE KEY");
// an encrypted key is never asked a pass phrase for, it is refused.

// What a PEM text holds.
enum class PrivateKeyKind { Unreadable, Rsa, OtherAlgorithm };
PrivateKeyKind privateKeyKind(std::string_view pem);

// The signature of the data with the key, as raw bytes. Throws LarkspanError when the text is
// no RSA private key; the message never quotes the key.
std::string signRs256(std::string_view pem, std::string_view data);

// Base64 with the URL-safe alphabet and without padding, as JSON Web Tokens use it.
std::string base64Url(std::string_view bytes);
