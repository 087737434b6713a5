// The page's worker: decodes the chosen file, runs the filter (the module and the in-process host
// compiled to WebAssembly) on it and encodes the result as PNG, so that the page stays responsive
// however long a run takes. It uses threads when the page is cross-origin isolated and one
// thread otherwise; the result is the same bits either way.
//
// Messages from the page: {type: 'run', file, background, rect, threads, cancelFlag} and
// {type: 'cancel'}.
// To the page: {type: 'progress', done, total}, then one of {type: 'done', png, ...},
// {type: 'cancelled'} and {type: 'error', message, restart}, where restart says that the filter
// itself failed and the page is to make a new worker.
import { encode } from './fast-png.js';
import { decodeImage, ImageError } from './image_decoding.js';

const threaded = self.crossOriginIsolated;

let filter = null;  // the filter being loaded or loaded
let cancelFlag = null;  // with threads: a flag in memory shared with the page, which Cancel sets
let cancelled = false;  // with one thread: set by the page's cancel message

// The filter's polls of Cancel. With one thread the run is suspended for a task of its own, so
// that a waiting cancel message is taken first.
function cancelRequested() {
  if (threaded) return Atomics.load(cancelFlag, 0) !== 0;
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => resolve(cancelled);
    channel.port2.postMessage(null);
  });
}

function loadFilter(threads) {
  filter ??= import(threaded ? './velorund-threads.js' : './velorund.js').then(({ default: create }) =>
    create({
      poolSize: threads - 1,  // the workers the threaded build starts with, beside this one
      onProgress: (done, total) => postMessage({ type: 'progress', done, total }),
      cancelRequested,
    }),
  );
  return filter;
}

self.onmessage = async ({ data }) => {
  if (data.type === 'cancel') {
    cancelled = true;
  } else if (data.type === 'run') {
    cancelled = false;
    cancelFlag = data.cancelFlag;
    try {
      postMessage(await warp(data));
    } catch (error) {
      // Anything but a refusal ends the filter itself, mostly for lack of memory.
      const refused = error instanceof ImageError;
      const reason = error.message.replace(/\..*/s, '');
      postMessage({ type: 'error', restart: !refused,
        message: refused ? error.message : `the filter stopped (${reason}), most likely for lack of memory; it is ready again` });
    }
  }
};

// One run: the file decoded, warped and encoded. background is null or '#rrggbb'; rect is null
// or [x, y, width, height]; threads is 1 unless the page is cross-origin isolated.
async function warp({ file, background, rect, threads }) {
  const started = performance.now();
  const image = await decodeImage(file);
  const { width, height, channels, bits } = image;
  if (rect && (rect[0] + rect[2] > width || rect[1] + rect[3] > height))
    throw new ImageError(`the rectangle ${rect.join(',')} reaches outside the ${width} x ${height} image`);
  const module = await loadFilter(threads);

  // The samples into the filter's memory; it frees them once its document holds them.
  const bytes = image.samples.byteLength;
  const samples = module._malloc(bytes);
  if (!samples) throw new ImageError('not enough memory for this image');
  module.HEAPU8.set(new Uint8Array(image.samples.buffer, image.samples.byteOffset, bytes), samples);
  const decoded = performance.now();
  const result = await module.ccall(
    'velorund_page_run', 'number', Array(11).fill('number'),
    [samples, width, height, channels, bits, background ? parseInt(background.slice(1), 16) : -1, ...(rect ?? [0, 0, 0, 0]), threads],
    { async: true },
  );
  const filtered = performance.now();
  if (result === -128) return { type: 'cancelled' };
  const failure = module.ccall('velorund_page_failure', 'string');
  if (failure) throw new ImageError(failure);

  // The warped samples out of the filter's memory: the colours, and alpha for a transparent
  // outside.
  const outChannels = (channels >= 3 ? 3 : 1) + (background ? 0 : 1);
  const count = width * height * outChannels;
  const output = module._velorund_page_output();
  const warped = bits === 16 ? module.HEAPU16.slice(output / 2, output / 2 + count) : module.HEAPU8.slice(output, output + count);
  module._velorund_page_release();
  const png = encode({ width, height, data: warped, depth: bits, channels: outChannels });
  const seconds = (to, from) => (to - from) / 1000;
  return {
    type: 'done',
    png: new Blob([png], { type: 'image/png' }),
    width,
    height,
    channels: outChannels,
    bits,
    threads,
    note: image.note ?? '',
    times: { decode: seconds(decoded, started), filter: seconds(filtered, decoded), encode: seconds(performance.now(), filtered) },
  };
}
