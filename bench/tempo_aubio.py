#!/usr/bin/env python3
"""aubio's tempo (Debian's aubio-tools) on the songs kandu_tempo_accuracy writes, scored as that
program scores kandu's detector: the share within 4% of the true tempo, and of it or its double,
half, triple or third.

    build/bench/kandu_tempo_accuracy --write DIR && bench/tempo_aubio.py DIR
"""
import csv
import os
import subprocess
import sys


def main():
    folder = sys.argv[1]
    sets = {}
    with open(os.path.join(folder, 'index.csv')) as f:
        for name, group, bpm, _first in csv.reader(f):
            out = subprocess.run(['aubio', 'tempo', os.path.join(folder, name)], capture_output=True, text=True).stdout
            found = float(out.split()[0]) if out.split() else 0.0
            ratio = found / float(bpm)
            right = abs(ratio - 1) <= 0.04
            related = right or any(abs(ratio / m - 1) <= 0.04 for m in (2, 0.5, 3, 1 / 3))
            tally = sets.setdefault(group, [0, 0, 0])
            tally[0] += 1
            tally[1] += right
            tally[2] += related
    for group, (n, right, related) in sets.items():
        print('aubio on %s: %d songs: %d within 4%% of the tempo (%.0f%%), %d within 4%% of it or a multiple (%.0f%%)'
              % (group, n, right, 100 * right / n, related, 100 * related / n))


if __name__ == '__main__':
    main()
