#!/usr/bin/env python3
"""The page and the editor read a timeline file and ?at= exactly as kandu-player reads them, in
headless Chromium through WebDriver.

    reading_test.py WEB_DIR PLAYER PLUGIN

For each file the page's error (or the blocks it plays) is kandu-player check's; a file over the
size limit, up to 64 MiB, is refused with the player's message and nothing else is fetched, also
after a key asks for sound; ?at= accepts exactly what still --at accepts, with the same words;
the console stays clean. Exit status 0 when every check passes.
"""
import os
import subprocess
import sys
import urllib.parse

from browser import Browser, serve, wait_for

failures = 0
LIMIT = 1 << 20


def check(ok, what):
    global failures
    print('%s %s' % ('ok  ' if ok else 'FAIL', what))
    failures += not ok
    return ok


def player_says(player, args, cwd):
    """kandu-player's exit status and its one line, without its name."""
    done = subprocess.run([player] + args, capture_output=True, cwd=cwd)
    said = (done.stdout if done.returncode == 0 else done.stderr).decode('utf-8', 'replace').strip()
    return done.returncode, said[len('kandu-player: '):] if said.startswith('kandu-player: ') else said


def page_outcome(browser, base, query):
    """('error', message) or ('ok', the words playing at 500 ms), once the page has settled."""
    browser.open(base + 'index.html' + query)
    settled = wait_for(lambda: browser.script(
        'const e = document.getElementById("error").textContent;'
        'if (e) return ["error", e];'
        'if (document.title === "kandu ready" || /— [0-9]+:[0-9]/.test(document.title))'
        '  return ["ok", kandu.words(500)];'
        'return null;'), 120)
    return tuple(settled) if settled else ('timeout', browser.script('return document.title;'))


def main():
    web_dir, player, plugin = sys.argv[1:4]
    player, plugin = os.path.abspath(player), os.path.abspath(plugin)  # run from inside WEB_DIR
    checks = os.path.join(web_dir, 'reading-checks')
    os.makedirs(checks, exist_ok=True)

    def write(name, data):
        with open(os.path.join(checks, name), 'wb') as f:
            f.write(data)
        return 'reading-checks/' + name

    block = b'0 1000 morph\n'
    comment = b'# ' + b'x' * 97 + b'\n'

    def sized(size):
        body = block + comment * ((size - len(block)) // len(comment) + 1)
        return body[:size - 1] + b'\n'

    files = {
        'limit.timeline': sized(LIMIT),
        'over.timeline': sized(LIMIT + 1),
        'big.timeline': sized(LIMIT * 3 // 2),
        'bigger.timeline': sized(LIMIT * 2),
        'huge.timeline': sized(LIMIT * 64),
        'nul.timeline': b'0 1000 water\x00_thing\n',
        'nul-comment.timeline': b'# a \x00 in a comment\n0 1000 water_thing\n',
        'bom.timeline': b'\xef\xbb\xbf0 1000 water_thing\n',
        'bom-later.timeline': b'0 1000 morph\n\xef\xbb\xbf500 1000 water_thing\n',
        'invalid-utf8.timeline': b'# caf\xe9\n0 1000 cube_thing\n',
        'empty.timeline': b'',
    }
    server, base = serve(web_dir)
    browser = Browser()
    try:
        for name, data in files.items():
            path = write(name, data)
            status, said = player_says(player, ['check', path], web_dir)
            fetched = len(server.requests)
            outcome = page_outcome(browser, base, '?timeline=' + path)
            if status == 0:
                words = ' '.join(sorted({line.split()[2] for line in said.splitlines() if int(line.split()[0]) <= 500 < int(line.split()[1])}))
                player_reads = ('ok', words or '-')
            else:
                player_reads = ('error', said)
            check(outcome == player_reads, '%s (%d bytes): the page %s, kandu-player %s' % (name, len(data), outcome, player_reads))
            if outcome[0] == 'error':
                # Keys ask for sound: a timeline that was refused plays nothing and fetches nothing
                # (a fetch would be asked for before the key's handler returns).
                asked = browser.script('''
                    const asked = [], fetchBefore = window.fetch;
                    window.fetch = (url, ...rest) => { asked.push(String(url)); return fetchBefore(url, ...rest); };
                    for (const key of [' ', 'Home', 'ArrowRight'])
                      document.dispatchEvent(new KeyboardEvent('keydown', {key}));
                    document.dispatchEvent(new MouseEvent('click'));
                    window.fetch = fetchBefore;
                    return asked;''')
                ours = [r for r in server.requests[fetched:] if r.startswith('/reading-checks/')]
                check(not asked and ours == ['/' + path],
                      '%s: nothing fetched but the timeline, once: %s %s' % (name, asked, ours))

        # ?at= takes exactly what --at takes, and says the same when it does not.
        for at in ('', '1e3', '-1', '+5', ' 5', '0x10', '1.5', '2147483648', '99999999', '0', '1500', '000000001500',
                   'x' * 5000):
            status, said = player_says(player, ['still', '--at', at, '--size', '64x48', '--plugin', plugin, '--out',
                                                os.path.join(checks, 'still.png')], web_dir)
            outcome = page_outcome(browser, base, '?at=' + urllib.parse.quote(at))
            expected = ('ok', None) if status == 0 else ('error', said.replace('--at', '?at', 1))
            agrees = outcome[0] == expected[0] and (expected[1] is None or outcome[1] == expected[1])
            check(agrees, '?at=%s: the page %s, kandu-player still --at %s' % (at[:20], outcome[:2] if outcome[0] == 'ok'
                                                                              else outcome, expected))

        # The editor refuses the same sizes with the same words, and keeps a byte-order mark.
        browser.open(base + 'editor.html?timeline=reading-checks/big.timeline')
        shown = wait_for(lambda: browser.script('return document.getElementById("error").textContent;'), 60)
        check(shown == 'reading-checks/big.timeline: the timeline is larger than 1048576 bytes',
              'the editor on 1.5 MiB shows "%s"' % shown)
        browser.open(base + 'editor.html?timeline=reading-checks/bom.timeline')
        text = wait_for(lambda: browser.script('return window.kanduEditor && kanduEditor.blocks().length ? kanduEditor.text() : null;'), 60)
        check(text == '\ufeff0 1000 water_thing\n', 'the editor keeps the byte-order mark: %r' % text)
        saved = browser.script('return kanduEditor.bytes();')
        check(bytes(saved) == files['bom.timeline'], 'and saves the file\'s bytes: %r' % bytes(saved))

        errors = [e.get('message') for e in browser.console() if e.get('level') == 'SEVERE']
        check(not errors, 'the console holds no error: %s' % errors)
    finally:
        browser.close()
        server.shutdown()
    print('reading: %d failures' % failures)
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
