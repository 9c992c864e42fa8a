#!/usr/bin/python3
"""Times tools/import-deck on a 47-page talk: a 4:3 PDF whose pages carry a
title and seven lines of text each, as a slide program exports them.
Prints the seconds the whole import takes (best of RUNS).

usage: bench/deck_import.py [RUNS]"""
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "deck"))
from support import IMPORT_DECK, PYTHON, make_pdf, write  # noqa: E402


def talk(pages):
    result = []
    for number in range(1, pages + 1):
        texts = [(40, 30, 32, "Slide %d: a title of some length" % number)]
        texts += [(60, 110 + 50 * line, 20, "- point %d of a talk about something" % line)
                  for line in range(7)]
        result.append((720, 540, (250, 250, 246), [(0, 0, 720, 80, (28, 52, 92))], texts))
    return make_pdf(result)


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    with tempfile.TemporaryDirectory() as folder:
        pdf = write(os.path.join(folder, "talk.pdf"), talk(47))
        times = []
        for _ in range(runs):
            start = time.perf_counter()
            subprocess.run([PYTHON, IMPORT_DECK, pdf, "-o", os.path.join(folder, "deck"),
                            "--size", "640x480"],
                           check=True, stdout=subprocess.DEVNULL)
            times.append(time.perf_counter() - start)
    print("import-deck, 47-page PDF: best %.2f s, worst %.2f s of %d runs"
          % (min(times), max(times), runs))


if __name__ == "__main__":
    main()
