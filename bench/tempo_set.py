#!/usr/bin/python3
"""The tempo detector on real songs: the tempo set (41 songs from Debian's game packages, their
tempo known exactly from their scores) built once and kept, then `kandu-player tempo` on every
song, as WAV and as Ogg Vorbis, scored by the set's own scorer. Prints a table row a format for
docs/tempo.md and each miss with how sure the player said it was.

  bench/tempo_set.py [--player PATH] [--source DIR] [--set DIR] [--build-only | --no-build]
                     [--require ACC1,ACC2,PHASE_MS,DOWNBEATS]

--source: the set's scripts (default $KANDU_TEMPO_SET_SOURCE, else ../shared/tempo-set beside
the repository, else /work/shared/tempo-set); --set: where the songs are built and kept (default
$KANDU_TEMPO_SET, else ~/.cache/kandu/tempo-set). Building takes about 4 minutes and needs
apt-get (root); where the scripts are missing or the build fails, one line says so and the exit
status is 77 (a skip, for CTest); with --no-build, a set not built is skipped the same way. --require: the least share of songs within 4% of the tempo, within
4% of it or a multiple, the most median first-beat error in ms, the least share of downbeats on the
bar's first beat, each format; any song refused fails it too (every song in the set has a steady
beat). The exit status is then 1 when one is not met.
"""
import argparse, concurrent.futures, os, statistics, subprocess, sys

SKIP = 77
HERE = os.path.dirname(os.path.abspath(__file__))


def default_source():
    """$KANDU_TEMPO_SET_SOURCE, else ../shared/tempo-set beside the repository, else the workplace's."""
    if os.environ.get('KANDU_TEMPO_SET_SOURCE'):
        return os.environ['KANDU_TEMPO_SET_SOURCE']
    for place in (os.path.join(HERE, '..', '..', 'shared', 'tempo-set'), '/work/shared/tempo-set'):
        if os.path.isfile(os.path.join(place, 'score.py')):
            return os.path.normpath(place)
    return os.path.normpath(os.path.join(HERE, '..', '..', 'shared', 'tempo-set'))


def default_set():
    return os.environ.get('KANDU_TEMPO_SET') or os.path.join(os.path.expanduser('~'), '.cache', 'kandu', 'tempo-set')


def skip(why):
    print('skipped: the tempo set, because ' + why)
    sys.exit(SKIP)


def complete(set_dir, songs):
    return all(os.path.isfile(os.path.join(set_dir, ext, s['id'] + '.' + ext)) for s in songs for ext in ('wav', 'ogg'))


def build(source, set_dir, songs):
    """The set built into set_dir unless it is there already (a build that stopped half-way is redone)."""
    if complete(set_dir, songs) and os.path.isfile(os.path.join(set_dir, 'check.txt')):
        return
    os.makedirs(set_dir, exist_ok=True)
    log = os.path.join(set_dir, 'build.log')
    print('building the tempo set into %s (about 4 minutes; log: %s)' % (set_dir, log), flush=True)
    with open(log, 'w') as out:
        status = subprocess.run(['bash', os.path.join(source, 'get_set.sh'), set_dir], stdout=out, stderr=subprocess.STDOUT).returncode
    if status != 0 or not complete(set_dir, songs):
        with open(log) as f:
            last = (f.read().strip().splitlines() or ['no output'])[-1]
        skip('it could not be built here (get_set.sh: %s)' % last)


def detect(player, path):
    """(bpm, offset ms, confidence) from `kandu-player tempo`, or None for a refusal."""
    p = subprocess.run([player, 'tempo', path], capture_output=True, text=True, errors='replace', timeout=300)
    words = p.stdout.split()
    if p.returncode != 0 or len(words) < 5 or words[0] != 'tempo' or words[3] != 'confidence':
        return None
    return float(words[1]), float(words[2]), float(words[4])


def bar_starts(log_path, rows_per_beat):
    """The times (ms from the cut's start) of the rows that start a four-beat bar, from a module's row
    log; None when its patterns are not whole bars of four beats (the bar is then unknown)."""
    bar = 4 * rows_per_beat
    rows, start, end, most = [], 0, 0, {}
    with open(log_path) as f:
        for line in f:
            if line.startswith('# cut'):
                words = dict(w.split('=') for w in line[1:].split()[1:])
                start, end = int(words['start_frame']), int(words['start_frame']) + int(words['frames'])
            elif line[:1].isdigit():
                frame, order, pattern, row = (int(v) for v in line.split('\t')[:4])
                if start <= frame < end:  # the patterns played in the cut, each as long as its rows go
                    rows.append((frame, row))
                    most[pattern] = max(most.get(pattern, 0), row + 1)
    if len(most) < 2 or any(n % bar for n in list(most.values())[:-1]):  # the last may be cut off
        return None
    return [(frame - start) * 1000.0 / 44100 for frame, row in rows if row % bar == 0]


def score_format(score, songs, set_dir, ext, player):
    paths = [os.path.join(set_dir, ext, s['id'] + '.' + ext) for s in songs]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        found = list(pool.map(lambda p: detect(player, p), paths))
    r = {'n': len(songs), 'acc1': 0, 'acc2': 0, 'refused': [], 'errors': [], 'misses': [], 'bars': 0, 'downbeats': 0,
         'sure_right': [], 'sure_wrong': []}
    for s, got in zip(songs, found):
        truth, phase = float(s['bpm']), float(s['phase_ms'])
        if got is None:
            r['refused'].append(s['id'])
            continue
        bpm, offset, sure = got
        ok1, ok2 = score.accuracy1(bpm, truth), score.accuracy2(bpm, truth)
        r['acc1'] += ok1
        r['acc2'] += ok2
        (r['sure_right'] if ok1 else r['sure_wrong']).append(sure)
        if not ok1:
            r['misses'].append('%s %.2f for %.2f (%s, sure %.2f)' % (
                s['id'], bpm, truth, score.octave_name(bpm, truth) or 'x%.3f' % (bpm / truth), sure))
            continue
        r['errors'].append(score.phase_error_ms(offset, truth, phase))
        log = os.path.join(set_dir, 'log', s['id'] + '.log')
        if s['rows_per_beat'] != '-' and os.path.isfile(log) and r['errors'][-1] < 15000.0 / truth:
            bars = bar_starts(log, int(s['rows_per_beat']))
            if bars:
                r['bars'] += 1
                r['downbeats'] += min(abs(offset - t) for t in bars) < 15000.0 / truth
    return r


def row(ext, r):
    median = statistics.median(r['errors']) if r['errors'] else float('nan')
    return ('| %d real songs (`bench/tempo_set.py`), %s | %d (%.0f%%) | %d (%.0f%%) | %.0f ms | %d of %d | refused %d |' % (
        r['n'], ext.upper(), r['acc1'], 100.0 * r['acc1'] / r['n'], r['acc2'], 100.0 * r['acc2'] / r['n'], median,
        r['downbeats'], r['bars'], len(r['refused'])))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument('--player', default=os.path.join(HERE, '..', 'build', 'kandu-player'))
    ap.add_argument('--source', default=default_source())
    ap.add_argument('--set', default=default_set())
    ap.add_argument('--build-only', action='store_true')
    ap.add_argument('--no-build', action='store_true')
    ap.add_argument('--require')
    a = ap.parse_args()
    if not os.path.isfile(os.path.join(a.source, 'score.py')):
        skip('its scripts are not at %s (give --source or KANDU_TEMPO_SET_SOURCE)' % a.source)
    sys.path.insert(0, a.source)
    import score  # the set's own scorer: the same rules as its README's table
    songs = score.load_manifest(os.path.join(a.source, 'manifest.tsv'))
    if a.no_build and not complete(a.set, songs):
        skip('it is not built in %s (bench/tempo_set.py --build-only builds it)' % a.set)
    build(a.source, a.set, songs)
    if a.build_only:
        print('the tempo set is in %s' % a.set)
        return 0
    failed = []
    for ext in ('wav', 'ogg'):
        r = score_format(score, songs, a.set, ext, a.player)
        print(row(ext, r))
        for miss in r['misses']:
            print('  miss: ' + miss)
        if r['refused']:
            print('  refused: ' + ', '.join(r['refused']))
        if r['sure_right'] and r['sure_wrong']:
            print('  how sure: %.2f on the songs found right, %.2f on the misses (medians)' % (
                statistics.median(r['sure_right']), statistics.median(r['sure_wrong'])))
        if a.require:
            acc1, acc2, phase, downbeats = (float(v) for v in a.require.split(','))
            median = statistics.median(r['errors']) if r['errors'] else float('inf')
            for bad, what in ((r['acc1'] < acc1 * r['n'], 'within 4%% under %.0f%%' % (100 * acc1)),
                              (r['acc2'] < acc2 * r['n'], 'within 4%% of a multiple under %.0f%%' % (100 * acc2)),
                              (r['refused'], 'songs with a beat refused'),
                              (median > phase, 'the first beat\'s median error over %.0f ms' % phase),
                              (r['downbeats'] < downbeats * r['bars'], 'downbeats right under %.0f%%' % (100 * downbeats))):
                if bad:
                    failed.append('%s: %s' % (ext, what))
    for f in failed:
        print('FAIL ' + f)
    return 1 if failed else 0


if __name__ == '__main__':
    sys.exit(main())
