"""Checks what sorvik --json wrote: every line one JSON object, a start object first and a summary last,
and the text of each event one for one the line the same run prints as text.

Usage: json_lines.py JSON_FILE TEXT_FILE   (TEXT_FILE: the lines of the same preview as text)
Exit status 0 when it holds; otherwise what differs on standard error.
"""
import json
import sys

EVENT_PREFIXES = ("Would ", "Removed: ", "Kept: ", "Failed: ", "Folded: ", "Waits: ", "Not ", "Error: ",
                  "Unable to ", "Directory: ", "Invalid directory", "Finished jobs ", "Note: ", "Log not written")
# --verbose's progress lines are no events: under --json they go to standard error with the other text.
PROGRESS = ("Error: The following path is not a directory: ", "Installed: ", "***Clean ")


def is_event(line):
    if not line.startswith(EVENT_PREFIXES) or line.startswith(PROGRESS) or line.startswith("Dry run: "):
        return False
    return not line.startswith("Directory: ") or line.endswith(" is empty")


def main(json_path, text_path):
    with open(json_path, "rb") as f:
        raw = f.read().split(b"\n")
    if raw and raw[-1] == b"":
        raw.pop()
    objects = []
    for number, line in enumerate(raw, 1):
        try:
            objects.append(json.loads(line))
        except ValueError as error:
            sys.exit("line %d is no JSON (%s): %r" % (number, error, line[:200]))
    if not objects or objects[0].get("type") != "start" or objects[-1].get("type") != "summary":
        sys.exit("not a start object first and a summary last")
    events = [o["text"] for o in objects[1:-1] if o.get("type") not in ("error", "explanation")]
    with open(text_path, encoding="utf-8", errors="surrogateescape") as f:
        lines = [l for l in (l.rstrip("\n") for l in f) if is_event(l)]
    if events != lines:
        sys.exit("events and lines differ:\n  json: %r\n  text: %r" % (events[:5], lines[:5]))


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
