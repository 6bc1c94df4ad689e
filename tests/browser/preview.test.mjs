// Drives the colour preview page in Debian's Chromium, served by scripts/serve-preview.mjs.
//
// HUEMARK_PREVIEW_JSON names a huemark.json to check the page against (for example one the
// tool just wrote); without it the test writes a small map of its own. Everything stays on
// 127.0.0.1: the servers bind there and the page fetches nothing else.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import http from 'node:http';
import { mkdir, mkdtemp, readFile, rm, writeFile } from 'node:fs/promises';
import { createServer } from 'node:net';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const SERVER_SCRIPT = fileURLToPath(new URL('../../scripts/serve-preview.mjs', import.meta.url));
const CHROMIUM = '/usr/bin/chromium';
const CHROMIUM_ARGS = [
  '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
];

let context;
let scratch;
const servers = [];

before(async () => {
  scratch = await mkdtemp(path.join(os.tmpdir(), 'huemark-preview-test-'));
  context = await chromium.launchPersistentContext(path.join(scratch, 'profile'), {
    executablePath: CHROMIUM,
    args: CHROMIUM_ARGS,
    viewport: { width: 1200, height: 900 },
  });
});

after(async () => {
  await context?.close();
  await Promise.all(servers.map((server) => server.stop()));
  if (scratch) await rm(scratch, { recursive: true, force: true });
});

// ---- Maps ---------------------------------------------------------------------------------------

const idText = (id) => `0x${id.toString(16).toUpperCase().padStart(8, '0')}`;
const hexText = (rgb) => `#${rgb.map((c) => c.toString(16).padStart(2, '0')).join('')}`;

// Writes entries ([id, [r, g, b]] in ascending id order) exactly as huemark writes its map.
function formatMap(entries) {
  if (entries.length === 0) return '{\n}\n';
  const lines = entries.map(([id, [r, g, b]]) => `  "${idText(id)}": [${r}, ${g}, ${b}]`);
  return `{\n${lines.join(',\n')}\n}\n`;
}

function hslToRgb(h, s, l) {
  const a = s * Math.min(l, 1 - l);
  const f = (n) => {
    const k = (n + h / 30) % 12;
    return Math.round(255 * (l - a * Math.max(-1, Math.min(k - 3, 9 - k, 1))));
  };
  return [f(0), f(8), f(4)];
}

// Hues round the wheel at two lightnesses, greys from black to white, and a repeated grey so
// that the distinct count differs from the surface count. Ids reach both ends of the surface range.
function smallMap() {
  const colours = [[0, 0, 0]];
  for (let h = 0; h < 360; h += 15) colours.push(hslToRgb(h, 0.75, 0.5), hslToRgb(h, 0.6, 0.3));
  colours.push([18, 52, 86], [128, 128, 128], [128, 128, 128], [200, 200, 200], [128, 128, 128]);
  colours.push([255, 255, 255]);
  return colours.map((rgb, i) => [i === colours.length - 1 ? 0x08ffffff : 0x08000000 + i * 0x1f, rgb]);
}

async function writeMap(name, text) {
  const file = path.join(scratch, name);
  await writeFile(file, text);
  return file;
}

// ---- Server and page ----------------------------------------------------------------------------

function startServer(jsonPath) {
  return new Promise((resolve, reject) => {
    const child = spawn(process.execPath, [SERVER_SCRIPT, '--port', '0', jsonPath], {
      stdio: ['ignore', 'pipe', 'pipe'],
    });
    let output = '';
    let started = false;
    const exited = new Promise((done) => child.once('exit', done));
    const stop = async () => {
      if (child.exitCode === null) child.kill('SIGTERM');
      await exited;
    };
    const collect = (chunk) => {
      output += chunk;
      const url = output.match(/http:\/\/127\.0\.0\.1:\d+\//);
      if (url && !started) {
        started = true;
        const server = { url: url[0], stop };
        servers.push(server);
        resolve(server);
      }
    };
    child.stdout.setEncoding('utf8').on('data', collect);
    child.stderr.setEncoding('utf8').on('data', (chunk) => { output += chunk; });
    child.once('exit', (code) => reject(new Error(`serve-preview exited with ${code}:\n${output}`)));
  });
}

// A port that was free a moment ago and has nothing listening now.
function closedPort() {
  return new Promise((resolve, reject) => {
    const probe = createServer();
    probe.once('error', reject);
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Opens the page and waits until it has either shown the map or given up on it. An exception
// escaping the page's own code fails the test even when the page looks fine.
async function openPreview(url) {
  const page = await context.newPage();
  const pageErrors = [];
  page.on('pageerror', (err) => pageErrors.push(err));
  await page.goto(url);
  await page.waitForFunction(() => window.huemarkPreview && window.huemarkPreview.state !== 'loading');
  return {
    page,
    async close() {
      await page.close();
      assert.deepEqual(pageErrors.map(String), []);
    },
  };
}

async function assertShowsMap(page) {
  const { state, message } = await page.evaluate(() => {
    const { state, message } = window.huemarkPreview;
    return { state, message };
  });
  assert.equal(state, 'ready', `the page shows an error: ${message}`);
}

// Scrolls swatch i into view and returns its centre in viewport coordinates.
async function swatchCentre(page, i) {
  const rect = await page.evaluate((index) => window.huemarkPreview.swatchRect(index), i);
  return { x: rect.x + rect.width / 2, y: rect.y + rect.height / 2 };
}

async function canvasPixel(page, selector, clientX, clientY) {
  return page.evaluate(({ selector, clientX, clientY }) => {
    const canvas = document.querySelector(selector);
    const rect = canvas.getBoundingClientRect();
    const x = Math.floor(((clientX - rect.left) * canvas.width) / rect.width);
    const y = Math.floor(((clientY - rect.top) * canvas.height) / rect.height);
    return Array.from(canvas.getContext('2d').getImageData(x, y, 1, 1).data.slice(0, 3));
  }, { selector, clientX, clientY });
}

async function infoPanel(page) {
  return page.evaluate(() => ['info-id', 'info-rgb', 'info-hex']
    .map((id) => document.getElementById(id).textContent));
}

// Hover, click and canvas pixel of swatch i must all agree with the map entry.
async function assertSwatch(page, i, { id, rgb }) {
  const [r, g, b] = rgb;
  const { x, y } = await swatchCentre(page, i);
  await page.mouse.move(x, y);
  assert.equal(await page.getAttribute('#grid', 'title'), `${id}  rgb(${r}, ${g}, ${b})  ${hexText(rgb)}`);
  await page.mouse.click(x, y);
  assert.deepEqual(await infoPanel(page), [id, `${r}, ${g}, ${b}`, hexText(rgb)]);
  assert.deepEqual(await canvasPixel(page, '#grid', x, y), rgb, `pixel of swatch ${id}`);
}

// Sends the path as written: fetch() would fold "%2e%2e" and ".." away before the server saw them.
function rawGet(baseUrl, rawPath, method = 'GET') {
  const { hostname, port } = new URL(baseUrl);
  return new Promise((resolve, reject) => {
    const req = http.request({ host: hostname, port, path: rawPath, method }, (res) => {
      res.resume();
      res.on('end', () => resolve({ status: res.statusCode, type: res.headers['content-type'] }));
    });
    req.on('error', reject);
    req.end();
  });
}

// ---- Tests ---------------------------------------------------------------------------------------

test('the server answers with the page and the map and nothing outside them', async () => {
  const server = await startServer(await writeMap('served.json', formatMap([[0x08000001, [18, 52, 86]]])));
  const cases = [
    ['/', 200, 'text/html; charset=utf-8'],
    ['/?json=other.json', 200, 'text/html; charset=utf-8'],
    ['/preview.js', 200, 'text/javascript; charset=utf-8'],
    ['/preview.css', 200, 'text/css; charset=utf-8'],
    ['/huemark.json', 200, 'application/json'],
    ['/missing.json', 404, 'text/plain; charset=utf-8'],
    ['/../../package.json', 404, 'text/plain; charset=utf-8'],
    ['/%2e%2e/%2e%2e/package.json', 404, 'text/plain; charset=utf-8'],
    ['/..%2f..%2fpackage.json', 404, 'text/plain; charset=utf-8'],
    ['//etc/passwd', 404, 'text/plain; charset=utf-8'],
    ['/%00', 404, 'text/plain; charset=utf-8'],
  ];
  for (const [rawPath, status, type] of cases) {
    assert.deepEqual(await rawGet(server.url, rawPath), { status, type }, rawPath);
  }
  assert.equal((await rawGet(server.url, '/', 'POST')).status, 405);
});

test('shows every surface of the map in id order with its colour, count and summary', async (t) => {
  const jsonPath = process.env.HUEMARK_PREVIEW_JSON
    ? path.resolve(process.env.HUEMARK_PREVIEW_JSON)
    : await writeMap('huemark.json', formatMap(smallMap()));
  const expected = Object.entries(JSON.parse(await readFile(jsonPath, 'utf8')))
    .map(([id, rgb]) => ({ id, rgb }));
  const server = await startServer(jsonPath);
  const { page, close } = await openPreview(server.url);
  await assertShowsMap(page);

  assert.equal(await page.textContent('#count'), String(expected.length));
  assert.deepEqual(await page.evaluate(() => window.huemarkPreview.entries), expected);

  const colours = new Set(expected.map((e) => e.rgb.join()));
  assert.equal(await page.isVisible('#summary'), true);
  assert.equal(await page.textContent('#distinct'), String(colours.size));
  // The strip paints nothing but map colours, and when every surface gets a pixel, all of them.
  const strip = await page.evaluate(() => {
    const canvas = document.getElementById('hue-strip');
    const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, 1).data;
    const seen = new Set();
    for (let p = 0; p < data.length; p += 4) seen.add(`${data[p]},${data[p + 1]},${data[p + 2]}`);
    return { width: canvas.width, colours: [...seen] };
  });
  assert.deepEqual(strip.colours.filter((c) => !colours.has(c)), []);
  if (expected.length <= strip.width) assert.equal(strip.colours.length, colours.size);

  if (expected.length > 0) {
    const last = expected.length - 1;
    for (const i of new Set([0, 1, Math.floor(expected.length / 2), last])) {
      if (i <= last) await assertSwatch(page, i, expected[i]);
    }

    await page.focus('#grid');
    const afterKeys = async (...keys) => {
      for (const key of keys) await page.keyboard.press(key);
      return (await infoPanel(page))[0];
    };
    assert.equal(await afterKeys('Home'), expected[0].id);
    assert.equal(await afterKeys('End'), expected[last].id);
    assert.equal(await afterKeys('Home', 'ArrowRight'), expected[Math.min(1, last)].id);
  }

  // One picture for a person to judge: hover line, selection ring and info panel all showing.
  const { x, y } = await swatchCentre(page, Math.min(2, expected.length - 1));
  await page.mouse.click(x, y);
  await page.evaluate(() => window.scrollTo(0, 0));
  // In the build tree, replaced by every run, so runs leave nothing behind elsewhere.
  const shotDir = fileURLToPath(new URL('../../build/browser/', import.meta.url));
  await mkdir(shotDir, { recursive: true });
  const shot = path.join(shotDir, 'preview.png');
  await page.screenshot({ path: shot, fullPage: true });
  t.diagnostic(`screenshot: ${shot}`);
  await close();
});

test('an empty map shows a count of zero and no error', async () => {
  const server = await startServer(await writeMap('empty.json', formatMap([])));
  const { page, close } = await openPreview(server.url);
  await assertShowsMap(page);
  assert.equal(await page.textContent('#count'), '0');
  assert.equal(await page.isVisible('#empty'), true);
  assert.equal(await page.isVisible('#message'), false);
  await close();
});

const valid = formatMap([[0x08000001, [18, 52, 86]], [0x0800001f, [128, 128, 128]]]);
const invalidMaps = [
  { name: 'not JSON', body: valid.replace('86]', '86],,'), message: /^huemark\.json is not a valid colour map: not JSON \(.+\)$/ },
  { name: 'an array', body: '[[18, 52, 86]]\n', message: 'the top level is an array, not an object' },
  { name: 'null', body: 'null\n', message: 'the top level is null, not an object' },
  { name: 'lower-case id', body: valid.replace('0x0800001F', '0x0800001f'), message: 'key "0x0800001f" is not "0x" followed by 8 upper-case hex digits' },
  { name: 'seven-digit id', body: valid.replace('0x08000001', '0x0800001'), message: 'key "0x0800001" is not "0x" followed by 8 upper-case hex digits' },
  { name: 'not a surface', body: valid.replace('0x08000001', '0x01000001'), message: 'key "0x01000001" is not a surface id (its top byte is not 0x08)' },
  { name: 'ids descend', body: formatMap([[0x08000002, [1, 2, 3]], [0x08000001, [4, 5, 6]]]), message: 'key "0x08000001" comes after "0x08000002"; ids must ascend' },
  { name: 'id twice', body: valid.replace('0x0800001F', '0x08000001'), message: 'key "0x08000001" appears more than once' },
  { name: 'two channels', body: valid.replace('[18, 52, 86]', '[18, 52]'), message: 'the value of "0x08000001" is [18,52], not [R, G, B] with integers 0..255' },
  { name: 'channel 256', body: valid.replace('[18, 52, 86]', '[18, 52, 256]'), message: 'the value of "0x08000001" is [18,52,256], not [R, G, B] with integers 0..255' },
  { name: 'negative channel', body: valid.replace('[18, 52, 86]', '[18, -1, 86]'), message: 'the value of "0x08000001" is [18,-1,86], not [R, G, B] with integers 0..255' },
  { name: 'fractional channel', body: valid.replace('[18, 52, 86]', '[18, 52.5, 86]'), message: 'the value of "0x08000001" is [18,52.5,86], not [R, G, B] with integers 0..255' },
  { name: 'hex string', body: valid.replace('[18, 52, 86]', '"#123456"'), message: 'the value of "0x08000001" is "#123456", not [R, G, B] with integers 0..255' },
];

test('a map that cannot be loaded or is not a colour map gives a clear message', async (t) => {
  const brokenPath = await writeMap('broken.json', valid);
  const server = await startServer(brokenPath);
  const port = await closedPort();
  const cases = [
    { name: 'missing file', url: `${server.url}?json=missing.json`, message: 'Could not load missing.json: HTTP 404 Not Found' },
    {
      name: 'nothing listening',
      url: `${server.url}?json=http://127.0.0.1:${port}/huemark.json`,
      message: new RegExp(`^Could not load http://127\\.0\\.0\\.1:${port}/huemark\\.json: network error \\(.+\\)$`),
    },
    ...invalidMaps.map(({ name, body, message }) => ({
      name,
      body,
      url: server.url,
      message: typeof message === 'string' ? `huemark.json is not a valid colour map: ${message}` : message,
    })),
  ];
  for (const { name, body, url, message } of cases) {
    await t.test(name, async () => {
      // The server reads the file on every request, so one server serves each case in turn.
      await writeFile(brokenPath, body ?? valid);
      const { page, close } = await openPreview(url);
      assert.equal(await page.evaluate(() => window.huemarkPreview.state), 'error');
      assert.equal(await page.isVisible('#message'), true);
      const shown = await page.textContent('#message');
      if (typeof message === 'string') assert.equal(shown, message);
      else assert.match(shown, message);
      assert.equal(await page.isVisible('#swatches'), false);
      await close();
    });
  }
});

test('a map of 50,000 surfaces renders in seconds and its last swatch is reachable', async () => {
  const n = 50_000;
  const entries = Array.from({ length: n }, (_, i) => [
    0x08000000 + i * 3,
    [(i * 37) & 255, (i * 101) & 255, (i * 13 + (i >> 8)) & 255],
  ]);
  const server = await startServer(await writeMap('large.json', formatMap(entries)));
  const { page, close } = await openPreview(server.url);
  await assertShowsMap(page);
  // Time from navigation start, so fetch, parse, summary and first paint are all inside it.
  // A smoke check for accidental quadratic work, not a benchmark: the bound is generous.
  const elapsed = await page.evaluate(() => window.huemarkPreview.readyAt);
  assert.ok(elapsed < 10_000, `ready after ${Math.round(elapsed)} ms`);
  assert.equal(await page.textContent('#count'), String(n));
  const [lastId, lastRgb] = entries[n - 1];
  await assertSwatch(page, n - 1, { id: idText(lastId), rgb: lastRgb });
  await close();
});
