#!/usr/bin/env python3
"""scripts/render-parallel.sh against one render of the same range.

    render_parallel_test.py PLAYER

With --frames, three parts give the very files one render writes (frames and audio.wav), on the
built-in demo's water, whose picture depends on every frame drawn before. As a video, the joined
parts have every frame, and the click that starts a block is heard with that block's first frame.
Prints one line a check and 'N passed, N failed'; exit status 0 when all pass.
"""
import os
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'support'))
from checks import check, finish  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, '..', '..', 'scripts', 'render-parallel.sh')


def run(args, cwd):
    done = subprocess.run(args, cwd=cwd, capture_output=True, timeout=600)
    if done.returncode != 0:
        print(done.stdout.decode(errors='replace') + done.stderr.decode(errors='replace'))
    return done


def files(folder):
    return {name: open(os.path.join(folder, name), 'rb').read() for name in sorted(os.listdir(folder))}


def main():
    player = os.path.abspath(sys.argv[1])
    if not shutil.which('parallel') or not shutil.which('ffmpeg'):
        print('skip: render-parallel needs GNU parallel and ffmpeg, which this machine lacks')
        print('0 passed, 0 failed')
        return 0
    work = tempfile.mkdtemp(prefix='kandu-parallel-')
    try:
        demo = ['--size', '64x48', '--fps', '30', '--from', '1000', '--to', '2000']
        run([player, 'render'] + demo + ['--frames', 'one'], work)
        made = run([SCRIPT, '--player', player, '--jobs', '2', '--chunks', '3'] + demo + ['--frames', 'three'], work)
        check(made.returncode == 0, 'three parts of the built-in demo as PNG frames')
        one, three = files(os.path.join(work, 'one')), files(os.path.join(work, 'three'))
        check(len(one) == 31 and 'audio.wav' in one, 'one render: 30 frames and audio.wav (%d files)' % len(one))
        differing = [name for name in one if three.get(name) != one[name]]
        check(sorted(three) == sorted(one) and not differing,
              'the parts are the same files, byte for byte (differing: %s; extra: %s)' % (
                  differing[:5], sorted(set(three) - set(one))[:5]))
        check(not [n for n in os.listdir(work) if n.startswith('.')], 'nothing of the parts is left beside the target')

        # A click at 1000 ms starts the cube cross, whose centre turns white on its first frame.
        subprocess.run(['ffmpeg', '-v', 'error', '-y', '-f', 'lavfi', '-i',
                        'aevalsrc=0.8*between(t\\,1\\,1.004)*sin(2*PI*1000*t):s=48000:d=3', '-ac', '2',
                        os.path.join(work, 'click.wav')], check=True)
        with open(os.path.join(work, 't.timeline'), 'w') as f:
            f.write('music click.wav\n0 1000 morph\n1000 2000 cube_thing\n')
        made = run([SCRIPT, '--player', player, '--chunks', '3', 't.timeline', '--size', '64x48', '--fps', '30',
                    '--from', '500', '--to', '1500', '--out', 'v.mp4'], work)
        check(made.returncode == 0, 'three parts joined into a video')
        video = os.path.join(work, 'v.mp4')
        pcm = subprocess.run(['ffmpeg', '-v', 'error', '-i', video, '-map', '0:a', '-ac', '1', '-f', 's16le', '-'],
                             capture_output=True).stdout
        gray = subprocess.run(['ffmpeg', '-v', 'error', '-i', video, '-map', '0:v', '-f', 'rawvideo', '-pix_fmt',
                               'gray', '-'], capture_output=True).stdout
        frames = len(gray) // (64 * 48)
        check(frames == 30, 'the video has the range\'s 30 frames: %d' % frames)
        samples = [int.from_bytes(pcm[i:i + 2], 'little', signed=True) for i in range(0, len(pcm) - 1, 2)]
        heard = next((i for i, s in enumerate(samples) if abs(s) > 8000), -1)
        lit = next((k for k in range(frames) if gray[k * 64 * 48 + 24 * 64 + 32] > 200), -1)
        check(lit == 15, 'the cube cross shows first on frame 15 (500 ms at 30 fps): %d' % lit)
        check(heard >= 0 and abs(heard / 48000 - lit / 30) <= 1 / 30,
              'its click is heard within a frame of it: at %.4f s' % (heard / 48000))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return finish()


if __name__ == '__main__':
    sys.exit(main())
