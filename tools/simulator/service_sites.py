"""The web sites that today's services read: key files, robots.txt and sitemaps.

    --sites DIR    serve DIR/HOST/PATH for a GET of http(s)://HOST/PATH

A host is one of these sites when DIR has a folder of its name (the host name in lower case,
without the port); requests for other hosts are left to the rest of the simulator. A path
without a file is 404. The IndexNow service reads key files through read().

A site's folder may hold .answers.json, which gives paths another status or extra header lines,
so that a site can have pages that are gone, redirect or say noindex in a header:

    {"/old.html": {"status": 410}, "/draft.html": {"headers": [["X-Robots-Tag", "noindex"]]}}

With "https": true in it, the site answers every plain http request with a 301 to the same URL
over https, as most sites do. With "validators": true, each file comes with an ETag (of its
bytes), and a GET whose If-None-Match names it is answered 304 Not Modified without a body.

Files and folders whose names start with "." are never served.
"""

import collections
import hashlib
import json
import pathlib
import urllib.parse

# The simulator's Reply: it reads the fields by name.
Reply = collections.namedtuple("Reply", "engine status headers body")
SITES = None


def add_arguments(parser):
    parser.add_argument("--sites", metavar="DIR",
                        help="serve the files of DIR/HOST/ as the web site HOST")


def configure(args):
    global SITES
    SITES = pathlib.Path(args.sites).resolve() if args.sites else None


def site_folder(host):
    if SITES is None or not host:
        return None
    folder = (SITES / host.lower()).resolve()
    if folder.parent != SITES or not folder.is_dir():
        return None
    return folder


def read(host, path):
    """The bytes of the site's file at the path, or None when there is none."""
    folder = site_folder(host)
    if folder is None:
        return None
    relative = urllib.parse.unquote(path).lstrip("/")
    if not relative or relative.endswith("/"):
        relative += "index.html"
    if any(part.startswith(".") for part in relative.split("/")):
        return None
    target = (folder / relative).resolve()
    if folder not in target.parents or not target.is_file():
        return None
    return target.read_bytes()


def answers(host):
    """What the site's .answers.json says of its paths: path -> {"status": N, "headers": [...]}."""
    folder = site_folder(host)
    try:
        return json.loads((folder / ".answers.json").read_text()) if folder else {}
    except FileNotFoundError:
        return {}


def content_type(path):
    if path.endswith("/"):
        return "text/html"
    if path.endswith(".xml"):
        return "application/xml"
    if path.endswith(".gz"):
        return "application/gzip"
    if path.endswith(".html"):
        return "text/html"
    return "text/plain; charset=utf-8"


def handle(request):
    if request.method not in ("GET", "HEAD") or site_folder(request.host) is None:
        return None
    data = read(request.host, request.path)
    engine = "site " + request.host.lower()
    site = answers(request.host)
    if site.get("https") is True and not request.tls:
        target = "https://" + request.host.lower() + request.path + ("?" + request.query if request.query else "")
        return Reply(engine, 301, [("Location", target), ("Content-Type", "text/plain")], b"Moved\n")
    special = site.get(request.path, {})
    extra = [tuple(header) for header in special.get("headers", [])]
    if data is None:
        return Reply(engine, special.get("status", 404), [("Content-Type", "text/plain")] + extra, b"Not Found\n")
    if site.get("validators") is True:
        etag = '"%s"' % hashlib.sha1(data).hexdigest()[:16]
        extra.append(("ETag", etag))
        asked = next((v for n, v in request.headers if n.lower() == "if-none-match"), None)
        if asked == etag:
            return Reply(engine, 304, extra, b"")
    body = b"" if request.method == "HEAD" else data
    return Reply(engine, special.get("status", 200), [("Content-Type", content_type(request.path))] + extra, body)
