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
  '.wasm': 'application/wasm', '.ttf': 'font/ttf', '.txt': 'text/plain' };
const served = [];
const server = createServer((request, response) => {
  const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
  served.push(name);
  const file = path.join(env.SITE_DIR, name === '/' ? 'index.html' : name);
  if (!file.startsWith(env.SITE_DIR) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
    response.writeHead(404);
    response.end();
    return;
  }
  response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
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
  await page.click('.tab[aria-selected="true"] button');
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
