// Draws the app's icons (192 and 512 pixels square) into a folder as PNG:
// a sheet of paper with a small plan on it (walls, a door's swing, a
// dimension), on the bar's colour to its edges, so that a launcher may cut
// it to any shape. No package needed: Node's zlib makes the PNG.
//   node make_icons.mjs FOLDER
import fs from 'node:fs';
import path from 'node:path';
import zlib from 'node:zlib';

const BAR = [0x26, 0x32, 0x38];
const PAPER = [0xfa, 0xfa, 0xfa];
const INK = [0x37, 0x47, 0x4f];
const ACCENT = [0x02, 0x77, 0xbd];
const MARK = [0xff, 0x6d, 0x00];

// Shapes in units of the icon's side (0..1, y down); each answers whether
// a point is inside.
const rect = (x0, y0, x1, y1) => (x, y) => x >= x0 && x <= x1 && y >= y0 && y <= y1;
function segment(x1, y1, x2, y2, width) {
  const dx = x2 - x1, dy = y2 - y1, length = dx * dx + dy * dy;
  return (x, y) => {
    const t = Math.max(0, Math.min(1, ((x - x1) * dx + (y - y1) * dy) / length));
    return Math.hypot(x - x1 - t * dx, y - y1 - t * dy) <= width / 2;
  };
}
function arc(cx, cy, r, a0, a1, width) {
  return (x, y) => {
    const a = Math.atan2(cy - y, x - cx);
    return Math.abs(Math.hypot(x - cx, y - cy) - r) <= width / 2 && a >= a0 && a <= a1;
  };
}

// Painted in order, the last on top.
const wall = 0.028, thin = 0.012;
const layers = [
  [rect(0.16, 0.26, 0.84, 0.74), PAPER],
  [segment(0.24, 0.34, 0.76, 0.34, wall), INK],
  [segment(0.76, 0.34, 0.76, 0.62, wall), INK],
  [segment(0.24, 0.34, 0.24, 0.62, wall), INK],
  [segment(0.24, 0.62, 0.42, 0.62, wall), INK],
  [segment(0.58, 0.62, 0.76, 0.62, wall), INK],
  [segment(0.52, 0.34, 0.52, 0.50, wall), INK],
  [segment(0.42, 0.62, 0.42, 0.46, thin), ACCENT],
  [arc(0.42, 0.62, 0.16, 0, Math.PI / 2, thin), ACCENT],
  [segment(0.24, 0.69, 0.76, 0.69, thin), MARK],
  [segment(0.24, 0.66, 0.24, 0.72, thin), MARK],
  [segment(0.76, 0.66, 0.76, 0.72, thin), MARK],
];

const crcTable = Array.from({ length: 256 }, (_, n) => {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  return c >>> 0;
});
function crc32(bytes) {
  let c = 0xffffffff;
  for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
  return (c ^ 0xffffffff) >>> 0;
}
function chunk(type, data) {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length, 0);
  head.write(type, 4, 'latin1');
  const tail = Buffer.alloc(4);
  tail.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])), 0);
  return Buffer.concat([head, data, tail]);
}

function icon(side) {
  const samples = 4;  // 4 x 4 samples a pixel smooth the edges
  const rows = [];
  for (let py = 0; py < side; ++py) {
    const row = Buffer.alloc(1 + side * 3);  // filter byte 0, then RGB
    for (let px = 0; px < side; ++px) {
      const sum = [0, 0, 0];
      for (let sy = 0; sy < samples; ++sy) {
        for (let sx = 0; sx < samples; ++sx) {
          const x = (px + (sx + 0.5) / samples) / side, y = (py + (sy + 0.5) / samples) / side;
          let colour = BAR;
          for (const [inside, c] of layers) if (inside(x, y)) colour = c;
          for (let i = 0; i < 3; ++i) sum[i] += colour[i];
        }
      }
      for (let i = 0; i < 3; ++i) row[1 + px * 3 + i] = Math.round(sum[i] / (samples * samples));
    }
    rows.push(row);
  }
  const header = Buffer.alloc(13);
  header.writeUInt32BE(side, 0);
  header.writeUInt32BE(side, 4);
  header[8] = 8;  // bits per channel
  header[9] = 2;  // RGB
  return Buffer.concat([Buffer.from([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]), chunk('IHDR', header),
    chunk('IDAT', zlib.deflateSync(Buffer.concat(rows), { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
}

const folder = process.argv[2];
fs.mkdirSync(folder, { recursive: true });
for (const side of [192, 512]) fs.writeFileSync(path.join(folder, `icon-${side}.png`), icon(side));
