#!/usr/bin/env python3
"""Tempo in the editor, in headless Chromium, against kandu-player.

    tempo_test.py WEB_DIR PLAYER OUT_DIR

Checks: the editor opens empty; a song given to it becomes a timeline whose tempo line is
`kandu-player tempo`'s (the same detector, in the page's worker); tap tempo on the beat of a click
track at 128 BPM proposes 128.00; ×2, ÷2 and a dragged first beat each write the tempo line as one
undo step, and undo gives the text back; a first cut of the song is what kandu-player check lists;
the console stays clean. Exit status 0 when all pass.
"""
import base64
import math
import os
import struct
import subprocess
import sys
import wave

from browser import Browser, serve, wait_for
from editor_test import check, drag, failures_count, keys


def song(path, bpm, first_ms, seconds=30, rate=48000):
    """A kick on every beat and a hat between, with a low drone: 16-bit stereo at 48 kHz (no
    resampling on either side, so the page and the player read the same samples)."""
    beat = 60.0 / bpm
    samples = [0.0] * int(seconds * rate)
    t = first_ms / 1000.0
    seed = 1
    while t < seconds:
        start = int(t * rate)
        for i in range(int(0.25 * rate)):
            if start + i >= len(samples):
                break
            s = i / rate
            samples[start + i] += 0.6 * math.exp(-s * 14) * math.sin(2 * math.pi * (50 * s + 100 * (1 - math.exp(-s * 30)) / 30))
        hat = int((t + beat / 2) * rate)
        for i in range(int(0.05 * rate)):
            if hat + i >= len(samples):
                break
            seed = (seed * 1664525 + 1013904223) % (1 << 32)
            samples[hat + i] += 0.08 * math.exp(-i / rate * 80) * ((seed >> 8) / 8388608.0 - 1.0)
        t += beat
    with wave.open(path, 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        w.writeframes(b''.join(struct.pack('<hh', v, v) for v in
                               (max(-32767, min(32767, int(round(x * 32767)))) for x in samples)))


def tempo_line(text):
    for line in text.split('\n'):
        if line.strip().startswith('tempo '):
            return line.split('#')[0].split()
    return None


def main():
    web_dir, player, out_dir = sys.argv[1:4]
    checks = os.path.join(web_dir, 'tempo-checks')
    os.makedirs(checks, exist_ok=True)
    os.makedirs(out_dir, exist_ok=True)
    song(os.path.join(checks, 'song.wav'), 124.0, 310)
    song(os.path.join(checks, 'long.wav'), 132.0, 150, seconds=100)
    cli = subprocess.run([player, 'tempo', os.path.join(checks, 'song.wav')], capture_output=True, text=True)
    check(cli.returncode == 0, 'kandu-player tempo finds the song\'s beat: ' + cli.stdout.split('\n')[0])
    cli_line = cli.stdout.split('\n')[0].split()

    server, base = serve(web_dir)
    browser = Browser()
    try:
        browser.open(base + 'editor.html')
        ready = wait_for(lambda: browser.script('return !!(window.kanduEditor && window.kandu);'), 120)
        check(ready and browser.script('return kanduEditor.text();') == '' and
              browser.script('return kanduEditor.blocks().length;') == 0, 'the editor opens empty')

        # A song given to the empty editor: a new timeline, its tempo line the detector's.
        browser.script('kanduEditor.dropUrl("tempo-checks/song.wav");')
        made = wait_for(lambda: tempo_line(browser.script('return kanduEditor.text();')), 60)
        text = browser.script('return kanduEditor.text();')
        check(made and 'music song.wav' in text, 'the song became a timeline:\n' + text)
        page_line = tempo_line(text) or ['', '0', '0']
        same = (len(cli_line) == 3 and abs(float(page_line[1]) - float(cli_line[1])) <= 0.01 and
                abs(int(page_line[2]) - int(cli_line[2])) <= 2)
        check(same, 'its tempo line %s is kandu-player tempo\'s %s' % (' '.join(page_line), ' '.join(cli_line)))
        check(abs(float(page_line[1]) - 124) <= 124 * 0.01 and abs(int(page_line[2]) - 310) <= 20,
              'and fits the song (124 BPM, first beat at 310 ms)')
        with open(os.path.join(out_dir, 'new.timeline'), 'w') as f:
            f.write(text)
        checked = subprocess.run([player, 'check', os.path.join(out_dir, 'new.timeline')], capture_output=True, text=True)
        check(checked.returncode == 0, 'kandu-player check accepts it')

        # Tap tempo on the beat of a click track at 128 BPM: T pressed on each click, eight times.
        # Each key event carries the moment of its click as its time stamp, as a key pressed by a
        # steady hand does: a timer on a busy machine fires late by tens of milliseconds, and the
        # page reads the time of a key from its event, so the taps' times are the page's own and
        # what it proposes is worked out from them alone (468.75 ms apart: 128.00 BPM).
        browser.script('''
            const lanes = document.getElementById('lanes'), period = 60000 / 128, t0 = performance.now() + 50;
            window.tapsDone = false;
            const tap = (i) => {
              const key = new KeyboardEvent('keydown', { key: 't', bubbles: true });
              Object.defineProperty(key, 'timeStamp', { value: t0 + i * period });
              lanes.dispatchEvent(key);
              if (i + 1 === 8) { window.tapsDone = true; return; }
              setTimeout(() => tap(i + 1), Math.max(0, t0 + (i + 1) * period - performance.now()));
            };
            lanes.focus();
            setTimeout(() => tap(0), 50);''')
        wait_for(lambda: browser.script('return window.tapsDone;'), 20)
        proposal = browser.script('return document.getElementById("tempo-proposal-text").textContent;')
        with open(os.path.join(out_dir, 'tap.png'), 'wb') as f:  # the proposal, to look at
            f.write(base64.b64decode(browser.do('GET', '/screenshot')))
        tapped = float(proposal.split('tap: ')[1].split(' BPM')[0]) if 'tap: ' in proposal else 0
        check(tapped == 128.0, 'tap tempo on a click track at 128 BPM proposes %s (128.00)' % proposal)
        browser.script('document.getElementById("tempo-dismiss").click();')

        # ×2, ÷2 and the first beat dragged: each writes the tempo line, one undo step each.
        def step(action, what, expect):
            before_text = browser.script('return kanduEditor.text();')
            before_steps = browser.script('return kanduEditor.historyLength();')
            action()
            after = browser.script('return kanduEditor.text();')
            steps = browser.script('return kanduEditor.historyLength();') - before_steps
            line = tempo_line(after)
            check(expect(line) and steps == 1, '%s: %s, %d undo step(s)' % (what, ' '.join(line or []), steps))
            browser.script('kanduEditor.undo();')
            check(browser.script('return kanduEditor.text();') == before_text, '%s: undo gives the text back' % what)
        bpm, offset = float(page_line[1]), int(page_line[2])
        step(lambda: browser.script('document.getElementById("tempo-double").click();'), '×2',
             lambda l: l and abs(float(l[1]) - round(bpm * 2, 2)) < 0.001 and int(l[2]) == offset)
        step(lambda: browser.script('document.getElementById("tempo-halve").click();'), '÷2',
             lambda l: l and abs(float(l[1]) - round(bpm / 2, 2)) < 0.001 and int(l[2]) == offset)

        def drag_first_beat():
            x, y = browser.script('''
                const r = document.querySelector('#ruler .first-beat').getBoundingClientRect();
                return [r.left + r.width / 2, r.top + r.height / 2];''')
            drag(browser, x, y, 40)
        px_per_ms = browser.script('return kanduEditor.view.pxPerMs;')
        step(drag_first_beat, 'the first beat dragged 40 px',
             lambda l: l and float(l[1]) == bpm and abs(int(l[2]) - (offset + 40 / px_per_ms)) <= 1 / px_per_ms + 1)
        step(lambda: keys(browser, ['.']) if browser.script('document.getElementById("lanes").focus(); return 1;') else 0,
             'the first beat nudged (.)', lambda l: l and int(l[2]) == offset + 5)

        # A first cut of the song: kandu-player check of the saved bytes is what the editor shows.
        steps = browser.script('return kanduEditor.historyLength();')
        browser.script('kanduEditor.firstCut();')
        cut = wait_for(lambda: browser.script('return kanduEditor.marks().length;'), 60)
        saved = os.path.join(out_dir, 'cut.timeline')
        with open(saved, 'wb') as f:
            f.write(bytes(browser.script('return kanduEditor.bytes();')))
        listed = subprocess.run([player, 'check', saved], capture_output=True, text=True).stdout.split('\n')
        shown = ['%d %d %s' % (b[0], b[1], b[2]) for b in browser.script('return kanduEditor.blocks();')] + \
                ['mark %d %s' % (m['ms'], m['name']) for m in browser.script('return kanduEditor.marks();')]
        check(cut and listed[:-1] == shown and browser.script('return kanduEditor.historyLength();') - steps == 1,
              'a first cut (%d lines, one undo step) is what kandu-player check lists' % len(shown))
        errors = browser.script('return window.kanduErrors;')
        severe = [e for e in browser.console() if e['level'] == 'SEVERE']
        check(not errors and not severe, 'the console is clean: %s %s' % (errors, severe))

        # A longer song: the timeline is made from the first seconds' estimate (the page's clock
        # says how soon after the music was ready), then the whole song's comes; where it differs,
        # it is proposed. Either way the tempo ends as kandu-player tempo's.
        long_cli = subprocess.run([player, 'tempo', os.path.join(checks, 'long.wav')], capture_output=True, text=True)
        long_line = long_cli.stdout.split('\n')[0].split()
        browser.open(base + 'editor.html')
        wait_for(lambda: browser.script('return !!(window.kanduEditor && window.kandu);'), 120)
        browser.script('kanduEditor.dropUrl("tempo-checks/long.wav");')
        whole = wait_for(lambda: browser.script('return kanduEditor.tempoTimes().whole !== undefined;'), 60)
        times = browser.script('return kanduEditor.tempoTimes();')
        line = tempo_line(browser.script('return kanduEditor.text();')) or ['', '0', '0']
        offered = browser.script("return document.getElementById('tempo-proposal').hidden ? '' : "
                                 "document.getElementById('tempo-proposal-text').textContent;")
        final = offered.split('→ ')[-1].split() if offered else line
        check(whole and 'early' in times and times['early'] - times['music'] <= 2000 and times['whole'] > times['early'] and
              times.get('timeline', float('inf')) < times['whole'],
              'a 100 s song: its first 30 s\'s estimate %.0f ms after the music was ready and the timeline made from it '
              'at %.0f ms, the whole song\'s %.0f ms after' % (
                  times.get('early', -1) - times.get('music', 0), times.get('timeline', -1) - times.get('music', 0),
                  times.get('whole', 0) - times.get('music', 0)))
        check(len(long_line) == 3 and final[1:] == long_line[1:] and ('first seconds' not in offered),
              'its timeline (%s) and proposal (%r) end as kandu-player tempo\'s %s' % (' '.join(line), offered, ' '.join(long_line)))
    finally:
        browser.close()
        server.shutdown()
    return 1 if failures_count() else 0


if __name__ == '__main__':
    sys.exit(main())
