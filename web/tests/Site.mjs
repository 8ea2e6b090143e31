// Site.mjs: what the web player's tests and benchmark share: the site served
// from localhost, headless Chromium, and `sdtool render` for the reference.
import { execFileSync } from 'node:child_process';
import { createReadStream, existsSync, readFileSync, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import { inflateSync } from 'node:zlib';
import { chromium } from 'playwright-core';

const kTypes = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.sf2': 'application/octet-stream', '.sdt': 'application/octet-stream',
};

// Serves folder (and any extra files by path: { '/x.sdt': '/tmp/x.sdt' }) on
// a free localhost port. Returns { url, close, extra }.
export async function serve(folder, extra = {}) {
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = extra[path] ?? join(folder, normalize(path).replace(/^(\.\.[/\\])+/, ''));
    if (!existsSync(file) || !statSync(file).isFile()) {
      response.writeHead(404, { 'Content-Type': 'text/plain' });
      response.end('not found');
      return;
    }
    response.writeHead(200, { 'Content-Type': kTypes[extname(file)] ?? 'application/octet-stream' });
    createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  return { url: `http://127.0.0.1:${server.address().port}`, extra, close: () => new Promise((r) => server.close(r)) };
}

export function launch(extraArgs = []) {
  return chromium.launch({
    executablePath: process.env.LURVA_CHROMIUM ?? '/usr/bin/chromium',
    args: ['--no-sandbox', ...extraArgs],
  });
}

// A page that fails the test on any console error or page error.
export async function watchedPage(browser, viewport = { width: 800, height: 600 }) {
  const page = await browser.newPage({ viewport });
  const errors = [];
  page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
  page.on('pageerror', (error) => errors.push(String(error)));
  return { page, errors };
}

// `sdtool render` of show at width x height after step tick, as RGBA bytes.
export function sdtoolPicture(sdtool, show, width, height, tick, workDir) {
  const png = join(workDir, `ref-${width}x${height}-${tick}-${Math.random().toString(36).slice(2)}.png`);
  execFileSync(sdtool, ['render', show, '-o', png, '--size', `${width}x${height}`, '--tick', String(tick)]);
  return decodePng(readFileSync(png));
}

// The RGBA pixels of an 8-bit RGB or RGBA PNG without interlacing (what
// sdtool writes), decoded with node's zlib.
export function decodePng(bytes) {
  let offset = 8;
  let width = 0, height = 0, colorType = 0;
  const data = [];
  while (offset < bytes.length) {
    const length = bytes.readUInt32BE(offset);
    const type = bytes.toString('latin1', offset + 4, offset + 8);
    const body = bytes.subarray(offset + 8, offset + 8 + length);
    if (type === 'IHDR') {
      width = body.readUInt32BE(0);
      height = body.readUInt32BE(4);
      colorType = body[9];
      if (body[8] !== 8 || body[12] !== 0 || (colorType !== 2 && colorType !== 6))
        throw new Error('decodePng reads 8-bit RGB(A) PNG files only');
    } else if (type === 'IDAT') {
      data.push(body);
    }
    offset += 12 + length;
  }
  const channels = colorType === 6 ? 4 : 3;
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * channels;
  const out = new Uint8Array(width * height * 4);
  let previous = new Uint8Array(stride);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    const line = raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1));
    const row = new Uint8Array(stride);
    for (let x = 0; x < stride; ++x) {
      const a = x >= channels ? row[x - channels] : 0;
      const b = previous[x];
      const c = x >= channels ? previous[x - channels] : 0;
      let predictor = 0;
      if (filter === 1) predictor = a;
      else if (filter === 2) predictor = b;
      else if (filter === 3) predictor = (a + b) >> 1;
      else if (filter === 4) {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      }
      row[x] = (line[x] + predictor) & 0xff;
    }
    for (let x = 0; x < width; ++x) {
      out.set(row.subarray(x * channels, x * channels + 3), (y * width + x) * 4);
      out[(y * width + x) * 4 + 3] = 255;
    }
    previous = row;
  }
  return { width, height, pixels: out };
}

// The element's canvas as RGBA bytes, from inside the page.
export async function canvasPicture(page, selector = 'lurva-player') {
  const result = await page.evaluate((s) => {
    const canvas = document.querySelector(s).shadowRoot.querySelector('canvas');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
    let binary = '';
    for (let i = 0; i < data.length; i += 0x8000)
      binary += String.fromCharCode.apply(null, data.subarray(i, i + 0x8000));
    return { width: canvas.width, height: canvas.height, base64: btoa(binary) };
  }, selector);
  return { width: result.width, height: result.height, pixels: new Uint8Array(Buffer.from(result.base64, 'base64')) };
}

// The largest difference of one colour channel between two pictures of one size.
export function maxChannelDifference(a, b) {
  if (a.width !== b.width || a.height !== b.height)
    throw new Error(`sizes differ: ${a.width}x${a.height} and ${b.width}x${b.height}`);
  let max = 0;
  for (let i = 0; i < a.pixels.length; ++i)
    if ((i & 3) !== 3)
      max = Math.max(max, Math.abs(a.pixels[i] - b.pixels[i]));
  return max;
}
