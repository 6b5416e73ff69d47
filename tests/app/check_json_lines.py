"""Checks that every line of a file is one JSON object shaped as 'larkspan requests' prints it.

Usage: check_json_lines.py FILE COUNT. Prints what is wrong and exits 1, or exits 0.
"""
import json
import sys


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    data = open(path, "rb").read()
    text = data.decode("utf-8")  # strict: the output must be valid UTF-8
    if not text.endswith("\n"):
        sys.exit("output does not end with a line break")
    lines = text[:-1].split("\n")
    if len(lines) != count:
        sys.exit(f"{len(lines)} lines instead of {count}")
    for number, line in enumerate(lines, 1):
        obj = json.loads(line, object_pairs_hook=list)
        keys = [k for k, _ in obj]
        if keys != ["engine", "method", "url", "body"]:
            sys.exit(f"line {number}: keys {keys}")
        values = dict(obj)
        if not all(isinstance(v, str) for v in values.values()):
            sys.exit(f"line {number}: a value is not a string")
        if values["method"] == "get":
            if values["body"] != "":
                sys.exit(f"line {number}: a GET with a body")
        elif values["method"] == "post":
            if "?" in values["url"] or not values["body"].startswith(values["url"] + "?"):
                sys.exit(f"line {number}: the POST body does not begin with its target")
        else:
            sys.exit(f"line {number}: method {values['method']!r}")
        if not values["url"].startswith("http://"):
            sys.exit(f"line {number}: url {values['url']!r}")
    names = [dict(json.loads(l, object_pairs_hook=list))["engine"] for l in lines]
    if len(set(names)) != len(names):
        sys.exit("an engine name appears twice")


if __name__ == "__main__":
    main()
