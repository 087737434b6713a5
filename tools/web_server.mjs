// A static file server for the web page on 127.0.0.1, for trying the page and for its tests.
// By default it sends the two headers that make the page cross-origin isolated, which the
// threaded filter needs (shared memory between workers); with --no-isolation it leaves them out
// and the page runs the filter on one thread.
//
//   node tools/web_server.mjs [--port N] [--no-isolation] [FOLDER]   (default build/web/page, port 8080)
import { createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { extname, join, normalize, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const types = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
  '.ico': 'image/x-icon',
};

// Serves folder; isolated adds the cross-origin isolation headers. Resolves to the listening
// server once it takes connections (port 0 picks a free port: see server.address().port).
export function serve(folder, { port = 8080, isolated = true } = {}) {
  const root = resolve(folder);
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    const file = normalize(join(root, path.endsWith('/') ? `${path}index.html` : path));
    let size = -1;
    try {
      const status = statSync(file);
      if (file.startsWith(root + sep) && status.isFile()) size = status.size;
    } catch {
      // Not there: 404 below.
    }
    const headers = { 'Cache-Control': 'no-store' };
    if (isolated) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
    }
    if (size < 0) {
      response.writeHead(404, { ...headers, 'Content-Type': 'text/plain' }).end('not found\n');
      return;
    }
    headers['Content-Type'] = types[extname(file)] ?? 'application/octet-stream';
    headers['Content-Length'] = size;
    response.writeHead(200, headers);
    if (request.method === 'HEAD') response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((ready, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => ready(server));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const flag = (name) => args.includes(name) && args.splice(args.indexOf(name), 1);
  const isolated = !flag('--no-isolation');
  const portAt = args.indexOf('--port');
  const port = portAt >= 0 ? Number(args.splice(portAt, 2)[1]) : 8080;
  const folder = args[0] ?? join(fileURLToPath(new URL('..', import.meta.url)), 'build/web/page');
  const server = await serve(folder, { port, isolated });
  console.log(`Serving ${folder} at http://127.0.0.1:${server.address().port}/` +
    (isolated ? ' (cross-origin isolated: threads)' : ' (not isolated: one thread)') + '; Ctrl-C stops.');
}
