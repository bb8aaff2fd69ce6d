"""Replaces the rows of one block of bench/RESULTS.md with new ones.

usage: write_results.py RESULTS.md BLOCK HEADING STAMP ROW...
BLOCK names the block's markers; a row keeps its place when its first cell
matches one already there; STAMP is appended to every new row."""
import sys

path, block_name, heading, stamp, new_rows = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.argv[5:]
writer = {"corpus": "run.sh"}.get(block_name, f"{block_name}_bench.sh")
start = f"<!-- {block_name} benchmarks: written by bench/{writer} -->"
end = f"<!-- end of {block_name} benchmarks -->"
header = ["| measurement | ours | floor | ratio | measured |", "|---|---|---|---|---|"]
text = open(path).read()
rows = {}
if start in text and end in text:
    for line in text[text.index(start):text.index(end)].splitlines():
        if line.startswith("| ") and line not in header:
            rows[line.split(" | ")[0]] = line
for line in new_rows:
    rows[line.split(" | ")[0]] = line + f" {stamp} |"
block = "\n".join([start, *header, *rows.values(), end])
if start in text and end in text:
    text = text[:text.index(start)] + block + text[text.index(end) + len(end):]
else:
    text = text.rstrip("\n") + f"\n\n## {heading}\n\n" + block + "\n"
open(path, "w").write(text)
