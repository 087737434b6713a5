// The web page in headless Chromium, used as a person would: files chosen through the file
// input, the result downloaded through the page's link and compared, sample for sample, with the
// velorund tool's output on the same file. The page is served without cross-origin isolation
// (one thread) or with it (threads), as VELORUND_PAGE_ISOLATED says.
//
//   VELORUND_PAGE=build/web/page VELORUND_TOOL=build/native/tools/velorund [VELORUND_PAGE_ISOLATED=1] \
//     node --test tests/web/page_test.mjs
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { crc32, gzipSync } from 'node:zlib';
import { after, before, test } from 'node:test';
import { decode, encode } from 'fast-png';
import { chooseFile, download, openPage, waitForEnd } from '../../tools/web_browser.mjs';

const root = new URL('../../', import.meta.url).pathname;
const tool = process.env.VELORUND_TOOL ?? join(root, 'build/native/tools/velorund');
const isolated = process.env.VELORUND_PAGE_ISOLATED === '1';
const pageFolder = process.env.VELORUND_PAGE ?? join(root, 'build/web/page');
const files = mkdtempSync(join(tmpdir(), 'velorund-web-files-'));
let browser;

// Test images made from the sample photograph (512 x 512 RGB).
const photoPath = join(root, 'examples/astronaut.png');
const photo = decode(readFileSync(photoPath));

function writePng(name, image) {
  const path = join(files, name);
  writeFileSync(path, encode(image));
  return path;
}

// The photograph with an alpha channel, alpha(x, y) from 0 (clear) to 1 (opaque).
function withAlpha(depth, alpha) {
  const { width, height } = photo;
  const full = depth === 16 ? 65535 : 255;
  const data = depth === 16 ? new Uint16Array(width * height * 4) : new Uint8Array(width * height * 4);
  for (let y = 0; y < height; y++)
    for (let x = 0; x < width; x++) {
      const from = (y * width + x) * 3;
      const to = (y * width + x) * 4;
      // 16-bit: the photograph's samples with low bits that vary, so that both bytes count.
      for (let c = 0; c < 3; c++) data[to + c] = depth === 16 ? photo.data[from + c] * 257 ^ ((x * 7 + y * 13 + c) & 0xff) : photo.data[from + c];
      data[to + 3] = Math.round(alpha(x, y) * full);
    }
  return { width, height, data, depth, channels: 4 };
}

// A band of the photograph: wider than tall.
function band(top, rows) {
  const { width } = photo;
  return { width, height: rows, data: photo.data.slice(top * width * 3, (top + rows) * width * 3), depth: 8, channels: 3 };
}

// A PNG of pattern samples whose depth and kind fast-png writes: gray, RGB or palette indices.
function pattern(width, height, depth, channels, palette) {
  const rowSamples = Math.ceil((width * channels * depth) / 8 / (depth === 16 ? 2 : 1));
  const data = depth === 16 ? new Uint16Array(rowSamples * height) : new Uint8Array(rowSamples * height);
  for (let i = 0; i < data.length; i++) data[i] = depth === 16 ? (i * 9001) & 0xffff : (i * 73 + 11) & 0xff;
  return Buffer.from(encode({ width, height, data, depth, channels, palette }));
}

// The PNG with a chunk of the given type and body put before its image data (fast-png writes
// neither tRNS nor eXIf).
function withChunk(png, type, body) {
  const chunk = Buffer.alloc(12 + body.length);
  chunk.writeUInt32BE(body.length, 0);
  chunk.write(type, 4, 'latin1');
  body.copy(chunk, 8);
  chunk.writeUInt32BE(crc32(chunk.subarray(4, 8 + body.length)), 8 + body.length);
  let at = 8;
  while (png.toString('latin1', at + 4, at + 8) !== 'IDAT') at += 12 + png.readUInt32BE(at);
  return Buffer.concat([png.subarray(0, at), chunk, png.subarray(at)]);
}

// EXIF (big-endian, after the "Exif\0\0" some writers copy from JPEG) whose first directory
// holds only the orientation, as a LONG, which common readers take as they take a SHORT.
function exifOrientation(orientation) {
  const exif = Buffer.alloc(32);
  exif.write('Exif\0\0MM\0*', 0, 'latin1');
  exif.writeUInt32BE(8, 10);  // the first directory, with one entry:
  exif.writeUInt16BE(1, 14);
  exif.writeUInt16BE(0x112, 16);  // the orientation, one LONG
  exif.writeUInt16BE(4, 18);
  exif.writeUInt32BE(1, 20);
  exif.writeUInt32BE(orientation, 24);
  return exif;
}

function toolOutput(input, options = []) {
  const output = join(files, `tool-${Math.random().toString(36).slice(2)}.png`);
  const run = spawnSync(tool, ['--quiet', ...options, input, output], { encoding: 'utf8' });
  assert.equal(run.status, 0, `velorund ${options.join(' ')} failed: ${run.stderr}`);
  return decode(readFileSync(output));
}

function assertSameImage(actual, expected) {
  for (const key of ['width', 'height', 'depth', 'channels']) assert.equal(actual[key], expected[key], key);
  const first = actual.data.findIndex((v, i) => v !== expected.data[i]);
  assert.equal(first, -1, `sample ${first} (pixel ${Math.floor(first / actual.channels)}) differs: ${actual.data[first]} in the page's, ${expected.data[first]} in the tool's`);
}

// Sets the page's options as a person would: the outside, and the rectangle's fields.
async function setOptions(page, { colour = null, rect = null } = {}) {
  await page.evaluate((colour, rect) => {
    document.querySelector(`input[name="outside"][value="${colour ? 'colour' : 'transparent'}"]`).checked = true;
    if (colour) document.querySelector('#background').value = colour;
    ['rect-x', 'rect-y', 'rect-width', 'rect-height'].forEach((id, i) => (document.getElementById(id).value = rect ? rect[i] : ''));
  }, colour, rect);
}

async function warpInPage(input, options) {
  await setOptions(browser.page, options);
  const end = await chooseFile(browser.page, input);
  assert.equal(end.state, 'done', end.text);
  // The bar was sized by the module's progress reports and stands at their end.
  const progress = await browser.page.$eval('#progress', (bar) => ({ value: bar.value, max: bar.max }));
  assert.ok(progress.max > 1 && progress.value === progress.max, `progress ${progress.value} of ${progress.max}`);
  return decode(readFileSync(await download(browser.page, browser.session, browser.downloads)));
}

before(async () => {
  assert.ok(existsSync(tool), `${tool} is missing: build the native preset first`);
  browser = await openPage({ folder: pageFolder, isolated });
  const threads = await browser.page.$eval('#threads', (line) => line.textContent);
  assert.match(threads, isolated ? /runs on \d+ threads/ : /one thread/);
});

after(async () => {
  await browser?.close();
  rmSync(files, { recursive: true, force: true });
});

test('the page warps PNG files as the tool does, sample for sample', async (t) => {
  const opaque = photoPath;
  const opaqueAsLayer = writePng('opaque-layer.png', withAlpha(8, () => 1));
  const graded = writePng('graded-alpha-16.png', withAlpha(16, (x, y) => (x + y) / (photo.width + photo.height - 2)));
  const wide = writePng('wide.png', band(100, 300));
  const save = (name, bytes) => (writeFileSync(join(files, name), bytes), join(files, name));
  const palette = Array.from({ length: 16 }, (_, i) => [i * 16, 255 - i * 10, (i * 37) % 256]);
  const transparentPalette = save('palette.png', withChunk(pattern(70, 50, 4, 1, palette), 'tRNS', Buffer.from([0, 60, 120, 180])));
  const transparentGray = save('gray-2-bit.png', withChunk(pattern(70, 50, 2, 1), 'tRNS', Buffer.from([0, 1])));
  // The colour of the second pixel.
  const transparentColour = save('rgb-16.png', withChunk(pattern(70, 50, 16, 3), 'tRNS', Buffer.from([0x69, 0x7b, 0x8c, 0xa4, 0xaf, 0xcd])));
  const turned = save('turned.png', withChunk(pattern(70, 50, 8, 3), 'eXIf', exifOrientation(6)));
  const cases = [
    // A transparent outside runs an opaque picture as a layer: the tool's output for the same
    // picture with an opaque alpha channel.
    ['opaque RGB photograph, transparent outside', opaque, {}, opaqueAsLayer, []],
    ['16-bit RGBA with graded alpha', graded, {}, graded, []],
    ['non-square, over a colour, in a rectangle', wide, { colour: '#3366cc', rect: [40, 20, 300, 240] },
      wide, ['--background', '#3366cc', '--rect', '40,20,300,240']],
    // Kinds of PNG that the page expands as libpng does for the tool.
    ['4-bit palette with transparent entries', transparentPalette, {}, transparentPalette, []],
    ['2-bit gray with a transparent gray', transparentGray, {}, transparentGray, []],
    ['16-bit RGB with a transparent colour', transparentColour, {}, transparentColour, []],
    ['turned upright by its EXIF orientation', turned, { colour: '#000000' }, turned, ['--background', 'black'], [50, 70]],
  ];
  for (const [name, input, options, toolInput, toolOptions, shownSize] of cases)
    await t.test(name, async () => {
      const result = await warpInPage(input, options);
      if (shownSize) assert.deepEqual([result.width, result.height], shownSize);
      assertSameImage(result, toolOutput(toolInput, toolOptions));
    });
});

test('Cancel ends a run through the module\'s cancel poll; the next run works', async () => {
  const { page } = browser;
  const large = { width: 2048, height: 2048, depth: 8, channels: 3, data: new Uint8Array(2048 * 2048 * 3) };
  for (let i = 0; i < large.data.length; i++) large.data[i] = (i * 2654435761) >>> 24;
  await setOptions(page);
  await page.$eval('#run', (run) => (run.dataset.state = 'choosing'));
  await (await page.$('#file')).uploadFile(writePng('large.png', large));
  // Once the module reports rows, Cancel.
  await page.waitForFunction(() => document.querySelector('#progress').max > 100 && document.querySelector('#progress').value > 0,
    { timeout: 60_000, polling: 20 });
  await page.click('#cancel');
  assert.equal((await waitForEnd(page, 60_000)).state, 'cancelled');
  assertSameImage(await warpInPage(photoPath, { colour: '#000000' }), toolOutput(photoPath, ['--background', 'black']));
});

test('files the page cannot take give their messages, one after the other', async (t) => {
  const png = readFileSync(photoPath);
  // A PNG header for 8000 x 8000 pixels, above the page's limit.
  const huge = Buffer.from(png.subarray(0, 33));
  huge.writeUInt32BE(8000, 16);
  huge.writeUInt32BE(8000, 20);
  const cases = [
    ['truncated.png', png.subarray(0, png.length / 2), /not a readable PNG image/],
    ['animated.png', withChunk(png, 'acTL', Buffer.from([0, 0, 0, 1, 0, 0, 0, 0])), /animated PNG images are not supported/],
    ['notes.png', Buffer.from('not a picture at all\n'), /not a PNG, JPEG or WebP image/],
    ['huge.png', huge, /8000 x 8000 pixels is too large: the page takes at most 50 megapixels/],
  ];
  for (const [name, bytes, message] of cases)
    await t.test(name, async () => {
      const path = join(files, name);
      writeFileSync(path, bytes);
      const end = await chooseFile(browser.page, path);
      assert.equal(end.state, 'error');
      assert.match(end.text, message);
    });
  assert.deepEqual(browser.errors, []);
});

test('the filter\'s WebAssembly and the page\'s scripts take at most 300 KB gzipped', () => {
  const sizes = readdirSync(pageFolder).filter((name) => /\.(wasm|js)$/.test(name))
    .map((name) => gzipSync(readFileSync(join(pageFolder, name)), { level: 9 }).length);
  const total = sizes.reduce((sum, size) => sum + size, 0);
  assert.ok(total <= 300 * 1024, `${(total / 1024).toFixed(1)} KB gzipped`);
});
