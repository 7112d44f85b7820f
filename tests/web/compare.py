#!/usr/bin/env python3
"""The web page against kandu-player: for each drawing effect of the built-in demo (the contact
sheet's moments) the page's ?at= picture in headless Chromium is compared with `kandu-player still
--at` of the same moment at the same size, and the browser's console must hold no error.

    compare.py WEB_DIR PLAYER PLUGIN OUT_DIR

Drives Chromium through chromedriver's WebDriver protocol (HTTP); serves WEB_DIR on 127.0.0.1.
Exit status 0 when every moment's mean channel difference is at most 1.0 and the console is clean.
"""
import base64
import os
import re
import struct
import subprocess
import sys
import wave

from browser import Browser, rgb, serve, wait_for

LIMIT = 1.0


FRAME_RATE = """
const at = arguments[0], gl = document.getElementById('picture').getContext('webgl');
const pixel = new Uint8Array(4);
const start = performance.now();
for (let i = 0; i < 60; ++i) {
  kandu.frame(at + i * 1000 / 60);
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
}
return 60000 / (performance.now() - start);
"""


def words(browser, moment):
    return browser.script('return kandu.words(arguments[0]);', int(moment))


def check_play(browser, base, web_dir):
    """Play runs on its clock and shows the time and words; a bad timeline shows FILE:LINE."""
    failures = 0
    os.makedirs(os.path.join(web_dir, 'checks'), exist_ok=True)
    with open(os.path.join(web_dir, 'checks', 'good.timeline'), 'w') as f:
        f.write('0 60000 morph\n')
    with open(os.path.join(web_dir, 'checks', 'bad.timeline'), 'w') as f:
        f.write('0 1000 morph\n500 100 cube_thing\n')
    browser.open(base + 'index.html?timeline=checks/good.timeline')
    playing = re.compile(r'kandu — 0:0[0-9]\.[0-9]{3} — morph')

    def title_past_a_second():
        title = browser.script('return document.title;')
        return title if playing.fullmatch(title) and not title.startswith('kandu — 0:00.') else None
    title = wait_for(title_past_a_second, 30) or browser.script('return document.title;')
    ok = playing.fullmatch(title) is not None and not title.startswith('kandu — 0:00.')
    print('%s play: the title reads "%s"' % ('ok  ' if ok else 'FAIL', title))
    failures += not ok
    browser.open(base + 'index.html?timeline=checks/bad.timeline')
    shown = wait_for(lambda: browser.script('return document.getElementById("error").textContent;'), 30) or ''
    ok = shown.startswith('checks/bad.timeline:2: block ends at 100')
    print('%s bad timeline: the page shows "%s"' % ('ok  ' if ok else 'FAIL', shown))
    failures += not ok
    # A timeline's music is fetched beside it once a key asks for sound; music that does not
    # decode is said on the page while the picture plays on.
    with wave.open(os.path.join(web_dir, 'checks', 'click.wav'), 'wb') as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(48000)
        w.writeframes(b''.join(struct.pack('<hh', v, v) for v in
                               (20000 if 24000 <= i < 24240 else 0 for i in range(96000))))
    with open(os.path.join(web_dir, 'checks', 'noise.wav'), 'wb') as f:
        f.write(b'RIFF' + bytes(3000))
    for music, wanted in (('click.wav', ''), ('noise.wav', 'no sound: ')):
        # A timeline file of its own for each: the browser may keep a fetched one.
        name = 'music-%s.timeline' % music.split('.')[0]
        with open(os.path.join(web_dir, 'checks', name), 'w') as f:
            f.write('music %s\n0 60000 morph\n' % music)
        browser.open(base + 'index.html?timeline=checks/' + name)
        wait_for(lambda: 'morph' in browser.script('return document.title;'), 30)
        browser.script('document.dispatchEvent(new KeyboardEvent("keydown", {key: "Home"}));')
        # Until the sound plays or the page says why it cannot.
        wait_for(lambda: browser.script('return document.body.dataset.sound === "playing" || '
                                        'document.getElementById("error").textContent !== "";'), 30)
        shown = browser.script('return document.getElementById("error").textContent;')
        title = browser.script('return document.title;')
        ok = shown.startswith(wanted) and (wanted or not shown) and 'morph' in title
        print('%s music %s: the page shows "%s", the title "%s"' % ('ok  ' if ok else 'FAIL', music, shown, title))
        failures += not ok
    return failures


def main():
    web_dir, player, plugin, out_dir = sys.argv[1:5]
    os.makedirs(out_dir, exist_ok=True)
    server, base = serve(web_dir)
    browser = Browser()
    failures = 0
    try:
        browser.open(base + 'index.html?at=0')
        browser.wait_title('kandu ready', 60)
        moments = browser.script('return kandu.moments().map(String);')
        for moment in moments:
            browser.open(base + 'index.html?at=' + moment)
            title = browser.wait_title('kandu ready', 300)
            page = os.path.join(out_dir, 'web-%s.png' % moment)
            native = os.path.join(out_dir, 'native-%s.png' % moment)
            if title != 'kandu ready':
                print('FAIL %s ms: the page ended as "%s"' % (moment, title))
                failures += 1
                continue
            data = browser.script('return document.getElementById("picture").toDataURL("image/png");')
            with open(page, 'wb') as f:
                f.write(base64.b64decode(data.split(',', 1)[1]))
            subprocess.run([player, 'still', '--at', moment, '--plugin', plugin, '--out', native], check=True,
                           capture_output=True)
            a, b = rgb(page), rgb(native)
            if len(a) != len(b):
                print('FAIL %s ms: the pictures differ in size' % moment)
                failures += 1
                continue
            mean = sum(abs(x - y) for x, y in zip(a, b)) / len(a)
            ok = mean <= LIMIT
            failures += not ok
            # The frame rate of this effect in the page: 60 full frames, each waited for.
            fps = browser.script(FRAME_RATE, int(moment))
            print('%s %s ms (%s): mean channel difference %.3f; %.1f frames/s in the page' %
                  ('ok  ' if ok else 'FAIL', moment, words(browser, moment), mean, fps))
        failures += check_play(browser, base, web_dir)
        errors = [entry for entry in browser.console() if entry.get('level') == 'SEVERE']
        for entry in errors:
            print('FAIL console: %s' % entry.get('message'))
        failures += len(errors)
    finally:
        browser.close()
        server.shutdown()
    print('web pictures: %d moments, %d failures' % (len(moments), failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
