#include "core/google/GoogleAuth.h"

#include "core/google/HeldSecrets.h"
#include "core/google/Rs256.h"
#include "platform/Error.h"
#include "platform/ReadFile.h"
#include "platform/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>

namespace {

using nlohmann::json;

// A key file is a few kilobytes; anything far larger is not one, and is not read whole.
constexpr std::size_t MaxKeyFileBytes = 1 << 20;
constexpr std::size_t MaxMessageBytes = 300;

[[noreturn]] void keyFileError(const std::string& fileName, const std::string& why) {
    throw LarkspanError("the key file " + fileName + " " + why);
}

// The JSON document, or nothing for text that is not JSON; why goes to the fault when asked
// for. The library's own message is not used: it quotes the text around the fault, which may
// be part of the private key.
std::optional<json> parseJson(std::string_view text, std::string* fault = nullptr) {
    try {
        return json::parse(text.begin(), text.end());
    } catch (const json::parse_error& e) {
        if (fault) *fault = "the fault is near byte " + std::to_string(e.byte);
    } catch (const json::exception&) {
        // A number beyond what a double holds is the one other fault that parsing reports.
        if (fault) *fault = "a number in it is too large";
    }
    return std::nullopt;
}

std::string textField(const json& object, const char* name) {
    const auto it = object.find(name);
    if (it == object.end() || !it->is_string()) return {};
    return it->get<std::string>();
}

// A text from a server as one line of printable bytes, cut to a length a log line can carry,
// without the secrets it may echo (masked before the cut, which could leave a secret's start).
std::string oneLine(std::string_view text) {
    std::string out;
    for (char c : withoutSecrets(text)) {
        if (out.size() >= MaxMessageBytes) {
            out += "...";
            break;
        }
        const auto b = static_cast<unsigned char>(c);
        out += b < 0x20 || b == 0x7F ? ' ' : c;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

std::string octal(unsigned mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777u);
    return text;
}

} // namespace

ServiceAccount parseServiceAccount(std::string_view text, const std::string& fileName) {
    std::string fault;
    const std::optional<json> doc = parseJson(text, &fault);
    if (!doc) keyFileError(fileName, "is not JSON (" + fault + ")");
    if (!doc->is_object()) keyFileError(fileName, "is not a JSON object");
    ServiceAccount account;
    const std::pair<const char*, std::string*> fields[] = {{"client_email", &account.clientEmail},
                                                           {"private_key", &account.privateKey},
                                                           {"private_key_id", &account.privateKeyId},
                                                           {"token_uri", &account.tokenUri}};
    for (const auto& [name, target] : fields) {
        *target = textField(*doc, name);
        if (target->empty()) keyFileError(fileName, std::string("lacks the field \"") + name + "\"");
    }
    switch (privateKeyKind(account.privateKey)) {
    case PrivateKeyKind::Rsa:
        break;
    case PrivateKeyKind::OtherAlgorithm:
        keyFileError(fileName, "holds a private key that is not an RSA key");
    case PrivateKeyKind::Unreadable:
        keyFileError(fileName, "holds a \"private_key\" that is no readable PEM private key");
    }
    return account;
}

ServiceAccount readServiceAccount(const std::string& fileName, std::string& warning) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        keyFileError(fileName, std::string("cannot be read: ") + std::strerror(errno));
    if (!S_ISREG(st.st_mode)) keyFileError(fileName, "cannot be read: it is not a file");
    if (static_cast<std::size_t>(st.st_size) > MaxKeyFileBytes)
        keyFileError(fileName, "is too large for a key file");
    // ssh refuses such keys outright; here the key still serves, since a service account is
    // not a login, but the user is told that the file gives it away.
    if ((st.st_mode & 077) != 0)
        warning = "the key file " + fileName + " is accessible by others than its owner (permissions " +
                  octal(st.st_mode) + "); \"chmod 600 " + fileName + "\" keeps it private";
    const std::optional<std::string> text = readWholeFile(fileName);
    if (!text) keyFileError(fileName, std::string("cannot be read: ") + std::strerror(errno));
    return parseServiceAccount(*text, fileName);
}

std::string makeAssertion(const ServiceAccount& account, std::string_view audience, std::int64_t now) {
    // The members in the order Google's documentation shows them.
    nlohmann::ordered_json header{{"alg", "RS256"}, {"typ", "JWT"}, {"kid", account.privateKeyId}};
    nlohmann::ordered_json claims{{"iss", account.clientEmail},
                                  {"scope", WebmastersScope},
                                  {"aud", audience},
                                  {"iat", now},
                                  {"exp", now + AssertionLifetime}};
    // A configured token URL need not be UTF-8; a byte that is not becomes U+FFFD rather than
    // an exception, and the endpoint then refuses the audience.
    auto text = [](const nlohmann::ordered_json& value) {
        return value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    };
    const std::string signingInput = base64Url(text(header)) + "." + base64Url(text(claims));
    std::string assertion = signingInput + "." + base64Url(signRs256(account.privateKey, signingInput));
    holdSecret(assertion, "[assertion]");
    return assertion;
}

std::string tokenRequestBody(std::string_view assertion) {
    // The assertion is base64url text and dots, which a form carries as they are.
    return "grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer&assertion=" + std::string(assertion);
}

TokenAnswer parseTokenAnswer(int status, std::string_view body) {
    TokenAnswer answer;
    const std::optional<json> doc = parseJson(body);
    if (doc && doc->is_object()) {
        answer.error = oneLine(textField(*doc, "error"));
        answer.description = oneLine(textField(*doc, "error_description"));
    }
    if (status != 200) {
        if (answer.error.empty()) answer.error = "an answer without an error code";
        return answer;
    }
    if (!answer.error.empty()) return answer;
    if (!doc || !doc->is_object()) {
        answer.error = "an answer that is not a JSON object";
        return answer;
    }
    const std::string type = textField(*doc, "token_type");
    answer.accessToken = textField(*doc, "access_token");
    if (answer.accessToken.empty()) {
        answer.error = "an answer without \"access_token\"";
        return answer;
    }
    // The token goes into a header line: a line break in it would add lines of its own.
    for (char c : answer.accessToken) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b >= 0x7F) {
            answer.accessToken.clear();
            answer.error = "an answer whose \"access_token\" is not a token";
            return answer;
        }
    }
    if (!equalsIgnoringCase(type, "Bearer")) {
        answer.accessToken.clear();
        answer.error = "an answer whose \"token_type\" is not \"Bearer\"";
        return answer;
    }
    holdSecret(answer.accessToken, "[token]");
    // A lifetime beyond a day is taken as a day: the program asks for an hour, and the clock
    // arithmetic must not overflow.
    const auto expires = doc->find("expires_in");
    if (expires != doc->end() && expires->is_number_unsigned())
        answer.expiresIn =
            static_cast<std::int64_t>(std::min<std::uint64_t>(expires->get<std::uint64_t>(), 86400));
    return answer;
}

std::string apiErrorMessage(std::string_view body) {
    const std::optional<json> doc = parseJson(body);
    if (!doc || !doc->is_object()) return {};
    const auto error = doc->find("error");
    if (error == doc->end()) return {};
    if (error->is_object()) return oneLine(textField(*error, "message"));
    return oneLine(textField(*doc, "error_description"));
}
