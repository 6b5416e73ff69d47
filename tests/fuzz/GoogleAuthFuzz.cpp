// libFuzzer target: arbitrary bytes as a service account's key file, as a token endpoint's
// answer, and as an API's error answer.
//
// The first byte chooses the reading and the status of the answer. Whatever the bytes hold,
// the readers end with a value or a message, never a crash, a leak or a hang; a token is never
// empty or able to break a header line, and the texts taken from an answer stay one bounded
// line.

#include "core/google/GoogleAuth.h"
#include "platform/Error.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void requireOneLine(const std::string& text) {
    if (text.size() > 303) std::abort();
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 3) {
    case 0:
        try {
            const ServiceAccount account = parseServiceAccount(text, "key.json");
            if (account.clientEmail.empty() || account.privateKey.empty() || account.privateKeyId.empty() ||
                account.tokenUri.empty())
                std::abort();
        } catch (const LarkspanError& e) {
            if (std::string_view(e.what()).rfind("the key file key.json ", 0) != 0) std::abort();
        }
        break;
    case 1: {
        const TokenAnswer answer = parseTokenAnswer(data[0] < 128 ? 200 : 400, text);
        if (answer.ok() == answer.accessToken.empty()) std::abort();
        for (char c : answer.accessToken)
            if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F) std::abort();
        requireOneLine(answer.error);
        requireOneLine(answer.description);
        break;
    }
    default:
        requireOneLine(apiErrorMessage(text));
    }
    return 0;
}
