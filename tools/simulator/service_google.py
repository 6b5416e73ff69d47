"""Google Search Console as the engine simulator plays it: the OAuth token endpoint of service
accounts and the sitemaps API, each checking what Google checks.

    --google-account KEYFILE        a service account's JSON key file (repeatable); the simulator
                                    knows its client_email and private_key_id, and of its
                                    private_key only the public half (modulus and exponent)
    --google-property SITE=EMAIL[,EMAIL...]
                                    a property and the accounts that are its users (repeatable);
                                    a property not named is unknown
    --google-token-lifetime SECONDS the expires_in of the tokens given out (3600)
    --google-token-uses N           each token is taken for N API requests, then refused with
                                    401 as a revoked one is (0, the default: no limit)
    --google-token-path PATH        the token endpoint's path (/token)
    --google-echo-credentials       error answers quote the credentials the request came with
                                    (its Authorization line, or the token request's assertion),
                                    as a careless server might

The token endpoint (POST PATH) wants the form grant_type=urn:ietf:params:oauth:grant-type:jwt-bearer
&assertion=JWT and checks the JWT: header alg RS256, typ JWT and the kid of the account's key;
the RS256 signature against the account's public key; the claims iss (a known account), scope
(https://www.googleapis.com/auth/webmasters), aud (this endpoint's https URL), iat (within five
minutes of now) and exp (after now, at most an hour after iat). Errors are Google's JSON with
error and error_description.

    --google-sitemap SITE=FEED      a sitemap submitted to the property a day before (repeatable)
    --google-sitemap-type FEED=TYPE how Google read that sitemap (repeatable): sitemap (the
                                    default), rssFeed, atomFeed, urlList, patternSitemap, or
                                    notSitemap, which is listed with 3 errors
    --google-disabled-project N     the Search Console API is not enabled in the Cloud project
                                    numbered N: every API request is refused with 403
                                    SERVICE_DISABLED, as Google words it

The API (PUT /webmasters/v3/sites/SITE/sitemaps/FEED, SITE and FEED each one percent-encoded path
segment, no body) checks the bearer token, then the property (404 when unknown) and whether the
token's account is one of its users (403 PERMISSION_DENIED). Errors are google.rpc.Status
objects: code, message, status, and the older errors list. Success is 200 with an empty body. GET
/webmasters/v3/sites/SITE/sitemaps lists the sitemaps submitted to the property, each with a
state drawn from its URL (read or pending, errors, warnings, contents), as Google lists them.

Both answer only over TLS, as Google does.
"""

import base64
import collections
import hashlib
import json
import os
import re
import secrets
import threading
import time
import urllib.parse

# The simulator's Reply: it reads the fields by name.
Reply = collections.namedtuple("Reply", "engine status headers body")

ENGINE = "Google Search Console"
GRANT = "urn:ietf:params:oauth:grant-type:jwt-bearer"
SCOPE = "https://www.googleapis.com/auth/webmasters"
API_PREFIX = "/webmasters/v3/sites/"
# DigestInfo of SHA-256 that PKCS#1 v1.5 puts before the hash.
SHA256_PREFIX = bytes.fromhex("3031300d060960864801650304020105000420")
CLOCK_SKEW = 300

accounts = {}  # client_email -> {"kid", "n", "e"}
properties = {}  # site -> set of client_email
tokens = {}  # access token -> {"email", "expires", "uses"}
submitted = {}  # site -> {feed: time of its submission}
lock = threading.Lock()
settings = {"lifetime": 3600, "uses": 0, "path": "/token", "echo": False, "disabled": None}
sitemap_types = {}  # feed -> type
# The status of google.rpc.Status that Google gives with each HTTP status.
STATUSES = {400: "INVALID_ARGUMENT", 401: "UNAUTHENTICATED", 403: "PERMISSION_DENIED", 404: "NOT_FOUND",
            405: "INVALID_ARGUMENT", 429: "RESOURCE_EXHAUSTED"}
SITEMAP_TYPES = ("sitemap", "rssFeed", "atomFeed", "urlList", "patternSitemap", "notSitemap")


def add_arguments(parser):
    parser.add_argument("--google-account", action="append", default=[], metavar="KEYFILE")
    parser.add_argument("--google-property", action="append", default=[], metavar="SITE=EMAILS")
    parser.add_argument("--google-token-lifetime", type=int, default=3600, metavar="SECONDS")
    parser.add_argument("--google-token-uses", type=int, default=0, metavar="N")
    parser.add_argument("--google-token-path", default="/token", metavar="PATH")
    parser.add_argument("--google-echo-credentials", action="store_true")
    parser.add_argument("--google-sitemap", action="append", default=[], metavar="SITE=FEED",
                        help="a sitemap submitted to the property before the simulator started")
    parser.add_argument("--google-sitemap-type", action="append", default=[], metavar="FEED=TYPE")
    parser.add_argument("--google-disabled-project", metavar="N")


# The demo's service account, allowed on the property of Example Garden Supplies' URL.
DEMO_ACCOUNT = "demo@larkspan-demo.iam.gserviceaccount.com"


def demo(args, profiles):
    """Writes the demo account's key file beside the demo profiles, as Google Cloud issues it and
    readable by its owner only, with the private key that tools/make-demo-certs.sh made beside the
    simulator's certificate, and names it in Example Garden Supplies' profile."""
    key_file = os.path.join(profiles, "google-key.json")
    with open(os.path.join(os.path.dirname(args.tls[0]), "google-account.key")) as f:
        private_key = f.read()
    with open(os.open(key_file, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
        json.dump({"type": "service_account", "client_email": DEMO_ACCOUNT, "private_key_id": "demo",
                   "private_key": private_key, "token_uri": "https://oauth2.googleapis.com/token"}, f)
    with open(os.path.join(profiles, "Example Garden Supplies.ini"), "a") as f:
        f.write("GoogleServiceAccount=google-key.json\n")
    args.google_account.append(key_file)
    args.google_property.append("http://www.example.com/=" + DEMO_ACCOUNT)


def configure(args):
    for path in args.google_account:
        with open(path, encoding="utf-8") as f:
            key = json.load(f)
        n, e = rsa_public_numbers(key["private_key"])
        accounts[key["client_email"]] = {"kid": key["private_key_id"], "n": n, "e": e}
    for text in args.google_property:
        site, sep, emails = text.rpartition("=")
        if not sep or not site:
            raise SystemExit("--google-property wants SITE=EMAIL[,EMAIL...]: " + text)
        properties[site] = {e for e in emails.split(",") if e}
    settings["lifetime"] = args.google_token_lifetime
    settings["uses"] = args.google_token_uses
    settings["path"] = args.google_token_path
    settings["echo"] = args.google_echo_credentials
    for text in args.google_sitemap:
        site, sep, feed = text.partition("=")
        if not sep or not site or not feed:
            raise SystemExit("--google-sitemap wants SITE=FEED: " + text)
        submitted.setdefault(site, {})[feed] = time.time() - 86400
    for text in args.google_sitemap_type:
        feed, sep, kind = text.rpartition("=")
        if not sep or not feed or kind not in SITEMAP_TYPES:
            raise SystemExit("--google-sitemap-type wants FEED=TYPE, TYPE one of %s: %s"
                             % (", ".join(SITEMAP_TYPES), text))
        sitemap_types[feed] = kind
    settings["disabled"] = args.google_disabled_project


# --- The public half of an RSA key, from its PEM text, with a small DER reader.

def der_item(data, at):
    """(tag, content, next position) of the DER item at the position."""
    tag = data[at]
    length = data[at + 1]
    at += 2
    if length & 0x80:
        count = length & 0x7F
        length = int.from_bytes(data[at:at + count], "big")
        at += count
    return tag, data[at:at + length], at + length


def der_sequence(content):
    items, at = [], 0
    while at < len(content):
        tag, value, at = der_item(content, at)
        items.append((tag, value))
    return items


def rsa_public_numbers(pem):
    """(n, e) of a PEM RSA key: PKCS#8 or PKCS#1 private, or SubjectPublicKeyInfo public."""
    label = re.search(r"-----BEGIN ([A-Z ]+)-----", pem).group(1)
    body = re.sub(r"-----[A-Z ]+-----|\s", "", pem)
    der = base64.b64decode(body)
    _, content, _ = der_item(der, 0)
    items = der_sequence(content)
    if label == "PRIVATE KEY":  # version, algorithm, OCTET STRING(RSAPrivateKey)
        _, inner, _ = der_item(items[2][1], 0)
        numbers = der_sequence(inner)[1:3]
    elif label == "RSA PRIVATE KEY":  # version, n, e, ...
        numbers = items[1:3]
    elif label == "PUBLIC KEY":  # algorithm, BIT STRING(RSAPublicKey)
        _, inner, _ = der_item(items[1][1][1:], 0)
        numbers = der_sequence(inner)[0:2]
    else:
        raise ValueError("not an RSA key: " + label)
    return tuple(int.from_bytes(value, "big") for _, value in numbers)


def verify_rs256(n, e, signing_input, signature):
    size = (n.bit_length() + 7) // 8
    if len(signature) != size:
        return False
    s = int.from_bytes(signature, "big")
    if s >= n:
        return False
    encoded = pow(s, e, n).to_bytes(size, "big")
    digest = SHA256_PREFIX + hashlib.sha256(signing_input).digest()
    expected = b"\x00\x01" + b"\xff" * (size - 3 - len(digest)) + b"\x00" + digest
    return secrets.compare_digest(encoded, expected)


def unbase64url(text):
    if not re.fullmatch(r"[A-Za-z0-9_-]*", text):
        raise ValueError("not base64url")
    return base64.urlsafe_b64decode(text + "=" * (-len(text) % 4))


# --- Answers.

def json_reply(status, value):
    return Reply(ENGINE, status, [("Content-Type", "application/json; charset=UTF-8")],
                 json.dumps(value).encode())


def token_error(status, error, description):
    return json_reply(status, {"error": error, "error_description": description})


def api_error(status, message, reason):
    return json_reply(status, {"error": {"code": status, "message": message,
                                         "errors": [{"message": message, "domain": "global",
                                                     "reason": reason}],
                                         "status": STATUSES.get(status, "UNKNOWN")}})


def service_disabled(project):
    """Google's answer when the API is not enabled in the caller's Cloud project."""
    overview = ("https://console.developers.google.com/apis/api/searchconsole.googleapis.com/overview"
                "?project=" + project)
    message = ("Google Search Console API has not been used in project %s before or it is disabled. Enable "
               "it by visiting %s then retry. If you enabled this API recently, wait a few minutes for the "
               "action to propagate to our systems and retry." % (project, overview))
    return json_reply(403, {"error": {"code": 403, "message": message, "status": "PERMISSION_DENIED",
                                      "details": [
                                          {"@type": "type.googleapis.com/google.rpc.ErrorInfo",
                                           "reason": "SERVICE_DISABLED", "domain": "googleapis.com",
                                           "metadata": {"consumer": "projects/" + project,
                                                        "service": "searchconsole.googleapis.com",
                                                        "containerInfo": project,
                                                        "activationUrl": overview,
                                                        "serviceTitle": "Google Search Console API"}},
                                          {"@type": "type.googleapis.com/google.rpc.Help",
                                           "links": [{"description": "Google developers console API "
                                                                     "activation", "url": overview}]}]}})


def header(request, name):
    return next((v for k, v in request.headers if k.lower() == name.lower()), "")


def handle(request):
    if request.path == settings["path"]:
        reply = token_endpoint(request)
    elif request.path.startswith(API_PREFIX):
        reply = sitemaps_api(request)
    else:
        return None
    return echoed(reply, request) if settings["echo"] and reply.status >= 400 else reply


def echoed(reply, request):
    """The error answer with the request's credentials quoted in its message."""
    form = urllib.parse.parse_qs(request.body.decode("latin-1")) if request.body else {}
    quoted = header(request, "Authorization") or "assertion=" + form.get("assertion", [""])[0]
    value = json.loads(reply.body)
    said = "The request said: %s. " % quoted
    if isinstance(value.get("error"), dict):
        value["error"]["message"] = said + value["error"]["message"]
    else:
        value["error_description"] = said + value["error_description"]
    return json_reply(reply.status, value)


def token_endpoint(request):
    if not request.tls:
        return token_error(400, "invalid_request", "HTTPS is required.")
    if request.method != "POST":
        return token_error(400, "invalid_request", "Only POST is accepted.")
    if header(request, "Content-Type").split(";")[0].strip().lower() != "application/x-www-form-urlencoded":
        return token_error(400, "invalid_request", "The body must be a form.")
    form = urllib.parse.parse_qs(request.body.decode("latin-1"), keep_blank_values=True)
    if form.get("grant_type") != [GRANT]:
        return token_error(400, "unsupported_grant_type", "Invalid grant_type: " +
                           ",".join(form.get("grant_type", [])))
    assertion = form.get("assertion", [""])
    if len(assertion) != 1 or assertion[0].count(".") != 2:
        return token_error(400, "invalid_request", "Invalid JWT: the assertion is not a signed JWT.")
    head64, claims64, signature64 = assertion[0].split(".")
    try:
        head = json.loads(unbase64url(head64))
        claims = json.loads(unbase64url(claims64))
        signature = unbase64url(signature64)
    except (ValueError, UnicodeDecodeError):
        return token_error(400, "invalid_request", "Invalid JWT: the assertion cannot be decoded.")
    if not isinstance(head, dict) or not isinstance(claims, dict):
        return token_error(400, "invalid_request", "Invalid JWT: the assertion cannot be decoded.")
    if head.get("alg") != "RS256" or head.get("typ") != "JWT":
        return token_error(400, "invalid_grant", "Invalid JWT: only RS256 JWTs are accepted.")
    account = accounts.get(claims.get("iss"))
    if account is None:
        return token_error(400, "invalid_grant", "Invalid grant: account not found")
    if head.get("kid") != account["kid"] or not verify_rs256(
            account["n"], account["e"], (head64 + "." + claims64).encode(), signature):
        return token_error(400, "invalid_grant", "Invalid JWT Signature.")
    if SCOPE not in str(claims.get("scope", "")).split(" "):
        return token_error(400, "invalid_scope", "The scope of Search Console was not asked for.")
    try:
        aud = urllib.parse.urlsplit(str(claims.get("aud", "")))
        aud_host = aud.hostname or ""
    except ValueError:
        aud, aud_host = None, None
    if aud is None or aud.scheme != "https" or aud_host != request.host.lower() or aud.path != request.path:
        return token_error(400, "invalid_grant", "Invalid JWT: Failed audience check.")
    now = time.time()
    iat, exp = claims.get("iat"), claims.get("exp")
    if (not isinstance(iat, int) or not isinstance(exp, int) or abs(iat - now) > CLOCK_SKEW
            or exp <= now or exp - iat > 3600):
        return token_error(400, "invalid_grant",
                           "Invalid JWT: Token must be a short-lived token (60 minutes) and in a "
                           "reasonable timeframe. Check your iat and exp values in the JWT claim.")
    token = "ya29.sim-" + secrets.token_urlsafe(24)
    with lock:
        tokens[token] = {"email": claims["iss"], "expires": now + settings["lifetime"],
                         "uses": settings["uses"]}
    return json_reply(200, {"access_token": token, "expires_in": settings["lifetime"],
                            "token_type": "Bearer"})


def authorize(request, site):
    """(email, None) when the request's bearer token is good and its account a user of the site,
    else (None, the error Reply). A token taken counts as one of its uses."""
    bearer = header(request, "Authorization")
    with lock:
        held = tokens.get(bearer[len("Bearer "):]) if bearer.startswith("Bearer ") else None
        valid = held is not None and held["expires"] > time.time() and held["uses"] >= 0
        if valid and settings["uses"]:
            held["uses"] -= 1
            valid = held["uses"] >= 0
    if valid and settings["disabled"]:
        return None, service_disabled(settings["disabled"])
    if not valid:
        return None, api_error(401, "Request had invalid authentication credentials. Expected OAuth 2 "
                                    "access token, login cookie or other valid authentication "
                                    "credential.", "authError")
    if site not in properties:
        return None, api_error(404, "Site '%s' is not a Search Console property." % site, "notFound")
    if held["email"] not in properties[site]:
        return None, api_error(403, "User does not have sufficient permission for site '%s'. See also: "
                                    "https://support.google.com/webmasters/answer/2451999." % site,
                               "forbidden")
    return held["email"], None


def sitemaps_api(request):
    if not request.tls:
        return api_error(403, "SSL is required to perform this operation.", "sslRequired")
    parts = request.path[len(API_PREFIX):].split("/")
    if len(parts) == 2 and parts[0] and parts[1] == "sitemaps":
        return sitemap_list(request, urllib.parse.unquote(parts[0]))
    if len(parts) != 3 or parts[1] != "sitemaps" or not parts[0] or not parts[2]:
        return api_error(404, "Not Found", "notFound")
    site, feed = urllib.parse.unquote(parts[0]), urllib.parse.unquote(parts[2])
    if request.method != "PUT":
        return api_error(405, "Method not allowed.", "methodNotAllowed")
    if request.body or header(request, "Content-Length") not in ("", "0"):
        return api_error(400, "The request has a body.", "badRequest")
    _, refused = authorize(request, site)
    if refused:
        return refused
    if not re.fullmatch(r"https?://[^\s/]+/\S*", feed):
        return api_error(400, "Invalid sitemap URL '%s'." % feed, "invalidParameter")
    with lock:
        submitted.setdefault(site, {})[feed] = time.time()
    return Reply(ENGINE, 200, [], b"")


def rfc3339(seconds):
    return time.strftime("%Y-%m-%dT%H:%M:%S", time.gmtime(seconds)) + ".%03dZ" % (int(seconds * 1000) % 1000)


def sitemap_entry(feed, when):
    """A sitemap as Google lists it, its state drawn from its URL so that it is the same each
    time: most were read a few minutes after their submission, one in eight is still pending,
    some have errors or warnings, and a feed whose name holds "index" is a sitemap index."""
    draw = int.from_bytes(hashlib.sha256(feed.encode()).digest()[:8], "big")
    entry = {"path": feed, "lastSubmitted": rfc3339(when),
             "isPending": draw % 8 == 0, "isSitemapsIndex": "index" in feed.lower(),
             "type": sitemap_types.get(feed, "sitemap"), "warnings": str(draw // 8 % 3),
             "errors": str(1 if draw % 11 == 0 else 0),
             "contents": [{"type": "web", "submitted": str(10 + draw // 24 % 990), "indexed": "0"}]}
    if entry["type"] == "notSitemap":
        entry["errors"], entry["isPending"] = "3", False
    if not entry["isPending"]:
        entry["lastDownloaded"] = rfc3339(when + 60 + draw // 7 % 600)
    if draw % 5 == 0:
        entry["contents"].append({"type": "image", "submitted": str(draw // 5 % 200), "indexed": "0"})
    return entry


def sitemap_list(request, site):
    if request.method != "GET":
        return api_error(405, "Method not allowed.", "methodNotAllowed")
    _, refused = authorize(request, site)
    if refused:
        return refused
    with lock:
        feeds = sorted(submitted.get(site, {}).items())
    if not feeds:
        return json_reply(200, {})
    return json_reply(200, {"sitemap": [sitemap_entry(feed, when) for feed, when in feeds]})
