// JpegCompare.mjs: which JPEG decoder in the browser gives the pixels of
// `sdtool render` (Debian's libjpeg-turbo), run by hand:
//   node bench/web/JpegCompare.mjs [SITE] [NATIVE_BUILD]   (defaults build-web/site, build)
// Each picture becomes a show whose background is the picture tiled from the
// top-left corner at its own size, so a render of the show is the decoded
// picture; the candidates decode the same file in headless Chromium:
// libjpeg-turbo in WebAssembly (@cornerstonejs/codec-libjpeg-turbo-8bit, what
// the player uses), MozJPEG in WebAssembly (@jsquash/jpeg), and the browser's
// own decoder. Prints the largest per-channel difference of each.
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import { launch, maxChannelDifference, sdtoolPicture, serve } from '../../web/tests/Site.mjs';

const site = resolve(process.argv[2] ?? 'build-web/site');
const host = resolve(process.argv[3] ?? 'build');
const sdtool = join(host, 'tools/sdtool/sdtool');
const modules = join(dirname(fileURLToPath(import.meta.url)), '../../web/node_modules');
const work = mkdtempSync(join(tmpdir(), 'lurva-jpeg-'));

copyFileSync(join(host, 'demo/assets/back.bmp'), join(work, 'back.bmp'));
copyFileSync(join(host, 'demo/assets/bird0.bmp'), join(work, 'bird.bmp'));
const pictures = [
  ['photo-like, quality 85, 4:2:0', 'back.bmp', ['-quality', '85', '-sampling-factor', '2x2']],
  ['quality 95, 4:4:4', 'back.bmp', ['-quality', '95', '-sampling-factor', '1x1']],
  ['quality 75, 4:2:2', 'back.bmp', ['-quality', '75', '-sampling-factor', '2x1']],
  ['progressive, quality 80', 'back.bmp', ['-quality', '80', '-interlace', 'JPEG']],
  ['grey, quality 90', 'back.bmp', ['-colorspace', 'Gray', '-quality', '90']],
  ['sprite 64x64 with odd edges, quality 70', 'bird.bmp', ['-quality', '70', '-sampling-factor', '2x2']],
];
const server = await serve(site, {});
for (const name of ['decode.js', 'utils.js', 'meta.js', 'codec/dec/mozjpeg_dec.js', 'codec/dec/mozjpeg_dec.wasm'])
  server.extra[`/jsquash/${name}`] = join(modules, '@jsquash/jpeg', name);

const browser = await launch();
const page = await browser.newPage();
await page.goto(`${server.url}/index.html`);
await page.waitForFunction(() => customElements.get('lurva-player'));
try {
  for (const [label, source, options] of pictures) {
    const jpeg = join(work, `p${pictures.findIndex((p) => p[0] === label)}.jpg`);
    execFileSync('convert', [join(work, source), ...options, jpeg]);
    const manifest = join(work, 'show.json');
    writeFileSync(manifest, JSON.stringify({ loopTime: 1, setting: { backMode: 3 }, background: jpeg, charactors: [] }));
    const show = join(work, 'show.sdt');
    execFileSync(sdtool, ['pack', manifest, '-o', show]);
    const size = execFileSync('identify', ['-format', '%w %h', jpeg]).toString().split(' ').map(Number);
    const reference = sdtoolPicture(sdtool, show, size[0], size[1], 0, work);
    server.extra['/picture.jpg'] = jpeg;
    server.extra['/show.sdt'] = show;
    const decoded = await page.evaluate(async ([width, height]) => {
      const toArray = (data) => Array.from(data);
      const bytes = new Uint8Array(await (await fetch('/picture.jpg')).arrayBuffer());
      // libjpeg-turbo in WebAssembly, through the player: the show at the picture's size.
      const box = document.createElement('lurva-player');
      box.style.cssText = `position:absolute;left:0;top:0;width:${width}px;height:${height}px`;
      box.setAttribute('tick', '0');
      document.body.append(box);
      await box.load('/show.sdt');
      const canvas = box.shadowRoot.querySelector('canvas');
      const player = toArray(canvas.getContext('2d').getImageData(0, 0, width, height).data);
      box.remove();
      const { default: decodeMozjpeg } = await import('/jsquash/decode.js');
      const mozjpeg = toArray((await decodeMozjpeg(bytes.buffer)).data);
      const bitmap = await createImageBitmap(new Blob([bytes], { type: 'image/jpeg' }));
      const own = new OffscreenCanvas(width, height).getContext('2d');
      own.drawImage(bitmap, 0, 0);
      const browserOwn = toArray(own.getImageData(0, 0, width, height).data);
      return { player, mozjpeg, browserOwn };
    }, size);
    const row = Object.entries(decoded).map(([name, pixels]) =>
      `${name} ${maxChannelDifference({ width: size[0], height: size[1], pixels: Uint8Array.from(pixels) }, reference)}`);
    console.log(`${label} (${size[0]}x${size[1]}): largest channel difference: ${row.join(', ')}`);
  }
} finally {
  await browser.close();
  await server.close();
  rmSync(work, { recursive: true, force: true });
}
