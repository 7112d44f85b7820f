#!/usr/bin/env python3
"""A demo exported as one HTML file, opened from file:// in headless Chromium with the network off.

    export_test.py WEB_DIR PLAYER PLUGIN OUT_DIR

WEB_DIR and PLUGIN given as '-' are not passed: an installed player finds its own.

Exports a timeline whose music is AIFF (which browsers do not play: re-encoded to Opus) and one
whose music is WAV (kept as it is), and checks: each file is the music plus at most 150 KB; opened
from the disk offline it plays (frames drawn, the sound decoded, no console error); its picture at
T (?at=T) equals kandu-player still --at T (mean channel difference at most 1.0). Exit status 0
when all pass.
"""
import base64
import os
import subprocess
import sys

from browser import Browser, rgb, wait_for
from editor_test import check, failures_count

TEXT = 'tempo 120\nmusic %s\n0 8b water_thing\n8b 16b morph\nmark 8b drop\n'


def main():
    web_dir, player, plugin, out_dir = sys.argv[1:5]
    page_option = [] if web_dir == '-' else ['--page', web_dir]
    plugin_option = [] if plugin == '-' else ['--plugin', plugin]
    os.makedirs(out_dir, exist_ok=True)
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                    'aevalsrc=0.2*sin(2*PI*220*t)+0.8*between(mod(t\\,0.5)\\,0\\,0.003):s=44100:d=8',
                    '-ac', '2', os.path.join(out_dir, 'song.aiff')], check=True)
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-i', os.path.join(out_dir, 'song.aiff'),
                    os.path.join(out_dir, 'song.wav')], check=True)
    # Music named as most of the world names it, in a folder of its own.
    os.makedirs(os.path.join(out_dir, 'musique'), exist_ok=True)
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-i', os.path.join(out_dir, 'song.aiff'),
                    os.path.join(out_dir, 'musique', 'chanson-été & co.ogg')], check=True)
    browser = Browser()
    try:
        browser.do('POST', '/chromium/network_conditions', {'network_conditions': {
            'offline': True, 'latency': 0, 'download_throughput': 0, 'upload_throughput': 0}})
        for music in ('song.aiff', 'song.wav', 'musique/chanson-été & co.ogg'):
            stem = os.path.basename(music).replace('.', '-')
            timeline = os.path.join(out_dir, stem + '.timeline')
            with open(timeline, 'w') as f:
                f.write(TEXT % music)
            page = os.path.join(out_dir, stem + '.html')
            made = subprocess.run([player, 'export', timeline, '-o', page] + page_option, capture_output=True,
                                  text=True)
            check(made.returncode == 0, 'export %s: %s' % (music, made.stderr.strip()))
            with open(page, 'rb') as f:
                html = f.read()
            # The music's element: its text is the music as the page holds it (deflated where that
            # pays), and what the player says it wrote.
            start = html.index(b'>', html.index(b'id="kandu-music"')) + 1
            music_bytes = html.index(b'</script>', start) - start
            print('     %s: %d KB in all, the music %d KB of it' % (os.path.basename(page), len(html) // 1024,
                                                                 music_bytes // 1024))
            check('KB, the music %d KB of it' % (music_bytes // 1024) in made.stderr,
                  'the export says how much of the page the music is: %s' % made.stderr.strip())
            check(len(html) - music_bytes <= 150 * 1024,
                  'the page is the music plus %d KB (at most 150 KB)' % ((len(html) - music_bytes) // 1024))
            if music.endswith('.wav'):
                # A click track deflates: the page is far smaller than the WAV, and says so.
                wav = os.path.getsize(os.path.join(out_dir, music))
                check(music_bytes < wav // 10 and 'deflated from %d KB' % (wav // 1024) in made.stderr,
                      'the WAV deflated: %d of %d KB, %s' % (music_bytes // 1024, wav // 1024, made.stderr.strip()))

            browser.open('file://' + page)
            played = wait_for(lambda: browser.script(
                'return document.title.startsWith("kandu \\u2014 0:01") || document.title.startsWith("kandu - error");'), 60)
            check(played and not browser.script('return document.title.startsWith("kandu - error");'),
                  '%s plays from the disk offline: "%s" %s' % (os.path.basename(page), browser.script('return document.title;'),
                                                               browser.script('return document.getElementById("error").textContent;')))
            # Sound: a key asks for it; the music decodes from inside the file.
            browser.script('document.dispatchEvent(new KeyboardEvent("keydown", { key: "x" }));')
            sounding = wait_for(lambda: browser.script('return document.body.dataset.sound === "playing" || '
                                                       'document.getElementById("error").textContent;'), 30)
            check(sounding is True, 'its music decodes and plays: %s' % sounding)
            errors = [e for e in browser.console() if e['level'] == 'SEVERE']
            check(not errors, 'no console error: %s' % errors)

            # The picture at 2500 ms against kandu-player still.
            browser.open('file://' + page + '?at=2500')
            ready = browser.wait_title('kandu ready', 60)
            shot = os.path.join(out_dir, stem + '-2500.png')
            data = browser.script('return document.getElementById("picture").toDataURL("image/png");')
            with open(shot, 'wb') as f:
                f.write(base64.b64decode(data.split(',', 1)[1]))
            native = os.path.join(out_dir, 'native-2500.png')
            subprocess.run([player, 'still', timeline, '--at', '2500'] + plugin_option + ['--out', native], check=True,
                           capture_output=True)
            a, b = rgb(shot), rgb(native)
            mean = sum(abs(x - y) for x, y in zip(a, b)) / max(1, len(a)) if len(a) == len(b) else 999
            check(ready == 'kandu ready' and mean <= 1.0, 'its picture at 2500 ms is kandu-player still\'s (mean %.3f)' % mean)
    finally:
        browser.close()
    return 1 if failures_count() else 0


if __name__ == '__main__':
    sys.exit(main())
