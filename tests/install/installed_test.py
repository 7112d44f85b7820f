#!/usr/bin/env python3
"""kandu as a user has it: installed, run from an empty folder elsewhere, given neither --plugin nor --page.

    installed_test.py --build BUILD_DIR --version VERSION   install BUILD_DIR into a temporary prefix first
    installed_test.py --player PATH --version VERSION       an installed kandu-player (the Debian package's)

Runs --version, render (a second of the built-in demo), still, check, tempo and new on a click track,
export, and edit --no-browser (its address answers); checks the installed files where a prefix was
made, and that a player copied where nothing of kandu lies says where it looked. Prints one line a
check and 'N passed, N failed'; exit status 0 when all pass. Without the web build, export and edit
are skipped with one line.
"""
import argparse
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402


def run(args, cwd, **kw):
    env = dict(os.environ)
    for name in ('DISPLAY', 'WAYLAND_DISPLAY'):
        env.pop(name, None)
    return subprocess.run(args, cwd=cwd, env=env, capture_output=True, text=True, timeout=600, **kw)


def studio_answers(player, timeline, cwd):
    """edit --no-browser: the first line is the address; the protocol and the editor's page answer."""
    env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY')}
    edit = subprocess.Popen([player, 'edit', timeline, '--no-browser'], cwd=cwd, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        address = edit.stdout.readline().strip()
        match = re.fullmatch(r'http://127\.0\.0\.1:(\d+)/\?key=([0-9a-f]+)', address)
        if not check(match is not None, 'edit prints its address first: %r %s' % (
                address, '' if address else edit.stderr.read().strip())):
            return
        base, key = 'http://127.0.0.1:%s' % match.group(1), match.group(2)
        request = urllib.request.Request(base + '/api/studio', headers={'X-Kandu-Key': key})
        with urllib.request.urlopen(request, timeout=30) as answer:
            studio = json.load(answer)
        check(studio.get('protocol') == 1, 'the studio answers at its address: %s' % studio)
        with urllib.request.urlopen(base + '/editor.html?key=' + key, timeout=30) as answer:
            check(b'<html' in answer.read().lower(), 'the studio serves the installed editor')
        # The editor's modules and the module's WebAssembly are installed with it.
        for page in ('editor/main.js', 'module.js', 'kandu-editor.wasm', 'kandu-editor.js'):
            with urllib.request.urlopen(base + '/' + page + '?key=' + key, timeout=30) as answer:
                check(len(answer.read()) > 1000, 'the studio serves the installed ' + page)
    finally:
        edit.send_signal(signal.SIGTERM)
        try:
            status = edit.wait(timeout=30)
        except subprocess.TimeoutExpired:
            edit.kill()
            status = edit.wait()
        check(status == 128 + signal.SIGTERM or status == -signal.SIGTERM, 'edit ends on SIGTERM (%d)' % status)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--build')
    parser.add_argument('--player')
    parser.add_argument('--version', required=True)
    options = parser.parse_args()
    scratch = tempfile.mkdtemp(prefix='kandu-installed-')
    try:
        prefix = None
        player = options.player
        if options.build:
            prefix = os.path.join(scratch, 'prefix with space')
            installed = subprocess.run(['cmake', '--install', options.build, '--prefix', prefix],
                                       capture_output=True, text=True)
            if not check(installed.returncode == 0, 'cmake --install into a temporary prefix'):
                print(installed.stdout + installed.stderr)
                return 1
            player = os.path.join(prefix, 'bin', 'kandu-player')
            for path in ('bin/kandu-player', 'lib/kandu/libkandu.so', 'share/man/man1/kandu-player.1.gz',
                         'share/doc/kandu/LICENSE', 'share/doc/kandu/README.md'):
                check(os.path.isfile(os.path.join(prefix, path)), 'installed: PREFIX/' + path)
        pages = prefix is None or os.path.isfile(os.path.join(prefix, 'share/kandu/web/editor.html'))
        if prefix and not pages:
            print('skip: export and edit, because the install has no web pages (no web build: '
                  'scripts/web-demo.sh --build-only makes it)')

        work = os.path.join(scratch, 'empty folder')
        os.mkdir(work)
        version = run([player, '--version'], work)
        check(version.stdout == 'kandu-player %s\n' % options.version,
              '--version says the project version %s: %r' % (options.version, version.stdout))
        render = run([player, 'render', '--to', '1000', '--size', '128x96', '--out', 'demo.mp4'], work)
        check(render.returncode == 0 and os.path.getsize(os.path.join(work, 'demo.mp4')) > 1000,
              'render: a second of the built-in demo %s' % render.stderr.strip()[-200:])
        still = run([player, 'still', '--at', '500', '--size', '128x96', '--out', 'still.png'], work)
        with open(os.path.join(work, 'still.png'), 'rb') if still.returncode == 0 else open(os.devnull, 'rb') as f:
            check(f.read(8) == b'\x89PNG\r\n\x1a\n', 'still: a PNG %s' % still.stderr.strip()[-200:])
        blocks = run([player, 'check'], work)
        check(blocks.returncode == 0 and blocks.stdout.startswith('0 9000 water_thing\n'),
              'check: the built-in demo\'s blocks, first "0 9000 water_thing"')

        # Six seconds of clicks at 128 BPM from 300 ms.
        subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                        'aevalsrc=0.8*lt(mod(t-0.3\\,60/128)\\,0.004)*sin(2*PI*1000*t):s=44100:d=6', '-ac', '2',
                        os.path.join(work, 'chanson été.flac')], check=True)
        tempo = run([player, 'tempo', 'chanson été.flac'], work)
        found = re.match(r'tempo (\d+\.\d\d) (\d+)\n', tempo.stdout)
        check(found is not None and abs(float(found.group(1)) - 128) < 1.3 and abs(int(found.group(2)) - 300) < 20,
              'tempo: 128 BPM from 300 ms: %r' % tempo.stdout)
        new = run([player, 'new', 'chanson été.flac'], work)
        timeline = os.path.join(work, 'chanson été.timeline')
        text = open(timeline, encoding='utf-8').read() if os.path.isfile(timeline) else ''
        check(new.returncode == 0 and 'music chanson été.flac' in text and re.search(r'^tempo 12[78]\.', text, re.M),
              'new: a timeline with its music and tempo: %r %s' % (text, new.stderr.strip()))
        with open(timeline, 'a', encoding='utf-8') as f:
            f.write('0 2000 cube_thing\n')
        named = run([player, 'check', 'chanson été.timeline'], work)
        check(named.returncode == 0 and named.stdout == '0 2000 cube_thing\n', 'check takes a name in UTF-8: %r' % named.stdout)
        video = run([player, 'render', 'chanson été.timeline', '--to', '500', '--size', '64x48', '--out', 'vidéo & co.mp4'],
                    work)
        check(video.returncode == 0 and os.path.getsize(os.path.join(work, 'vidéo & co.mp4')) > 1000 and
              'vidéo & co.mp4' in video.stderr, 'render to a name in UTF-8, shown as it is: %s' % video.stderr.strip()[-120:])
        if pages:
            export = run([player, 'export', 'chanson été.timeline', '-o', 'demo.html'], work)
            page = os.path.join(work, 'demo.html')
            content = open(page, 'rb').read() if os.path.isfile(page) else b''
            check(export.returncode == 0 and content.lstrip().lower().startswith(b'<!doctype html') and
                  len(content) > 100000, 'export: one HTML file (%d bytes) %s' % (len(content), export.stderr.strip()))
            studio_answers(player, 'chanson été.timeline', work)

        # A player with nothing of kandu around it says where it looked and what to give.
        lonely = os.path.join(scratch, 'lonely')
        os.mkdir(lonely)
        shutil.copy(player, lonely)
        alone = run([os.path.join(lonely, 'kandu-player'), 'still', '--at', '0', '--out', 'x.png'], work)
        check(alone.returncode == 2 and alone.stderr == (
            'kandu-player: cannot find the plug-in (looked at %s/libkandu.so, %s/../lib/kandu/libkandu.so); '
            'give --plugin PATH\n' % (lonely, lonely)), 'alone, it says where it looked: %r' % alone.stderr)
        alone = run([os.path.join(lonely, 'kandu-player'), 'export', 'chanson été.timeline'], work)
        check(alone.returncode == 2 and '(looked at %s/web, %s/../build-web, %s/../share/kandu/web); give --page DIR'
              % (lonely, lonely, lonely) in alone.stderr, 'and where it looked for its pages: %r' % alone.stderr)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return finish()


if __name__ == '__main__':
    sys.exit(main())
