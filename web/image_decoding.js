// Image files into samples for the filter, as the velorund command-line tool reads them. PNG goes
// through fast-png, which keeps every sample as stored (8 and 16 bits; palette, gray below 8 bits
// and a transparent colour are expanded to 8-bit samples with alpha as libpng expands them, the
// EXIF orientation is applied, and an animation is refused), so the page's result equals the
// tool's. JPEG and WebP go
// through the browser's own decoders and its canvas, which premultiplies alpha.
import { convertIndexedToRgb, decode, hasPngSignature } from './fast-png.js';

// The largest image the page takes. Its samples, the document the filter runs on, the module's
// working memory and the result share the filter's WebAssembly memory of at most 2 GB: about
// 27 bytes a pixel for 16-bit RGBA. The host's rectangles hold at most 32767 on a side.
export const MAX_PIXELS = 50_000_000;
export const MAX_SIDE = 32767;

// A file the page cannot take; the message is for the person who chose it.
export class ImageError extends Error {}

// An image: width x height pixels of `channels` interleaved samples (1 gray, 2 gray and alpha,
// 3 RGB, 4 RGBA) of `bits` (8 or 16), never premultiplied; `note` says how it was decoded when
// the result may differ from the tool's.
export async function decodeImage(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  if (hasPngSignature(bytes)) return decodePng(bytes);
  const kind = jpegOrWebp(bytes);
  if (!kind) throw new ImageError('not a PNG, JPEG or WebP image');
  return decodeWithBrowser(file, kind);
}

function checkSize(width, height) {
  const size = `${width} x ${height} pixels`;
  if (width > MAX_SIDE || height > MAX_SIDE) throw new ImageError(`${size} is too large: the filter takes at most ${MAX_SIDE} on a side`);
  if (width * height > MAX_PIXELS) throw new ImageError(`${size} is too large: the page takes at most ${MAX_PIXELS / 1e6} megapixels`);
}

// PNG: the size and the kind are checked from the chunks before anything is decoded.
function decodePng(bytes) {
  if (bytes.length >= 24 && chunkType(bytes, 12) === 'IHDR') {
    const view = new DataView(bytes.buffer);
    checkSize(view.getUint32(16), view.getUint32(20));
  }
  const { animated, orientation } = readChunks(bytes);
  if (animated) throw new ImageError('animated PNG images are not supported');
  let png;
  try {
    png = decode(bytes, { checkCrc: true });
  } catch (error) {
    throw new ImageError(`not a readable PNG image: ${error.message}`);
  }
  const { width, height } = png;
  let { data, depth, channels } = png;
  if (png.palette) {
    data = convertIndexedToRgb(png);
    channels = png.palette[0].length;
    depth = 8;
  } else if (depth < 8) {
    data = expandLowGray(data, width, height, depth, png.transparency);
    channels = png.transparency ? 2 : 1;
    depth = 8;
  } else if (png.transparency) {
    data = alphaFromColourKey(data, channels, png.transparency, depth === 16 ? 65535 : 255);
    channels++;
  }
  if (data.length !== width * height * channels) throw new ImageError('not a readable PNG image: its image data ends early');
  return upright({ width, height, channels, bits: depth, samples: data }, orientation);
}

function chunkType(bytes, at) {
  return String.fromCharCode(...bytes.subarray(at, at + 4));
}

// Gray of 1, 2 or 4 bits, packed from the high bit, row by row: each value scaled to 8 bits; with
// a transparent gray (tRNS), pixels of that value get alpha 0 and the others 255.
function expandLowGray(packed, width, height, depth, transparency) {
  const scale = 255 / ((1 << depth) - 1);
  const rowBytes = Math.ceil((width * depth) / 8);
  const channels = transparency ? 2 : 1;
  const out = new Uint8Array(width * height * channels);
  for (let y = 0, o = 0; y < height; y++)
    for (let x = 0; x < width; x++) {
      const bit = x * depth;
      const value = (packed[y * rowBytes + (bit >> 3)] >> (8 - depth - (bit & 7))) & ((1 << depth) - 1);
      out[o++] = value * scale;
      if (transparency) out[o++] = value === transparency[0] ? 0 : 255;
    }
  return out;
}

// Gray or RGB with a transparent colour (tRNS): an alpha sample after each pixel, 0 where the
// pixel is that colour and full elsewhere.
function alphaFromColourKey(data, channels, key, full) {
  const out = new data.constructor((data.length / channels) * (channels + 1));
  for (let i = 0, o = 0; i < data.length; i += channels) {
    let matches = true;
    for (let c = 0; c < channels; c++) {
      out[o++] = data[i + c];
      matches &&= data[i + c] === key[c];
    }
    out[o++] = matches ? 0 : full;
  }
  return out;
}

// What the tool reads from the chunks itself: an animation control chunk (acTL) makes the file
// an animation, and the first eXIf chunk gives the orientation (1 to 8, 1 without one).
function readChunks(bytes) {
  const view = new DataView(bytes.buffer);
  let animated = false;
  let orientation = 0;
  for (let at = 8; at + 12 <= bytes.length; at += 12 + view.getUint32(at)) {
    const type = chunkType(bytes, at + 4);
    animated ||= type === 'acTL';
    if (type !== 'eXIf' || orientation) continue;
    let start = at + 8;
    const end = Math.min(start + view.getUint32(at), bytes.length);
    // Some writers put the "Exif\0\0" of a JPEG segment before the block.
    if (end - start >= 6 && chunkType(bytes, start) === 'Exif' && view.getUint16(start + 4) === 0) start += 6;
    orientation = exifOrientation(new DataView(bytes.buffer, start, end - start)) || 1;
  }
  return { animated, orientation: orientation || 1 };
}

// EXIF's orientation tag (0x112) in the first directory of a TIFF-structured block, read as
// common readers read it: the first value, whatever whole-number type (BYTE, SHORT, LONG or their
// signed kinds) and count it was stored with; the last such entry counts. 0 without one.
function exifOrientation(exif) {
  const bytesOfType = { 1: 1, 3: 2, 4: 4, 6: 1, 8: 2, 9: 4 };
  const length = exif.byteLength;
  const little = length >= 2 && exif.getUint16(0) === 0x4949;
  if (length < 8 || (!little && exif.getUint16(0) !== 0x4d4d) || exif.getUint16(2, little) !== 42) return 0;
  const read = (at, bytes) => (bytes === 1 ? exif.getUint8(at) : bytes === 2 ? exif.getUint16(at, little) : exif.getUint32(at, little));
  const first = exif.getUint32(4, little);
  if (first + 2 > length) return 0;
  const entries = read(first, 2);
  if (first + 6 + 12 * entries > length) return 0;
  let orientation = 0;
  for (let e = 0, at = first + 2; e < entries; e++, at += 12) {
    const bytes = bytesOfType[read(at + 2, 2)];
    const count = read(at + 4, 4);
    if (read(at, 2) !== 0x112 || !bytes || count === 0) continue;
    const valueAt = bytes * count <= 4 ? at + 8 : read(at + 8, 4);
    if (valueAt + bytes * count > length) continue;
    const value = read(valueAt, bytes);
    if (value >= 1 && value <= 8) orientation = value;
  }
  return orientation;
}

// The pixels as shown: orientation 2 mirrored, 3 turned half round, 4 flipped, 5 transposed,
// 6 turned a quarter clockwise, 7 transversed, 8 turned a quarter anticlockwise.
function upright(image, orientation) {
  if (orientation === 1) return image;
  const { width: w, height: h, channels, samples } = image;
  const swaps = orientation >= 5;
  const shownWidth = swaps ? h : w;
  const shownHeight = swaps ? w : h;
  const out = new samples.constructor(samples.length);
  for (let y = 0, o = 0; y < shownHeight; y++)
    for (let x = 0; x < shownWidth; x++, o += channels) {
      let sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
      }
      const from = (sy * w + sx) * channels;
      out.set(samples.subarray(from, from + channels), o);
    }
  return { ...image, width: shownWidth, height: shownHeight, samples: out };
}

// 'jpeg', 'webp' or 'webp-alpha' by the file's first bytes, or null.
function jpegOrWebp(bytes) {
  if (bytes[0] === 0xff && bytes[1] === 0xd8 && bytes[2] === 0xff) return 'jpeg';
  if (bytes.length < 30 || chunkType(bytes, 0) !== 'RIFF' || chunkType(bytes, 8) !== 'WEBP') return null;
  // Alpha: the extended header's flag, or the lossless header's alpha bit.
  const chunk = chunkType(bytes, 12);
  if (chunk === 'VP8X') return bytes[20] & 0x10 ? 'webp-alpha' : 'webp';
  if (chunk === 'VP8L') return bytes[24] & 0x10 ? 'webp-alpha' : 'webp';
  return 'webp';
}

// JPEG and WebP through the browser: decoded without colour management and turned upright by
// their EXIF orientation, as the tool does, then read back through a canvas.
async function decodeWithBrowser(file, kind) {
  let bitmap;
  try {
    bitmap = await createImageBitmap(file, { premultiplyAlpha: 'none', colorSpaceConversion: 'none', imageOrientation: 'from-image' });
  } catch {
    throw new ImageError(`not a readable ${kind === 'jpeg' ? 'JPEG' : 'WebP'} image`);
  }
  const { width, height } = bitmap;
  checkSize(width, height);
  const context = new OffscreenCanvas(width, height).getContext('2d', { willReadFrequently: true });
  context.drawImage(bitmap, 0, 0);
  bitmap.close();
  const rgba = context.getImageData(0, 0, width, height).data;
  const note = kind === 'jpeg' ? 'decoded by the browser; a gray JPEG comes out as RGB'
    : kind === 'webp' ? 'decoded by the browser'
      : 'decoded by the browser, whose canvas premultiplies alpha: partly transparent pixels may differ a little from the tool\'s';
  if (kind === 'webp-alpha') return { width, height, channels: 4, bits: 8, samples: new Uint8Array(rgba.buffer), note };
  const rgb = new Uint8Array(width * height * 3);
  for (let i = 0, o = 0; o < rgb.length; i += 4, o += 3) rgb.set(rgba.subarray(i, i + 3), o);
  return { width, height, channels: 3, bits: 8, samples: rgb, note };
}
