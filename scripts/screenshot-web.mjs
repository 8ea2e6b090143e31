// screenshot-web.mjs: the picture of the web player in the README: the page
// playing the demo in headless Chromium, three seconds into the show.
//   node scripts/screenshot-web.mjs [SITE] [OUT]   (defaults build-web/site, docs/web-player.png)
import { resolve } from 'node:path';

import { launch, serve } from '../web/tests/Site.mjs';

const site = resolve(process.argv[2] ?? 'build-web/site');
const out = resolve(process.argv[3] ?? 'docs/web-player.png');
const server = await serve(site);
const browser = await launch();
try {
  const page = await browser.newPage({ viewport: { width: 960, height: 600 } });
  await page.goto(`${server.url}/index.html?show=demo.sdt`);
  await page.waitForFunction(() => document.querySelector('lurva-player').step >= 30);
  await page.screenshot({ path: out });
  console.log(`screenshot-web: wrote ${out}`);
} finally {
  await browser.close();
  await server.close();
}
