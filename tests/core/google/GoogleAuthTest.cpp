// Reading service account key files and token answers, the JWT's encoding, the property and
// path rules of the Search Console channel, and the [Google] values of the configuration.
#include "core/google/GoogleAuth.h"
#include "core/google/HeldSecrets.h"

#include "core/Config.h"
#include "core/google/Rs256.h"
#include "core/google/SearchConsoleChannel.h"
#include "http/Url.h"
#include "platform/Error.h"
#include "platform/IniFile.h"
#include "platform/Text.h"
#include "support/TestCertificates.h"
#include "tests/common/Files.h"

#include <gtest/gtest.h>

namespace {

std::string jsonText(const std::string& text) {
    return "\"" + replaceAll(text, "\n", "\\n") + "\"";
}

// The message a key file's text is refused with, or "ok".
std::string keyFileOutcome(const std::string& text) {
    try {
        parseServiceAccount(text, "key.json");
        return "ok";
    } catch (const LarkspanError& e) {
        return e.what();
    }
}

TEST(GoogleAuth, KeyFilesAreReadOrRefusedWithAMessageThatNeverQuotesTheKey) {
    const TestCertificates& certs = TestCertificates::get();
    ASSERT_EQ(certs.error(), "");
    const std::string rsa = readFile(certs.path("account.key"));
    const std::string ec = readFile(certs.key());
    auto keyFile = [](const std::string& pem, const std::string& skip = "") {
        std::string text = "{";
        for (const auto& [name, value] :
             {std::pair<std::string, std::string>{"client_email", "\"a@b.example\""},
              {"private_key", jsonText(pem)},
              {"private_key_id", "\"k1\""},
              {"token_uri", "\"https://oauth2.googleapis.com/token\""}})
            if (name != skip) text += (text.size() > 1 ? "," : "") + ("\"" + name + "\":" + value);
        return text + "}";
    };
    const std::string p = "the key file key.json ";
    const std::vector<std::pair<std::string, std::string>> cases{
        {keyFile(rsa), "ok"},
        {"", p + "is not JSON (the fault is near byte 1)"},
        {"{\"client_email\": \"a@b\",", p + "is not JSON (the fault is near byte 24)"},
        {"{\"private_key_id\": 63320e660007}", p + "is not JSON (a number in it is too large)"},
        {"[1, 2]", p + "is not a JSON object"},
        {keyFile(rsa, "client_email"), p + "lacks the field \"client_email\""},
        {keyFile(rsa, "private_key"), p + "lacks the field \"private_key\""},
        {keyFile(rsa, "private_key_id"), p + "lacks the field \"private_key_id\""},
        {keyFile(rsa, "token_uri"), p + "lacks the field \"token_uri\""},
        {replaceAll(keyFile(rsa), "\"a@b.example\"", "42"), p + "lacks the field \"client_email\""},
        {keyFile("not a key"), p + "holds a \"private_key\" that is no readable PEM private key"},
        {keyFile(rsa.substr(0, rsa.size() / 2)),
         p + "holds a \"private_key\" that is no readable PEM private key"},
        {keyFile(ec), p + "holds a private key that is not an RSA key"},
    };
    for (const auto& [text, outcome] : cases)
        EXPECT_EQ(keyFileOutcome(text), outcome) << text;

    const ServiceAccount account = parseServiceAccount(keyFile(rsa), "key.json");
    EXPECT_EQ(account.clientEmail, "a@b.example");
    EXPECT_EQ(account.privateKey, rsa);
    EXPECT_EQ(account.privateKeyId, "k1");
    EXPECT_EQ(account.tokenUri, "https://oauth2.googleapis.com/token");
}

TEST(GoogleAuth, TokenAnswersGiveATokenOrTheReasonThereIsNone) {
    struct Case {
        int status;
        std::string body;
        std::string token;
        std::int64_t expiresIn;
        std::string error;
        std::string description;
    };
    const std::string longText(400, 'x');
    const std::vector<Case> cases{
        {200, R"({"access_token":"ya29.a-b_c","expires_in":3599,"token_type":"Bearer"})", "ya29.a-b_c", 3599,
         "", ""},
        {200, R"({"access_token":"t","token_type":"Bearer"})", "t", 0, "", ""},
        {200, R"({"access_token":"t","expires_in":1000000000000,"token_type":"Bearer"})", "t", 86400, "", ""},
        {200, R"({"access_token":"t","expires_in":-5,"token_type":"Bearer"})", "t", 0, "", ""},
        {200, R"({"token_type":"Bearer"})", "", 0, "an answer without \"access_token\"", ""},
        {200, R"({"access_token":"a\r\nX-Evil: 1","token_type":"Bearer"})", "", 0,
         "an answer whose \"access_token\" is not a token", ""},
        {200, R"({"access_token":"t","token_type":"MAC"})", "", 0,
         "an answer whose \"token_type\" is not \"Bearer\"", ""},
        {200, "<html>", "", 0, "an answer that is not a JSON object", ""},
        {200, R"({"error":"invalid_grant"})", "", 0, "invalid_grant", ""},
        {400, R"({"error":"invalid_grant","error_description":"Invalid JWT Signature."})", "", 0,
         "invalid_grant", "Invalid JWT Signature."},
        {400, "{\"error\":\"a\\nb\",\"error_description\":\"" + longText + "\"}", "", 0, "a b",
         longText.substr(0, 300) + "..."},
        {401, "", "", 0, "an answer without an error code", ""},
        {503, R"({"access_token":"t","token_type":"Bearer"})", "", 0, "an answer without an error code", ""},
        {200, R"({"access_token":"t","token_type":"Bearer","expires_in":1e999})", "", 0,
         "an answer that is not a JSON object", ""},
    };
    for (const Case& c : cases) {
        const TokenAnswer answer = parseTokenAnswer(c.status, c.body);
        EXPECT_EQ(answer.accessToken, c.token) << c.body;
        EXPECT_EQ(answer.expiresIn, c.expiresIn) << c.body;
        EXPECT_EQ(answer.error, c.error) << c.body;
        EXPECT_EQ(answer.description, c.description) << c.body;
    }

    EXPECT_EQ(apiErrorMessage(R"({"error":{"code":403,"message":"User does not have permission."}})"),
              "User does not have permission.");
    EXPECT_EQ(apiErrorMessage(R"({"error":"invalid_token","error_description":"Expired."})"), "Expired.");
    EXPECT_EQ(apiErrorMessage("<html><body>Not Found</body></html>"), "");
    EXPECT_EQ(apiErrorMessage(""), "");
}

TEST(GoogleAuth, TheAssertionIsAnRs256JwtOfTheAccountsClaims) {
    EXPECT_EQ(base64Url(""), "");
    EXPECT_EQ(base64Url("f"), "Zg");
    EXPECT_EQ(base64Url("fo"), "Zm8");
    EXPECT_EQ(base64Url("foo"), "Zm9v");
    EXPECT_EQ(base64Url("\xfb\xff\xfe"), "-__-");

    const ServiceAccount account{"a@b.example", readFile(TestCertificates::get().path("account.key")), "k1",
                                 "https://oauth2.googleapis.com/token"};
    const std::string jwt = makeAssertion(account, "https://127.0.0.1:8443/token", 1700000000);
    const std::string head = base64Url(R"({"alg":"RS256","typ":"JWT","kid":"k1"})");
    const std::string claims =
        base64Url(R"({"iss":"a@b.example","scope":"https://www.googleapis.com/auth/webmasters",)"
                  R"("aud":"https://127.0.0.1:8443/token","iat":1700000000,"exp":1700003600})");
    ASSERT_EQ(jwt.rfind(head + "." + claims + ".", 0), 0u) << jwt;
    // PKCS#1 v1.5 signatures are deterministic: the signature is that of the signing input,
    // as long as the 2048-bit modulus.
    const std::string signature = signRs256(account.privateKey, head + "." + claims);
    EXPECT_EQ(signature.size(), 256u);
    EXPECT_EQ(jwt.substr(head.size() + claims.size() + 2), base64Url(signature));
    EXPECT_THROW(signRs256(readFile(TestCertificates::get().key()), "x"), LarkspanError);
}

TEST(GoogleAuth, PropertiesPathsAndConfiguredAddresses) {
    EXPECT_EQ(defaultSearchConsoleProperty("https://WWW.Example.com:8443/shop/?x=1"),
              "https://www.example.com:8443/");
    EXPECT_EQ(defaultSearchConsoleProperty("HTTP://user@example.com"), "http://example.com/");
    EXPECT_EQ(defaultSearchConsoleProperty("www.example.com"), "");
    EXPECT_EQ(defaultSearchConsoleProperty("ftp://example.com/"), "");
    EXPECT_EQ(defaultSearchConsoleProperty("http:///path"), "");
    EXPECT_FALSE(searchConsolePropertyProblem("https://www.example.com/blog/"));
    EXPECT_FALSE(searchConsolePropertyProblem("sc-domain:example.com"));
    for (const char* bad : {"https://www.example.com", "sc-domain:", "sc-domain:example.com/", "example.com",
                            "https://www.exa mple.com/", ""})
        EXPECT_TRUE(searchConsolePropertyProblem(bad)) << bad;
    EXPECT_EQ(searchConsoleSitemapUrl("https://www.googleapis.com", "sc-domain:example.com",
                                      "https://example.com/s.xml"),
              "https://www.googleapis.com/webmasters/v3/sites/sc-domain%3Aexample.com/sitemaps/"
              "https%3A%2F%2Fexample.com%2Fs.xml");

    auto apply = [](const std::string& text) {
        Config config;
        std::vector<std::string> warnings;
        config.apply(IniFile::parse(text), "test.ini", warnings);
        EXPECT_TRUE(warnings.empty()) << warnings.front();
        return config;
    };
    EXPECT_EQ(Config{}.googleApiBase, "https://www.googleapis.com");
    EXPECT_EQ(Config{}.googleTokenUrl, "");
    const Config set =
        apply("[Google]\nTokenURL=https://127.0.0.1:8443/token\nAPIBase=https://127.0.0.1:8443/\n");
    EXPECT_EQ(set.googleTokenUrl, "https://127.0.0.1:8443/token");
    EXPECT_EQ(set.googleApiBase, "https://127.0.0.1:8443");
    EXPECT_THROW(apply("[Google]\nTokenURL=http://127.0.0.1/token\n"), LarkspanError);
    EXPECT_THROW(apply("[Google]\nAPIBase=https://127.0.0.1/webmasters/v3\n"), LarkspanError);
    EXPECT_THROW(apply("[Google]\nAPIBase=\n"), LarkspanError);
    try {
        apply("[Google]\nAPIBase=www.googleapis.com\n");
    } catch (const LarkspanError& e) {
        EXPECT_STREQ(e.what(),
                     "test.ini: [Google] APIBase=www.googleapis.com: https://host or https://host:port is "
                     "expected");
    }
}

TEST(GoogleAuth, MessagesNeverQuoteASecret) {
    // A token of any shape that the process was given is masked wherever it stands.
    const TokenAnswer given = parseTokenAnswer(
        200, R"({"access_token": "opaque-4711-of-the-run", "token_type": "Bearer", "expires_in": 3600})");
    ASSERT_TRUE(given.ok());
    const std::pair<std::string, std::string> cases[] = {
        {"token opaque-4711-of-the-run was revoked", "token [token] was revoked"},
        {"got Authorization: Bearer ya29.a0AfB_x-y~z/1= from you",
         "got Authorization: Bearer [token] from you"},
        {"bearer  abc.def", "bearer [token]"},
        {"ya29.c.b0Aa-b_c is not valid", "[token] is not valid"},
        {"assertion=eyJhbGciOiJSUzI1NiJ9.eyJpc3MiOiJ4In0.c2ln-_x&x", "assertion=[assertion]&x"},
        // Words that only look like a start stay.
        {"Bearer", "Bearer"},
        {"eyJ alone, Bearers, noya29.x", "eyJ alone, Bearers, noya29.x"},
    };
    for (const auto& [text, masked] : cases)
        EXPECT_EQ(withoutSecrets(text), masked) << text;
    EXPECT_EQ(
        apiErrorMessage(
            R"({"error": {"message": "Bearer opaque-4711-of-the-run refused; opaque-4711-of-the-run"}})"),
        "Bearer [token] refused; [token]");
    // Masked before the cut to one line's length, which must not keep a token's start.
    const std::string longMessage = std::string(290, 'x') + " ya29.abcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(apiErrorMessage(R"({"error": {"message": ")" + longMessage + "\"}}"),
              std::string(290, 'x') + " [token]");
}

} // namespace
