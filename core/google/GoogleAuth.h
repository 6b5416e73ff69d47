#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Google's service accounts: their key files, the signed token request, and the token
// endpoint's answers. Nothing here sends anything; the Search Console channel does.
//
// No message made here quotes the private key or a token: they end up in logs.

// The fields of a service account's JSON key file that the token request needs.
struct ServiceAccount {
    std::string clientEmail;
    std::string privateKey; // PEM text of an RSA private key
    std::string privateKeyId;
    std::string tokenUri;
};

// Reads a key file's text. Throws LarkspanError for text that is not JSON, that lacks one of
// the four fields (or holds it as anything but a non-empty text), or whose private key is not
// an RSA private key; the message names the file as given.
ServiceAccount parseServiceAccount(std::string_view text, const std::string& fileName);

// Reads the key file from disk: the same errors, and one for a file that cannot be read. A
// file that others than its owner may access sets the warning, as ssh warns of its keys.
ServiceAccount readServiceAccount(const std::string& fileName, std::string& warning);

// The scope that Search Console's API asks for.
constexpr std::string_view WebmastersScope = "https://www.googleapis.com/auth/webmasters";
// How long a requested token is asked to last, in seconds.
constexpr std::int64_t AssertionLifetime = 3600;

// The signed JWT of the token request: issued by the account for the scope, addressed to the
// audience (the token endpoint's URL), issued at now (seconds since the epoch) and valid for
// AssertionLifetime seconds.
std::string makeAssertion(const ServiceAccount& account, std::string_view audience, std::int64_t now);
// The form body of the token request that carries the assertion.
std::string tokenRequestBody(std::string_view assertion);

// What a token endpoint answered: a token, or why there is none.
struct TokenAnswer {
    std::string accessToken;
    std::int64_t expiresIn = 0; // seconds; 0 when the answer gave no lifetime
    // Empty for a token. Otherwise the error code ("invalid_grant") or a sentence saying what
    // is wrong with the answer, and Google's description when it gave one.
    std::string error;
    std::string description;
    bool ok() const { return error.empty(); }
};
// Reads a token endpoint's answer: a 200 with a JSON object holding "access_token" and
// "token_type" "Bearer" is a token; any other answer an error, with "error" and
// "error_description" when its body holds them.
TokenAnswer parseTokenAnswer(int status, std::string_view body);

// The message of a Google API's error answer ({"error": {"message": ...}}, or "error_description"
// beside a text "error"); empty when the body holds none. Made one line and at most 300 bytes.
std::string apiErrorMessage(std::string_view body);
