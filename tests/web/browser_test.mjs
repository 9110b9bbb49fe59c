// The viewer in Debian's chromium, headless, as a person uses it: the site
// served from a local server, drawings opened through the file input, the
// canvas read back and compared with the native library's picture of the
// same view (view_render): after opening, a wheel zoom and the keys, with a
// layer hidden, on a phone-sized window, and every corpus drawing (without
// the corpus, the project's own) fitted and zoomed in. The whole sheet
// saved as PNG and as DXF against the converter's --hide-layer; damaged and foreign
// files answered in words while the page goes on; no request beyond the
// page's own origin. With SCREENSHOTS set, the pictures of the README are
// taken there.
//
//   node browser_test.mjs  (settings in the environment, see browser_test.sh)
import { execFileSync } from 'node:child_process';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import fs from 'node:fs';
import path from 'node:path';

const env = process.env;
const puppeteer = createRequire(path.join(env.NODE_MODULES_DIR, 'x.js'))('puppeteer-core');
const work = env.WORK_DIR;
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(path.join(work, 'downloads'), { recursive: true });

let failures = 0;
function fail(words) {
  console.log('FAIL: ' + words);
  failures += 1;
}

// ---- the site, from a server of our own that notes every request ---------
const types = { '.html': 'text/html', '.js': 'text/javascript', '.mjs': 'text/javascript', '.css': 'text/css',
  '.wasm': 'application/wasm', '.ttf': 'font/ttf', '.txt': 'text/plain', '.png': 'image/png',
  '.webmanifest': 'application/manifest+json' };
const served = [];
let serviceWorkerVersion = null;  // set: sw.js is served as that version, a new build's
let unreachable = false;  // set: the network is gone, every connection is dropped unanswered
const server = createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  if (request.method !== 'GET') {  // the share target is the service worker's, never the server's
    served.push(request.method + ' ' + name);
    response.writeHead(405);
    response.end();
    return;
  }
  served.push(name);
  if (unreachable) {
    request.socket.destroy();
    return;
  }
  const file = path.join(env.SITE_DIR, name === '/' ? 'index.html' : name);
  if (!file.startsWith(env.SITE_DIR) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    response.writeHead(404);
    response.end();
    return;
  }
  response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
  if (name === '/sw.js' && serviceWorkerVersion) {
    response.end(fs.readFileSync(file, 'utf8').replace(/const VERSION = '[^']*'/, `const VERSION = '${serviceWorkerVersion}'`));
    return;
  }
  fs.createReadStream(file).pipe(response);
});
await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
const origin = `http://127.0.0.1:${server.address().port}`;

// Every request for another host goes through this proxy (the browser
// reaches the loopback address directly): the page, its worker or a font
// asking anything of the wider world shows here, and gets nothing. The
// browser's own services (updates, sign-in, autofill) ask too: those hosts
// are its, never the page's.
const browserHosts = /^(update\.googleapis\.com|clients\d*\.google\.com|accounts\.google\.com|content-autofill\.googleapis\.com|optimizationguide-pa\.googleapis\.com|redirector\.gvt1\.com|safebrowsing\.googleapis\.com)$/;
const elsewhere = [];
function noteElsewhere(host, what) {
  if (!browserHosts.test(host)) elsewhere.push(what);
}
const proxy = createServer((request, response) => {
  noteElsewhere(new URL(request.url).hostname, request.url);
  response.writeHead(403);
  response.end();
});
proxy.on('connect', (request, socket) => {
  noteElsewhere(request.url.replace(/:\d+$/, ''), 'CONNECT ' + request.url);
  socket.end('HTTP/1.1 403 Forbidden\r\n\r\n');
});
await new Promise((resolve) => proxy.listen(0, '127.0.0.1', resolve));

const browser = await puppeteer.launch({
  executablePath: env.CHROMIUM || '/usr/bin/chromium', headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--lang=en-US', '--disable-component-update',
    '--disable-sync', '--no-first-run',
    `--proxy-server=http://127.0.0.1:${proxy.address().port}`],
});
const requests = [];

async function newPage(width, height, options = {}) {
  const page = await browser.newPage();
  await page.setViewport({ width, height, deviceScaleFactor: options.scale || 1, isMobile: !!options.mobile,
    hasTouch: !!options.mobile });
  if (options.japanese) {
    await page.evaluateOnNewDocument(() => {
      Object.defineProperty(navigator, 'languages', { get: () => ['ja-JP', 'ja'] });
      Object.defineProperty(navigator, 'language', { get: () => 'ja-JP' });
    });
  }
  if (options.beforeLoad) await options.beforeLoad(page);
  page.on('request', (request) => requests.push(request.url()));
  page.on('pageerror', (error) => fail('page error: ' + error.message));
  const session = await page.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: path.join(work, 'downloads') });
  await page.goto(origin + '/index.html');
  return page;
}

// Waits until the canvas shows its view drawn whole.
async function settled(page) {
  await page.waitForFunction(() => document.body.dataset.busy === '0' && document.getElementById('picture').dataset.view,
    { timeout: 60000, polling: 50 });
  return JSON.parse(await page.$eval('#picture', (c) => c.dataset.view));
}

// Opens files through the input; good ones each add a tab, which is then
// shown once the last of them has one.
async function open(page, files, good = files.length) {
  const before = await page.$$eval('.tab', (t) => t.length);
  const input = await page.$('#open');
  await input.uploadFile(...files);
  if (good) await page.waitForFunction((n) => document.querySelectorAll('.tab').length === n, {}, before + good);
}

// The canvas as a PNG (lossless: its very pixels).
async function canvasPng(page, file) {
  const url = await page.$eval('#picture', (c) => c.toDataURL('image/png'));
  fs.writeFileSync(file, Buffer.from(url.slice(url.indexOf(',') + 1), 'base64'));
}

// The same pictures, or glyph edges apart in at most 1 pixel in 10 000 (see
// wasm_views_test.sh).
function compare(what, native, page, quiet = false) {
  try {
    const said = execFileSync(env.IMAGE_COMPARE, [native, page, '--allow', '0.0001'], { encoding: 'utf8' });
    if (!quiet) console.log(`${what}: ${said.trim().split('\n').pop()}`);
  } catch (error) {
    fail(`${what}: ${(error.stdout || error.message).trim()}`);
  }
}

let views = 0;
// The canvas now, and the line that has view_render draw its native twin;
// views gathered in a batch are drawn natively in one run later.
async function compareView(page, input, what, batch = null) {
  const view = await settled(page);
  const name = `${++views}`;
  const shot = path.join(work, `${name}-page.png`), native = path.join(work, `${name}-native.bmp`);
  await canvasPng(page, shot);
  // The page's layer switches (hide_groups, show_groups, 16 hide_layers, 16 show_layers) as view_render's.
  const words = view.layers.split(',').map(Number);
  const hidden = [];
  for (let g = 0; g < 16; ++g) {
    if (words[0] & (1 << g)) hidden.push(`hide=${g.toString(16)}`);
    for (let l = 0; l < 16; ++l) if (words[2 + g] & (1 << l)) hidden.push(`hide=${g.toString(16)}:${l.toString(16)}`);
  }
  if (words[1] || words.slice(18).some(Boolean)) fail(`${what}: layers shown over the file's states are not compared`);
  const line = `${input} ${native} center ${view.width} ${view.height} ${view.scale} ${view.x} ${view.y} ${hidden.join(' ')}`;
  const item = { what, line, native, shot };
  if (batch) batch.push(item);
  else compareNative([item], false);
  return view;
}

function compareNative(items, quiet) {
  const list = path.join(work, `native-${views}.txt`);
  fs.writeFileSync(list, items.map((item) => item.line + '\n').join(''));
  let said = '';
  try {
    said = execFileSync(env.VIEW_RENDER, [env.LIBPLOTMIRA, list], { encoding: 'utf8' });
  } catch (error) {
    said = error.stdout || '';
  }
  for (const item of items) {
    if (!said.includes(`${item.native} ok`)) fail(`${item.what}: the native view failed`);
    else compare(item.what, item.native, item.shot, quiet);
  }
}

async function downloaded(name) {
  const file = path.join(work, 'downloads', name);
  for (let i = 0; i < 300 && !fs.existsSync(file); ++i) await new Promise((r) => setTimeout(r, 100));
  return file;
}

// For the screenshots: zooms with the wheel so that what the drawing draws
// fills about the given part of the page (CSS pixels from the canvas's
// top-left corner).
async function zoomOnDrawing(page, input, left, top, width, height) {
  const info = JSON.parse(execFileSync(env.PLOTMIRA, ['info', input], { encoding: 'utf8' }));
  const e = info.extent;
  const view = await settled(page);
  const box = await page.$eval('#picture', (c) => { const r = c.getBoundingClientRect(); return [r.left, r.top]; });
  const ratio = view.width / (await page.$eval('#picture', (c) => c.getBoundingClientRect().width));
  const x = box[0] + (Math.floor(view.width / 2) + ((e.minX + e.maxX) / 2 - view.x) * view.scale) / ratio;
  const y = box[1] + (Math.floor(view.height / 2) - ((e.minY + e.maxY) / 2 - view.y) * view.scale) / ratio;
  const factor = Math.min(width * ratio / ((e.maxX - e.minX) * view.scale), height * ratio / ((e.maxY - e.minY) * view.scale));
  await page.mouse.move(x, y);
  await page.mouse.wheel({ deltaY: -Math.log(factor) / 0.002 });
  await settled(page);
  // Then the drawing's middle to the middle of the given part, with the keys' cousin: a drag.
  await page.mouse.down();
  await page.mouse.move(box[0] + left + width / 2, box[1] + top + height / 2, { steps: 5 });
  await page.mouse.up();
  await settled(page);
}

// Resolved: chromium refuses to read an uploaded file named through "..".
// Without the corpus, the project's own drawings stand in for its files.
const corpus = path.resolve(env.CORPUS_DIR);
const haveCorpus = fs.existsSync(path.join(corpus, 'raw'));
if (!haveCorpus) {
  if (env.PLOTMIRA_REQUIRE_CORPUS === '1') fail(`no corpus at ${corpus} (PLOTMIRA_REQUIRE_CORPUS=1)`);
  else console.log(`note: corpus not found at ${corpus}; the project's own drawings stand in`);
}
const examples = path.dirname(path.resolve(env.SHOWCASE));
const plan = fs.existsSync(path.join(corpus, 'raw/monozukuri-ai__ezjww/木造平面例.jww'))
  ? path.join(corpus, 'raw/monozukuri-ai__ezjww/木造平面例.jww') : env.SHOWCASE;
const layered = fs.existsSync(path.join(corpus, 'raw/monozukuri-ai__ezjww/Test1.jww'))
  ? path.join(corpus, 'raw/monozukuri-ai__ezjww/Test1.jww') : env.SHOWCASE;
const heaviest = fs.existsSync(path.join(corpus, 'raw/monozukuri-ai__ezjww/天空率表.jww'))
  ? path.join(corpus, 'raw/monozukuri-ai__ezjww/天空率表.jww') : env.SHOWCASE;

// ---- a plan: open, zoom with the wheel, pan with the keys ----------------
const page = await newPage(1280, 800);
if ((await page.$eval('#open-label', (l) => l.textContent.trim())) !== 'Open…') fail('the labels are not English');
// A figure without text shows before, and without, any font.
const textless = fs.existsSync(path.join(corpus, 'raw/KEINOS__Jw_cad-for-Mac/C-750VC.jws'))
  ? path.join(corpus, 'raw/KEINOS__Jw_cad-for-Mac/C-750VC.jws') : path.join(examples, 'showcase.jws');
await open(page, [textless]);
await compareView(page, textless, 'a figure without text');
if (served.some((name) => name.startsWith('/fonts/'))) fail('a drawing without text fetched a font');
await open(page, [plan]);
await compareView(page, plan, 'opened, fitted');
await page.mouse.move(700, 420);
await page.mouse.wheel({ deltaY: -600 });
const zoomed = await compareView(page, plan, 'after a wheel zoom');
if (!(zoomed.scale > 1)) fail('the wheel did not zoom in');
await page.keyboard.press('ArrowLeft');
await page.keyboard.press('+');
await compareView(page, plan, 'after the arrow key and +');
await page.mouse.move(600, 400);
await page.mouse.down();
await page.mouse.move(450, 300, { steps: 4 });
await page.mouse.up();
const dragged = await compareView(page, plan, 'after a drag');
// Save PNG of this view: the canvas's pixels.
await page.click('#show-save');
await page.click('#save-view');
compare('the saved view against the canvas', path.join(work, `${views}-page.png`),
  await downloaded(path.basename(plan).replace(/\.jww$/i, '-view.png')));
await page.click('#show-facts');
const facts = await page.$eval('#facts', (panel) => panel.textContent);
const planInfo = JSON.parse(execFileSync(env.PLOTMIRA, ['info', plan], { encoding: 'utf8' }));
for (const expected of ['Jw_cad drawing (.jww)', `Version${planInfo.version}`, `Lines${planInfo.counts.lines.toLocaleString('en-US')}`]) {
  if (!facts.includes(expected)) fail(`the facts panel does not say "${expected}": ${facts}`);
}
await page.click('#show-facts');
if (!(dragged.x > zoomed.x)) fail('dragging to the left did not move the view to the right');

// ---- a layer hidden; the whole sheet saved at 1920 pixels ----------------
await open(page, [layered, env.SHOWCASE]);
await settled(page);
const tabNames = await page.$$eval('.tab span', (spans) => spans.map((s) => s.textContent));
if (tabNames[tabNames.length - 2] !== path.basename(layered)) fail(`the tabs: ${tabNames}`);
await page.click(`.tab:nth-child(${tabNames.length - 1})`);
await compareView(page, layered, 'the second tab');
await page.click('#show-layers');
await page.click('.group[data-group="0"] .layers label:nth-child(1) input');
await compareView(page, layered, 'layer 0 of group 0 hidden');
await page.click('#show-save');
await page.$eval('#save-width', (input) => { input.value = '1920'; });
await page.click('#save-sheet');
const saved = await downloaded(path.basename(layered).replace(/\.jww$/i, '.png'));
const cli = path.join(work, 'cli-hidden.png');
execFileSync(env.PLOTMIRA, ['render', layered, '--hide-layer', '0:0', '--width', '1920', '-o', cli]);
compare('the saved sheet against plotmira render --hide-layer 0:0', cli, saved);
// The same drawing as DXF: the converter's file, byte for byte.
await page.click('#save-dxf');
const savedDxf = await downloaded(path.basename(layered).replace(/\.jww$/i, '.dxf'));
const cliDxf = path.join(work, 'cli-hidden.dxf');
execFileSync(env.PLOTMIRA, ['render', layered, '--hide-layer', '0:0', '-o', cliDxf]);
if (!fs.existsSync(savedDxf) || !fs.readFileSync(savedDxf).equals(fs.readFileSync(cliDxf))) {
  fail('the saved DXF is not plotmira render --hide-layer 0:0 -o x.dxf');
}
await page.click('#show-save');
if (env.SCREENSHOTS) {
  // The plan, zoomed in, with the layer panel open.
  await page.click('.tab:nth-child(2)');
  await settled(page);
  await page.click('#show-layers');
  await page.keyboard.press('0');
  await zoomOnDrawing(page, plan, 20, 20, 880, 700);
  await page.screenshot({ path: path.join(env.SCREENSHOTS, 'web-viewer.png') });
  await page.click('#show-layers');
  await page.click(`.tab:nth-child(${tabNames.length - 1})`);
}

// ---- damaged and foreign files: words, and the page goes on --------------
const bytes = fs.readFileSync(layered);
fs.writeFileSync(path.join(work, 'cut.jww'), bytes.subarray(0, 300));
fs.writeFileSync(path.join(work, 'letter.jww'), 'Dear colleague, the drawing follows.\n');
for (const [file, words] of [['cut.jww', 'damaged'], ['letter.jww', 'not a Jw_cad drawing']]) {
  await open(page, [path.join(work, file)], 0);
  try {
    await page.waitForFunction((w) => {
      const box = document.getElementById('message');
      return !box.hidden && box.textContent.includes(w);
    }, { timeout: 20000 }, words);
  } catch {
    fail(`${file}: no message saying "${words}" (${await page.$eval('#message', (b) => b.textContent)})`);
  }
}
await page.keyboard.press('0');
await compareView(page, layered, 'the page after the bad files');

// ---- every corpus drawing: opened, zoomed in, closed ------------------------
// (Without the corpus, the showcase's drawing and figure: the page opens
// files from memory, where the file-name macros of macros.jww draw nothing.)
const everyFile = haveCorpus
  ? execFileSync('find', [corpus, '-iname', '*.jw[ws]'], { encoding: 'utf8' }).split('\n').filter(Boolean).sort()
  : ['showcase.jww', 'showcase.jws'].map((name) => path.join(examples, name));
const batch = [];
for (const file of everyFile) {
  await open(page, [file]);
  await compareView(page, file, `${path.basename(file)}, fitted`, batch);
  await page.mouse.move(600, 380);
  await page.mouse.wheel({ deltaY: -500 });
  await compareView(page, file, `${path.basename(file)}, zoomed`, batch);
  await page.click('.tab.selected .tab-close');
}
compareNative(batch, true);
console.log(`${everyFile.length} ${haveCorpus ? 'corpus files' : 'own drawings'} opened, fitted and zoomed in the page: ` +
  `${failures} failures so far`);

// ---- the heaviest drawing at 1920 x 1080: wheel to picture ---------------
const wide = await newPage(1920, 1080);
await open(wide, [heaviest]);
await compareView(wide, heaviest, 'the heaviest drawing, fitted');
// From the wheel event's dispatch in the page to the first frame after
// the new view's picture is on the canvas.
await wide.evaluate(() => {
  window.wheelTimes = [];
  window.addEventListener('wheel', () => {
    const start = performance.now();
    new MutationObserver((changes, observer) => {
      if (document.body.dataset.busy !== '0') return;
      observer.disconnect();
      requestAnimationFrame(() => window.wheelTimes.push(performance.now() - start));
    }).observe(document.body, { attributes: true, attributeFilter: ['data-busy'] });
  }, { capture: true });
});
for (let i = 0; i < 8; ++i) {
  await wide.mouse.move(900 + i * 20, 500);
  await wide.mouse.wheel({ deltaY: i < 4 ? -240 : 240 });
  await settled(wide);
  await wide.waitForFunction((n) => window.wheelTimes.length === n, {}, i + 1);
}
const times = [];
times.push(...(await wide.evaluate(() => window.wheelTimes)));
await compareView(wide, heaviest, 'the heaviest drawing, zoomed');
const sorted = [...times].sort((a, b) => a - b);
console.log(`wheel event to the new view on screen, ${path.basename(heaviest)} at 1920 x 1080: ` +
  `median ${sorted[sorted.length >> 1].toFixed(1)} ms, slowest ${sorted[sorted.length - 1].toFixed(1)} ms`);

// ---- a phone, in Japanese -------------------------------------------------
const phone = await newPage(390, 760, { scale: 2, mobile: true, japanese: true });
if ((await phone.$eval('#open-label', (l) => l.textContent.trim())) !== '開く…') fail('the labels are not Japanese');
await open(phone, [plan]);
const before = await compareView(phone, plan, 'a phone-sized window');
// Two fingers spread from 100 to 200 CSS pixels apart: twice the scale.
const touch = await phone.target().createCDPSession();
const fingers = (spread) => [{ x: 195 - spread / 2, y: 400, id: 0 }, { x: 195 + spread / 2, y: 400, id: 1 }];
await touch.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: fingers(100) });
for (const spread of [125, 150, 175, 200]) {
  await touch.send('Input.dispatchTouchEvent', { type: 'touchMove', touchPoints: fingers(spread) });
}
await touch.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
const pinched = await compareView(phone, plan, 'after a pinch');
if (Math.abs(pinched.scale / before.scale - 2) > 0.05) fail(`a pinch to twice the spread zoomed ${pinched.scale / before.scale} times`);
if (env.SCREENSHOTS) {
  await zoomOnDrawing(phone, plan, 10, 100, 370, 400);
  await phone.screenshot({ path: path.join(env.SCREENSHOTS, 'web-viewer-phone.png') });
}

// ---- the app: installable, offline, handed files ----------------------------
const app = await page.target().createCDPSession();
await page.evaluate(() => navigator.serviceWorker.ready.then(() => true));
const { installabilityErrors } = await app.send('Page.getInstallabilityErrors');
if (installabilityErrors.length) fail(`not installable: ${JSON.stringify(installabilityErrors)}`);
const manifest = JSON.parse((await app.send('Page.getAppManifest')).data || '{}');
if (!manifest.file_handlers || !manifest.share_target) fail('the manifest names no file handlers or share target');
console.log(`installable: no errors; the manifest's file handlers take ${Object.keys(manifest.file_handlers[0].accept)}`);

// After one visit the app opens and draws with the network gone.
const offline = await newPage(1280, 800);
await offline.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 30000 });
const servedBefore = served.length;
unreachable = true;
await offline.setOfflineMode(true);
await offline.reload();
await open(offline, [textless]);
await compareView(offline, textless, 'offline, after a reload');
// The browser itself may look for a newer sw.js (its update check is not
// the page's and ignores the page's offline mode); it finds no network.
// Nothing else may be asked for: the page and its worker live on the cache.
const askedOffline = served.slice(servedBefore).filter((name) => name !== '/sw.js');
if (askedOffline.length) fail(`offline, the page asked the server for ${askedOffline}`);
await offline.setOfflineMode(false);
unreachable = false;
await offline.close();

// A file the operating system hands the installed app, through a stand-in
// launch queue; and one a phone's share sheet posts to the service worker.
const launched = await newPage(1280, 800, { beforeLoad: (p) => p.evaluateOnNewDocument(() => {
  Object.defineProperty(window, 'launchQueue', { configurable: true,
    value: { setConsumer(consumer) { window.launchConsumer = consumer; } } });
}) });
const showcaseBytes = fs.readFileSync(env.SHOWCASE).toString('base64');
await launched.evaluate(async (b64) => {
  const bytes = Uint8Array.from(atob(b64), (c) => c.charCodeAt(0));
  await window.launchConsumer({ files: [{ getFile: async () => new File([bytes], 'launched.jww') }] });
}, showcaseBytes);
await launched.waitForFunction(() => [...document.querySelectorAll('.tab span')].some((t) => t.textContent === 'launched.jww'));
await compareView(launched, env.SHOWCASE, 'a file from the launch queue');
await launched.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 30000 });
await launched.evaluate(async (b64) => {
  const form = new FormData();
  form.append('drawings', new File([Uint8Array.from(atob(b64), (c) => c.charCodeAt(0))], 'shared.jww'));
  await fetch('./share', { method: 'POST', body: form });
}, showcaseBytes);
await launched.goto(origin + '/?shared');
await launched.waitForFunction(() => [...document.querySelectorAll('.tab span')].some((t) => t.textContent === 'shared.jww'));
await compareView(launched, env.SHOWCASE, 'a shared file');
await launched.close();
if (served.some((name) => name.startsWith('POST'))) fail('a shared file reached the server');

// A new version: it installs beside the running one, the page says so, and
// a reload runs it, its predecessor's files gone.
const updated = await newPage(1280, 800);
await updated.waitForFunction(() => navigator.serviceWorker.controller !== null, { timeout: 30000 });
serviceWorkerVersion = 'a-newer-build';
await updated.evaluate(() => navigator.serviceWorker.getRegistration().then((r) => r.update()));
await updated.waitForFunction(() => !document.getElementById('update').hidden, { timeout: 30000 });
const banner = await updated.$eval('#update', (b) => b.textContent.replace(/\s+/g, ' ').trim());
if (banner !== 'a new version is ready — reload') fail(`the page says "${banner}" of a new version`);
await Promise.all([updated.waitForNavigation(), updated.click('#update-reload')]);
const shells = (await updated.evaluate(() => caches.keys())).filter((n) => n.startsWith('plotmira-shell-'));
if (shells.join() !== 'plotmira-shell-a-newer-build') fail(`after the update the caches are ${shells}`);
console.log(`a new version: "${banner}", and after the reload its cache alone: ${shells}`);
await updated.close();

// ---- measure, find, print ---------------------------------------------------
const axeSource = fs.readFileSync(path.join(env.NODE_MODULES_DIR, 'node_modules/axe-core/axe.min.js'), 'utf8');
// axe-core's serious and critical findings on the page as it stands.
async function accessible(p, state) {
  if (!(await p.evaluate(() => typeof window.axe !== 'undefined'))) await p.evaluate(axeSource);
  const found = await p.evaluate(async () => (await window.axe.run(document, { resultTypes: ['violations'] }))
    .violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
    .map((v) => `${v.id} (${v.impact}): ${v.nodes.map((n) => n.target.join(' ')).join(', ')}`));
  if (found.length) fail(`axe-core, ${state}: ${found.join('; ')}`);
  else console.log(`axe-core, ${state}: no serious or critical violations`);
}

// Where a sheet point of the current view is on the page, in CSS pixels.
async function onPage(p, x, y) {
  return p.evaluate((sx, sy) => {
    const c = document.getElementById('picture');
    const v = JSON.parse(c.dataset.view);
    const r = c.getBoundingClientRect();
    const ratio = c.width / r.width;
    return [r.left + (Math.floor(v.width / 2) + (sx - v.x) * v.scale) / ratio,
      r.top + (Math.floor(v.height / 2) - (sy - v.y) * v.scale) / ratio];
  }, x, y);
}

async function clickSheet(p, x, y, dx = 0, dy = 0) {
  const [px, py] = await onPage(p, x, y);
  await p.mouse.click(px + dx, py + dy);
}

const measuring = path.join(examples, 'measuring.jww');
const tools = await newPage(1280, 800);
await open(tools, [env.SHOWCASE, plan, measuring]);
await settled(tools);
await accessible(tools, 'a drawing open');
// The drawing to measure: a dimension at 1:50 from (0, 0) to (0, 36.4)
// labelled 1,820, and a rectangle of 2 x 1.5 m at 1:50.
await tools.keyboard.press('m');
if ((await tools.$eval('#measure', (b) => b.getAttribute('aria-pressed'))) !== 'true') fail('M did not start measuring');
const result = async () => tools.$eval('#measure-result', (o) => ({ ...o.dataset, text: o.textContent }));
await clickSheet(tools, 0, 0, 3, -2);  // a hand's few pixels off the ends: the snap finds them
await clickSheet(tools, 0, 36.4, -2, 3);
await tools.waitForFunction(() => document.getElementById('measure-result').dataset.mm !== '');
let measured = await result();
if (Math.abs(Number(measured.mm) - 1820) > 1e-9) fail(`the dimension labelled 1,820 measured ${measured.mm} mm with snapping (${measured.text})`);
console.log(`measured with snapping: ${measured.text.replace(/\n/g, ' / ')}`);
await tools.click('#measure-clear');
for (const [x, y] of [[-60, -20], [-20, -20], [-20, 10], [-60, 10], [-60, -20]]) await clickSheet(tools, x, y, 2, 2);
await tools.waitForFunction(() => document.getElementById('measure-result').dataset.areaM2 !== undefined);
measured = await result();
if (Math.abs(Number(measured.areaM2) - 3) > 1e-9) fail(`the rectangle of 2 x 1.5 m measured ${measured.areaM2} m² (${measured.text})`);
console.log(`measured with snapping: ${measured.text.replace(/\n/g, ' / ')}`);
await accessible(tools, 'measuring');
if (env.SCREENSHOTS) await tools.screenshot({ path: path.join(env.SCREENSHOTS, 'web-measure.png') });
// Without snapping: the showcase's solid square from (140, 20) to (190, 60),
// its corners clicked, and the first again to close it: 50 x 40 mm at 1:1.
await tools.click('.tab:nth-child(1)');
await settled(tools);
await tools.click('#measure-clear');
await tools.click('#measure-snap');
for (const [x, y] of [[140, 20], [190, 20], [190, 60], [140, 60], [140, 20]]) await clickSheet(tools, x, y);
await tools.waitForFunction(() => document.getElementById('measure-result').dataset.areaM2 !== undefined);
measured = await result();
const view = await settled(tools);
const slack = 2 / view.scale;  // a pixel either way at each corner
if (Math.abs(Number(measured.areaM2) - 0.002) > 0.002 * 4 * slack / 40) fail(`the square of 0.002 m² measured ${measured.areaM2} m²`);
if (Math.abs(Number(measured.sheetMm) - 180) > 8 * slack) fail(`the square's outline measured ${measured.sheetMm} mm, not 180`);
console.log(`measured without snapping: ${measured.text.replace(/\n/g, ' / ')}`);
await tools.keyboard.press('Escape');
if (!(await tools.$eval('#measure-panel', (m) => m.hidden))) fail('Esc did not end measuring');
// From the keyboard alone: the Measure button hands the keys to the drawing;
// Enter takes the view's centre, an arrow moves the drawing an eighth of
// the view under it, Backspace drops the last point.
await tools.focus('#measure');
await tools.keyboard.press('Enter');
if (!(await tools.evaluate(() => document.activeElement.id === 'picture'))) fail('measuring from the keyboard left the keys elsewhere');
await tools.keyboard.press('Enter');
await tools.keyboard.press('ArrowRight');
const moved = await settled(tools);
await tools.keyboard.press('Enter');
await tools.waitForFunction(() => document.getElementById('measure-result').dataset.mm !== '');
const step = Math.min(moved.width, moved.height) / 8 / moved.scale;
measured = await result();
if (Math.abs(Number(measured.sheetMm) - step) > 1e-9 * step) fail(`Enter, an arrow and Enter measured ${measured.sheetMm} mm, not ${step}`);
await tools.keyboard.press('Backspace');
if ((await result()).mm !== '') fail('Backspace did not drop the last point');
console.log(`measured from the keyboard: an arrow's step of ${+step.toFixed(3)} mm on the sheet`);
await tools.keyboard.press('Escape');

// Find, through an input method: nothing is searched while a word is composed.
const expectedHits = (query) => [env.SHOWCASE, plan, measuring].map((f) => JSON.parse(execFileSync(env.PLOTMIRA, ['info', '--texts', f],
  { encoding: 'utf8' })).texts.filter((t) => t.text.normalize('NFKC').toLowerCase().includes(query)).length)
  .reduce((a, b) => a + b, 0);
await tools.keyboard.press('/');
await tools.waitForFunction(() => document.activeElement === document.getElementById('find-input'));
const ime = await tools.target().createCDPSession();
await ime.send('Input.imeSetComposition', { text: 'ず', selectionStart: 1, selectionEnd: 1 });
if ((await tools.$eval('#find-results', (l) => l.dataset.count)) !== '0') fail('a search ran while a word was composed');
await ime.send('Input.insertText', { text: '図' });
await tools.waitForFunction(() => document.getElementById('find-count').textContent !== '');
const hits = Number(await tools.$eval('#find-results', (l) => l.dataset.count));
if (hits !== expectedHits('図') || hits === 0) fail(`"図" found ${hits} times, the library lists ${expectedHits('図')}`);
await accessible(tools, 'finding');
await tools.$eval('#find-input', (i) => { i.value = ''; });
await tools.type('#find-input', 'ＰＬＯＴＭＩＲＡ');  // full-width letters find the half-width text
// (Without the corpus the showcase stands in for the plan: open twice, found twice.)
await tools.waitForFunction((n) => document.getElementById('find-results').dataset.count === String(n), {},
  expectedHits('plotmira'));
await tools.click('#find-results button');
const centred = await settled(tools);
if (Math.abs(centred.x - (-190 + 4 * 8)) > 40 || Math.abs(centred.y - (-36)) > 10) {
  fail(`the found text is not in the middle of the view: ${centred.x}, ${centred.y}`);
}
console.log(`found "図" ${hits} times in three drawings, as the library lists; "ＰＬＯＴＭＩＲＡ" found "Plotmira"`);
await tools.keyboard.press('Escape');

// Print: the sheet at its paper's size, one page, as the converter draws it
// at the print's resolution.
await tools.click('.tab:nth-child(1)');
await settled(tools);
await tools.click('#print-options');
await accessible(tools, 'the print settings');
await tools.select('#print-pens', 'screen');
await tools.click('#print-options');
await tools.evaluate(() => { window.print = () => { window.printed = true; }; });
await tools.click('#print');
await tools.waitForFunction(() => window.printed === true, { timeout: 60000 });
const pdf = path.join(work, 'print.pdf');
fs.writeFileSync(pdf, await tools.pdf({ preferCSSPageSize: true, printBackground: true }));
const pdfInfo = execFileSync('pdfinfo', [pdf], { encoding: 'utf8' });
// A3 is 1190.55 x 841.89 points; Chromium keeps a page's size in whole
// pixels of 1/96 inch, a point off at most.
const pageSize = (/Page size:\s+([\d.]+) x ([\d.]+) pts/.exec(pdfInfo) || []).slice(1).map(Number);
if (!/Pages:\s+1\n/.test(pdfInfo) || !(Math.abs(pageSize[0] - 1190.55) < 1 && Math.abs(pageSize[1] - 841.89) < 1)) {
  fail(`the print is not one A3 page: ${pdfInfo}`);
}
console.log(`the print: one page of ${pageSize.join(' x ')} points (A3: 1190.55 x 841.89)`);
execFileSync('pdftoppm', ['-scale-to-x', '3307', '-scale-to-y', '2339', '-aa', 'no', '-aaVector', 'no', '-png', '-singlefile',
  pdf, path.join(work, 'print')]);
if (env.SCREENSHOTS) {  // the printed page, as a PDF viewer shows it
  execFileSync('pdftoppm', ['-r', '48', '-png', '-singlefile', pdf, path.join(env.SCREENSHOTS, 'web-print')]);
}
const cliPrint = path.join(work, 'cli-print.png');
execFileSync(env.PLOTMIRA, ['render', env.SHOWCASE, '--region', '-210,-148.5,210,148.5', '--width', '3307', '-o', cliPrint]);
try {
  console.log('the print against plotmira render at 200 dpi: ' +
    execFileSync(env.IMAGE_COMPARE, ['--ink', cliPrint, path.join(work, 'print.png'), '0.98'], { encoding: 'utf8' }).trim());
} catch (error) {
  fail(`the print's ink is not within a pixel of the converter's picture: ${(error.stdout || error.message).trim()}`);
}
// From Print to the print dialog for an A1 (and an A0) drawing.
for (const [paper, file] of [['A1', 'raw/monozukuri-ai__ezjww/Test5.jww'], ['A0', 'raw/monozukuri-ai__ezjww/天空率表.jww']]) {
  if (!fs.existsSync(path.join(corpus, file))) continue;
  await open(tools, [path.join(corpus, file)]);
  await settled(tools);
  await tools.evaluate(() => { window.printed = false; });
  await tools.click('#print');
  await tools.waitForFunction(() => window.printed === true, { timeout: 60000 });
  console.log(`Print to the print dialog, ${paper} (${path.basename(file)}): ` +
    `${Math.round(await tools.$eval('#print', (b) => Number(b.dataset.preparedMs)))} ms`);
}
if (env.SCREENSHOTS) {
  await tools.click('.tab:nth-child(2)');
  await settled(tools);
  await tools.keyboard.press('/');
  await tools.type('#find-input', '和室');
  await tools.waitForFunction(() => Number(document.getElementById('find-results').dataset.count) > 0);
  await tools.click('#find-results button');
  await settled(tools);
  await tools.screenshot({ path: path.join(env.SCREENSHOTS, 'web-find.png') });
  await tools.keyboard.press('Escape');
}
await tools.close();

// ---- requests --------------------------------------------------------------
const foreign = requests.filter((url) => !url.startsWith(origin + '/') && !url.startsWith('blob:') &&
  !url.startsWith('data:'));
if (foreign.length || elsewhere.length) fail(`requests beyond the page's origin: ${[...foreign, ...elsewhere].join(' ')}`);
const fonts = [...new Set(served.filter((name) => name.startsWith('/fonts/')))];
console.log(`${served.length} requests served, ${elsewhere.length} elsewhere; fonts fetched: ${fonts.join(' ') || 'none'}`);

await browser.close();
server.close();
proxy.close();
console.log(failures ? `${failures} failed` : 'all passed');
process.exit(failures ? 1 : 0);
