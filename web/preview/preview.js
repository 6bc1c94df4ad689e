// Colour preview for huemark.json.
//
// The map is fetched the way the web runtime fetches it: "huemark.json" relative to this page,
// unless ?json=URL names another. Swatches are drawn on one canvas that only paints the rows in
// view, so a map of any size costs the same to scroll and hover; the DOM stays a few dozen nodes.
//
// window.huemarkPreview exposes the parsed map and the layout to tests and the console.

const DEFAULT_JSON = 'huemark.json';

const CELL = 20; // swatch side in CSS pixels
const GAP = 2;
const PITCH = CELL + GAP;
const GRID_BACKGROUND = '#c4c4c4';

const ID_FORMAT = /^0x[0-9A-F]{8}$/;
const SURFACE_TOP_BYTE = '08';

// Below this spread between the largest and smallest channel a colour has no hue worth sorting by.
const GREY_CHROMA = 12;
const LIGHTNESS_BINS = 25;

class MapError extends Error {}

// ---- Parsing ----------------------------------------------------------------------------------

function describeJson(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an array';
  return `a ${typeof value}`;
}

function shortJson(value) {
  const text = JSON.stringify(value) ?? String(value);
  return text.length > 40 ? `${text.slice(0, 37)}...` : text;
}

function isChannel(value) {
  return Number.isInteger(value) && value >= 0 && value <= 255;
}

// Returns { ids, rgb } with ids in file order and rgb holding three bytes per id, or throws
// MapError naming the first fault. The checks are the file's contract: ids are surface ids
// written as "0x" and 8 upper-case hex digits, in ascending order, each once.
function parseColourMap(text) {
  let root;
  try {
    root = JSON.parse(text);
  } catch (err) {
    throw new MapError(`not JSON (${err.message})`);
  }
  if (typeof root !== 'object' || root === null || Array.isArray(root)) {
    throw new MapError(`the top level is ${describeJson(root)}, not an object`);
  }

  const ids = Object.keys(root);
  const rgb = new Uint8Array(ids.length * 3);
  for (let i = 0; i < ids.length; i++) {
    const id = ids[i];
    if (!ID_FORMAT.test(id)) {
      throw new MapError(`key ${shortJson(id)} is not "0x" followed by 8 upper-case hex digits`);
    }
    if (id.slice(2, 4) !== SURFACE_TOP_BYTE) {
      throw new MapError(`key "${id}" is not a surface id (its top byte is not 0x08)`);
    }
    if (i > 0 && id < ids[i - 1]) {
      throw new MapError(`key "${id}" comes after "${ids[i - 1]}"; ids must ascend`);
    }
    const value = root[id];
    if (!Array.isArray(value) || value.length !== 3 || !value.every(isChannel)) {
      throw new MapError(`the value of "${id}" is ${shortJson(value)}, not [R, G, B] with integers 0..255`);
    }
    rgb.set(value, i * 3);
  }

  // JSON.parse keeps the last of two equal keys without a word, which would hide a second
  // colour for one surface. Every key is known to be plain "0x..." by now, so a scan finds them.
  if (ids.length > 0) {
    const seen = new Set();
    for (const match of text.matchAll(/"(0x[0-9A-F]{8})"\s*:/g)) {
      if (seen.has(match[1])) throw new MapError(`key "${match[1]}" appears more than once`);
      seen.add(match[1]);
    }
  }
  return { ids, rgb };
}

// ---- Colour maths -----------------------------------------------------------------------------

function hex2(n) {
  return n.toString(16).padStart(2, '0');
}

function hexColour(r, g, b) {
  return `#${hex2(r)}${hex2(g)}${hex2(b)}`;
}

// HSL hue in degrees [0, 360).
function hue(r, g, b) {
  const max = Math.max(r, g, b);
  const d = max - Math.min(r, g, b);
  if (d === 0) return 0;
  let h;
  if (max === r) h = (g - b) / d;
  else if (max === g) h = (b - r) / d + 2;
  else h = (r - g) / d + 4;
  return ((h * 60) + 360) % 360;
}

// CIE L* of an sRGB colour: linearise each channel, Y = 0.2126 R + 0.7152 G + 0.0722 B,
// L* = 116 * Y^(1/3) - 16 above (6/29)^3, and 903.3 * Y below it.
function linear(c) {
  const v = c / 255;
  return v <= 0.04045 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4;
}
function lightness(r, g, b) {
  const y = 0.2126 * linear(r) + 0.7152 * linear(g) + 0.0722 * linear(b);
  return y > 216 / 24389 ? 116 * Math.cbrt(y) - 16 : (24389 / 27) * y;
}

// ---- Summary ----------------------------------------------------------------------------------

function summarise(map) {
  const n = map.ids.length;
  const { rgb } = map;
  const counts = new Map();
  const hues = new Float32Array(n);
  const lights = new Float32Array(n);
  const grey = new Uint8Array(n);
  let greys = 0;
  for (let i = 0; i < n; i++) {
    const r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
    const key = (r << 16) | (g << 8) | b;
    counts.set(key, (counts.get(key) ?? 0) + 1);
    hues[i] = hue(r, g, b);
    lights[i] = lightness(r, g, b);
    if (Math.max(r, g, b) - Math.min(r, g, b) < GREY_CHROMA) {
      grey[i] = 1;
      greys++;
    }
  }

  let common = -1;
  let commonCount = 0;
  for (const [key, count] of counts) {
    if (count > commonCount) [common, commonCount] = [key, count];
  }

  // Colours by hue, then by lightness within one hue; greys after all of them, dark to light.
  const order = Array.from({ length: n }, (_, i) => i);
  order.sort((a, b) => grey[a] - grey[b] || (grey[a] ? 0 : hues[a] - hues[b]) || lights[a] - lights[b] || a - b);

  return {
    distinct: counts.size,
    greys,
    common: commonCount > 1 ? { hex: hexColour(common >> 16, (common >> 8) & 255, common & 255), count: commonCount } : null,
    order,
    lights,
  };
}

function prepareCanvas(canvas) {
  const dpr = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * dpr));
  const height = Math.max(1, Math.round(canvas.clientHeight * dpr));
  if (canvas.width !== width) canvas.width = width;
  if (canvas.height !== height) canvas.height = height;
  const ctx = canvas.getContext('2d');
  ctx.setTransform(1, 0, 0, 1, 0, 0);
  ctx.clearRect(0, 0, width, height);
  return { ctx, width, height };
}

// Each surface gets an equal share of the width, so the strip shows how much of the map each
// colour family takes, not just which families occur.
function drawHueStrip(canvas, map, summary) {
  const { ctx, width, height } = prepareCanvas(canvas);
  const { order } = summary;
  const n = order.length;
  for (let k = 0; k < n; k++) {
    const x0 = Math.floor((k * width) / n);
    const x1 = Math.floor(((k + 1) * width) / n);
    if (x1 === x0) continue;
    const i = order[k];
    ctx.fillStyle = map.hex[i];
    ctx.fillRect(x0, 0, x1 - x0, height);
  }
}

function drawLightness(canvas, map, summary) {
  const { ctx, width, height } = prepareCanvas(canvas);
  const bins = Array.from({ length: LIGHTNESS_BINS }, () => []);
  for (const i of summary.order) {
    const bin = Math.min(LIGHTNESS_BINS - 1, Math.floor((summary.lights[i] / 100) * LIGHTNESS_BINS));
    bins[Math.max(0, bin)].push(i);
  }
  const tallest = Math.max(1, ...bins.map((bin) => bin.length));
  const slot = width / LIGHTNESS_BINS;
  const barWidth = Math.max(1, Math.floor(slot) - 2);
  bins.forEach((members, b) => {
    if (members.length === 0) return;
    // A bin with one surface in fifty thousand still gets a visible pixel.
    const barHeight = Math.max(1, Math.round((members.length / tallest) * height));
    const x = Math.round(b * slot + 1);
    for (let row = 0; row < barHeight; row++) {
      ctx.fillStyle = map.hex[members[Math.floor((row * members.length) / barHeight)]];
      ctx.fillRect(x, height - 1 - row, barWidth, 1);
    }
  });
}

// ---- Swatch grid ------------------------------------------------------------------------------

class SwatchGrid {
  constructor(scroll, sizer, canvas, map, onHover, onSelect) {
    Object.assign(this, { scroll, sizer, canvas, map, onHover, onSelect });
    this.n = map.ids.length;
    this.selected = -1;
    this.cols = 1;
    this.rows = 0;
    this.framePending = false;

    scroll.addEventListener('scroll', () => this.requestDraw(), { passive: true });
    new ResizeObserver(() => this.layout()).observe(scroll);
    canvas.addEventListener('mousemove', (e) => this.hover(this.indexAt(e.clientX, e.clientY)));
    canvas.addEventListener('mouseleave', () => this.hover(-1));
    canvas.addEventListener('click', (e) => {
      const i = this.indexAt(e.clientX, e.clientY);
      if (i >= 0) this.select(i);
    });
    canvas.addEventListener('keydown', (e) => this.key(e));
    this.layout();
  }

  layout() {
    const width = this.scroll.clientWidth;
    this.cols = Math.max(1, Math.floor((width - GAP) / PITCH));
    this.rows = Math.ceil(this.n / this.cols);
    const total = this.rows * PITCH + GAP;
    this.sizer.style.height = `${total}px`;
    this.canvas.style.height = `${Math.min(total, this.scroll.clientHeight)}px`;
    this.draw();
  }

  requestDraw() {
    if (this.framePending) return;
    this.framePending = true;
    requestAnimationFrame(() => {
      this.framePending = false;
      this.draw();
    });
  }

  draw() {
    const { ctx, width, height } = prepareCanvas(this.canvas);
    const viewWidth = this.canvas.clientWidth;
    const dpr = width / Math.max(1, viewWidth);
    ctx.setTransform(dpr, 0, 0, dpr, 0, 0);
    const viewHeight = height / dpr;
    const top = this.scroll.scrollTop;
    ctx.fillStyle = GRID_BACKGROUND;
    ctx.fillRect(0, 0, viewWidth, viewHeight);

    const first = Math.max(0, Math.floor((top - GAP) / PITCH));
    const last = Math.min(this.rows - 1, Math.floor((top + viewHeight) / PITCH));
    for (let row = first; row <= last; row++) {
      const y = GAP + row * PITCH - top;
      const end = Math.min(this.n, (row + 1) * this.cols);
      for (let i = row * this.cols; i < end; i++) {
        ctx.fillStyle = this.map.hex[i];
        ctx.fillRect(GAP + (i - row * this.cols) * PITCH, y, CELL, CELL);
      }
    }

    if (this.selected >= 0) {
      // Black then white ring: one of the two stands out against any swatch colour.
      const { x, y } = this.cellOrigin(this.selected);
      ctx.lineWidth = 2;
      ctx.strokeStyle = '#000';
      ctx.strokeRect(x - 1, y - top - 1, CELL + 2, CELL + 2);
      ctx.lineWidth = 1;
      ctx.strokeStyle = '#fff';
      ctx.strokeRect(x + 1.5, y - top + 1.5, CELL - 3, CELL - 3);
    }
  }

  // Top-left corner of swatch i in grid coordinates (before scrolling).
  cellOrigin(i) {
    return { x: GAP + (i % this.cols) * PITCH, y: GAP + Math.floor(i / this.cols) * PITCH };
  }

  // The swatch under a point, counting the gap to its right and below as part of it, or -1.
  indexAt(clientX, clientY) {
    const rect = this.canvas.getBoundingClientRect();
    const x = clientX - rect.left - GAP;
    const y = clientY - rect.top + this.scroll.scrollTop - GAP;
    if (x < 0 || y < 0) return -1;
    const col = Math.floor(x / PITCH);
    const row = Math.floor(y / PITCH);
    if (col >= this.cols) return -1;
    const i = row * this.cols + col;
    return i < this.n ? i : -1;
  }

  scrollTo(i) {
    const { y } = this.cellOrigin(i);
    const view = this.scroll.clientHeight;
    if (y - GAP < this.scroll.scrollTop) this.scroll.scrollTop = y - GAP;
    else if (y + CELL + GAP > this.scroll.scrollTop + view) this.scroll.scrollTop = y + CELL + GAP - view;
  }

  hover(i) {
    this.canvas.title = i >= 0 ? describeEntry(this.map, i) : '';
    this.onHover(i);
  }

  select(i) {
    this.selected = i;
    this.scrollTo(i);
    this.draw();
    this.onSelect(i);
  }

  key(e) {
    const pageRows = Math.max(1, Math.floor(this.scroll.clientHeight / PITCH) - 1);
    const at = this.selected;
    const moves = {
      ArrowLeft: at - 1,
      ArrowRight: at + 1,
      ArrowUp: at - this.cols,
      ArrowDown: at + this.cols,
      PageUp: at - pageRows * this.cols,
      PageDown: at + pageRows * this.cols,
      Home: 0,
      End: this.n - 1,
    };
    if (!(e.key in moves) || this.n === 0) return;
    e.preventDefault();
    // The first key press picks the first swatch, so the grid is usable without a mouse.
    const target = at < 0 ? 0 : Math.min(this.n - 1, Math.max(0, moves[e.key]));
    this.select(target);
  }

  // Client rectangle of swatch i after scrolling it into view.
  swatchRect(i) {
    this.scrollTo(i);
    this.scroll.scrollIntoView({ block: 'nearest' });
    this.draw();
    const rect = this.canvas.getBoundingClientRect();
    const { x, y } = this.cellOrigin(i);
    return { x: rect.left + x, y: rect.top + y - this.scroll.scrollTop, width: CELL, height: CELL };
  }
}

// ---- Page -------------------------------------------------------------------------------------

const $ = (id) => document.getElementById(id);

function rgbOf(map, i) {
  return [map.rgb[3 * i], map.rgb[3 * i + 1], map.rgb[3 * i + 2]];
}

function describeEntry(map, i) {
  const [r, g, b] = rgbOf(map, i);
  return `${map.ids[i]}  rgb(${r}, ${g}, ${b})  ${map.hex[i]}`;
}

const api = {
  state: 'loading',
  readyAt: null, // performance.now() when the map was first drawn
  source: '',
  message: '',
  map: null,
  grid: null,
  get count() {
    return this.map ? this.map.ids.length : 0;
  },
  get entries() {
    const { map } = this;
    return map ? map.ids.map((id, i) => ({ id, rgb: rgbOf(map, i) })) : [];
  },
  get selected() {
    return this.grid ? this.grid.selected : -1;
  },
  select(i) {
    this.grid.select(i);
  },
  swatchRect(i) {
    return this.grid.swatchRect(i);
  },
};
window.huemarkPreview = api;

function setState(state) {
  if (state === 'ready') api.readyAt = performance.now();
  api.state = state;
  document.body.dataset.state = state;
}

function showError(text) {
  api.message = text;
  $('status').hidden = true;
  $('summary').hidden = true;
  $('swatches').hidden = true;
  const message = $('message');
  message.textContent = text;
  message.hidden = false;
  setState('error');
}

function showInfo(map, i) {
  const [r, g, b] = rgbOf(map, i);
  $('info-none').hidden = true;
  $('info-details').hidden = false;
  $('info-chip').style.background = map.hex[i];
  $('info-id').textContent = map.ids[i];
  $('info-rgb').textContent = `${r}, ${g}, ${b}`;
  $('info-hex').textContent = map.hex[i];
  $('info-position').textContent = `${i + 1} of ${map.ids.length}`;
}

function showSummary(map, summary) {
  $('count').textContent = String(map.ids.length);
  $('distinct').textContent = String(summary.distinct);
  $('greys').textContent = String(summary.greys);
  const common = $('common');
  common.replaceChildren();
  if (summary.common) {
    const chip = document.createElement('span');
    chip.className = 'chip';
    chip.style.background = summary.common.hex;
    common.append('Most common: ', chip, ` ${summary.common.hex} on ${summary.common.count} surfaces`);
  }
  $('summary').hidden = false;
  const strips = () => {
    drawHueStrip($('hue-strip'), map, summary);
    drawLightness($('lightness'), map, summary);
  };
  strips();
  new ResizeObserver(strips).observe($('hue-strip'));
}

function showMap(map) {
  map.hex = Array.from({ length: map.ids.length }, (_, i) => hexColour(...rgbOf(map, i)));
  api.map = map;
  $('status').hidden = true;
  showSummary(map, summarise(map));
  $('swatches').hidden = false;
  if (map.ids.length === 0) {
    $('empty').hidden = false;
    $('grid-scroll').hidden = true;
  } else {
    api.grid = new SwatchGrid($('grid-scroll'), $('grid-sizer'), $('grid'), map,
      (i) => { $('hover').textContent = i >= 0 ? describeEntry(map, i) : '\u00a0'; },
      (i) => showInfo(map, i));
  }
  setState('ready');
}

async function main() {
  const requested = new URLSearchParams(location.search).get('json') || DEFAULT_JSON;
  const url = new URL(requested, location.href);
  api.source = url.href;
  $('source').textContent = url.href;

  let text;
  try {
    const response = await fetch(url);
    if (!response.ok) {
      showError(`Could not load ${requested}: HTTP ${response.status}${response.statusText ? ` ${response.statusText}` : ''}`);
      return;
    }
    text = await response.text();
  } catch (err) {
    showError(`Could not load ${requested}: network error (${err.message})`);
    return;
  }

  let map;
  try {
    map = parseColourMap(text);
  } catch (err) {
    if (!(err instanceof MapError)) throw err;
    showError(`${requested} is not a valid colour map: ${err.message}`);
    return;
  }
  showMap(map);
}

main().catch((err) => showError(`The preview failed: ${err.message}`));
