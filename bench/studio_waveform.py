#!/usr/bin/env python3
"""The editor opened from kandu-player edit on ten minutes of music: the milliseconds from the
navigation to the first frame with the waveform drawn, and to the sound ready, in headless Chromium
(no native window). Needs build/ and build-web/ built; figures in the README.

    bench/studio_waveform.py [RUNS]
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), '..', 'tests', 'web'))
from browser import Browser, wait_for  # noqa: E402


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    root = os.path.join(os.path.dirname(__file__), '..')
    player, web = os.path.join(root, 'build', 'kandu-player'), os.path.join(root, 'build-web')
    with tempfile.TemporaryDirectory() as work:
        song = os.path.join(work, 'ten-minutes.flac')
        subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                        'aevalsrc=0.3*sin(2*PI*(200+t)*t)+0.05*(random(0)-0.5)|0.3*sin(2*PI*(300+t)*t):s=44100:d=600',
                        '-c:a', 'flac', song], check=True)
        timeline = os.path.join(work, 'song.timeline')
        with open(timeline, 'w') as f:
            f.write('tempo 128\nmusic ten-minutes.flac\n0 16b water_thing\n')
        env = dict(os.environ, DISPLAY='', WAYLAND_DISPLAY='')
        browser = Browser()
        try:
            for run in range(runs):
                studio = subprocess.Popen([player, 'edit', timeline, '--no-browser', '--page', web],
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env, text=True)
                address = studio.stdout.readline().strip()
                browser.open(address)
                drawn = wait_for(lambda: browser.script('return window.kanduEditor && kanduEditor.waveformAt();'), 60)
                sound = wait_for(lambda: browser.script('return kanduEditor.hasSound() && performance.now();'), 120)
                print('run %d: waveform drawn %.0f ms after the navigation, sound ready at %.0f ms' % (run + 1, drawn, sound))
                studio.terminate()
                studio.wait()
        finally:
            browser.close()


if __name__ == '__main__':
    main()
