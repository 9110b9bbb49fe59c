// The commands that work on a drawing's geometry and texts: Measure (snap
// points from the library, lengths and areas in the drawing's real units),
// Find (the texts of every open drawing), and Print (the sheet at its
// paper's size, drawn in tiles at 200 dots per inch). The page hands them
// an `app` with what they need of it (see viewer.js).

const SNAP_PIXELS = 8;        // CSS pixels around the pointer a snap point is looked for in
const TAP_PIXELS = 5;         // a press that moves less than this is a click, not a drag
const TSUBO_M2 = 400 / 121;   // one tsubo: (20/11 m)^2
const PRINT_DPI = 200;
const TILE = 2048;            // print tiles' side, pixels
const KINDS = ['', 'end', 'middle', 'centre', 'crossing'];

export function setUpTools(app) {
  const { $, text } = app;

  // ---- measure -------------------------------------------------------------

  const measure = { on: false, points: [], closed: false, hover: null, asking: null, next: null };

  // The group whose scale a measurement without a snap takes: the one the
  // user picked, else the one most of the drawing's objects lie in.
  function defaultGroup(tab) {
    const counts = tab.info.group_objects || [];
    let best = 0;
    counts.forEach((n, g) => { if (n > counts[best]) best = g; });
    return best;
  }

  function fillGroups(tab) {
    const select = $('measure-group');
    select.replaceChildren();
    if (!tab) return;
    tab.info.groups.forEach((group, g) => {
      const option = document.createElement('option');
      option.value = String(g);
      option.textContent = `${g.toString(16).toUpperCase()} ${group.name || ''} 1:${+group.scale.toFixed(3)}`;
      select.append(option);
    });
    select.value = String(tab.measureGroup ?? defaultGroup(tab));
  }

  function groupScale(tab, g) {
    const scale = tab.info.format === 'jws' ? 1 : tab.info.groups[g].scale;
    return scale > 0 ? scale : 1;
  }

  // Where a click lands: the snap point near it, or the place itself.
  async function placeOf(tab, deviceX, deviceY) {
    const at = app.toSheet(deviceX, deviceY);
    const group = Number($('measure-group').value) || 0;
    const free = { kind: 0, x: at.x, y: at.y, group, scale: groupScale(tab, group) };
    if (!$('measure-snap').checked) return free;
    const radius = SNAP_PIXELS * app.canvasSize().ratio / tab.view.scale;
    const answer = await app.ask({ type: 'snap', id: tab.id, x: at.x, y: at.y, radius, layers: app.layerWords(tab) });
    if (answer.type !== 'snap' || answer.point.kind === 0) return free;
    return answer.point;
  }

  function formatLength(mm) {
    const metres = Math.abs(mm) >= 10000;
    const value = metres ? mm / 1000 : mm;
    return `${value.toLocaleString(app.lang, { maximumFractionDigits: metres ? 3 : 1 })} ${metres ? 'm' : 'mm'}`;
  }

  function showResult() {
    const out = $('measure-result');
    const points = measure.points;
    if (points.length < 2) {
      out.textContent = text(points.length ? 'measureNext' : 'measureFirst');
      out.dataset.mm = out.dataset.sheetMm = '';
      delete out.dataset.areaM2;
      return;
    }
    // The path's scale is its first point's: the group of the object it
    // snapped to, or the one picked.
    const scale = points[0].scale;
    let sheet = 0;
    for (let i = 1; i < points.length; ++i) sheet += Math.hypot(points[i].x - points[i - 1].x, points[i].y - points[i - 1].y);
    if (measure.closed) sheet += Math.hypot(points[0].x - points.at(-1).x, points[0].y - points.at(-1).y);
    const real = sheet * scale;
    out.dataset.mm = String(real);
    out.dataset.sheetMm = String(sheet);
    const lines = [`${text(points.length === 2 && !measure.closed ? 'distance' : 'pathLength')} ${formatLength(real)}` +
      `  (1:${+scale.toFixed(3)}; ${text('onSheet')} ${+sheet.toFixed(2)} mm)`];
    if (measure.closed) {
      let twice = 0;
      points.forEach((p, i) => {
        const q = points[(i + 1) % points.length];
        twice += p.x * q.y - q.x * p.y;
      });
      const m2 = Math.abs(twice) / 2 * scale * scale / 1e6;
      out.dataset.areaM2 = String(m2);
      lines.push(`${text('area')} ${m2.toLocaleString(app.lang, { maximumFractionDigits: 3 })} m²` +
        `  (${(m2 / TSUBO_M2).toLocaleString(app.lang, { maximumFractionDigits: 2 })} ${text('tsubo')})`);
    } else {
      delete out.dataset.areaM2;
    }
    out.textContent = lines.join('\n');
  }

  function setMeasuring(on) {
    measure.on = on && !!app.current();
    measure.points = [];
    measure.closed = false;
    measure.hover = null;
    $('measure').setAttribute('aria-pressed', measure.on ? 'true' : 'false');
    $('measure-panel').hidden = !measure.on;
    app.canvas.classList.toggle('measuring', measure.on);
    if (measure.on) {
      fillGroups(app.current());
      app.closePanels('measure-panel');
    }
    showResult();
    app.paintOverlay();
  }

  async function tap(deviceX, deviceY) {
    const tab = app.current();
    if (!measure.on || !tab) return false;
    if (measure.closed) {
      measure.points = [];
      measure.closed = false;
    }
    const point = await placeOf(tab, deviceX, deviceY);
    if (!measure.on || app.current() !== tab) return true;  // measuring ended or moved on meanwhile
    const first = measure.points[0];
    const near = first && Math.hypot(point.x - first.x, point.y - first.y) * tab.view.scale <=
      SNAP_PIXELS * app.canvasSize().ratio;
    if (near && measure.points.length >= 3) {
      measure.closed = true;  // back at the start: the path closes, and has an area
    } else {
      measure.points.push(point);
    }
    showResult();
    app.paintOverlay();
    return true;
  }

  // The snap marker follows the pointer; one question at a time, the last
  // place asked next.
  async function hover(deviceX, deviceY) {
    const tab = app.current();
    if (!measure.on || !tab) return;
    measure.next = [deviceX, deviceY];
    if (measure.asking) return;
    while (measure.next) {
      const [x, y] = measure.next;
      measure.next = null;
      measure.asking = placeOf(tab, x, y);
      const found = await measure.asking;
      measure.asking = null;
      if (!measure.on || app.current() !== tab) return;
      measure.hover = found;
      app.paintOverlay();
    }
  }

  // Without a pointer: the view's centre is the place, the arrow keys
  // move the drawing under it, Enter takes it and Backspace drops the last.
  function centre() {
    const size = app.canvasSize();
    return [Math.floor(size.width / 2), Math.floor(size.height / 2)];
  }

  function measureKey(event) {
    if (event.target !== document.body && event.target !== app.canvas) return false;  // a control's own keys
    if (event.key === 'Enter') {
      tap(...centre());
      return true;
    }
    if (event.key === 'Backspace' && measure.points.length) {
      if (measure.closed) measure.closed = false;
      else measure.points.pop();
      showResult();
      app.paintOverlay();
      return true;
    }
    if (event.key.startsWith('Arrow')) queueMicrotask(() => hover(...centre()));  // once the view has moved
    return false;
  }

  function drawMarker(ctx, p, colour) {
    const [x, y] = app.toDevice(p.x, p.y);
    const r = 6 * app.canvasSize().ratio;
    ctx.strokeStyle = colour;
    ctx.lineWidth = 2 * app.canvasSize().ratio;
    ctx.beginPath();
    if (p.kind === 1) ctx.rect(x - r, y - r, 2 * r, 2 * r);
    else if (p.kind === 2) { ctx.moveTo(x, y - r); ctx.lineTo(x + r, y + r); ctx.lineTo(x - r, y + r); ctx.closePath(); }
    else if (p.kind === 3) ctx.arc(x, y, r, 0, 2 * Math.PI);
    else if (p.kind === 4) { ctx.moveTo(x - r, y - r); ctx.lineTo(x + r, y + r); ctx.moveTo(x + r, y - r); ctx.lineTo(x - r, y + r); }
    else { ctx.moveTo(x - r, y); ctx.lineTo(x + r, y); ctx.moveTo(x, y - r); ctx.lineTo(x, y + r); }
    ctx.stroke();
  }

  function paintMeasure(ctx) {
    if (!measure.on) return;
    const ratio = app.canvasSize().ratio;
    if (measure.points.length) {
      ctx.strokeStyle = '#ff6d00';
      ctx.fillStyle = 'rgba(255, 109, 0, 0.15)';
      ctx.lineWidth = 2 * ratio;
      ctx.beginPath();
      measure.points.forEach((p, i) => {
        const [x, y] = app.toDevice(p.x, p.y);
        if (i === 0) ctx.moveTo(x, y); else ctx.lineTo(x, y);
      });
      if (measure.closed) {
        ctx.closePath();
        ctx.fill();
      }
      ctx.stroke();
      for (const p of measure.points) drawMarker(ctx, p, '#ff6d00');
    }
    if (measure.hover) drawMarker(ctx, measure.hover, measure.hover.kind ? '#00e676' : '#90a4ae');
    $('measure-snap-kind').textContent = measure.hover && measure.hover.kind ? text(KINDS[measure.hover.kind]) : '';
  }

  // Measuring started from the keyboard hands the keys to the drawing.
  function toggleMeasuring(byKeys) {
    setMeasuring(!measure.on);
    if (!byKeys || !measure.on) return;
    app.canvas.focus();
    hover(...centre());
  }

  $('measure').addEventListener('click', (event) => toggleMeasuring(event.detail === 0));  // 0: Enter or Space
  $('measure-clear').addEventListener('click', () => setMeasuring(true));
  $('measure-group').addEventListener('change', () => {
    const tab = app.current();
    if (tab) tab.measureGroup = Number($('measure-group').value);
  });

  // ---- find ----------------------------------------------------------------

  const find = { hits: [], mark: null, composing: false };
  const fold = (s) => s.normalize('NFKC').toLowerCase();

  async function textsOf(tab) {
    if (!tab.texts) {
      tab.texts = app.ask({ type: 'texts', id: tab.id }).then((answer) =>
        answer.type === 'texts' ? answer.texts.map(([value, x, y, height, angle, group, layer, kind]) =>
          ({ value, folded: fold(value), x, y, height, angle, group, layer, kind })) : []);
    }
    return tab.texts;
  }

  function layerName(tab, g, l) {
    const name = tab.info.groups[g] ? tab.info.groups[g].layers[l].name : '';
    return `${g.toString(16).toUpperCase()}-${l.toString(16).toUpperCase()}${name ? ' ' + name : ''}`;
  }

  let searched = 0;
  async function search() {
    const query = fold($('find-input').value.trim());
    const turn = ++searched;
    const list = $('find-results');
    const hits = [];
    if (query) {
      for (const tab of app.tabs) {
        for (const t of await textsOf(tab)) if (t.folded.includes(query)) hits.push({ tab, text: t });
      }
    }
    if (turn !== searched) return;  // a later search is under way
    find.hits = hits;
    list.replaceChildren();
    list.dataset.count = String(hits.length);
    hits.forEach((hit, i) => {
      const item = document.createElement('li');
      const button = document.createElement('button');
      button.type = 'button';
      button.dataset.hit = String(i);
      const words = document.createElement('span');
      words.textContent = hit.text.value;
      const where = document.createElement('small');
      where.textContent = `${hit.tab.name} · ${text('layer')} ${layerName(hit.tab, hit.text.group, hit.text.layer)}`;
      button.append(words, where);
      button.addEventListener('click', () => show(hit));
      item.append(button);
      list.append(item);
    });
    $('find-count').textContent = query ? text('hits').replace('{n}', hits.length.toLocaleString(app.lang)) : '';
  }

  // Centres the view on the hit, its text at least 32 pixels high, marked.
  function show(hit) {
    if (!app.tabs.includes(hit.tab)) return;  // closed since
    if (hit.tab !== app.current()) app.select(hit.tab);
    const t = hit.text;
    const ratio = app.canvasSize().ratio;
    const scale = Math.max(hit.tab.view.scale, (32 * ratio) / Math.max(t.height, 1e-6));
    const length = Math.max([...t.value].length, 1) * t.height;
    const a = (t.angle * Math.PI) / 180;
    const cx = t.x + (Math.cos(a) * length - Math.sin(a) * t.height) / 2;
    const cy = t.y + (Math.sin(a) * length + Math.cos(a) * t.height) / 2;
    find.mark = { tab: hit.tab, ...t, length };
    app.setView(hit.tab, { scale, x: cx, y: cy });
  }

  function paintFind(ctx) {
    const m = find.mark;
    if (!m || m.tab !== app.current()) return;
    const a = (m.angle * Math.PI) / 180;
    const pad = m.height * 0.3;
    const corners = [[-pad, -pad], [m.length + pad, -pad], [m.length + pad, m.height + pad], [-pad, m.height + pad]]
      .map(([u, v]) => app.toDevice(m.x + u * Math.cos(a) - v * Math.sin(a), m.y + u * Math.sin(a) + v * Math.cos(a)));
    ctx.strokeStyle = '#ffab00';
    ctx.fillStyle = 'rgba(255, 171, 0, 0.25)';
    ctx.lineWidth = 3 * app.canvasSize().ratio;
    ctx.beginPath();
    corners.forEach(([x, y], i) => (i ? ctx.lineTo(x, y) : ctx.moveTo(x, y)));
    ctx.closePath();
    ctx.fill();
    ctx.stroke();
  }

  function openFind() {
    if (!app.tabs.length) return;
    app.closePanels('find-panel');
    $('find-panel').hidden = false;
    $('find').setAttribute('aria-pressed', 'true');
    $('find-input').focus();
    $('find-input').select();
    search();  // the drawings open now
  }

  function closeFind() {
    $('find-panel').hidden = true;
    $('find').setAttribute('aria-pressed', 'false');
    find.mark = null;
    app.paintOverlay();
  }

  const input = $('find-input');
  // Japanese input: nothing is searched while a word is being composed.
  input.addEventListener('compositionstart', () => { find.composing = true; });
  input.addEventListener('compositionend', () => { find.composing = false; search(); });
  input.addEventListener('input', (event) => { if (!event.isComposing && !find.composing) search(); });
  input.addEventListener('keydown', (event) => {
    if (event.key === 'Enter' && !event.isComposing && find.hits.length) show(find.hits[0]);
  });
  $('find').addEventListener('click', () => ($('find-panel').hidden ? openFind() : closeFind()));

  // ---- print ---------------------------------------------------------------

  const STORE = 'plotmira.print';
  const stored = (() => { try { return JSON.parse(localStorage.getItem(STORE)) || {}; } catch { return {}; } })();
  // Printer pens unless screen colours were chosen: a sheet on white paper.
  $('print-pens').value = stored.pens === 'screen' ? 'screen' : 'print';
  $('print-layers').checked = stored.layers !== 'file';
  const remember = () => {
    try {
      localStorage.setItem(STORE, JSON.stringify({ pens: $('print-pens').value,
        layers: $('print-layers').checked ? 'view' : 'file' }));
    } catch { /* private browsing: remembered for this visit only */ }
  };
  $('print-pens').addEventListener('change', remember);
  $('print-layers').addEventListener('change', remember);

  // The page a sheet prints on: a drawing's paper, landscape; a figure's
  // extent with the plug-in's margin, at 1:1.
  function pageOf(tab) {
    let [x0, y0, x1, y1] = tab.info.sheet;
    if (tab.info.format === 'jws') {
      const margin = Math.max(x1 - x0, y1 - y0) * 0.05 + 1;
      [x0, y0, x1, y1] = [x0 - margin, y0 - margin, x1 + margin, y1 + margin];
    }
    return { region: [x0, y1, x1, y0], width: x1 - x0, height: y1 - y0 };
  }

  let pageRule = null;
  async function print() {
    const tab = app.current();
    if (!tab) return;
    const started = performance.now();
    app.setBusy(true, text('preparing'));
    const page = pageOf(tab);
    const dots = PRINT_DPI / 25.4;
    const canvasWidth = Math.max(1, Math.round(page.width * dots));
    const canvasHeight = Math.max(1, Math.round(page.height * dots));
    const sheet = $('print-sheet');
    sheet.replaceChildren();
    sheet.style.width = `${page.width}mm`;
    sheet.style.height = `${page.height}mm`;
    const layers = $('print-layers').checked ? app.layerWords(tab) : app.layerWords(tab).fill(0);
    const tiles = [];
    for (let y = 0; y < canvasHeight; y += TILE) {
      for (let x = 0; x < canvasWidth; x += TILE) {
        const width = Math.min(TILE, canvasWidth - x), height = Math.min(TILE, canvasHeight - y);
        tiles.push(app.ask({ type: 'tile', id: tab.id, print: $('print-pens').value === 'print', layers,
          tile: { region: page.region, canvasWidth, canvasHeight, x, y, width, height } }));
      }
    }
    const answers = await Promise.all(tiles);
    app.idle();
    const failed = answers.find((a) => a.type !== 'tile');
    if (failed) {
      for (const answer of answers) if (answer.bitmap) answer.bitmap.close();
      app.showMessage(text('cannotDraw') + ': ' + app.statusText(failed.status, failed.message));
      return;
    }
    for (const { tile: t, bitmap } of answers) {
      const piece = document.createElement('canvas');
      piece.width = t.width;
      piece.height = t.height;
      piece.getContext('2d').drawImage(bitmap, 0, 0);
      bitmap.close();
      piece.style.left = `${(t.x / canvasWidth) * page.width}mm`;
      piece.style.top = `${(t.y / canvasHeight) * page.height}mm`;
      piece.style.width = `${(t.width / canvasWidth) * page.width}mm`;
      piece.style.height = `${(t.height / canvasHeight) * page.height}mm`;
      sheet.append(piece);
    }
    // The paper's size for the printer, as a rule of the page's own sheet
    // (the Content-Security-Policy allows no inline style).
    if (!pageRule) {
      pageRule = new CSSStyleSheet();
      document.adoptedStyleSheets = [...document.adoptedStyleSheets, pageRule];
    }
    pageRule.replaceSync(`@page { size: ${page.width}mm ${page.height}mm; margin: 0; }`);
    $('print').dataset.preparedMs = String(performance.now() - started);
    window.print();
  }
  $('print').addEventListener('click', print);
  $('print-options').addEventListener('click', () => {
    const open = $('print-panel').hidden;
    app.closePanels(open ? 'print-panel' : null);
    $('print-panel').hidden = !open;
    $('print-options').setAttribute('aria-pressed', open ? 'true' : 'false');
  });
  window.addEventListener('afterprint', () => $('print-sheet').replaceChildren());

  // ---- what the page asks of the tools ---------------------------------------

  return {
    tap,
    hover,
    paint(ctx) { paintFind(ctx); paintMeasure(ctx); },
    tabChanged(tab) {
      if (measure.on) setMeasuring(!!tab);
      if (!$('find-panel').hidden) search();
      if (tab) fillGroups(tab);
    },
    tabClosed() { if (!$('find-panel').hidden) search(); },
    keydown(event) {
      if (event.key === 'Escape') {
        if (measure.on) setMeasuring(false);
        else if (!$('find-panel').hidden) closeFind();
        else return false;
        return true;
      }
      if ((event.ctrlKey || event.metaKey) && !event.altKey && event.key.toLowerCase() === 'f') {
        openFind();
        return true;
      }
      if (event.ctrlKey || event.metaKey || event.altKey || event.target instanceof HTMLInputElement ||
        event.target instanceof HTMLSelectElement || event.target instanceof HTMLTextAreaElement) return false;
      if (event.key === '/') { openFind(); return true; }
      if (event.key === 'm' || event.key === 'M') {
        toggleMeasuring(true);
        return true;
      }
      return measure.on && measureKey(event);
    },
  };
}
