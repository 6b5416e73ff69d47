# Reads the table of an HTML report with Python's html.parser and prints, as JSON, one list
# per table row of its cells: the text (a <br> read as CR, a cell holding only <br> as empty),
# the anchor's href if any, and whether the cell has a background colour or bold text.
import json
import sys
from html.parser import HTMLParser


class TableReader(HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.rows = []
        self.cell = None
        self.tags = []

    def handle_starttag(self, tag, attrs):
        self.tags.append(tag)
        values = dict(attrs)
        if tag == "tr":
            self.rows.append([])
        elif self.cell is None and tag == "td":
            self.cell = {"parts": [], "href": None, "fixed": "bgcolor" in values, "bold": False}
        elif self.cell is not None:
            if tag == "br":
                self.cell["parts"].append("\r")
            elif tag == "a":
                self.cell["href"] = values.get("href")
            elif tag == "b":
                self.cell["bold"] = True
            else:
                raise SystemExit("unexpected tag in a cell: " + tag)

    def handle_data(self, data):
        if self.cell is not None:
            self.cell["parts"].append(data)

    def handle_endtag(self, tag):
        if tag == "td" and self.cell is not None:
            parts = self.cell.pop("parts")
            self.cell["text"] = "" if parts == ["\r"] else "".join(parts)
            self.rows[-1].append(self.cell)
            self.cell = None


reader = TableReader()
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    reader.feed(f.read())
reader.close()
json.dump({"rows": reader.rows, "tags": sorted(set(reader.tags))}, sys.stdout)
