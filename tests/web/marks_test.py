#!/usr/bin/env python3
"""Marks in the editor, in headless Chromium, against kandu-player check.

    marks_test.py WEB_DIR PLAYER OUT_DIR

M adds marks at the playhead, [ and ] jump between them, L loops between the two around the
playhead, a mark dragged on the ruler moves on the grid as one undo step, inserted time moves marks,
Ctrl+C and Ctrl+V copy the range's time and paste it twice; after each, kandu-player check of the
saved bytes lists what the editor shows, and undoing everything gives the file back byte for byte. Exit status 0 when all pass.
"""
import base64
import os
import subprocess
import sys

from browser import Browser, serve, wait_for
from editor_test import CONTROL, check, checked_blocks, drag, failures_count, keys

TEXT = 'tempo 120\n0 16b water_thing   # one block\n'


def checked_marks(player, path):
    out = subprocess.run([player, 'check', path], capture_output=True, text=True, check=True).stdout
    return [[int(ms), name] for word, ms, name in (line.split() for line in out.splitlines() if line.startswith('mark '))]


def main():
    web_dir, player, out_dir = sys.argv[1:4]
    checks = os.path.join(web_dir, 'marks-checks')
    os.makedirs(checks, exist_ok=True)
    os.makedirs(out_dir, exist_ok=True)
    with open(os.path.join(checks, 'song.timeline'), 'w') as f:
        f.write(TEXT)
    server, base = serve(web_dir)
    browser = Browser()

    def agrees(what):
        saved = os.path.join(out_dir, 'saved.timeline')
        with open(saved, 'wb') as f:
            f.write(bytes(browser.script('return kanduEditor.bytes();')))
        shown = [[round(m['ms']), m['name']] for m in browser.script('return kanduEditor.marks();')]
        listed = checked_marks(player, saved)
        check(shown == listed, '%s: the editor shows %s, kandu-player check lists %s' % (what, shown, listed))
        return listed

    try:
        browser.open(base + 'editor.html?timeline=marks-checks/song.timeline')
        check(wait_for(lambda: browser.script('return !!(window.kanduEditor && kanduEditor.blocks().length);'), 120),
              'a timeline opens')
        lanes = lambda: browser.script('document.getElementById("lanes").focus(); return 1;')
        for at in (2000, 5000):
            browser.script('kanduEditor.seek(arguments[0]);', at)
            lanes()
            keys(browser, ['m'])
        check(agrees('M twice') == [[2000, 'mark1'], [5000, 'mark2']], 'M adds mark1 at 4b and mark2 at 10b')
        check(browser.script('return kanduEditor.text();').endswith('mark 4b mark1\nmark 10b mark2\n'),
              'written in beats, at the end')
        with open(os.path.join(out_dir, 'marks.png'), 'wb') as f:  # the marks on the ruler, to look at
            f.write(base64.b64decode(browser.do('GET', '/screenshot')))

        browser.script('kanduEditor.seek(0);')
        lanes()
        keys(browser, [']'])
        first = browser.script('return kanduEditor.playheadMs();')
        keys(browser, [']'])
        second = browser.script('return kanduEditor.playheadMs();')
        keys(browser, ['['])
        back = browser.script('return kanduEditor.playheadMs();')
        check([first, second, back] == [2000, 5000, 2000], '] ] [ go to %s (2000, 5000, 2000)' % [first, second, back])
        browser.script('kanduEditor.seek(3000);')
        lanes()
        keys(browser, ['l'])
        loop = browser.script('return kanduEditor.view.loop;')
        check(loop == [2000, 5000], 'L loops between the marks around the playhead: %s' % loop)
        browser.script('kanduEditor.setLoop();')

        steps = browser.script('return kanduEditor.historyLength();')
        x, y = browser.script('''
            const el = document.querySelector('#ruler .mark[data-line="4"]');
            const r = el.getBoundingClientRect();
            return [r.left + 2, r.top + r.height / 2];''')
        drag(browser, x, y, 40)  # 40 px at 0.08 px/ms: 500 ms, one beat
        check(browser.script('return kanduEditor.historyLength();') - steps == 1, 'a drag of a mark is one undo step')
        check(agrees('mark2 dragged') == [[2000, 'mark1'], [5500, 'mark2']], 'mark2 dragged a beat later, onto the grid')

        browser.script('kanduEditor.seek(1000);')
        lanes()
        keys(browser, ['i'])  # a grid step (1/4 beat, 125 ms) of time at 1000 ms
        check(agrees('time inserted') == [[2125, 'mark1'], [5625, 'mark2']], 'inserted time moves both marks')

        # Copying time: the range between the marks around the playhead (L), pasted twice at 6 s.
        browser.script('kanduEditor.seek(3000);')
        lanes()
        keys(browser, ['l'], [CONTROL, 'c'])
        browser.script('kanduEditor.setLoop(); kanduEditor.seek(6000);')
        lanes()
        steps = browser.script('return kanduEditor.historyLength();')
        keys(browser, [CONTROL, 'v'], [CONTROL, 'v'])
        check(browser.script('return kanduEditor.historyLength();') - steps == 2, 'each paste is one undo step')
        saved = os.path.join(out_dir, 'pasted.timeline')
        with open(saved, 'wb') as f:
            f.write(bytes(browser.script('return kanduEditor.bytes();')))
        listed = checked_blocks(player, saved)
        shown = browser.script('return kanduEditor.blocks();')
        check(listed == shown == [[0, 8125, 'water_thing'], [6000, 9500, 'water_thing'], [9500, 13000, 'water_thing']],
              'pasted twice after itself, cut at the range: check lists %s, the editor shows %s' % (listed, shown))
        check(browser.script('return kanduEditor.text();').endswith('6000 19b water_thing\n9500 26b water_thing\n'),
              'each time in its own unit, as the copied line writes it (its start in ms, its end in beats)')

        for _ in range(6):
            browser.script('kanduEditor.undo();')
        check(bytes(browser.script('return kanduEditor.bytes();')) == TEXT.encode(), 'undo gives the file back byte for byte')
        errors = browser.script('return window.kanduErrors;')
        severe = [e for e in browser.console() if e['level'] == 'SEVERE']
        check(not errors and not severe, 'the console is clean: %s %s' % (errors, severe))
    finally:
        browser.close()
        server.shutdown()
    return 1 if failures_count() else 0


if __name__ == '__main__':
    sys.exit(main())
