// The web side in Firefox (Debian's ESR, driven over WebDriver BiDi by puppeteer-core, under Xvfb:
// headless Firefox opens no WebGL context here). The player's page at moments of the built-in demo
// against kandu-player still; an exported demo opened from file:// (it plays, its music decodes
// and starts on a key, its picture equals still); the editor through the studio: opened, a block
// dragged on the grid, undone, dragged again and saved to the disk.
//
//   node firefox_test.mjs WEB_DIR PLAYER PLUGIN OUT_DIR
//
// Prints one line a check and 'N passed, N failed'; exit status 0 when all pass.
import { spawn, spawnSync } from 'node:child_process';
import { readFileSync, writeFileSync, mkdirSync, existsSync } from 'node:fs';
import { createServer } from 'node:http';
import { join, resolve, extname } from 'node:path';
import puppeteer from 'puppeteer-core';

const [webDir, player, plugin, outDir] = process.argv.slice(2).map((p) => resolve(p));
mkdirSync(outDir, { recursive: true });
let passed = 0, failed = 0;
const check = (ok, what) => { ok ? ++passed : ++failed; console.log((ok ? 'ok   ' : 'FAIL ') + what); return ok; };
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
async function waitFor(condition, seconds) {
  const until = Date.now() + seconds * 1000;
  for (;;) {
    const value = await condition().catch(() => false);
    if (value || Date.now() > until) return value;
    await sleep(100);
  }
}
const run = (args, env = process.env) => spawnSync(player, args, { encoding: 'utf8', env });

// The pages, served on 127.0.0.1.
const types = { '.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css', '.png': 'image/png', '.timeline': 'text/plain' };
const server = createServer((req, res) => {
  const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
  const file = join(webDir, path);
  if (path.includes('..') || !existsSync(file)) { res.writeHead(404); return res.end(); }
  res.writeHead(200, { 'Content-Type': types[extname(file)] || 'application/octet-stream' });
  res.end(readFileSync(file));
});
await new Promise((r) => server.listen(0, '127.0.0.1', r));
const base = 'http://127.0.0.1:' + server.address().port + '/';

// The mean channel difference between the page's canvas and the PNG file `png`, worked out in the
// page on a 2D canvas (the PNG goes in as a data: address, which a page from file:// may read).
const difference = (page, png) => page.evaluate(async (url) => {
  const load = (src) => new Promise((ok, no) => { const i = new Image(); i.onload = () => ok(i); i.onerror = no; i.src = src; });
  const shown = await load(document.getElementById('picture').toDataURL('image/png')), native = await load(url);
  const pixels = (image) => {
    const c = document.createElement('canvas');
    c.width = image.width; c.height = image.height;
    const g = c.getContext('2d');
    g.drawImage(image, 0, 0);
    return g.getImageData(0, 0, c.width, c.height).data;
  };
  const a = pixels(shown), b = pixels(native);
  if (a.length !== b.length) return 999;
  let sum = 0, n = 0;
  for (let i = 0; i < a.length; i += 4) for (let k = 0; k < 3; ++k, ++n) sum += Math.abs(a[i + k] - b[i + k]);
  return sum / n;
}, 'data:image/png;base64,' + readFileSync(png).toString('base64'));

const browser = await puppeteer.launch({ browser: 'firefox', executablePath: process.env.KANDU_FIREFOX || '/usr/bin/firefox-esr',
                                         headless: false, extraPrefsFirefox: { 'webgl.force-enabled': true } });
const errors = [];
try {
  const page = await browser.newPage();
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });

  // The player's page: its picture at moments of each kind of effect, as still draws them.
  for (const at of [4500, 14000, 31000]) {
    const native = join(outDir, 'native-' + at + '.png');
    run(['still', '--at', String(at), '--plugin', plugin, '--out', native]);
    await page.goto(base + 'index.html?at=' + at);
    const ready = await waitFor(() => page.evaluate(() => document.title === 'kandu ready'), 60);
    const mean = ready ? await difference(page, native) : 999;
    check(ready && mean <= 1.0, 'the player page at ' + at + ' ms is kandu-player still\'s (mean channel difference ' + mean.toFixed(3) + ')');
  }

  // An exported demo from the disk: it plays, its music decodes and starts on a key, and its
  // picture at 2500 ms is still's.
  spawnSync('ffmpeg', ['-v', 'error', '-y', '-f', 'lavfi', '-i', 'aevalsrc=0.2*sin(2*PI*220*t)+0.8*between(mod(t\\,0.5)\\,0\\,0.003):s=44100:d=8',
                       '-ac', '2', join(outDir, 'chanson été.wav')]);
  const timeline = join(outDir, 'export.timeline');
  writeFileSync(timeline, 'tempo 120\nmusic chanson été.wav\n0 8b water_thing\n8b 16b morph\n');
  const exported = run(['export', timeline, '-o', join(outDir, 'export.html'), '--page', webDir]);
  check(exported.status === 0, 'export: ' + exported.stderr.trim());
  await page.goto('file://' + join(outDir, 'export.html'));
  const played = await waitFor(() => page.evaluate(() => document.title.startsWith('kandu \u2014 0:01') || document.title.startsWith('kandu - error')), 60);
  check(played && !(await page.title()).startsWith('kandu - error'), 'the export plays from file:// in Firefox: "' + await page.title() + '"');
  await page.keyboard.press('x');
  const sounding = await waitFor(() => page.evaluate(() => document.body.dataset.sound === 'playing' || document.getElementById('error').textContent), 30);
  check(sounding === true, 'its music decodes and plays: ' + sounding);
  const nativeExport = join(outDir, 'native-export.png');
  run(['still', timeline, '--at', '2500', '--plugin', plugin, '--out', nativeExport]);
  await page.goto('file://' + join(outDir, 'export.html') + '?at=2500');
  const exportReady = await waitFor(() => page.evaluate(() => document.title === 'kandu ready'), 60);
  const exportMean = exportReady ? await difference(page, nativeExport) : 999;
  check(exportReady && exportMean <= 1.0, 'its picture at 2500 ms is kandu-player still\'s (mean ' + exportMean.toFixed(3) + ')');

  // The editor through the studio: a drag of 3.4 grid steps moves the block 3, undo gives the text
  // back, and Ctrl+S writes the page's text to the disk.
  const song = join(outDir, 'studio.timeline');
  writeFileSync(song, 'tempo 120\n0 8b water_thing\n8b 16b cube_thing\n');
  const env = { ...process.env };
  delete env.DISPLAY;
  const studio = spawn(player, ['edit', song, '--no-browser', '--page', webDir], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  try {
    const address = await new Promise((ok) => studio.stdout.once('data', (d) => ok(String(d).split('\n')[0])));
    await page.goto(address);
    const open = await waitFor(() => page.evaluate(() => !!(window.kanduEditor && kanduEditor.blocks().length === 2)), 60);
    check(open, 'the editor opens through the studio in Firefox');
    const before = await page.evaluate(() => kanduEditor.text());
    const drag = async (steps) => {
      const [x, y, w, h, step] = await page.evaluate(() => {
        const r = document.querySelector('.block[data-line="3"]').getBoundingClientRect();
        return [r.left, r.top, r.width, r.height, kanduEditor.view.pxPerMs * 125];
      });
      await page.mouse.move(x + w / 2, y + h / 2);
      await page.mouse.down();
      await page.mouse.move(x + w / 2 + steps * step / 2, y + h / 2, { steps: 4 });
      await page.mouse.move(x + w / 2 + steps * step, y + h / 2, { steps: 4 });
      await page.mouse.up();
    };
    await drag(3.4);
    const dragged = await page.evaluate(() => kanduEditor.text());
    check(dragged === 'tempo 120\n0 8b water_thing\n8.75b 16.75b cube_thing\n', 'a drag of 3.4 grid steps moves the block 3: ' + JSON.stringify(dragged));
    await page.evaluate(() => kanduEditor.undo());
    check(await page.evaluate(() => kanduEditor.text()) === before, 'undo gives the text back');
    await drag(3.4);
    await page.evaluate(() => kanduEditor.save());
    const saved = await waitFor(async () => readFileSync(song, 'utf8') === dragged, 10);
    check(saved, 'saving through the studio writes the page\'s text: ' + JSON.stringify(readFileSync(song, 'utf8')));
  } finally {
    studio.kill('SIGTERM');
  }
  check(errors.length === 0, 'no error on the console: ' + JSON.stringify(errors.slice(0, 3)));
} finally {
  await browser.close();
  server.close();
}
console.log(passed + ' passed, ' + failed + ' failed');
process.exit(failed ? 1 : 0);
