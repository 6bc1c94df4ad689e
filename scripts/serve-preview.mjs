#!/usr/bin/env node
// Serves the colour preview page and one huemark.json to a browser on this machine.
//
//   node scripts/serve-preview.mjs [--port N] JSON
//
// The page comes from web/preview/ at "/", the JSON file at "/huemark.json", which is
// where the page looks by default. The JSON is read on every request, so re-running
// huemark and reloading the page shows the new map without a restart.
// Binds 127.0.0.1 only: this is a developer's viewer, not something to expose.

import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import path from 'node:path';
import process from 'node:process';
import { parseArgs } from 'node:util';

const HOST = '127.0.0.1';
const PAGE_ROOT = fileURLToPath(new URL('../web/preview/', import.meta.url));
const USAGE = 'usage: serve-preview.mjs [--port N] JSON';

const CONTENT_TYPES = new Map([
  ['.html', 'text/html; charset=utf-8'],
  ['.js', 'text/javascript; charset=utf-8'],
  ['.mjs', 'text/javascript; charset=utf-8'],
  ['.css', 'text/css; charset=utf-8'],
  ['.json', 'application/json'],
  ['.png', 'image/png'],
  ['.svg', 'image/svg+xml'],
  ['.ico', 'image/x-icon'],
]);

function fail(text, code) {
  process.stderr.write(`serve-preview: ${text}\n`);
  process.exit(code);
}

function parseCommandLine(argv) {
  let parsed;
  try {
    parsed = parseArgs({ args: argv, options: { port: { type: 'string', default: '0' } }, allowPositionals: true });
  } catch (err) {
    fail(`${err.message}\n${USAGE}`, 2);
  }
  const { values, positionals } = parsed;
  if (positionals.length !== 1) fail(USAGE, 2);
  if (!/^\d{1,5}$/.test(values.port) || Number(values.port) > 65535) {
    fail(`--port must be a number from 0 to 65535, got "${values.port}"`, 2);
  }
  return { port: Number(values.port), jsonPath: path.resolve(positionals[0]) };
}

// Maps a request path to a file under PAGE_ROOT, or null when it would leave it.
// Decoding first means "%2e%2e" is caught the same as "..".
function pageFile(urlPath) {
  let decoded;
  try {
    decoded = decodeURIComponent(urlPath);
  } catch {
    return null;
  }
  if (decoded.includes('\0')) return null;
  const relative = decoded.replace(/^\/+/, '') || 'index.html';
  const file = path.resolve(PAGE_ROOT, relative);
  return file.startsWith(PAGE_ROOT) ? file : null;
}

async function readRegularFile(file) {
  try {
    if (!(await stat(file)).isFile()) return null;
    return await readFile(file);
  } catch (err) {
    if (err.code === 'ENOENT' || err.code === 'ENOTDIR') return null;
    throw err;
  }
}

function send(res, status, contentType, body, method) {
  res.writeHead(status, {
    'Content-Type': contentType,
    'Content-Length': body.length,
    // A map that was just regenerated must never be answered from cache.
    'Cache-Control': 'no-store',
    'X-Content-Type-Options': 'nosniff',
  });
  res.end(method === 'HEAD' ? undefined : body);
}

function sendText(res, status, text, method) {
  send(res, status, 'text/plain; charset=utf-8', Buffer.from(`${text}\n`), method);
}

async function handle(req, res, jsonPath) {
  if (req.method !== 'GET' && req.method !== 'HEAD') {
    res.setHeader('Allow', 'GET, HEAD');
    sendText(res, 405, 'Method Not Allowed', req.method);
    return;
  }
  // Not new URL(req.url, base): a request path such as "//x" would be taken for a host name.
  const pathname = req.url.replace(/[?#].*$/s, '');
  const file = pathname === '/huemark.json' ? jsonPath : pageFile(pathname);
  const body = file && (await readRegularFile(file));
  if (!body) {
    sendText(res, 404, 'Not Found', req.method);
    return;
  }
  const type = CONTENT_TYPES.get(path.extname(file).toLowerCase()) ?? 'application/octet-stream';
  send(res, 200, type, body, req.method);
}

const { port, jsonPath } = parseCommandLine(process.argv.slice(2));
if (!(await readRegularFile(jsonPath))) fail(`no such file: ${jsonPath}`, 1);

const server = createServer((req, res) => {
  handle(req, res, jsonPath).catch((err) => {
    process.stderr.write(`serve-preview: ${req.url}: ${err.message}\n`);
    if (!res.headersSent) sendText(res, 500, 'Internal Server Error', req.method);
    else res.destroy();
  });
});
server.on('error', (err) => fail(`cannot listen on ${HOST}:${port}: ${err.message}`, 1));
server.listen(port, HOST, () => {
  const url = `http://${HOST}:${server.address().port}/`;
  process.stdout.write(`Preview of ${jsonPath} at ${url}\n`);
});

for (const signal of ['SIGINT', 'SIGTERM']) {
  process.on(signal, () => {
    server.close();
    server.closeAllConnections();
    process.exit(0);
  });
}
