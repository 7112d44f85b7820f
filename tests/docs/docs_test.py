#!/usr/bin/env python3
"""The manual as a user reads it: every command it shows runs, or says it is an example.

    docs_test.py SOURCE_DIR BUILD_DIR

Every fenced block in README.md and docs/*.md says what it is by its language:
  sh      commands a user can type on a fresh machine: run here, from an empty folder holding a song
          (song.flac) and a timeline (demo.timeline), with kandu installed from BUILD_DIR into a
          temporary prefix on PATH; each block must exit 0. Blocks of one page run in order, in
          that page's folder.
  sh ci   commands CI runs itself: each must be a line of .ci/run.
  other   (text, ...) an example or an output, not run.
Where the build has no web pages (no Emscripten), blocks that export are skipped with one line.
Also: the README is under 150 lines; links between the pages lead to files that exist and
headings that exist; the block after <!-- kandu-player --help --> is the player's --help; the
manual page names every option --help names. Prints one line a check and 'N passed, N failed'.
"""
import glob
import gzip
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402

TIMELINE = ('music song.flac\ntempo 128\n0 8b water_thing\n8b 16b cube_thing\n8b 8.1b rotate every 1b until 16b\n'
            'mark 8b drop\n')


def blocks(text):
    """(language, body, line) of each fenced block, and the text before each."""
    found = []
    for match in re.finditer(r'^```([^\n]*)\n(.*?)^```$', text, re.M | re.S):
        found.append((match.group(1).strip(), match.group(2), text.count('\n', 0, match.start()) + 1,
                      text[:match.start()]))
    return found


def slug(heading):
    """A heading's anchor as the usual Markdown renderers make it."""
    heading = re.sub(r'[^\w\- ]', '', heading.strip().lower())
    return heading.replace(' ', '-')


def check_links(path, text, source):
    for target in re.findall(r'\]\(([^)\s]+)\)', text):
        if re.match(r'[a-z]+:', target):
            continue
        file, _, anchor = target.partition('#')
        full = os.path.normpath(os.path.join(os.path.dirname(path), file)) if file else path
        exists = os.path.exists(full)
        if exists and anchor and full.endswith('.md'):
            headings = [slug(h) for h in re.findall(r'^#+ (.*)$', open(full).read(), re.M)]
            exists = anchor in headings
        check(exists, '%s: the link %s leads somewhere' % (os.path.relpath(path, source), target))


def make_song(path):
    """30 s at 128 BPM: a quiet pulse for 15 s, then loud, bright hits on every beat."""
    subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                    'aevalsrc=(0.2+0.7*gt(t\\,15))*lt(mod(t-0.3\\,60/128)\\,0.01)*sin(2*PI*(200+3000*gt(t\\,15))*t)'
                    ':s=44100:d=30', '-ac', '2', path], check=True)


def main():
    source, build = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    scratch = tempfile.mkdtemp(prefix='kandu-docs-')
    try:
        prefix = os.path.join(scratch, 'prefix')
        subprocess.run(['cmake', '--install', build, '--prefix', prefix], check=True, capture_output=True)
        env = {k: v for k, v in os.environ.items() if k not in ('DISPLAY', 'WAYLAND_DISPLAY')}
        env['PATH'] = os.path.join(prefix, 'bin') + os.pathsep + env.get('PATH', '')
        song = os.path.join(scratch, 'song.flac')
        make_song(song)
        help_text = subprocess.run([os.path.join(prefix, 'bin', 'kandu-player'), '--help'], capture_output=True,
                                   text=True).stdout
        ci = open(os.path.join(source, '.ci', 'run')).read().split('\n')
        pages_installed = os.path.isfile(os.path.join(prefix, 'share', 'kandu', 'web', 'editor.html'))
        if not pages_installed:
            print('skip: the blocks that export, because this build has no web pages (no web build)')

        readme = os.path.join(source, 'README.md')
        pages = [readme] + sorted(glob.glob(os.path.join(source, 'docs', '*.md')))
        check(open(readme).read().count('\n') < 150, 'the README is under 150 lines')
        for path in pages:
            name = os.path.relpath(path, source)
            text = open(path).read()
            check_links(path, text, source)
            folder = os.path.join(scratch, name.replace('/', '-'))
            os.mkdir(folder)
            shutil.copy(song, folder)
            with open(os.path.join(folder, 'demo.timeline'), 'w') as f:
                f.write(TIMELINE)
            # scripts/ as written in the manual: this checkout's.
            os.symlink(os.path.join(source, 'scripts'), os.path.join(folder, 'scripts'))
            for language, body, line, before in blocks(text):
                where = '%s:%d' % (name, line)
                if not language:
                    check(False, '%s: a block says what it is (sh, sh ci, text...)' % where)
                elif language == 'sh ci':
                    for command in body.strip().split('\n'):
                        check(command.split('#')[0].strip() in ci, '%s: CI runs `%s` (.ci/run)' % (where, command))
                elif language == 'sh' and not pages_installed and re.search(r'kandu-player export', body):
                    continue
                elif language == 'sh':
                    done = subprocess.run(['bash', '-e', '-o', 'pipefail', '-c', body], cwd=folder, env=env,
                                          capture_output=True, text=True, timeout=600)
                    if not check(done.returncode == 0, '%s: runs (%d lines)' % (where, body.count('\n'))):
                        print((done.stdout + done.stderr)[-2000:])
                elif before.rstrip().endswith('<!-- kandu-player --help -->'):
                    check(body == help_text, '%s: the block is kandu-player --help as it prints it' % where)

        manual = gzip.open(os.path.join(prefix, 'share', 'man', 'man1', 'kandu-player.1.gz'), 'rt').read()
        manual = manual.replace('\\-', '-').replace('\\fB', '').replace('\\fR', '').replace('\\fI', '')
        options = sorted(set(re.findall(r'^  (--[a-z-]+)', help_text, re.M)))
        commands = re.search(r'usage: kandu-player \[([a-z|]+)\]', help_text).group(1).split('|')
        missing = [word for word in options + commands if word not in manual]
        check(len(options) > 10 and not missing,
              'the manual page names all %d options and %d commands of --help (missing: %s)' % (
                  len(options), len(commands), missing))
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    return finish()


if __name__ == '__main__':
    sys.exit(main())
