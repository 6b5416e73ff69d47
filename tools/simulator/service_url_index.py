"""Google's URL Inspection API as the engine simulator plays it, beside the token endpoint and
the sitemaps API of service_google (whose accounts, properties and tokens it uses):

    POST /v1/urlInspection/index:inspect   {"inspectionUrl": URL, "siteUrl": PROPERTY}

    --google-inspect-quota N        inspections a property may have a day (2000); the day is
                                    Google's, in Pacific time
    --google-inspect-per-minute N   inspections a property may have in any 60 seconds (600)
    --google-inspect-retry-after V  the Retry-After value a 429 comes with (none, as Google)
    --google-inspection URL=STATE   the state of that URL (repeatable); others draw theirs

It checks what Google checks: TLS, the method, a JSON body with both fields, the bearer token,
the property (404 unknown), its users (403 PERMISSION_DENIED), and that the URL lies in the
property (403, as Google words it). The state "forbidden" refuses that one URL with a 403 that
names no permission. Each URL's state is drawn from its text, so it is the same every time, with
a mix like a real site's: most pages indexed, and the rest discovered or crawled but not
indexed, excluded by noindex, blocked by robots.txt, a duplicate with another canonical, not
found, or unknown to Google. A spent quota is answered 429 RESOURCE_EXHAUSTED with an ErrorInfo
naming the limit (per minute or per day) in its metadata.
"""

import collections
import datetime
import hashlib
import json
import threading
import time
import urllib.parse

import service_google

Reply = collections.namedtuple("Reply", "engine status headers body")
PATH = "/v1/urlInspection/index:inspect"
LINK = "https://search.google.com/search-console/inspect"

settings = {"quota": 2000, "per_minute": 600, "retry_after": None}
fixed = {}  # URL -> state name
lock = threading.Lock()
used = {}  # (site, Pacific day) -> count
recent = {}  # site -> times of the inspections of the last minute

# Each state: the share of URLs (in hundredths) and the indexStatusResult fields it gives.
# "crawled" marks the states with a crawl (time, fetch state, canonicals).
STATES = collections.OrderedDict([
    ("indexed", (55, {"verdict": "PASS", "coverageState": "Submitted and indexed",
                      "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_ALLOWED",
                      "pageFetchState": "SUCCESSFUL"}, True)),
    ("discovered", (10, {"verdict": "NEUTRAL", "coverageState": "Discovered - currently not indexed",
                         "robotsTxtState": "ROBOTS_TXT_STATE_UNSPECIFIED",
                         "indexingState": "INDEXING_STATE_UNSPECIFIED",
                         "pageFetchState": "PAGE_FETCH_STATE_UNSPECIFIED"}, False)),
    ("crawled", (12, {"verdict": "NEUTRAL", "coverageState": "Crawled - currently not indexed",
                      "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_ALLOWED",
                      "pageFetchState": "SUCCESSFUL"}, True)),
    ("noindex", (6, {"verdict": "NEUTRAL", "coverageState": "Excluded by \u2018noindex\u2019 tag",
                     "robotsTxtState": "ALLOWED", "indexingState": "BLOCKED_BY_META_TAG",
                     "pageFetchState": "SUCCESSFUL"}, True)),
    ("robots", (4, {"verdict": "NEUTRAL", "coverageState": "Blocked by robots.txt",
                    "robotsTxtState": "DISALLOWED", "indexingState": "INDEXING_STATE_UNSPECIFIED",
                    "pageFetchState": "BLOCKED_ROBOTS_TXT"}, False)),
    ("duplicate", (6, {"verdict": "NEUTRAL",
                       "coverageState": "Duplicate, Google chose different canonical than user",
                       "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_ALLOWED",
                       "pageFetchState": "SUCCESSFUL"}, True)),
    ("notfound", (4, {"verdict": "FAIL", "coverageState": "Not found (404)",
                      "robotsTxtState": "ALLOWED", "indexingState": "INDEXING_STATE_UNSPECIFIED",
                      "pageFetchState": "NOT_FOUND"}, True)),
    ("unknown", (3, {"verdict": "NEUTRAL", "coverageState": "URL is unknown to Google"}, False)),
    # Never drawn: named by --google-inspection only, for the tests of text that must not reach
    # a terminal raw (escape sequences, line breaks, a TAB, a right-to-left override).
    # Never drawn: a URL Google refuses alone (403 without a status), the others go on.
    ("forbidden", (0, {}, False)),
    ("hostile", (0, {"verdict": "NEUTRAL\u001b]0;owned\u0007",
                     "coverageState": "Crawled\r\nforged line\tshifted \u202egpj.exe \u001b[2J"}, False)),
])


def add_arguments(parser):
    parser.add_argument("--google-inspect-quota", type=int, default=2000, metavar="N")
    parser.add_argument("--google-inspect-per-minute", type=int, default=600, metavar="N")
    parser.add_argument("--google-inspect-retry-after", metavar="VALUE")
    parser.add_argument("--google-inspection", action="append", default=[], metavar="URL=STATE")


def configure(args):
    settings["quota"] = args.google_inspect_quota
    settings["per_minute"] = args.google_inspect_per_minute
    settings["retry_after"] = args.google_inspect_retry_after
    for text in args.google_inspection:
        url, sep, state = text.rpartition("=")
        if not sep or not url or state not in STATES:
            raise SystemExit("--google-inspection wants URL=STATE, STATE one of %s: %s"
                             % (", ".join(STATES), text))
        fixed[url] = state


def pacific_day(seconds):
    """Google's quota day: the calendar day in California (UTC-8, UTC-7 from the second Sunday
    of March 2:00 to the first Sunday of November 2:00)."""
    utc = datetime.datetime.fromtimestamp(seconds, datetime.timezone.utc)

    def sunday(month, nth):
        first = datetime.datetime(utc.year, month, 1, tzinfo=datetime.timezone.utc)
        return first + datetime.timedelta(days=(6 - first.weekday()) % 7 + 7 * (nth - 1))

    daylight = sunday(3, 2) + datetime.timedelta(hours=10) <= utc < sunday(11, 1) + datetime.timedelta(hours=9)
    return (utc + datetime.timedelta(hours=-7 if daylight else -8)).date().isoformat()


def in_property(url, site):
    split = urllib.parse.urlsplit(url)
    if split.scheme not in ("http", "https") or not split.hostname:
        return False
    if site.startswith("sc-domain:"):
        domain = site[len("sc-domain:"):].lower()
        return split.hostname == domain or split.hostname.endswith("." + domain)
    return url.startswith(site)


def draw(url):
    return int.from_bytes(hashlib.sha256(url.encode()).digest()[:8], "big")


def state_of(url):
    if url in fixed:
        return fixed[url]
    share = draw(url) % 100
    for name, (part, _, _) in STATES.items():
        if share < part:
            return name
        share -= part
    return "indexed"


def inspection(url, site):
    name = state_of(url)
    _, fields, crawled = STATES[name]
    index = dict(fields)
    if crawled:
        index["lastCrawlTime"] = time.strftime(
            "%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(time.time()) - 3600 - draw(url) // 100 % (30 * 86400)))
        index["crawledAs"] = "MOBILE" if draw(url) % 10 else "DESKTOP"
        index["googleCanonical"] = url
        index["userCanonical"] = url
        if name == "duplicate":
            index["googleCanonical"] = url.split("?")[0].rstrip("/") + "/"
            if index["googleCanonical"] == url:
                index["googleCanonical"] = url.rstrip("/")
    if name != "unknown":
        index["sitemap"] = [site.replace("sc-domain:", "https://").rstrip("/") + "/sitemap.xml"]
    link = "%s?resource_id=%s&id=%s&utm_medium=link&utm_source=api" % (
        LINK, urllib.parse.quote(site, safe=""), "%016x" % draw(url + "\n" + site))
    return {"inspectionResult": {"inspectionResultLink": link, "indexStatusResult": index,
                                 "mobileUsabilityResult": {"verdict": "VERDICT_UNSPECIFIED"}}}


def spend(site):
    """None when the property may have one more inspection now (it is counted), else the 429."""
    now = time.time()
    with lock:
        day = (site, pacific_day(now))
        minute = [t for t in recent.get(site, []) if now - t < 60]
        recent[site] = minute
        if used.get(day, 0) >= settings["quota"]:
            metric, limit, value = "Queries per day", "QueriesPerDayPerSite", settings["quota"]
        elif len(minute) >= settings["per_minute"]:
            metric, limit, value = "Queries per minute", "QueriesPerMinutePerSite", settings["per_minute"]
        else:
            used[day] = used.get(day, 0) + 1
            minute.append(now)
            return None
    message = ("Quota exceeded for quota metric '%s' and limit '%s per site' of service "
               "'searchconsole.googleapis.com' for consumer 'project_number:1234567890'." % (metric, metric))
    info = {"@type": "type.googleapis.com/google.rpc.ErrorInfo", "reason": "RATE_LIMIT_EXCEEDED",
            "domain": "googleapis.com",
            "metadata": {"quota_metric": "searchconsole.googleapis.com/url_inspection_queries",
                         "quota_limit": limit, "quota_limit_value": str(value),
                         "consumer": "projects/1234567890", "service": "searchconsole.googleapis.com"}}
    reply = service_google.json_reply(429, {"error": {"code": 429, "message": message,
                                                      "status": "RESOURCE_EXHAUSTED", "details": [info]}})
    if settings["retry_after"] is not None:
        reply.headers.append(("Retry-After", settings["retry_after"]))
    return reply


def bad_request(message):
    return service_google.json_reply(400, {"error": {"code": 400, "message": message,
                                                     "status": "INVALID_ARGUMENT"}})


def handle(request):
    if request.path != PATH:
        return None
    if not request.tls:
        return service_google.api_error(403, "SSL is required to perform this operation.", "sslRequired")
    if request.method != "POST":
        return service_google.api_error(405, "Method not allowed.", "methodNotAllowed")
    try:
        body = json.loads(request.body.decode("utf-8"))
    except (ValueError, UnicodeDecodeError):
        return bad_request("Invalid JSON payload received.")
    if not isinstance(body, dict) or not isinstance(body.get("inspectionUrl"), str) \
            or not isinstance(body.get("siteUrl"), str):
        return bad_request("Both inspectionUrl and siteUrl are required.")
    url, site = body["inspectionUrl"], body["siteUrl"]
    _, refused = service_google.authorize(request, site)
    if refused:
        return refused
    if not in_property(url, site):
        return service_google.json_reply(403, {"error": {
            "code": 403, "status": "PERMISSION_DENIED",
            "message": "You do not own this site, or the inspected URL is not part of this property."}})
    if state_of(url) == "forbidden":
        return service_google.json_reply(403, {"error": {"code": 403, "message": "Inspection of this URL is "
                                                         "not available."}})
    exhausted = spend(site)
    if exhausted:
        return exhausted
    return service_google.json_reply(200, inspection(url, site))
