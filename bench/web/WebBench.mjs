// WebBench.mjs: the web player's speed and size in headless Chromium, run by
// hand (never a test):
//   node bench/web/WebBench.mjs [SITE] [NATIVE_BUILD]   (defaults build-web/site, build)
// Prints: the time a step takes at 1920x1080 with 10 moving 64x64
// characters (600 steps: the core's step and the copy of the changed
// rectangles to the canvas), the time from navigation to the first picture
// of the demo served from localhost, and the gzip size of the site's
// WebAssembly and JavaScript (the sound font not counted).
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';

import { launch, serve } from '../../web/tests/Site.mjs';

const site = resolve(process.argv[2] ?? 'build-web/site');
const host = resolve(process.argv[3] ?? 'build');
const work = mkdtempSync(join(tmpdir(), 'lurva-web-bench-'));
const kSteps = 600;
const kLoads = 7;

function median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

// Ten 64x64 characters crossing a 1920x1080 screen on paths of their own.
function benchShow() {
  const frames = ['blob0.bmp', 'blob1.bmp', 'blob2.bmp', 'blob3.bmp'];
  for (const file of [...frames, 'back.bmp'])
    copyFileSync(join(host, 'demo/assets', file), join(work, file));
  const charactors = [];
  for (let c = 0; c < 10; ++c) {
    const points = [];
    for (let i = 0; i < 600; ++i) {
      const t = (i / 600) * 2 * Math.PI;
      points.push([0.45 + 0.4 * Math.cos(t + c * 0.6), 0.45 + 0.35 * Math.sin(2 * t + c)]);
    }
    charactors.push({ name: `c${c}`, transparent: true, frames, points });
  }
  writeFileSync(join(work, 'bench.json'), JSON.stringify({
    loopTime: 60, setting: { backMode: 2 }, background: 'back.bmp', charactors,
  }));
  execFileSync(join(host, 'tools/sdtool/sdtool'), ['pack', join(work, 'bench.json'), '-o', join(work, 'bench.sdt')]);
  return join(work, 'bench.sdt');
}

const server = await serve(site, { '/bench.sdt': benchShow() });
const browser = await launch();
try {
  // --- a step at 1920x1080 ---
  const page = await browser.newPage({ viewport: { width: 1920, height: 1080 } });
  writeFileSync(join(work, 'step.html'), `<!DOCTYPE html><html><head><link rel="icon" href="data:,">
<script type="module" src="/lurva-player.js"></script></head><body style="margin:0">
<lurva-player src="/bench.sdt" tick="0" style="width:1920px;height:1080px"></lurva-player></body></html>`);
  server.extra['/step.html'] = join(work, 'step.html');
  await page.goto(`${server.url}/step.html`);
  await page.waitForFunction(() => document.querySelector('lurva-player').dataset.state === 'ready');
  const steps = await page.evaluate((count) => {
    const player = document.querySelector('lurva-player');
    const canvas = player.shadowRoot.querySelector('canvas');
    player.advance(60);  // warm up
    const times = [];
    const start = performance.now();
    for (let i = 0; i < count; ++i) {
      const before = performance.now();
      player.advance(1);
      times.push(performance.now() - before);
    }
    // Reading a pixel back waits for every copy to have reached the canvas.
    canvas.getContext('2d').getImageData(0, 0, 1, 1);
    const total = performance.now() - start;
    times.sort((a, b) => a - b);
    return { size: `${canvas.width}x${canvas.height}`, mean: total / count,
             median: times[Math.floor(count / 2)], p99: times[Math.floor(count * 0.99)], max: times[count - 1] };
  }, kSteps);
  console.log(`step at ${steps.size}, 10 moving 64x64 characters, ${kSteps} steps: ` +
    `mean ${steps.mean.toFixed(3)} ms (with the final read-back), median ${steps.median.toFixed(3)} ms, ` +
    `99th percentile ${steps.p99.toFixed(3)} ms, max ${steps.max.toFixed(3)} ms`);
  await page.close();

  // --- navigation to the first picture of the demo ---
  const readyTimes = [];
  for (let i = 0; i < kLoads; ++i) {
    const context = await browser.newContext({ viewport: { width: 1280, height: 720 } });
    const demo = await context.newPage();
    await demo.goto(`${server.url}/index.html?show=demo.sdt`);
    await demo.waitForFunction(() => document.querySelector('lurva-player').dataset.state === 'ready');
    readyTimes.push(await demo.evaluate(() => performance.now()));
    await context.close();
  }
  console.log(`demo ready after navigation (fresh context, ${kLoads} loads): median ${median(readyTimes).toFixed(0)} ms, ` +
    `max ${Math.max(...readyTimes).toFixed(0)} ms (includes up to one polling interval of the wait)`);
} finally {
  await browser.close();
  await server.close();
  rmSync(work, { recursive: true, force: true });
}

// --- size ---
const before = ['lurva-player.js', 'lurva-core.js', 'lurva-core.wasm', 'libjpegturbowasm_decode.js', 'libjpegturbowasm_decode.wasm'];
const music = ['js-synthesizer.min.js', 'libfluidsynth-2.3.0.js'];
let sum = 0;
for (const [label, files] of [['to the first picture', before], ['on unmute (synthesizer)', music]]) {
  let part = 0;
  for (const file of files) {
    const size = gzipSync(readFileSync(join(site, file)), { level: 9 }).length;
    console.log(`  ${file}: ${(size / 1024).toFixed(1)} KB gzip`);
    part += size;
  }
  console.log(`${label}: ${(part / 1024).toFixed(1)} KB gzip`);
  sum += part;
}
console.log(`wasm and JavaScript in all: ${(sum / 1024).toFixed(1)} KB gzip (1 KB = 1024 bytes; sound font not counted)`);
