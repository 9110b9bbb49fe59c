// The render worker: the library in WebAssembly, its documents, and the
// views the page asks for, drawn off the page's thread. A face a render
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

// Draws one view; the pixels go to the page without a copy.
function render(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  const { width, height } = request.view;
  const bytes = width * height * 4;
  const pixels = m._malloc(bytes);
  const layers = m._malloc(LAYER_WORDS * 2);
  if (!pixels || !layers) {
    m._free(pixels);
    m._free(layers);
    return failed(request, 6);
  }
  try {
    m.HEAPU16.set(request.layers, layers >> 1);
    const v = request.view;
    const started = performance.now();
    const status = m._plotmira_web_render(doc, v.placement === 'center' ? 1 : 0, v.scale || 0, v.x || 0, v.y || 0,
      width, height, request.print ? 1 : 0, layers, pixels);
    const took = performance.now() - started;
    if (status !== 0) return failed(request, status);
    const copy = m.HEAPU8.slice(pixels, pixels + bytes);
    const missing = m.UTF8ToString(m._plotmira_web_missing_fonts());
    return { type: 'picture', seq: request.seq, id: request.id, view: request.view, took,
      fonts: missing ? missing.split(',') : [], pixels: copy.buffer };
  } finally {
    m._free(layers);
    m._free(pixels);
  }
}

// The document as a DXF file, with the view's layers.
function exportDxf(request) {
  const m = lib;
  const doc = documents.get(request.id);
  if (doc === undefined) return failed(request, 1);
  const layers = m._malloc(LAYER_WORDS * 2);
  if (!layers) return failed(request, 6);
  try {
    m.HEAPU16.set(request.layers, layers >> 1);
    const status = m._plotmira_web_export_dxf(doc, 0, layers);
    if (status !== 0) return failed(request, status);
    const start = m._plotmira_web_output();
    const bytes = m.HEAPU8.slice(start, start + m._plotmira_web_output_size());
    return { type: 'dxf', seq: request.seq, id: request.id, bytes: bytes.buffer };
  } finally {
    m._free(layers);
  }
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
  let answer = render(request);
  if (answer.type === 'picture' && answer.fonts.length > 0) {
    // The picture without the missing faces' texts first, then the whole.
    const fonts = answer.fonts;
    self.postMessage({ ...answer, partial: true }, [answer.pixels]);
    try {
      await Promise.all(fonts.map(fetchFont));
    } catch (error) {
      return failed(request, -1, String(error));
    }
    answer = render(request);
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
  const moved = answer.pixels || answer.bytes;
  self.postMessage(answer, moved ? [moved] : []);
};
