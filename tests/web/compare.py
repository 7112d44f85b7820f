#!/usr/bin/env python3
"""The web page against kandu-player: for each drawing effect of the built-in demo (the contact
sheet's moments) the page's ?at= picture in headless Chromium is compared with `kandu-player still
--at` of the same moment at the same size, and the browser's console must hold no error.

    compare.py WEB_DIR PLAYER PLUGIN OUT_DIR

Drives Chromium through chromedriver's WebDriver protocol (HTTP); serves WEB_DIR on 127.0.0.1.
Exit status 0 when every moment's mean channel difference is at most 1.0 and the console is clean.
"""
import base64
import functools
import http.server
import json
import os
import re
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request
import wave

LIMIT = 1.0


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Quiet(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, '.wasm': 'application/wasm'}

    def log_message(self, *args):
        pass


def serve(directory):
    port = free_port()
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), functools.partial(Quiet, directory=directory))
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, 'http://127.0.0.1:%d/' % port


class Browser:
    def __init__(self):
        self.port = free_port()
        self.driver = subprocess.Popen(['chromedriver', '--port=%d' % self.port], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        for _ in range(100):
            try:
                self.call('GET', '/status')
                break
            except OSError:
                time.sleep(0.1)
        options = {'binary': '/usr/bin/chromium',
                   'args': ['--headless=new', '--no-sandbox', '--disable-dev-shm-usage', '--disable-gpu-sandbox',
                            '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1280,1024',
                            '--hide-scrollbars', '--force-device-scale-factor=1',
                            '--autoplay-policy=no-user-gesture-required']}
        caps = {'capabilities': {'alwaysMatch': {'browserName': 'chrome', 'goog:chromeOptions': options,
                                                 'goog:loggingPrefs': {'browser': 'ALL'}}}}
        self.session = self.call('POST', '/session', caps)['sessionId']

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request('http://127.0.0.1:%d%s' % (self.port, path), data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        with urllib.request.urlopen(request, timeout=600) as response:
            return json.loads(response.read())['value']

    def do(self, method, path, body=None):
        return self.call(method, '/session/%s%s' % (self.session, path), body)

    def script(self, code, *args):
        return self.do('POST', '/execute/sync', {'script': code, 'args': list(args)})

    def open(self, url):
        self.do('POST', '/url', {'url': url})

    def wait_title(self, wanted, seconds):
        deadline = time.time() + seconds
        while time.time() < deadline:
            title = self.script('return document.title;')
            if title == wanted or title.startswith('kandu — error'):
                return title
            time.sleep(0.2)
        return self.script('return document.title;')

    def console(self):
        return self.do('POST', '/se/log', {'type': 'browser'})

    def close(self):
        try:
            self.do('DELETE', '')
        finally:
            self.driver.terminate()
            self.driver.wait()


FRAME_RATE = """
const at = arguments[0], gl = document.getElementById('picture').getContext('webgl');
const pixel = new Uint8Array(4);
const start = performance.now();
for (let i = 0; i < 60; ++i) {
  Module._kandu_web_frame(at + i * 1000 / 60);
  gl.readPixels(0, 0, 1, 1, gl.RGBA, gl.UNSIGNED_BYTE, pixel);
}
return 60000 / (performance.now() - start);
"""


def words(browser, moment):
    return browser.script('return Module.ccall("kandu_web_words", "string", ["number"], [arguments[0]]);', int(moment))


def check_play(browser, base, web_dir):
    """Play runs on its clock and shows the time and words; a bad timeline shows FILE:LINE."""
    failures = 0
    os.makedirs(os.path.join(web_dir, 'checks'), exist_ok=True)
    with open(os.path.join(web_dir, 'checks', 'good.timeline'), 'w') as f:
        f.write('0 60000 morph\n')
    with open(os.path.join(web_dir, 'checks', 'bad.timeline'), 'w') as f:
        f.write('0 1000 morph\n500 100 cube_thing\n')
    browser.open(base + 'index.html?timeline=checks/good.timeline')
    time.sleep(2)
    title = browser.script('return document.title;')
    ok = re.fullmatch(r'kandu — 0:0[0-9]\.[0-9]{3} — morph', title) is not None and not title.startswith('kandu — 0:00.000')
    print('%s play: the title reads "%s"' % ('ok  ' if ok else 'FAIL', title))
    failures += not ok
    browser.open(base + 'index.html?timeline=checks/bad.timeline')
    time.sleep(1)
    shown = browser.script('return document.getElementById("error").textContent;')
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
        with open(os.path.join(web_dir, 'checks', 'music.timeline'), 'w') as f:
            f.write('music %s\n0 60000 morph\n' % music)
        browser.open(base + 'index.html?timeline=checks/music.timeline')
        time.sleep(1)
        browser.script('document.dispatchEvent(new KeyboardEvent("keydown", {key: "Home"}));')
        time.sleep(1.5)
        shown = browser.script('return document.getElementById("error").textContent;')
        title = browser.script('return document.title;')
        ok = shown.startswith(wanted) and (wanted or not shown) and 'morph' in title
        print('%s music %s: the page shows "%s", the title "%s"' % ('ok  ' if ok else 'FAIL', music, shown, title))
        failures += not ok
    return failures


def rgb(path):
    """The pixels of a PNG as bytes of RGB, through ImageMagick."""
    return subprocess.run(['convert', path, '-depth', '8', 'rgb:-'], check=True, capture_output=True).stdout


def main():
    web_dir, player, plugin, out_dir = sys.argv[1:5]
    os.makedirs(out_dir, exist_ok=True)
    server, base = serve(web_dir)
    browser = Browser()
    failures = 0
    try:
        browser.open(base + 'index.html?at=0')
        browser.wait_title('kandu ready', 60)
        moments = browser.script('return Module.ccall("kandu_web_moments", "string", [], []);').split()
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
