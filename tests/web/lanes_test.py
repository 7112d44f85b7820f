#!/usr/bin/env python3
"""The editor with many lanes, in headless Chromium: every lane scrolled to has its label, the grid,
its stripe and the waveform under it, the playhead spans them all, and a drag in the last lane
works as in the first.

    lanes_test.py WEB_DIR PLAYER OUT_DIR

Each lane is looked at in screenshots of the page (pixel probes in the lane's row), scrolled screen
by screen from the first lane to the last, for 30 and for 60 lanes. The timeline gives lane i one
block from beat i % 8 to beat i % 8 + 4 at 120 bpm (an unknown word per lane), over four seconds
of full-scale music; at the editor's zoom (0.08 px/ms) a grid step of 1/4 beat is 10 px, a bar
160 px, the music 320 px and the last block ends at 440 px. Exit status 0 when every check passes.
"""
import base64
import os
import struct
import sys
import wave

import editor_test
from browser import Browser, rgb, serve, wait_for
from editor_test import check, drag, open_editor

LANE = 26           # px, the editor's lane height
FREE_X = 465        # past the blocks and the music, between two grid lines
BAR_X = 480         # the line of bar 3 (beat 12)
PLAYHEAD_MS = 5437  # x = 435 (the timeline ends at 5500 ms)


def square_wav(path, seconds, rate=48000):
    """A full-scale 100 Hz square wave, stereo: its waveform fills the lanes' height."""
    with wave.open(path, 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(rate)
        period = rate // 100
        one = b''.join(struct.pack('<hh', v, v) for v in
                       [32767 if i < period // 2 else -32767 for i in range(period)])
        w.writeframes(one * (100 * seconds))


def timeline(lanes):
    return 'tempo 120\nmusic loud.wav\n' + ''.join('%db %db w%02d\n' % (i % 8, i % 8 + 4, i) for i in range(lanes))


class Shot:
    def __init__(self, browser, path):
        with open(path, 'wb') as f:
            f.write(base64.b64decode(browser.do('GET', '/screenshot')))
        self.size = browser.script('return [window.innerWidth, window.innerHeight];')
        self.pixels = rgb(path)

    def at(self, x, y):
        i = (int(y) * self.size[0] + int(x)) * 3
        return self.pixels[i], self.pixels[i + 1], self.pixels[i + 2]


def lanes_in_view(browser, shot, lanes):
    """Checks every lane wholly in view; the lanes it looked at."""
    top, left, height, scroll = browser.script('''
        const l = document.getElementById('lanes'), r = l.getBoundingClientRect();
        return [r.top, r.left, l.clientHeight, l.scrollTop];''')
    labels = browser.script('''return [...document.querySelectorAll('#labels .label')].map((e) => {
        const r = e.getBoundingClientRect(); return [e.textContent, r.left, r.top, r.width, r.height]; });''')
    playhead_x = browser.script('return document.getElementById("playhead").getBoundingClientRect().left;')
    seen, faults = [], []
    for i in range(lanes):
        row = top + i * LANE - scroll
        if row < top or row + LANE > top + height:
            continue
        seen.append(i)
        mid = row + LANE // 2
        name, lx, ly, lw, lh = labels[i]
        # The label: its own word, in its row, and drawn (bright text pixels in its box).
        text = any(max(shot.at(x, y)) > 110 for x in range(int(lx), int(lx + lw)) for y in range(int(ly), int(ly + lh)))
        if name != 'w%02d' % i or not row <= ly < row + LANE or not text:
            faults.append('lane %d: label %r at %d, drawn %s' % (i, name, ly - row, text))
        # The stripe: odd lanes lighter than the even lanes beside them, where nothing else is.
        here = shot.at(left + FREE_X, mid)[0]
        above = shot.at(left + FREE_X, mid - LANE)[0] if row - LANE >= top else None
        if above is not None and (here - above if i % 2 else above - here) < 5:
            faults.append('lane %d: no stripe (%d against %d above)' % (i, here, above))
        # The grid: the bar line is bright, the column beside it dark.
        line, beside = shot.at(left + BAR_X, mid)[0], shot.at(left + BAR_X + 5, mid)[0]
        if line - beside < 40:
            faults.append('lane %d: no grid (%d at the bar line, %d beside it)' % (i, line, beside))
        # The waveform: blue under the lane where the music plays, away from its block and the grid.
        x = 105 if i % 8 >= 4 else 295
        r, g, b = shot.at(left + x, mid)
        if b - r < 20:
            faults.append('lane %d: no waveform (%d,%d,%d at x %d)' % (i, r, g, b, x))
        # The playhead crosses the lane.
        r, g, b = max((shot.at(px, mid) for px in range(int(playhead_x) - 1, int(playhead_x) + 2)), key=lambda c: c[0] - c[1])
        if not (r > 150 and r - g > 60):
            faults.append('lane %d: no playhead (%d,%d,%d)' % (i, r, g, b))
    return seen, faults


def main():
    web_dir, player, out_dir = sys.argv[1:4]
    os.makedirs(out_dir, exist_ok=True)
    checks = os.path.join(web_dir, 'lanes-checks')
    os.makedirs(checks, exist_ok=True)
    square_wav(os.path.join(checks, 'loud.wav'), 4)
    server, base = serve(web_dir)
    browser = Browser()
    try:
        for lanes in (30, 60):
            path = os.path.join(checks, 'lanes-%d.timeline' % lanes)
            with open(path, 'w') as f:
                f.write(timeline(lanes))
            check(open_editor(browser, base, '?timeline=lanes-checks/lanes-%d.timeline' % lanes), '%d lanes open' % lanes)
            check(wait_for(lambda: browser.script('return kanduEditor.view.lanes.length;') == lanes, 10),
                  'the editor shows %d lanes' % lanes)
            check(wait_for(lambda: browser.script('return !!kanduEditor.hasMusic && kanduEditor.hasMusic();'), 60),
                  'the music is loaded')
            browser.script('kanduEditor.pause(); kanduEditor.seek(arguments[0]);', PLAYHEAD_MS)
            seen, faults, screen = set(), [], 0
            while True:
                shot = Shot(browser, os.path.join(out_dir, 'lanes-%d-%d.png' % (lanes, screen)))
                lanes_seen, lane_faults = lanes_in_view(browser, shot, lanes)
                seen.update(lanes_seen)
                faults += lane_faults
                scroll, most = browser.script('''const l = document.getElementById('lanes');
                    return [l.scrollTop, l.scrollHeight - l.clientHeight];''')
                if scroll >= most:
                    break
                # A screen on, less two lanes, so that every lane is wholly in view in some screen.
                browser.script('''const l = document.getElementById('lanes');
                    l.scrollTop = l.scrollTop + l.clientHeight - 2 * arguments[0];''', LANE)
                wait_for(lambda: browser.script('''const l = document.getElementById('lanes');
                    return document.getElementById('backdrop').style.top === l.scrollTop + 'px';'''), 5)
                screen += 1
            check(seen == set(range(lanes)), '%d lanes: every lane scrolled to (%d screens)' % (lanes, screen + 1))
            check(not faults, '%d lanes: every lane has its label, stripe, grid, waveform and the playhead%s'
                  % (lanes, ': ' + '; '.join(faults[:6]) if faults else ''))
            # A drag of 3.4 grid steps in the last lane and in the first: each moves by exactly 3
            # (375 ms) and changes its own line.
            for i in (lanes - 1, 0):
                line = 3 + i
                before = browser.script('return kanduEditor.text();')
                x, y, w, h = editor_test.block_rect(browser, line)
                drag(browser, x + w / 2, y + h / 2, 3.4 * 10)
                after = browser.script('return kanduEditor.text();')
                changed = editor_test.lines_changed(before, after)
                start = (i % 8) * 500
                moved = [b for b in browser.script('return kanduEditor.blocks();') if b[2] == 'w%02d' % i][0]
                check(moved[:2] == [start + 375, start + 2375] and changed == [line],
                      '%d lanes: a drag in lane %d moved its block to %s, changing line(s) %s' % (lanes, i, moved[:2], changed))
        errors = [e for e in browser.console() if e.get('level') == 'SEVERE']
        check(not errors and not browser.script('return window.kanduErrors;'),
              'no errors on the console: %s' % errors[:2])
    finally:
        browser.close()
        server.shutdown()
    print('lanes: %d check(s) failed' % editor_test.failures if editor_test.failures else 'lanes: all checks passed')
    sys.exit(1 if editor_test.failures else 0)


if __name__ == '__main__':
    main()
