"""Headless Chromium driven through chromedriver's WebDriver protocol (plain HTTP, no client
library), a local server for a directory, and the pixels of a PNG: what the browser tests share."""
import functools
import http.server
import json
import socket
import subprocess
import threading
import time
import urllib.error
import urllib.request


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


class Quiet(http.server.SimpleHTTPRequestHandler):
    extensions_map = {**http.server.SimpleHTTPRequestHandler.extensions_map, '.wasm': 'application/wasm'}

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.requests.append(self.path)  # what the page fetched, for the tests to see
        super().do_GET()


def serve(directory):
    port = free_port()
    server = http.server.ThreadingHTTPServer(('127.0.0.1', port), functools.partial(Quiet, directory=directory))
    server.requests = []
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
        # A page works out a late moment (the water's 57 s, say) on its own thread before it answers
        # anything: on a busy machine that outlasts the driver's 30 s for a script, which then
        # reads as an error rather than the wait it is; the waits' own deadlines bound it instead.
        self.do('POST', '/timeouts', {'script': 300000})

    def call(self, method, path, body=None):
        data = json.dumps(body).encode() if body is not None else None
        request = urllib.request.Request('http://127.0.0.1:%d%s' % (self.port, path), data=data, method=method,
                                         headers={'Content-Type': 'application/json'})
        try:
            with urllib.request.urlopen(request, timeout=600) as response:
                return json.loads(response.read())['value']
        except urllib.error.HTTPError as e:  # the driver's own words, not only its status
            raise RuntimeError('%s %s: %s %s' % (method, path, e.code, e.read().decode(errors='replace')[:500])) from None

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


def rgb(path):
    """The pixels of a PNG as bytes of RGB, through ImageMagick."""
    return subprocess.run(['convert', path, '-depth', '8', 'rgb:-'], check=True, capture_output=True).stdout


def wait_for(condition, seconds, every=0.05):
    """Polls `condition` until it returns something true or `seconds` pass; its last value."""
    deadline = time.time() + seconds
    value = condition()
    while not value and time.time() < deadline:
        time.sleep(every)
        value = condition()
    return value
