// PlayerTest.mjs: the web player in headless Chromium against the site
// served from localhost: its pictures equal `sdtool render` of the same show,
// size and step; bad files end in an alert; the music unmutes and loops.
// LURVA_SITE is the built site, LURVA_HOST_BUILD the native build (sdtool,
// the demo's pictures).
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { canvasPicture, launch, maxChannelDifference, sdtoolPicture, serve, watchedPage } from './Site.mjs';

const site = process.env.LURVA_SITE;
const host = process.env.LURVA_HOST_BUILD;
assert.ok(site && host, 'LURVA_SITE and LURVA_HOST_BUILD name the site and the native build');
const sdtool = join(host, 'tools/sdtool/sdtool');
const assets = join(host, 'demo/assets');
// The largest channel difference allowed between a JPEG picture in the page
// and in `sdtool render`. Both decode with libjpeg-turbo's default (accurate
// integer) transform, and none was measured; one step leaves room for a
// rounding difference between library versions.
const kJpegTolerance = 1;

const work = mkdtempSync(join(tmpdir(), 'lurva-web-test-'));
let server;
let browser;

// A MIDI file of one quarter note (half a second at the default tempo).
function shortTune() {
  const track = [0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xff, 0x2f, 0x00];
  return Buffer.from([
    ...Buffer.from('MThd'), 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
    ...Buffer.from('MTrk'), 0, 0, 0, track.length, ...track,
  ]);
}

// A placeable Windows metafile of 32x32 pixels that draws nothing.
function emptyMetafile() {
  const header = Buffer.alloc(22);
  header.writeUInt32LE(0x9ac6cdd7, 0);
  header.writeInt16LE(32, 10);
  header.writeInt16LE(32, 12);
  header.writeUInt16LE(96, 14);
  let checksum = 0;
  for (let i = 0; i < 20; i += 2)
    checksum ^= header.readUInt16LE(i);
  header.writeUInt16LE(checksum, 20);
  const body = Buffer.alloc(24);
  body.writeUInt16LE(1, 0);       // in a file
  body.writeUInt16LE(9, 2);       // header words
  body.writeUInt16LE(0x300, 4);   // version
  body.writeUInt32LE(12, 6);      // size in words
  body.writeUInt32LE(3, 12);      // largest record
  body.writeUInt32LE(3, 18);      // the end record
  return Buffer.concat([header, body]);
}

function path(count, from, to) {
  const points = [];
  for (let i = 0; i < count; ++i)
    points.push([from[0] + (to[0] - from[0]) * i / count, from[1] + (to[1] - from[1]) * i / count]);
  return points;
}

// Packs a show from a manifest object whose files lie in the test folder.
function pack(name, manifest) {
  const manifestPath = join(work, `${name}.json`);
  writeFileSync(manifestPath, JSON.stringify(manifest));
  const show = join(work, `${name}.sdt`);
  execFileSync(sdtool, ['pack', manifestPath, '-o', show]);
  server.extra[`/shows/${name}.sdt`] = show;
  return show;
}

function convert(...args) {
  execFileSync('convert', args);
}

const shows = {};

before(async () => {
  server = await serve(site);
  for (const file of ['back.bmp', 'blob0.bmp', 'blob1.bmp', 'bird0.bmp'])
    copyFileSync(join(assets, file), join(work, file));
  convert(join(work, 'blob0.bmp'), join(work, 'blob.ico'));
  convert(join(work, 'back.bmp'), '-crop', '96x80+200+150', '+repage', 'BMP3:' + join(work, 'tile.bmp'));
  convert(join(work, 'back.bmp'), '-quality', '85', join(work, 'back.jpg'));
  convert(join(work, 'bird0.bmp'), '-quality', '90', '-sampling-factor', '2x2', join(work, 'bird.jpg'));
  writeFileSync(join(work, 'tune.mid'), shortTune());
  writeFileSync(join(work, 'picture.wmf'), emptyMetafile());
  const mover = (name, frames, transparent = true) => ({
    name, transparent, frames, points: path(40, [0.05, 0.1], [0.7, 0.6]),
  });
  shows.demo = join(host, 'demo/demo.sdt');
  server.extra['/shows/demo.sdt'] = shows.demo;
  shows.bmp = pack('bmp', {
    loopTime: 8, setting: { backMode: 2 }, background: 'back.bmp',
    charactors: [mover('blob', ['blob0.bmp', 'blob1.bmp']), mover('bird', ['bird0.bmp'], false)],
  });
  shows.ico = pack('ico', {
    loopTime: 8, setting: { backMode: 0, backColor: 0x336699 }, charactors: [mover('icon', ['blob.ico'])],
  });
  shows.tile = pack('tile', {
    loopTime: 8, setting: { backMode: 3 }, background: 'tile.bmp', charactors: [mover('blob', ['blob0.bmp'])],
  });
  shows.legacy = pack('legacy', {
    legacy: true, version: 100, loopTime: 8, setting: { backMode: 2 }, background: 'back.bmp',
    charactors: [{ frames: ['blob0.bmp', 'blob1.bmp'], points: path(40, [0.1, 0.2], [0.8, 0.5]) }],
  });
  shows.jpeg = pack('jpeg', {
    loopTime: 8, setting: { backMode: 2 }, background: 'back.jpg', charactors: [mover('bird', ['bird.jpg'], false)],
  });
  shows.tune = pack('tune', {
    loopTime: 8, setting: { backMode: 0, playBgm: true, bgmName: 'short' }, bgm: 'tune.mid',
    charactors: [mover('blob', ['blob0.bmp'])],
  });
  shows.metafile = pack('metafile', {
    loopTime: 8, setting: { backMode: 0 }, charactors: [mover('meta', ['blob0.bmp', 'picture.wmf'])],
  });
  const showBytes = readFileSync(shows.bmp);
  writeFileSync(join(work, 'cut.sdt'), showBytes.subarray(0, Math.floor(showBytes.length / 2)));
  server.extra['/shows/cut.sdt'] = join(work, 'cut.sdt');
  writeFileSync(join(work, 'notes.sdt'), 'These are my notes, not a show.\n');
  server.extra['/shows/notes.sdt'] = join(work, 'notes.sdt');
  browser = await launch(['--autoplay-policy=no-user-gesture-required']);
});

after(async () => {
  await browser?.close();
  await server?.close();
  rmSync(work, { recursive: true, force: true });
});

// A page of its own holding one element of width x height CSS pixels.
async function elementPage(width, height, attributes, viewport = { width: 900, height: 700 }) {
  const name = `/box-${Math.random().toString(36).slice(2)}.html`;
  const file = join(work, name.slice(1));
  const attributeText = Object.entries(attributes).map(([k, v]) => ` ${k}="${v}"`).join('');
  writeFileSync(file, `<!DOCTYPE html><html><head><meta charset="utf-8"><link rel="icon" href="data:,">
<script type="module" src="/lurva-player.js"></script></head>
<body style="margin:20px"><lurva-player style="width:${width}px;height:${height}px"${attributeText}></lurva-player></body></html>`);
  server.extra[name] = file;
  const watched = await watchedPage(browser, viewport);
  await watched.page.goto(server.url + name);
  return watched;
}

async function settled(page) {
  await page.waitForFunction(() => ['ready', 'error'].includes(document.querySelector('lurva-player').dataset.state));
  return page.evaluate(() => {
    const player = document.querySelector('lurva-player');
    const alert = player.shadowRoot.querySelector('[role=alert]');
    return { state: player.dataset.state, alert: alert.hidden ? null : alert.textContent };
  });
}

describe('pictures equal sdtool render', () => {
  const cases = [
    { show: 'bmp', width: 640, height: 400, ticks: [0, 37] },
    { show: 'ico', width: 320, height: 240, ticks: [5] },
    { show: 'tile', width: 500, height: 333, ticks: [12] },
    { show: 'legacy', width: 400, height: 300, ticks: [0, 21] },
    { show: 'demo', width: 713, height: 401, ticks: [250] },
  ];
  for (const { show, width, height, ticks } of cases) {
    for (const tick of ticks) {
      test(`${show} at ${width}x${height}, step ${tick}`, async () => {
        const { page, errors } = await elementPage(width, height, { src: `/shows/${show}.sdt`, tick });
        assert.deepEqual(await settled(page), { state: 'ready', alert: null });
        const shown = await canvasPicture(page);
        const expected = sdtoolPicture(sdtool, shows[show], width, height, tick, work);
        assert.equal(maxChannelDifference(shown, expected), 0);
        assert.deepEqual(errors, []);
        await page.close();
      });
    }
  }

  test(`JPEG pictures within ${kJpegTolerance} per channel of sdtool render`, async () => {
    const { page, errors } = await elementPage(480, 360, { src: '/shows/jpeg.sdt', tick: 9 });
    assert.deepEqual(await settled(page), { state: 'ready', alert: null });
    const difference = maxChannelDifference(await canvasPicture(page), sdtoolPicture(sdtool, shows.jpeg, 480, 360, 9, work));
    assert.ok(difference <= kJpegTolerance, `largest channel difference ${difference}`);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a new box size lays the show out again at that size', async () => {
    const { page, errors } = await elementPage(320, 240, { src: '/shows/bmp.sdt', tick: 7 });
    assert.equal((await settled(page)).state, 'ready');
    await page.evaluate(() => { document.querySelector('lurva-player').style.cssText = 'width:450px;height:280px'; });
    await page.waitForFunction(() => document.querySelector('lurva-player').shadowRoot.querySelector('canvas').width === 450);
    const shown = await canvasPicture(page);
    assert.equal(maxChannelDifference(shown, sdtoolPicture(sdtool, shows.bmp, 450, 280, 7, work)), 0);
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a playing show steps on, each step equal to sdtool render', async () => {
    const { page, errors } = await elementPage(400, 300, { src: '/shows/bmp.sdt' });
    assert.equal((await settled(page)).state, 'ready');
    await page.waitForFunction(() => document.querySelector('lurva-player').step >= 3);
    // Held between steps: the step read and the canvas belong together.
    const { step, shown } = await page.evaluate(async () => {
      const player = document.querySelector('lurva-player');
      const canvas = player.shadowRoot.querySelector('canvas');
      return { step: player.step, shown: Array.from(canvas.getContext('2d').getImageData(0, 0, 400, 300).data) };
    });
    const expected = sdtoolPicture(sdtool, shows.bmp, 400, 300, step, work);
    assert.equal(maxChannelDifference({ width: 400, height: 300, pixels: Uint8Array.from(shown) }, expected), 0);
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('loading', () => {
  const cases = [
    { name: 'a cut-off file', src: '/shows/cut.sdt', words: /cannot be played: the file is cut off/ },
    { name: 'a file that is no show', src: '/shows/notes.sdt', words: /cannot be played: not a data file/ },
    { name: 'a missing URL', src: '/shows/missing.sdt', words: /could not be fetched.*404/ },
    { name: 'a show with a metafile', src: '/shows/metafile.sdt', words: /needs the metafile picture chara\d+\.wmf/ },
  ];
  for (const { name, src, words } of cases) {
    test(`${name} ends in an alert, and the element plays the next show`, async () => {
      const { page } = await elementPage(320, 240, { src });
      const result = await settled(page);
      assert.equal(result.state, 'error');
      assert.match(result.alert, words);
      await page.evaluate(() => document.querySelector('lurva-player').load('/shows/ico.sdt'));
      assert.deepEqual(await settled(page), { state: 'ready', alert: null });
      await page.close();
    });
  }

  test('load takes a Blob and an ArrayBuffer', async () => {
    const { page, errors } = await elementPage(320, 240, {});
    for (const kind of ['blob', 'buffer']) {
      await page.evaluate(async (k) => {
        const bytes = await (await fetch('/shows/ico.sdt')).arrayBuffer();
        const player = document.querySelector('lurva-player');
        player.load(k === 'blob' ? new Blob([bytes]) : bytes);
      }, kind);
      assert.deepEqual(await settled(page), { state: 'ready', alert: null });
    }
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('the page plays a chosen file and tells its facts', async () => {
    const { page, errors } = await watchedPage(browser);
    await page.goto(`${server.url}/index.html`);
    await page.setInputFiles('#choose', shows.demo);
    assert.deepEqual(await settled(page), { state: 'ready', alert: null });
    assert.equal(await page.textContent('#facts'), 'version 120 · 3 characters · loop 60 s · music "Lurva demo"');
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('the page takes ?show and ?tick', async () => {
    const { page, errors } = await watchedPage(browser, { width: 640, height: 480 });
    await page.goto(`${server.url}/index.html?show=/shows/tile.sdt&tick=4`);
    assert.deepEqual(await settled(page), { state: 'ready', alert: null });
    const shown = await canvasPicture(page);
    assert.equal(maxChannelDifference(shown, sdtoolPicture(sdtool, shows.tile, shown.width, shown.height, 4, work)), 0);
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('full screen', () => {
  test('a key, a click or the third mouse movement leaves it; outside it the show plays on', async () => {
    const { page, errors } = await watchedPage(browser);
    await page.goto(`${server.url}/index.html?show=/shows/bmp.sdt`);
    assert.equal((await settled(page)).state, 'ready');
    const inFullScreen = () => page.evaluate(() => document.fullscreenElement === document.querySelector('lurva-player'));
    const enter = async () => {
      await page.click('#fullscreen');
      await page.waitForFunction(() => document.fullscreenElement !== null);
    };
    await enter();
    await page.mouse.move(10, 10);
    await page.mouse.move(20, 20);
    assert.equal(await inFullScreen(), true);
    await page.mouse.move(30, 30);
    await page.waitForFunction(() => document.fullscreenElement === null);
    for (const leave of [() => page.keyboard.press('a'), () => page.mouse.click(100, 100)]) {
      await enter();
      await leave();
      await page.waitForFunction(() => document.fullscreenElement === null);
    }
    // Outside full screen input changes nothing: the show still plays.
    await page.mouse.click(200, 200);
    await page.keyboard.press('b');
    const step = await page.evaluate(() => document.querySelector('lurva-player').step);
    await page.waitForFunction((s) => document.querySelector('lurva-player').step > s, step);
    assert.equal(await page.evaluate(() => document.querySelector('lurva-player').dataset.state), 'ready');
    assert.deepEqual(errors, []);
    await page.close();
  });
});

describe('music', () => {
  test('starts muted, plays after unmute(), and loops at the end of the tune', async () => {
    const { page, errors } = await elementPage(320, 240, { src: '/shows/tune.sdt' });
    assert.equal((await settled(page)).state, 'ready');
    assert.equal(await page.evaluate(() => document.querySelector('lurva-player').music), 'muted');
    const soundFontFetched = () => page.evaluate(() =>
      performance.getEntriesByType('resource').some((entry) => entry.name.endsWith('/TimGM6mb.sf2')));
    assert.equal(await soundFontFetched(), false);
    await page.evaluate(() => document.querySelector('lurva-player').unmute());
    await page.waitForFunction(() => document.querySelector('lurva-player').music === 'playing');
    assert.equal(await soundFontFetched(), true);
    // The player's tick position falls back to the start when the tune loops.
    await page.evaluate(() => {
      const synth = document.querySelector('lurva-player').synthesizer;
      window.loopSeen = new Promise((resolve) => {
        let highest = 0;
        const look = async () => {
          const tick = await synth.retrievePlayerCurrentTick();
          if (tick < highest && synth.isPlayerPlaying())
            resolve(true);
          else {
            highest = Math.max(highest, tick);
            requestAnimationFrame(look);
          }
        };
        look();
      });
    });
    assert.equal(await page.evaluate(() => window.loopSeen), true);
    await page.evaluate(() => document.querySelector('lurva-player').mute());
    assert.equal(await page.evaluate(() => document.querySelector('lurva-player').music), 'muted');
    assert.deepEqual(errors, []);
    await page.close();
  });

  test('a show without music, or held at a step, plays none', async () => {
    for (const attributes of [{ src: '/shows/bmp.sdt' }, { src: '/shows/tune.sdt', tick: 3 }]) {
      const { page } = await elementPage(320, 240, attributes);
      assert.equal((await settled(page)).state, 'ready');
      assert.equal(await page.evaluate(() => document.querySelector('lurva-player').music), 'none');
      await page.close();
    }
  });
});
