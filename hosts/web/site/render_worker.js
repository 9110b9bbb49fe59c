// The render worker: the library in WebAssembly, its documents, and what
// the page asks of them off its thread: views and print tiles (handed over
// as ImageBitmaps), texts, snap points and DXF files. A face a render
// looked for and did not find is fetched from the site's fonts/ folder and
// the view drawn again, so a drawing without text never waits for a font.
import createPlotmira from './plotmira.mjs';

const LAYER_WORDS = 2 + 2 * 16;
let lib = null;
const documents = new Map(); // id -> document pointer
const fetched = new Map();   // font file -> promise of its arrival

async function library() {
  if (!lib) lib = await createPlotmira();
  return lib;
}

function statusMessage(status) {
  return lib.UTF8ToString(lib._plotmira_strerror(status));
}

// A view the library did not draw, with its words.
function failed(request, status, message = statusMessage(status)) {
  return { type: 'failed', id: request.id, seq: request.seq, status, message };
}

async function open(id, bytes) {
  const m = await library();
  const data = m._malloc(bytes.byteLength || 1);
  const out = m._malloc(4);
  try {
    if (!data || !out) return { type: 'error', id, status: 6, message: statusMessage(6) };
    m.HEAPU8.set(new Uint8Array(bytes), data);
    const status = m._plotmira_open_memory(data, bytes.byteLength, out);
    if (status !== 0) return { type: 'error', id, status, message: statusMessage(status) };
    const doc = m.HEAPU32[out >> 2];
    const described = m._plotmira_web_describe(doc);
    if (!described) {
      m._plotmira_close(doc);
      return { type: 'error', id, status: 4, message: statusMessage(4) };
    }
    documents.set(id, doc);
    return { type: 'opened', id, info: JSON.parse(m.UTF8ToString(described)) };
  } finally {
    m._free(out);
    m._free(data);
  }
}

// Answers use(layers, ...buffers), with the request's layer switches and
// buffers of the sizes given in the module's memory, which all go back
// after; null when the memory cannot be had.
function withMemory(request, sizes, use) {
  const m = lib;
  const layers = m._malloc(LAYER_WORDS * 2);
  const buffers = sizes.map((size) => m._malloc(size));
  try {
    if (!layers || buffers.includes(0)) return null;
    m.HEAPU16.set(request.layers, layers >> 1);
    return use(layers, ...buffers);
  } finally {
    m._free(layers);
    buffers.forEach((buffer) => m._free(buffer));
  }
}

// Calls draw(layers, pixels) with a buffer of width x height RGBA pixels;
// answers [status, a promise of the pixels as an ImageBitmap]. The bitmap
// is made straight from the module's memory: createImageBitmap takes its
// copy of an ImageData before it returns, so the buffer can go back at once.
function withBuffers(request, width, height, draw) {
  const bytes = width * height * 4;
  return withMemory(request, [bytes], (layers, pixels) => {
    const status = draw(layers, pixels);
    return [status, status === 0
      ? createImageBitmap(new ImageData(new Uint8ClampedArray(lib.HEAPU8.buffer, pixels, bytes), width, height))
      : null];
  }) ?? [6, null];
}

// Draws one view; the picture goes to the page as an ImageBitmap, which it
// puts on its canvas without another copy.
async function render(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  const v = request.view;
  const started = performance.now();
  const [status, bitmap] = withBuffers(request, v.width, v.height, (layers, pixels) =>
    m._plotmira_web_render(doc, v.placement === 'center' ? 1 : 0, v.scale || 0, v.x || 0, v.y || 0, v.width,
      v.height, request.print ? 1 : 0, layers, pixels));
  const took = performance.now() - started;
  if (status !== 0) return failed(request, status);
  const missing = m.UTF8ToString(m._plotmira_web_missing_fonts());
  return { type: 'picture', seq: request.seq, id: request.id, view: request.view, took,
    fonts: missing ? missing.split(',') : [], bitmap: await bitmap };
}

// A tile of a print (see plotmira_web_render_tile).
async function tile(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  const t = request.tile;
  const [status, bitmap] = withBuffers(request, t.width, t.height, (layers, pixels) =>
    m._plotmira_web_render_tile(doc, ...t.region, t.canvasWidth, t.canvasHeight, t.x, t.y, t.width, t.height,
      request.print ? 1 : 0, layers, pixels));
  if (status !== 0) return failed(request, status);
  return { type: 'tile', seq: request.seq, id: request.id, tile: t, bitmap: await bitmap };
}

function texts(request) {
  const m = lib;
  const doc = documents.get(request.id);
  const json = doc === undefined ? 0 : m._plotmira_web_texts(doc);
  if (!json) return failed(request, doc === undefined ? 1 : 11);
  return { type: 'texts', seq: request.seq, id: request.id, texts: JSON.parse(m.UTF8ToString(json)) };
}

// The snap point nearest the place: { kind, x, y, group, scale }; kind 0 none.
function snap(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  return withMemory(request, [5 * 8], (layers, out) => {
    const status = m._plotmira_web_snap(doc, request.x, request.y, request.radius, layers, out);
    if (status !== 0) return failed(request, status);
    const [kind, x, y, group, scale] = m.HEAPF64.subarray(out >> 3, (out >> 3) + 5);
    return { type: 'snap', seq: request.seq, id: request.id, point: { kind, x, y, group, scale } };
  }) ?? failed(request, 6);
}

// The document as a DXF file, with the view's layers.
function exportDxf(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  return withMemory(request, [], (layers) => {
    const status = m._plotmira_web_export_dxf(doc, 0, layers);
    if (status !== 0) return failed(request, status);
    const start = m._plotmira_web_output();
    const bytes = m.HEAPU8.slice(start, start + m._plotmira_web_output_size());
    m._plotmira_web_output_release();
    return { type: 'dxf', seq: request.seq, id: request.id, bytes: bytes.buffer };
  }) ?? failed(request, 6);
}

function fetchFont(name) {
  if (!fetched.has(name)) {
    fetched.set(name, fetch(new URL('fonts/' + name, self.location.href)).then(async (response) => {
      if (!response.ok) throw new Error(name + ': ' + response.status);
      const data = new Uint8Array(await response.arrayBuffer());
      try { lib.FS.mkdir('/fonts'); } catch (e) { /* there already */ }
      lib.FS.writeFile('/fonts/' + name, data);
      lib._plotmira_web_fonts_arrived();
    }));
  }
  return fetched.get(name);
}

async function draw(request) {
  let answer = await render(request);
  if (answer.type === 'picture' && answer.fonts.length > 0) {
    // The picture without the missing faces' texts first, then the whole.
    const fonts = answer.fonts;
    self.postMessage({ ...answer, partial: true }, [answer.bitmap]);
    try {
      await Promise.all(fonts.map(fetchFont));
    } catch (error) {
      return failed(request, -1, String(error));
    }
    answer = await render(request);
  }
  return answer;
}

self.onmessage = async (event) => {
  const request = event.data;
  let answer;
  try {
    if (request.type === 'open') {
      answer = await open(request.id, request.bytes);
    } else if (request.type === 'render') {
      await library();
      answer = await draw(request);
    } else if (request.type === 'dxf') {
      answer = exportDxf(request);
    } else if (request.type === 'texts') {
      await library();
      answer = texts(request);
    } else if (request.type === 'snap') {
      await library();
      answer = snap(request);
    } else if (request.type === 'tile') {
      await library();
      answer = await tile(request);
    } else if (request.type === 'close') {
      const doc = documents.get(request.id);
      if (doc !== undefined) lib._plotmira_close(doc);
      documents.delete(request.id);
      return;
    }
  } catch (error) {
    answer = { type: request.type === 'open' ? 'error' : 'failed', id: request.id, seq: request.seq, status: -1,
      message: String(error && error.message || error) };
  }
  const moved = answer.bitmap || answer.bytes;
  self.postMessage(answer, moved ? [moved] : []);
};
