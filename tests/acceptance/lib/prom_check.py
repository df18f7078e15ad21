"""Reads a metrics file with the Prometheus client library's own parser and prints each sample as
NAME{LABELS} VALUE, one a line, sorted. Exit status 1 (with the parser's complaint) when it does not parse.

Usage: prom_check.py FILE
"""
import sys

from prometheus_client.parser import text_string_to_metric_families


def main(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    if not text.endswith("\n"):
        sys.exit("no line end at the end")
    samples = []
    try:
        for family in text_string_to_metric_families(text):
            if not family.documentation or family.type != "gauge":
                sys.exit("%s: no HELP or not a gauge" % family.name)
            for sample in family.samples:
                labels = ",".join('%s="%s"' % item for item in sorted(sample.labels.items()))
                samples.append("%s{%s} %s" % (sample.name, labels, repr(float(sample.value))))
    except ValueError as error:
        sys.exit("does not parse: %s" % error)
    print("\n".join(sorted(samples)))


if __name__ == "__main__":
    main(sys.argv[1])
