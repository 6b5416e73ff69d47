#pragma once

#include <string>
#include <string_view>

// The credentials of Google's services that this process holds (the access tokens it was given,
// the signed assertions it made), so that no message quotes one that a server echoed back.

// Keeps the secret (an access token or an assertion), to be written as mask wherever it stands
// in a text from the network. The most recent few are kept (a token lasts an hour); one of fewer
// than 16 characters is no real secret and is not kept.
void holdSecret(std::string_view secret, std::string_view mask);

// The text without secrets: each secret held becomes its mask, and so do the shapes of secrets
// whatever their origin: "Bearer" and what follows it up to a blank becomes "Bearer [token]",
// a Google access token ("ya29." and what follows) "[token]", a signed JWT (three base64url
// parts, the first "eyJ...") "[assertion]".
std::string withoutSecrets(std::string_view text);
