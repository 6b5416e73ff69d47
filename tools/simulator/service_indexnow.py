"""The IndexNow endpoints: POST /indexnow on any host (api.indexnow.org, www.bing.com, ...).

A submission is read as the protocol says: a JSON object with "host", "key", "urlList" and
optionally "keyLocation". The key file is fetched from the site the simulator serves
(service_sites, --sites): the key location, or https://HOST/KEY.txt. The answers:

    400  the body is not such a JSON object, or the list is empty or longer than 10,000
    422  the key does not have the protocol's form, or a URL is not on the host
    403  there is no key file, or it does not hold the key (white space after it is fine)
    200  received (or --indexnow-accept 202: received, key validation pending)
    429  every POST after the first --indexnow-429-after N, with "Retry-After: VALUE" when
         --indexnow-retry-after VALUE is given
"""

import collections
import json
import re
import sys
import threading
import urllib.parse

Reply = collections.namedtuple("Reply", "engine status headers body")
KEY = re.compile(r"^[a-zA-Z0-9-]{8,128}$")
ENGINE = "IndexNow"

settings = {"accept": 200, "limit": 0, "retry_after": None}
lock = threading.Lock()
posts = 0


def add_arguments(parser):
    parser.add_argument("--indexnow-accept", type=int, choices=(200, 202), default=200,
                        help="the status of an accepted submission")
    parser.add_argument("--indexnow-429-after", type=int, default=0, metavar="N",
                        help="answer 429 to every POST after the first N (0: never)")
    parser.add_argument("--indexnow-retry-after", metavar="VALUE",
                        help="the Retry-After value that comes with a 429")


def configure(args):
    settings["accept"] = args.indexnow_accept
    settings["limit"] = args.indexnow_429_after
    settings["retry_after"] = args.indexnow_retry_after


def reply(status, text):
    headers = [("Content-Type", "text/plain; charset=utf-8")]
    if status == 429 and settings["retry_after"] is not None:
        headers.append(("Retry-After", settings["retry_after"]))
    return Reply(ENGINE, status, headers, (text + "\n").encode())


def authority(url):
    """host[:port] of the URL as the protocol compares it, lowercased, default port left out."""
    split = urllib.parse.urlsplit(url)
    if split.scheme not in ("http", "https") or not split.hostname:
        return None
    host = split.hostname.lower()
    try:
        port = split.port
    except ValueError:
        return None
    if port and port != {"http": 80, "https": 443}[split.scheme]:
        host += ":%d" % port
    return host


def holds_key(host, key, location):
    sites = sys.modules.get("service_sites")
    if sites is None:
        return False
    url = location or "https://%s/%s.txt" % (host, key)
    split = urllib.parse.urlsplit(url)
    if authority(url) != host:
        return False
    data = sites.read(split.hostname, split.path)
    if data is None:
        return False
    text = data.decode("utf-8", "replace")
    if text.startswith("\ufeff"):
        text = text[1:]
    return text.rstrip() == key


def handle(request):
    global posts
    if request.path != "/indexnow":
        return None
    if request.method != "POST":
        return reply(400, "Submissions are POSTed")
    with lock:
        posts += 1
        count = posts
    if settings["limit"] and count > settings["limit"]:
        return reply(429, "Too Many Requests")
    try:
        data = json.loads(request.body.decode("utf-8"))
    except (UnicodeDecodeError, ValueError):
        return reply(400, "The body is not JSON")
    if not isinstance(data, dict):
        return reply(400, "The body is not a JSON object")
    host, key = data.get("host"), data.get("key")
    location, urls = data.get("keyLocation", ""), data.get("urlList")
    if not isinstance(host, str) or not isinstance(key, str) or not isinstance(location, str) \
            or not isinstance(urls, list) or not urls or len(urls) > 10000 \
            or not all(isinstance(u, str) for u in urls):
        return reply(400, "host, key and a urlList of 1 to 10,000 URLs are needed")
    host = host.lower()
    if not KEY.match(key):
        return reply(422, "The key does not have the protocol's form")
    if any(authority(u) != host for u in urls):
        return reply(422, "URLs not on the host")
    if not holds_key(host, key, location):
        return reply(403, "Key not valid")
    status = settings["accept"]
    return reply(status, "Accepted" if status == 202 else "OK")
