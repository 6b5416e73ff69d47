# Reads a CSV file as Python's csv module does and prints its rows as JSON.
import csv
import json
import sys

with open(sys.argv[1], newline="", encoding="utf-8") as f:
    json.dump(list(csv.reader(f)), sys.stdout)
