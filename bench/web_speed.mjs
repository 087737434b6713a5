// Times a 2048 x 2048 run in the web page, on one thread and on threads, beside the native
// velorund tool on the same PNG, and prints a Markdown table: the best of five runs each (after
// one that loads the filter), the run that other work on the machine disturbed least. The page's times are its own: the file's decoding, the filter (the
// WebAssembly module with the in-process host) and the PNG's encoding; the tool's are its
// --verbose figures.
//
//   node bench/web_speed.mjs [PAGE_FOLDER] [VELORUND]   (defaults: build/web/page, build/native/tools/velorund)
import { spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { decode, encode } from 'fast-png';
import { chooseFile, openPage } from '../tools/web_browser.mjs';

const root = new URL('../', import.meta.url).pathname;
const folder = process.argv[2] ?? join(root, 'build/web/page');
const tool = process.argv[3] ?? join(root, 'build/native/tools/velorund');
const runs = 5;
const scratch = mkdtempSync(join(tmpdir(), 'velorund-web-speed-'));

// The sample photograph, 512 x 512, enlarged four times by repeating its pixels.
const photo = decode(readFileSync(join(root, 'examples/astronaut.png')));
const side = 2048;
const data = new Uint8Array(side * side * 3);
for (let y = 0; y < side; y++)
  for (let x = 0; x < side; x++)
    data.set(photo.data.subarray(((y >> 2) * 512 + (x >> 2)) * 3, ((y >> 2) * 512 + (x >> 2)) * 3 + 3), (y * side + x) * 3);
const input = join(scratch, 'photo-2048.png');
writeFileSync(input, encode({ width: side, height: side, data, depth: 8, channels: 3 }));

const best = (values) => Math.min(...values);

async function timePage(isolated) {
  const browser = await openPage({ folder, isolated });
  try {
    const times = { read: [], filter: [], write: [], total: [] };
    for (let run = 0; run <= runs; run++) {
      // Alternate two names so that each choice is a new file for the input.
      const copy = join(scratch, `photo-${run % 2}.png`);
      writeFileSync(copy, readFileSync(input));
      const end = await chooseFile(browser.page, copy);
      if (end.state !== 'done') throw new Error(end.text);
      const [, total, read, filter, threads, write] =
        end.text.match(/in ([\d.]+) s \(reading ([\d.]+) s, the filter ([\d.]+) s on (\d+) threads?, the PNG ([\d.]+) s/);
      if (run === 0) continue;
      for (const [key, value] of Object.entries({ read, filter, write, total })) times[key].push(Number(value));
      times.threads = Number(threads);
    }
    return times;
  } finally {
    await browser.close();
  }
}

function timeTool(threads) {
  const times = { read: [], filter: [], write: [], total: [], threads };
  for (let run = 0; run < runs; run++) {
    const output = join(scratch, `tool-${run}.png`);
    const started = performance.now();
    const result = spawnSync(tool, ['--verbose', '--quiet', '--force', '--threads', String(threads), input, output], { encoding: 'utf8' });
    const total = (performance.now() - started) / 1000;
    const figures = (result.stdout + result.stderr).match(/read ([\d.]+) s, filter ([\d.]+) s, write ([\d.]+) s/);
    if (result.status !== 0 || !figures) throw new Error(`velorund failed: ${result.stderr}`);
    for (const [i, key] of ['read', 'filter', 'write'].entries()) times[key].push(Number(figures[i + 1]));
    times.total.push(total);
  }
  return times;
}

try {
  const hardware = Number(spawnSync('nproc', { encoding: 'utf8' }).stdout);
  const rows = [
    ['the page, not cross-origin isolated', await timePage(false)],
    ['the page, cross-origin isolated', await timePage(true)],
    ['velorund', timeTool(1)],
    ['velorund', timeTool(hardware)],
  ];
  console.log('| 2048 x 2048 RGB 8-bit PNG | threads | reading | filter | writing | whole run |');
  console.log('|---|---|---|---|---|---|');
  for (const [name, t] of rows)
    console.log(`| ${name} | ${t.threads} | ${[t.read, t.filter, t.write, t.total].map((v) => `${best(v).toFixed(2)} s`).join(' | ')} |`);
} finally {
  rmSync(scratch, { recursive: true, force: true });
}
