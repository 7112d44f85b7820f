#!/usr/bin/env python3
"""kandu-player edit in headless Chromium, with the native window on Xvfb.

    studio_test.py WEB_DIR PLAYER PLUGIN OUT_DIR

Starts the studio on a timeline whose music is AIFF (which Chromium does not decode) and checks:
the page opens from the printed address and its music plays decoded by the studio, with a click
where the file has it; an edit in the page is drawn by the window within two of its frames (the
studio's status address says so), and the window's picture then equals kandu-player still of the
page's text; a seek in the window moves the page's playhead; Ctrl+S writes the page's bytes; the
console stays clean. Exit status 0 when every check passes.
"""
import json
import os
import shutil
import subprocess
import sys
import time
import urllib.request

from browser import Browser, rgb, wait_for

failures = 0


def check(ok, what):
    global failures
    print('%s %s' % ('ok  ' if ok else 'FAIL', what))
    failures += not ok
    return ok


def start_xvfb():
    read, write = os.pipe()
    xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-noreset', '-screen', '0', '1280x1024x24',
                             '-nolisten', 'tcp'], pass_fds=(write,), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    os.close(write)
    number = b''
    while not number.endswith(b'\n'):
        c = os.read(read, 1)
        if not c:
            break
        number += c
    os.close(read)
    return xvfb, ':' + number.decode().strip()


def status(base, key):
    request = urllib.request.Request(base + 'api/status', headers={'X-Kandu-Key': key})
    with urllib.request.urlopen(request, timeout=10) as response:
        return json.loads(response.read())


def mean_difference(a, b):
    return sum(abs(x - y) for x, y in zip(a, b)) / max(1, len(a))


def main():
    web, player, plugin, out = sys.argv[1:5]
    shutil.rmtree(out, ignore_errors=True)
    os.makedirs(out)
    # Ten seconds of quiet tone with a click at 2,500 ms, as AIFF: Chromium plays no AIFF.
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                    'aevalsrc=0.05*sin(2*PI*220*t)+0.9*between(t\\,2.5\\,2.5005):s=44100:d=10',
                    '-ac', '2', os.path.join(out, 'song.aiff')], check=True)
    text = 'tempo 120\nmusic song.aiff\n0 8b water_thing\n8b 20b cube_thing\n'
    timeline = os.path.join(out, 'demo.timeline')
    with open(timeline, 'w') as f:
        f.write(text)

    xvfb, display = start_xvfb()
    env = dict(os.environ, DISPLAY=display, SDL_AUDIODRIVER='dummy')
    env.pop('WAYLAND_DISPLAY', None)
    studio = subprocess.Popen([player, 'edit', timeline, '--no-browser', '--size', '320x240', '--plugin', plugin,
                               '--page', web], stdout=subprocess.PIPE, stderr=open(os.path.join(out, 'studio.log'), 'w'),
                              env=env, text=True)
    browser = None
    try:
        address = studio.stdout.readline().strip()
        check(address.startswith('http://127.0.0.1:') and '/?key=' in address, 'the first line is the address: ' + address)
        base, key = address.split('?key=')[0], address.split('?key=')[1]
        browser = Browser()
        started = time.time()
        browser.open(address)
        ready = wait_for(lambda: browser.script('return !!(window.kanduEditor && kanduEditor.hasMusic());'), 60)
        waveform_s = time.time() - started
        check(ready, 'the page opened from the address and drew the waveform from the studio (%.2f s)' % waveform_s)
        check('key=' not in browser.script('return location.href;'), 'the secret is not in the address bar')
        check(browser.script('return kanduEditor.text();') == text, 'the page holds the file\'s text')
        check(wait_for(lambda: browser.script('return kanduEditor.hasSound();'), 30), 'the AIFF plays in the page')
        click = browser.script('return kanduEditor.loudestMs();')
        check(abs(click - 2500) <= 1000 / 30, 'the click in the page\'s sound at %.1f ms (2500 ± one frame at 30 fps)' % click)
        check(wait_for(lambda: status(base, key)['window']['open'], 30), 'the native window is open')

        # An edit in the page: drawn by the window within two of its frames.
        edited = 'tempo 120\nmusic song.aiff\n0 8b morph\n8b 20b cube_thing\n'
        browser.script('kanduEditor.setText(arguments[0]);', edited)
        revision = wait_for(lambda: browser.script('return kanduEditor.studioRevision();'), 10)
        drawn = wait_for(lambda: status(base, key)['window']['revision'] == revision, 10)
        w = status(base, key)['window']
        check(drawn and 1 <= w['framesToDraw'] <= 2,
              'the window drew the edit %s frame(s) after it arrived (%.0f fps)' % (w['framesToDraw'], w['fps']))
        check(browser.script('return kanduEditor.text();') == edited and open(timeline).read() == text,
              'the edit is drawn, not written to the file')

        # The window's picture at a moment the page sought: kandu-player still of the page's text.
        browser.script('kanduEditor.seek(1500);')
        check(wait_for(lambda: abs(status(base, key)['window']['positionMs'] - 1500) < 1, 10),
              'the page\'s seek moves the window (%.1f ms)' % status(base, key)['window']['positionMs'])
        page_text = os.path.join(out, 'page.timeline')
        with open(page_text, 'w') as f:
            f.write(browser.script('return kanduEditor.text();'))
        still = os.path.join(out, 'still.png')
        subprocess.run([player, 'still', page_text, '--at', '1500', '--size', '320x240', '--plugin', plugin,
                        '--out', still], check=True, capture_output=True)
        window_id = subprocess.run(['xdotool', 'search', '--name', '^kandu studio'], env=env, capture_output=True,
                                   text=True).stdout.split()
        native = os.path.join(out, 'native.png')
        # Two frames on from the seek, its picture is on the screen.
        seen = status(base, key)['window']['frames']
        wait_for(lambda: status(base, key)['window']['frames'] >= seen + 2, 10)
        subprocess.run(['import', '-display', display, '-window', window_id[0], native], check=True, env=env)
        difference = mean_difference(rgb(native), rgb(still))
        check(difference <= 1.0, 'the native picture equals kandu-player still of the page\'s text (mean %.2f)' % difference)

        # A seek in the window moves the page's playhead.
        subprocess.run(['xdotool', 'key', '--window', window_id[0], 'Right'], env=env, check=True)
        moved = wait_for(lambda: abs(browser.script('return kanduEditor.playheadMs();') - 6500) < 1, 10)
        check(moved, 'Right in the window moves the page\'s playhead to %.0f ms (6500)' %
              browser.script('return kanduEditor.playheadMs();'))

        # Ctrl+S in the page: the file holds the page's bytes.
        saved = browser.script('return kanduEditor.save();')
        check(saved and wait_for(lambda: open(timeline).read() == edited, 10), 'saving writes the page\'s text')
        errors = browser.script('return window.kanduErrors;')
        severe = [e for e in browser.console() if e['level'] == 'SEVERE']
        check(not errors and not severe, 'the console is clean: %s %s' % (errors, severe))
    finally:
        if browser:
            browser.close()
        studio.terminate()
        studio.wait(20)
        xvfb.terminate()
        xvfb.wait()
    print('studio log:', open(os.path.join(out, 'studio.log')).read().strip() or '(empty)')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
