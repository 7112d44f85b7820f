// The page plays the intro like kandu-player: Space pauses, Left/Right seek 5 s, Home restarts,
// F toggles full screen. ?at=MS draws the still at MS (as kandu-player still --at MS) and sets the
// title to "kandu ready"; ?timeline=URL plays another timeline file.
import { Sound, musicUrl, startIntro } from './stage.js';

const params = new URLSearchParams(location.search);
const stillWanted = params.has('at');
const statusLine = document.getElementById('status');
if (stillWanted) document.body.classList.add('still');

function fail(message) {
  document.getElementById('error').textContent = message;
  statusLine.textContent = '';
  document.title = 'kandu — error';
}

async function start() {
  // A demo exported as one file names its own timeline (kandu-player export).
  const timelineUrl = params.get('timeline') || globalThis.kanduDefaultTimeline || null;
  const { kandu } = await startIntro(document.getElementById('picture'), timelineUrl,
                                     { print: (text) => console.log(text) });
  window.kandu = kandu;  // for tests and the console
  if (stillWanted) {
    kandu.still(kandu.stillAt(params.get('at')));  // ?at= takes what kandu-player's --at takes
    document.title = 'kandu ready';
    return;
  }
  play(kandu, timelineUrl);
}

// Play: the picture follows the sound once it plays (browsers start sound only after a key or a
// click); until then, and without sound, the page's clock. The keys and the clock go to the same
// transport kandu-player's window drives.
function play(kandu, timelineUrl) {
  let last = performance.now();
  const sound = new Sound();

  async function loadSound() {
    const music = kandu.music();
    sound.ensure();
    // Only music a timeline names is fetched, next to that timeline.
    if (music && timelineUrl) {
      const response = await fetch(musicUrl(music, timelineUrl));
      if (!response.ok) throw new Error(music + ': ' + response.status + ' ' + response.statusText);
      await sound.decode(await response.arrayBuffer());
    } else {
      sound.useBeat(kandu);
    }
  }
  function startSound() {
    if (kandu.paused() || !sound.buffer) return sound.stop();
    sound.start(kandu.position());
    document.body.dataset.sound = 'playing';
  }
  let soundRequested = false;
  function wantSound() {
    if (soundRequested) return;
    soundRequested = true;
    // Music that cannot be fetched or decoded is said on the page; the picture plays on silently.
    loadSound().then(() => sound.context.resume()).then(startSound).catch((e) => {
      document.getElementById('error').textContent = 'no sound: ' + e;
    });
  }

  const transportKeys = { ' ': 'space', 'ArrowLeft': 'left', 'ArrowRight': 'right', 'Home': 'home' };
  document.addEventListener('keydown', (event) => {
    wantSound();
    if (event.key in transportKeys) {
      const jumped = kandu.key(transportKeys[event.key]);
      if (kandu.paused()) sound.stop(); else if (jumped || !sound.playing()) startSound();
    } else if (event.key === 'f' || event.key === 'F') {
      if (document.fullscreenElement) document.exitFullscreen(); else document.documentElement.requestFullscreen();
    } else {
      return;
    }
    event.preventDefault();
  });
  document.addEventListener('click', () => {
    wantSound();
    // A demo exported as one file goes full screen on a click, as a demo is shown.
    if (globalThis.kanduDefaultTimeline && !document.fullscreenElement && document.documentElement.requestFullscreen)
      document.documentElement.requestFullscreen().catch(() => {});
  });

  function frame(now) {
    if (kandu.tick(sound.position(), now - last)) startSound();  // wrapped to the start
    last = now;
    const title = 'kandu — ' + kandu.title();
    statusLine.textContent = title + (soundRequested ? '' : '   (press a key or click for sound)');
    document.title = title;
    requestAnimationFrame(frame);
  }
  requestAnimationFrame(frame);
}

start().catch((e) => fail(String(e.message || e)));
