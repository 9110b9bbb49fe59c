// The page: open drawings as tabs (from the button, a drop, the operating
// system's "Open with" or a phone's share sheet), show each view drawn anew
// by the library in the render worker (the previous picture scaled
// meanwhile), zoom, pan, switch layers, tell the drawing's facts, save PNGs
// and DXF; measure, find and print come from tools.js. The canvas carries
// the view it shows in data-view, and the page is data-busy="0" once that
// view is drawn whole: what tests wait for.
import { setUpTools } from './tools.js';

const WORDS = {
  en: {
    open: 'Open…', fit: 'Fit', layers: 'Layers', facts: 'Facts', save: 'Save PNG', zoomIn: 'Zoom in (+)',
    zoomOut: 'Zoom out (−)', welcome: 'Open a Jw_cad drawing (.jww) or figure (.jws), or drop it here.',
    private: 'The drawing stays on this computer: nothing is uploaded.', drop: 'Drop drawings to open them',
    saveView: 'This view', sheetWidth: 'Whole sheet, width in pixels', saveSheet: 'Save the sheet',
    close: 'Close', drawing: 'Drawing…', fonts: 'Loading fonts…', group: 'Group', layer: 'Layer',
    displayOnly: 'display only', allOn: 'All on', format: 'Format', jww: 'Jw_cad drawing (.jww)',
    jws: 'Jw_cad figure (.jws)', version: 'Version', sheet: 'Sheet', paper: 'Paper', size: 'Size',
    objects: 'Objects', lines: 'Lines', arcs: 'Arcs and circles', points: 'Points', texts: 'Texts',
    dimensions: 'Dimensions', solids: 'Solids', block_refs: 'Placed blocks', block_defs: 'Block definitions',
    incomplete: 'The file ends early: what was read is shown.', notDrawn: 'This version is not drawn.',
    cannotOpen: 'cannot be opened', cannotDraw: 'The view cannot be drawn', badWidth: 'Choose a width from 300 to 8000 pixels.',
    ms: 'ms', scale: 'Zoom', saveDxf: 'Save DXF',
    saveDxfTitle: 'The drawing for other CAD programs: real scale, layers, blocks and texts (DXF 2018)',
    cannotSave: 'The DXF file cannot be made',
    drawings: 'Open drawings', measure: 'Measure', measureTitle: 'Measure lengths and areas in the drawing\'s units (M)', snap: 'Snap to the drawing',
    measureGroup: 'Scale without a snap', measureFirst: 'Click the first point (or: arrow keys move the drawing, Enter takes the centre).', measureNext: 'Click the next point; back at the first, the path closes (Backspace drops the last).',
    distance: 'Distance', pathLength: 'Length', onSheet: 'on the sheet', area: 'Area', tsubo: 'tsubo', clear: 'Start again',
    end: 'end point', middle: 'middle', centre: 'centre', crossing: 'crossing',
    find: 'Find', findTitle: 'Find texts in the open drawings (/)', findLabel: 'Text to find', hits: '{n} found',
    print: 'Print', printTitle: 'Print the sheet at its paper size, to scale', printOptions: 'Print settings',
    printPens: 'Pens', screenPens: 'Screen colours', printerPens: 'Printer pens', printLayers: 'Hidden layers as the view has them',
    preparing: 'Preparing the print…', updateReady: 'a new version is ready —', reload: 'reload',
  },
  ja: {
    open: '開く…', fit: '全体', layers: 'レイヤ', facts: '図面情報', save: 'PNG 保存', zoomIn: '拡大 (+)',
    zoomOut: '縮小 (−)', welcome: 'Jw_cad の図面 (.jww) や図形 (.jws) を開くか、ここにドロップしてください。',
    private: '図面はこのコンピュータから出ません。アップロードはしません。', drop: 'ドロップして図面を開く',
    saveView: 'この表示', sheetWidth: '用紙全体、幅 (ピクセル)', saveSheet: '用紙全体を保存',
    close: '閉じる', drawing: '描画中…', fonts: 'フォントを読み込み中…', group: 'レイヤグループ', layer: 'レイヤ',
    displayOnly: '表示のみ', allOn: 'すべて表示', format: '形式', jww: 'Jw_cad 図面 (.jww)',
    jws: 'Jw_cad 図形 (.jws)', version: 'バージョン', sheet: '用紙', paper: '用紙サイズ', size: '大きさ',
    objects: '要素', lines: '線', arcs: '円・円弧', points: '点', texts: '文字', dimensions: '寸法',
    solids: 'ソリッド', block_refs: 'ブロック配置', block_defs: 'ブロック定義',
    incomplete: 'ファイルが途中で終わっています。読めた部分を表示しています。', notDrawn: 'このバージョンは描画できません。',
    cannotOpen: 'を開けません', cannotDraw: 'この表示を描画できません', badWidth: '幅は 300 から 8000 ピクセルで指定してください。',
    ms: 'ミリ秒', scale: '倍率', saveDxf: 'DXF 保存',
    saveDxfTitle: '他の CAD 用の図面: 実寸、レイヤ、ブロック、文字 (DXF 2018)',
    cannotSave: 'DXF ファイルを作れません',
    drawings: '開いている図面', measure: '測定', measureTitle: '図面の実寸で長さと面積を測る (M)', snap: '図面にスナップ',
    measureGroup: 'スナップしないときの縮尺', measureFirst: '最初の点をクリックしてください（キーでは矢印で図面を動かし、Enter で中央の点）。', measureNext: '次の点をクリックしてください。最初の点に戻ると閉じます（Backspace で最後の点を消す）。',
    distance: '距離', pathLength: '長さ', onSheet: '用紙上', area: '面積', tsubo: '坪', clear: 'やり直す',
    end: '端点', middle: '中点', centre: '中心', crossing: '交点',
    find: '検索', findTitle: '開いている図面の文字を検索 (/)', findLabel: '検索する文字', hits: '{n} 件',
    print: '印刷', printTitle: '用紙の大きさで実尺どおりに印刷', printOptions: '印刷の設定',
    printPens: 'ペン', screenPens: '画面の色', printerPens: 'プリンタのペン', printLayers: '非表示レイヤは表示のとおり',
    preparing: '印刷の準備中…', updateReady: '新しい版の準備ができました —', reload: '再読み込み',
  },
};
// The library's statuses in Japanese; English comes from the library.
const STATUS_JA = {
  2: 'ファイルを読めません', 3: 'Jw_cad の図面 (.jww) や図形 (.jws) ではありません', 4: 'ファイルが壊れています',
  5: 'ファイルが大きすぎます (上限 256 MiB)', 6: '画像のためのメモリが足りません', 7: 'この図面のバージョンには対応していません',
  8: '表示範囲が大きすぎます', 11: '図面を変換できませんでした',
};
const lang = (navigator.languages && navigator.languages[0]) || navigator.language || 'en';
const ja = /^ja\b/i.test(lang);
const words = ja ? WORDS.ja : WORDS.en;
const GROUPS = 16;
const MAX_SIDE = 8192;
const MAX_FILE_BYTES = 256 * 1024 * 1024;

const $ = (id) => document.getElementById(id);
const canvas = $('picture');
const context = canvas.getContext('2d');
const overlay = $('overlay');
const worker = new Worker(new URL('render_worker.js', import.meta.url), { type: 'module' });

const tabs = [];
let current = null;   // the tab shown
let nextId = 1;
let nextSeq = 1;
let inFlight = null;  // the render request the worker is drawing
let wanted = false;   // the view changed while one was being drawn
let shown = null;     // { pixels, picture, view, id }: the last picture drawn for the current tab
const waiting = new Map(); // requests of other kinds (open, save) by id or seq
let tools = null;

// A request the worker answers once, by its sequence number.
function ask(message, transfer = []) {
  const seq = nextSeq++;
  return new Promise((resolve) => {
    waiting.set('seq' + seq, resolve);
    worker.postMessage({ ...message, seq }, transfer);
  });
}

function text(key) { return words[key] || key; }
function statusText(status, message) { return (ja && STATUS_JA[status]) || message; }

function translatePage() {
  document.documentElement.lang = ja ? 'ja' : 'en';
  for (const element of document.querySelectorAll('[data-text]')) element.textContent = text(element.dataset.text);
  for (const element of document.querySelectorAll('[data-title]')) {
    element.title = text(element.dataset.title);
    element.setAttribute('aria-label', element.title);
  }
}

let messageTimer = 0;
function showMessage(words) {
  const box = $('message');
  box.textContent = words;
  box.hidden = false;
  clearTimeout(messageTimer);
  messageTimer = setTimeout(() => { box.hidden = true; }, 10000);
}

function setBusy(busy, words) {
  document.body.dataset.busy = busy ? '1' : '0';
  if (words !== undefined) $('status').textContent = words;
}

// ---- views ---------------------------------------------------------------

function canvasSize() {
  const ratio = window.devicePixelRatio || 1;
  const rect = canvas.getBoundingClientRect();
  let width = Math.max(1, Math.round(rect.width * ratio));
  let height = Math.max(1, Math.round(rect.height * ratio));
  const over = Math.max(width / MAX_SIDE, height / MAX_SIDE, 1);
  return { width: Math.floor(width / over), height: Math.floor(height / over), ratio: ratio / over };
}

function sheetOf(tab) {
  const [x0, y0, x1, y1] = tab.info.sheet;
  return { x0, y0, x1, y1, width: Math.max(x1 - x0, 1e-6), height: Math.max(y1 - y0, 1e-6) };
}

function fitView(tab, size) {
  const sheet = sheetOf(tab);
  const margin = tab.info.format === 'jws' ? 0.9 : 0.96;
  const scale = Math.min(size.width / sheet.width, size.height / sheet.height) * margin;
  return { scale, x: (sheet.x0 + sheet.x1) / 2, y: (sheet.y0 + sheet.y1) / 2, fitScale: scale };
}

// Keeps a view where the library can draw it: not smaller than a tenth of
// the fitted sheet, not deeper than 5000 times into it, near the sheet.
function clampView(tab, view) {
  const fit = fitView(tab, canvasSize()).scale;
  view.scale = Math.min(Math.max(view.scale, fit / 10), fit * 5000);
  const sheet = sheetOf(tab);
  view.x = Math.min(Math.max(view.x, sheet.x0 - sheet.width), sheet.x1 + sheet.width);
  view.y = Math.min(Math.max(view.y, sheet.y0 - sheet.height), sheet.y1 + sheet.height);
  return view;
}

function currentRequestView() {
  const size = canvasSize();
  const v = current.view;
  return { placement: 'center', scale: v.scale, x: v.x, y: v.y, width: size.width, height: size.height };
}

function sameView(a, b) {
  return a && b && a.placement === b.placement && a.scale === b.scale && a.x === b.x && a.y === b.y &&
    a.width === b.width && a.height === b.height;
}

// The view's layer words: hide_groups, show_groups, hide_layers, show_layers.
function layerWords(tab) {
  const { hide, show } = tab.layers;
  return Uint16Array.from([hide[GROUPS], show[GROUPS], ...hide.subarray(0, GROUPS), ...show.subarray(0, GROUPS)]);
}

function layersKey(tab) { return layerWords(tab).join(','); }

// ---- drawing ---------------------------------------------------------------

function backgroundColour(tab) {
  return '#' + (tab ? tab.info.background : 0xffffff).toString(16).padStart(6, '0');
}

// The last picture moved and scaled to where the current view puts it,
// until the view's own picture arrives.
function paintPreview() {
  const size = canvasSize();
  if (canvas.width !== size.width || canvas.height !== size.height) {
    canvas.width = size.width;
    canvas.height = size.height;
  }
  context.setTransform(1, 0, 0, 1, 0, 0);
  context.fillStyle = backgroundColour(current);
  context.fillRect(0, 0, canvas.width, canvas.height);
  if (!current || !shown || shown.id !== current.id) {
    paintOverlay();
    return;
  }
  const o = shown.view, n = current.view;
  const k = n.scale / o.scale;
  const ox = Math.floor(o.width / 2), oy = Math.floor(o.height / 2);
  const nx = Math.floor(size.width / 2), ny = Math.floor(size.height / 2);
  context.imageSmoothingEnabled = k < 1;
  context.setTransform(k, 0, 0, k, nx - k * ox + (o.x - n.x) * n.scale, ny - k * oy - (o.y - n.y) * n.scale);
  context.drawImage(shown.bitmap, 0, 0);
  context.setTransform(1, 0, 0, 1, 0, 0);
  paintOverlay();
}

// Sheet millimetres to the canvas's device pixels in the current view, and back.
function toDevice(x, y) {
  const size = canvasSize();
  const v = current.view;
  return [Math.floor(size.width / 2) + (x - v.x) * v.scale, Math.floor(size.height / 2) - (y - v.y) * v.scale];
}

function toSheet(px, py) {
  const size = canvasSize();
  const v = current.view;
  return { x: v.x + (px - Math.floor(size.width / 2)) / v.scale, y: v.y - (py - Math.floor(size.height / 2)) / v.scale };
}

// What the tools draw over the picture: the measured path, the snap
// marker, the text found.
function paintOverlay() {
  const size = canvasSize();
  if (overlay.width !== size.width || overlay.height !== size.height) {
    overlay.width = size.width;
    overlay.height = size.height;
  }
  const ctx = overlay.getContext('2d');
  ctx.clearRect(0, 0, overlay.width, overlay.height);
  if (current && tools) tools.paint(ctx);
}

function requestRender() {
  if (!current) return;
  if (inFlight) {
    wanted = true;
    return;
  }
  wanted = false;
  const view = currentRequestView();
  inFlight = { type: 'render', id: current.id, seq: nextSeq++, view, layers: layerWords(current),
    layersKey: layersKey(current) };
  setBusy(true);
  worker.postMessage(inFlight);
}

function viewChanged() {
  if (!current) return;
  clampView(current, current.view);
  current.fitted = false;
  requestRender(); // the worker draws while the page scales the last picture
  paintPreview();
}

function showPicture(answer) {
  const request = inFlight;
  const tab = tabs.find((t) => t.id === answer.id);
  if (!tab || tab !== current) {
    answer.bitmap.close();
    return false;
  }
  const { width, height } = answer.view;
  if (shown && shown.bitmap !== answer.bitmap) shown.bitmap.close();
  shown = { bitmap: answer.bitmap, view: { ...answer.view }, id: tab.id };
  const exact = sameView(answer.view, currentRequestView()) && request.layersKey === layersKey(tab);
  if (exact) {
    if (canvas.width !== width || canvas.height !== height) {
      canvas.width = width;
      canvas.height = height;
    }
    context.drawImage(answer.bitmap, 0, 0);
    canvas.dataset.view = JSON.stringify({ id: tab.id, ...answer.view, layers: request.layersKey });
    paintOverlay();
  } else {
    paintPreview();
  }
  return exact;
}

worker.onmessage = (event) => {
  const answer = event.data;
  if (answer.type === 'opened' || answer.type === 'error') {
    const resolve = waiting.get('open' + answer.id);
    waiting.delete('open' + answer.id);
    if (resolve) resolve(answer);
    return;
  }
  const saving = waiting.get('seq' + answer.seq);
  if (saving) {
    waiting.delete('seq' + answer.seq);
    saving(answer);
    return;
  }
  if (!inFlight || answer.seq !== inFlight.seq) {
    if (answer.bitmap) answer.bitmap.close();  // a view no longer asked for
    return;
  }
  if (answer.type === 'failed') {
    inFlight = null;
    // A tab closed while its view was drawn needs no word.
    if (tabs.some((t) => t.id === answer.id)) showMessage(text('cannotDraw') + ': ' + statusText(answer.status, answer.message));
    if (wanted) requestRender(); else setBusy(false, '');
    return;
  }
  const exact = showPicture(answer);
  if (answer.partial) {
    setBusy(true, text('fonts'));
    return;
  }
  inFlight = null;
  if (wanted || !exact) {
    requestRender();
  } else {
    const zoom = current ? Math.round((current.view.scale / fitView(current, canvasSize()).scale) * 100) : 100;
    setBusy(false, `${text('scale')} ${zoom} %  ·  ${Math.round(answer.took)} ${text('ms')}`);
  }
};

// ---- documents and tabs ----------------------------------------------------

function showCannotOpen(name, reason) {
  showMessage(ja ? `${name} ${text('cannotOpen')}: ${reason}` : `${name}: ${text('cannotOpen')}: ${reason}`);
}

function openBytes(name, bytes) {
  const id = nextId++;
  return new Promise((resolve) => {
    waiting.set('open' + id, resolve);
    worker.postMessage({ type: 'open', id, bytes }, [bytes]);
  }).then((answer) => {
    if (answer.type === 'error') {
      showCannotOpen(name, statusText(answer.status, answer.message));
      return null;
    }
    const tab = { id, name, info: answer.info, view: null, fitted: true,
      layers: { hide: new Uint16Array(GROUPS + 1), show: new Uint16Array(GROUPS + 1) } };
    tabs.push(tab);
    if (!answer.info.complete) showMessage(`${name}: ${text('incomplete')}`);
    else if (!answer.info.version_drawn) showMessage(`${name}: ${text('notDrawn')}`);
    return tab;
  });
}

async function openFiles(files) {
  let last = null;
  for (const file of files) {
    if (file.size > MAX_FILE_BYTES) {
      // The library refuses such a file: not read into memory at all.
      showCannotOpen(file.name, statusText(5, 'the file is too large (the limit is 256 MiB)'));
      continue;
    }
    const tab = await openBytes(file.name, await file.arrayBuffer());
    if (tab) last = tab;
  }
  renderTabs();
  if (last) select(last);
}

function select(tab) {
  current = tab;
  if (shown) shown.bitmap.close();
  shown = null;
  if (tab && (!tab.view || tab.fitted)) tab.view = fitView(tab, canvasSize());
  $('welcome').hidden = !!tab;
  for (const id of ['zoom-out', 'zoom-fit', 'zoom-in', 'show-layers', 'show-facts', 'show-save', 'save-dxf', 'measure',
    'find', 'print', 'print-options']) {
    $(id).disabled = !tab;
  }
  renderTabs();
  if (tools) tools.tabChanged(tab);
  fillLayers();
  fillFacts();
  canvas.dataset.view = '';
  if (tab) {
    paintPreview();
    requestRender();
  } else {
    paintPreview();
    setBusy(false, '');
  }
}

function closeTab(tab) {
  worker.postMessage({ type: 'close', id: tab.id });
  const index = tabs.indexOf(tab);
  tabs.splice(index, 1);
  if (current === tab) select(tabs[Math.min(index, tabs.length - 1)] || null);
  else renderTabs();
  tools.tabClosed();
}

function renderTabs() {
  const bar = $('tabs');
  bar.replaceChildren();
  for (const tab of tabs) {
    // A tab and its close button side by side: no control inside another.
    const item = document.createElement('div');
    item.className = tab === current ? 'tab selected' : 'tab';
    item.title = tab.name;
    const name = document.createElement('button');
    name.className = 'tab-name';
    if (tab === current) name.setAttribute('aria-current', 'true');
    const label = document.createElement('span');
    label.textContent = tab.name;
    name.append(label);
    name.addEventListener('click', () => { if (tab !== current) select(tab); });
    const close = document.createElement('button');
    close.className = 'tab-close';
    close.textContent = '×';
    close.title = text('close');
    close.setAttribute('aria-label', `${text('close')} ${tab.name}`);
    close.addEventListener('click', (event) => { event.stopPropagation(); closeTab(tab); });
    item.append(name, close);
    bar.append(item);
  }
}

// ---- layers ----------------------------------------------------------------

// Where a switch lives: a group's in slot 16 (bit g), a layer's in slot g
// (bit l); and the state the file gives it.
function switchSlot(tab, g, l) {
  return l === undefined ? { slot: GROUPS, bit: 1 << g, state: tab.info.groups[g].state }
    : { slot: g, bit: 1 << l, state: tab.info.groups[g].layers[l].state };
}

function layerOn(tab, g, l) {
  const { slot, bit, state } = switchSlot(tab, g, l);
  return !(tab.layers.hide[slot] & bit) && (state > 0 || !!(tab.layers.show[slot] & bit));
}

// Off hides what the file shows; on shows what the file hides.
function switchLayer(tab, g, l, on) {
  const { slot, bit, state } = switchSlot(tab, g, l);
  const { hide, show } = tab.layers;
  hide[slot] &= ~bit;
  show[slot] &= ~bit;
  if (!on && state > 0) hide[slot] |= bit;
  if (on && state === 0) show[slot] |= bit;
}

function checkbox(labelText, checked, quiet, onChange) {
  const label = document.createElement('label');
  const box = document.createElement('input');
  box.type = 'checkbox';
  box.checked = checked;
  box.addEventListener('change', () => onChange(box.checked));
  const span = document.createElement('span');
  span.textContent = labelText;
  if (quiet) span.className = 'quiet';
  label.append(box, span);
  return label;
}

function fillLayers() {
  const panel = $('layers');
  panel.replaceChildren();
  const tab = current;
  if (!tab) return;
  const title = document.createElement('h2');
  title.textContent = text('layers');
  const all = document.createElement('button');
  all.textContent = text('allOn');
  all.addEventListener('click', () => {
    for (let g = 0; g < GROUPS; ++g) {
      switchLayer(tab, g, undefined, true);
      for (let l = 0; l < GROUPS; ++l) switchLayer(tab, g, l, true);
    }
    fillLayers();
    layersChanged();
  });
  panel.append(title, all);
  tab.info.groups.forEach((group, g) => {
    const box = document.createElement('div');
    box.className = 'group';
    const hex = g.toString(16).toUpperCase();
    const groupName = `${hex}  ${group.name || ''}`.trim() + (group.scale > 0 ? `  (1:${+group.scale.toFixed(3)})` : '');
    box.append(checkbox(groupName, layerOn(tab, g), group.state === 1, (on) => {
      switchLayer(tab, g, undefined, on);
      layersChanged();
    }));
    const layers = document.createElement('div');
    layers.className = 'layers';
    group.layers.forEach((layer, l) => {
      const name = `${l.toString(16).toUpperCase()} ${layer.name || ''}`.trim() +
        (layer.state === 1 ? ` (${text('displayOnly')})` : '');
      layers.append(checkbox(name, layerOn(tab, g, l), layer.state === 1, (on) => {
        switchLayer(tab, g, l, on);
        layersChanged();
      }));
    });
    box.append(layers);
    box.dataset.group = hex;
    panel.append(box);
  });
}

function layersChanged() {
  requestRender();
  paintPreview();
}

// ---- facts -----------------------------------------------------------------

function fillFacts() {
  const panel = $('facts');
  panel.replaceChildren();
  const tab = current;
  if (!tab) return;
  const info = tab.info;
  const rows = [
    [text('format'), text(info.format)],
    [text('version'), String(info.version)],
    [text('paper'), info.paper_name || '—'],
    [text('size'), `${+(info.sheet[2] - info.sheet[0]).toFixed(1)} × ${+(info.sheet[3] - info.sheet[1]).toFixed(1)} mm`],
  ];
  const title = document.createElement('h2');
  title.textContent = tab.name;
  const table = document.createElement('table');
  const addRow = ([name, value]) => {
    const row = table.insertRow();
    row.insertCell().textContent = name;
    row.insertCell().textContent = value;
  };
  rows.forEach(addRow);
  const objects = document.createElement('h3');
  objects.textContent = text('objects');
  const counts = document.createElement('table');
  for (const key of ['lines', 'arcs', 'points', 'texts', 'dimensions', 'solids', 'block_refs', 'block_defs']) {
    const row = counts.insertRow();
    row.insertCell().textContent = text(key);
    row.insertCell().textContent = info.counts[key].toLocaleString(lang);
  }
  panel.append(title, table, objects, counts);
  if (!info.complete) {
    const note = document.createElement('p');
    note.textContent = text('incomplete');
    panel.append(note);
  }
}

// ---- saving ----------------------------------------------------------------

function download(blob, name) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(blob);
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function baseName(tab) { return tab.name.replace(/\.[^.]*$/, ''); }

function saveView() {
  if (!current) return;
  canvas.toBlob((blob) => download(blob, `${baseName(current)}-view.png`), 'image/png');
}

function saveSheet() {
  if (!current) return;
  const width = Math.round(Number($('save-width').value));
  if (!(width >= 300 && width <= 8000)) {
    showMessage(text('badWidth'));
    return;
  }
  const tab = current;
  // The plug-in's proportion, as the library gives it.
  const view = { placement: 'fit', width, height: Math.floor(width * tab.info.aspect) };
  const seq = nextSeq++;
  setBusy(true, text('drawing'));
  const finish = (answer) => {
    if (answer.partial) {
      answer.bitmap.close();
      waiting.set('seq' + seq, finish); // the whole picture follows once fonts arrive
    } else {
      finishSave(tab, answer);
    }
  };
  waiting.set('seq' + seq, finish);
  worker.postMessage({ type: 'render', id: tab.id, seq, view, layers: layerWords(tab) });
}

function finishSave(tab, answer) {
  setBusy(!!inFlight, '');
  if (answer.type === 'failed') {
    showMessage(text('cannotDraw') + ': ' + statusText(answer.status, answer.message));
    return;
  }
  const picture = document.createElement('canvas');
  picture.width = answer.view.width;
  picture.height = answer.view.height;
  picture.getContext('2d').drawImage(answer.bitmap, 0, 0);
  answer.bitmap.close();
  picture.toBlob((blob) => download(blob, `${baseName(tab)}.png`), 'image/png');
}

// The drawing as DXF, with the layers as the view shows them.
async function saveDxf() {
  if (!current) return;
  const tab = current;
  setBusy(true, text('drawing'));
  const answer = await ask({ type: 'dxf', id: tab.id, layers: layerWords(tab) });
  setBusy(!!inFlight, '');
  if (answer.type === 'failed') {
    showMessage(text('cannotSave') + ': ' + statusText(answer.status, answer.message));
    return;
  }
  download(new Blob([answer.bytes], { type: 'image/vnd.dxf' }), `${baseName(tab)}.dxf`);
}

// ---- input -----------------------------------------------------------------

function zoomAbout(factor, px, py) {
  if (!current) return;
  const size = canvasSize();
  const v = current.view;
  const dx = px - Math.floor(size.width / 2), dy = py - Math.floor(size.height / 2);
  const sx = v.x + dx / v.scale, sy = v.y - dy / v.scale;
  v.scale *= factor;
  clampView(current, v);
  v.x = sx - dx / v.scale;
  v.y = sy + dy / v.scale;
  viewChanged();
}

function panBy(dx, dy) {
  if (!current) return;
  current.view.x -= dx / current.view.scale;
  current.view.y += dy / current.view.scale;
  viewChanged();
}

function devicePoint(event) {
  const rect = canvas.getBoundingClientRect();
  const ratio = canvasSize().ratio;
  return [(event.clientX - rect.left) * ratio, (event.clientY - rect.top) * ratio];
}

canvas.addEventListener('wheel', (event) => {
  event.preventDefault();
  const unit = event.deltaMode === 1 ? 33 : event.deltaMode === 2 ? 400 : 1;
  const [x, y] = devicePoint(event);
  zoomAbout(Math.exp(-event.deltaY * unit * 0.002), x, y);
}, { passive: false });

const pointers = new Map();
let press = null; // where a single pointer went down, and whether it moved: a click when not
canvas.addEventListener('pointerdown', (event) => {
  if (!current) return;
  canvas.setPointerCapture(event.pointerId);
  pointers.set(event.pointerId, devicePoint(event));
  canvas.classList.add('dragging');
  press = pointers.size === 1 ? { at: devicePoint(event), moved: false } : null;
});
canvas.addEventListener('pointermove', (event) => {
  if (!pointers.has(event.pointerId)) {
    if (current && tools) tools.hover(...devicePoint(event));
    return;
  }
  if (press) {
    const [x, y] = devicePoint(event);
    if (Math.hypot(x - press.at[0], y - press.at[1]) > 5 * canvasSize().ratio) press.moved = true;
    if (!press.moved) return;
  }
  const before = [...pointers.values()];
  pointers.set(event.pointerId, devicePoint(event));
  const after = [...pointers.values()];
  if (after.length === 1) {
    panBy(after[0][0] - before[0][0], after[0][1] - before[0][1]);
  } else if (after.length >= 2) {
    // Pinch: the distance between two fingers zooms about their middle,
    // and the middle's movement pans.
    const middle = (p) => [(p[0][0] + p[1][0]) / 2, (p[0][1] + p[1][1]) / 2];
    const spread = (p) => Math.hypot(p[0][0] - p[1][0], p[0][1] - p[1][1]) || 1;
    const [mx0, my0] = middle(before), [mx1, my1] = middle(after);
    current.view.x -= (mx1 - mx0) / current.view.scale;
    current.view.y += (my1 - my0) / current.view.scale;
    zoomAbout(spread(after) / spread(before), mx1, my1);
  }
});
for (const type of ['pointerup', 'pointercancel']) {
  canvas.addEventListener(type, (event) => {
    pointers.delete(event.pointerId);
    if (pointers.size === 0) canvas.classList.remove('dragging');
    if (type === 'pointerup' && press && !press.moved && pointers.size === 0) tools.tap(...press.at);
    press = null;
  });
}

function zoomCentre(factor) {
  const size = canvasSize();
  zoomAbout(factor, Math.floor(size.width / 2), Math.floor(size.height / 2));
}

function fit() {
  if (!current) return;
  current.view = fitView(current, canvasSize());
  current.fitted = true;
  paintPreview();
  requestRender();
}

document.addEventListener('keydown', (event) => {
  if (current && tools.keydown(event)) {
    event.preventDefault();
    return;
  }
  if (!current || event.target instanceof HTMLInputElement || event.target instanceof HTMLSelectElement ||
    event.ctrlKey || event.metaKey || event.altKey) return;
  const size = canvasSize();
  const step = Math.min(size.width, size.height) / 8;
  const actions = {
    '+': () => zoomCentre(1.5), '=': () => zoomCentre(1.5), '-': () => zoomCentre(1 / 1.5), '0': fit,
    ArrowLeft: () => panBy(step, 0), ArrowRight: () => panBy(-step, 0),
    ArrowUp: () => panBy(0, step), ArrowDown: () => panBy(0, -step),
  };
  const action = actions[event.key];
  if (!action) return;
  event.preventDefault();
  action();
});

$('zoom-in').addEventListener('click', () => zoomCentre(1.5));
$('zoom-out').addEventListener('click', () => zoomCentre(1 / 1.5));
$('zoom-fit').addEventListener('click', fit);
// Closes every side panel but the one named.
function closePanels(except) {
  for (const name of ['layers', 'facts', 'save']) {
    if (name === except) continue;
    $(name).hidden = true;
    $('show-' + name).setAttribute('aria-pressed', 'false');
  }
  for (const [panel, button] of [['find-panel', 'find'], ['print-panel', 'print-options']]) {
    if (panel === except) continue;
    $(panel).hidden = true;
    $(button).setAttribute('aria-pressed', 'false');
  }
}

for (const name of ['layers', 'facts', 'save']) {
  $('show-' + name).addEventListener('click', () => {
    const open = $(name).hidden;
    closePanels(open ? name : null);
    $(name).hidden = !open;
    $('show-' + name).setAttribute('aria-pressed', open ? 'true' : 'false');
  });
}
$('save-view').addEventListener('click', saveView);
$('save-sheet').addEventListener('click', saveSheet);
$('save-dxf').addEventListener('click', saveDxf);
$('open').addEventListener('change', (event) => {
  openFiles([...event.target.files]);
  event.target.value = '';
});

let dragDepth = 0;
document.addEventListener('dragenter', (event) => {
  event.preventDefault();
  if (++dragDepth === 1) $('drop-hint').hidden = false;
});
document.addEventListener('dragleave', () => {
  if (--dragDepth <= 0) { dragDepth = 0; $('drop-hint').hidden = true; }
});
document.addEventListener('dragover', (event) => event.preventDefault());
document.addEventListener('drop', (event) => {
  event.preventDefault();
  dragDepth = 0;
  $('drop-hint').hidden = true;
  if (event.dataTransfer && event.dataTransfer.files.length) openFiles([...event.dataTransfer.files]);
});

new ResizeObserver(() => {
  if (!current) { paintPreview(); return; }
  if (current.fitted) current.view = fitView(current, canvasSize());
  paintPreview();
  requestRender();
}).observe(canvas);

// A view set from outside: centre and scale.
function setView(tab, view) {
  if (tab !== current) select(tab);
  Object.assign(current.view, view);
  viewChanged();
}

tools = setUpTools({
  $, text, lang, canvas, tabs, ask, layerWords, canvasSize, toSheet, toDevice, paintOverlay, select, setView,
  setBusy, showMessage, statusText, closePanels, current: () => current, idle: () => setBusy(!!inFlight, ''),
});

// ---- an installed app ---------------------------------------------------------

// Files the operating system hands an installed app ("Open with"), each in a tab.
if ('launchQueue' in window) {
  window.launchQueue.setConsumer(async (params) => {
    const files = [];
    for (const handle of params.files || []) files.push(await handle.getFile());
    if (files.length) openFiles(files);
  });
}

// Files a phone's share sheet sent: the service worker kept them for the page.
async function openShared() {
  if (!new URLSearchParams(location.search).has('shared') || !('caches' in window)) return;
  history.replaceState(null, '', location.pathname);
  const store = await caches.open('plotmira-shared');
  const files = [];
  for (const request of await store.keys()) {
    const response = await store.match(request);
    files.push(new File([await response.blob()], decodeURIComponent(new URL(request.url).pathname.split('/').pop())));
    await store.delete(request);
  }
  if (files.length) openFiles(files);
}

// The service worker keeps the page, the module and the faces for offline
// use; a new version waits until the page is reloaded.
function offerReload(waitingWorker) {
  const box = $('update');
  box.hidden = false;
  $('update-reload').onclick = () => waitingWorker.postMessage('take over');
}

if ('serviceWorker' in navigator) {
  navigator.serviceWorker.register('sw.js').then((registration) => {
    if (registration.waiting && navigator.serviceWorker.controller) offerReload(registration.waiting);
    registration.addEventListener('updatefound', () => {
      const installing = registration.installing;
      installing.addEventListener('statechange', () => {
        if (installing.state === 'installed' && navigator.serviceWorker.controller) offerReload(installing);
      });
    });
  }).catch(() => { /* not served over http(s): the page works without it */ });
  let reloading = false;
  navigator.serviceWorker.addEventListener('controllerchange', () => {
    if (reloading || $('update').hidden) return;
    reloading = true;
    location.reload();
  });
}

translatePage();
select(null);
openShared();
