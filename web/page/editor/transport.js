// Playing, pausing, seeking and the loop range: the module's transport moves the picture, the
// sound follows it, and the picture follows the sound while it plays.
import { revealScroll } from './layout.js';

export class Transport {
  constructor(ed) {
    this.ed = ed;
    this.scrubbing = false;
    this.last = 0;
  }

  position() { return this.ed.kandu.position(); }

  startSound() {
    const { sound, view } = this.ed;
    sound.stop();
    if (!view.playing) return;
    sound.loop = view.loop;
    sound.start(this.position());
  }

  setPlaying(playing) {
    const { kandu, sound, view, still } = this.ed;
    if (playing) sound.ensure();
    view.playing = playing;
    kandu.setPaused(!playing);
    still.hide();
    if (playing) this.startSound();
    else {
      sound.stop();
      still.request();
    }
    if (this.ed.studio) this.ed.studio.moved({ playing, positionMs: this.position() });
  }

  // Scrolls so that the playhead shows, when following it; true when it scrolled.
  reveal() {
    const { view, lanes, $ } = this.ed;
    const to = view.follow ? revealScroll(view, $('lanes').clientWidth) : null;
    if (to === null) return false;
    view.scrollMs = to;
    lanes.layout();
    lanes.draw();
    return true;
  }

  seek(ms) {
    const { kandu, view, lanes, still, doc } = this.ed;
    kandu.seek(Math.max(0, ms));
    view.playhead = this.position();
    if (!this.scrubbing) this.reveal();
    if (view.playing) this.startSound();
    else {
      kandu.frame(view.playhead);
      view.drawnRevision = doc.revision;
      still.request();
    }
    lanes.drawPlayhead();
    if (this.ed.studio) this.ed.studio.moved({ positionMs: view.playhead });
  }

  // A short piece of the music at the scrubbed place, so that scrubbing is heard.
  scrubSound(ms) {
    if (!this.ed.view.playing) this.ed.sound.blip(ms);
  }

  // [a, b) plays over and over; null (or a range under a millisecond) plays the whole timeline.
  setLoop(range) {
    const { kandu, view, lanes } = this.ed;
    view.loop = range && range[1] - range[0] >= 1 ? range : null;
    kandu.setLoop(view.loop);
    view.playhead = this.position();
    if (view.playing) this.startSound();
    lanes.draw();
    if (this.ed.studio) this.ed.studio.moved({ loop: view.loop, positionMs: view.playhead });
  }

  tick(now) {
    const { kandu, view, sound, doc, lanes, $ } = this.ed;
    const elapsed = now - (this.last || now);
    this.last = now;
    if (view.playing) {
      const wrapped = kandu.tick(sound.position(), elapsed);
      view.frames++;
      view.drawnRevision = doc.revision;
      if (wrapped && sound.playing() && !view.loop) this.startSound();
      view.playhead = this.position();
      if (!view.loop && view.playhead >= view.duration - 1) this.setPlaying(false);
      if (!this.reveal()) lanes.drawPlayhead();
    }
    $('status').textContent = (view.playing ? '▶ ' : '❚❚ ') + kandu.title() +
        (view.loop ? '  loop ' + this.ed.beatsText(view.loop[0]) + '–' + this.ed.beatsText(view.loop[1]) : '');
    requestAnimationFrame((t) => this.tick(t));
  }
}
