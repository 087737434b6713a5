// The page: a picture chosen or dropped starts a run in the filter's worker; the progress bar
// follows the module's progress reports, Cancel is answered through the module's cancel polls,
// and the result is shown beside the original with a link that downloads it as PNG. A picture
// chosen during a run, or an option changed, cancels the run and starts the new one.
const $ = (id) => document.getElementById(id);
// With threads the worker runs the filter without returning to its messages, so Cancel reaches it
// through memory both share; that needs a cross-origin isolated page.
const cancelFlag = crossOriginIsolated ? new Int32Array(new SharedArrayBuffer(4)) : null;

let worker = null;  // the filter's worker (see startWorker)
let running = false;
let current = null;  // the picture shown, and run again when an option changes
let next = null;  // a picture waiting for the current run to end
const urls = { original: null, result: null };

// The threads a run renders on: one per processor the browser reports, at most the module's 32.
const threads = crossOriginIsolated ? Math.min(navigator.hardwareConcurrency || 1, 32) : 1;
$('threads').textContent = crossOriginIsolated
  ? `The filter runs on ${threads > 1 ? `${threads} threads` : 'one thread, the one processor the browser reports'}.`
  : 'The filter runs on one thread: the page is not cross-origin isolated.';

function show(element, url, which) {
  if (urls[which]) URL.revokeObjectURL(urls[which]);
  urls[which] = url;
  element.hidden = !url;
  if (url) element.src = url;
  else element.removeAttribute('src');
}

// The state of the run section: running, done, cancelled or error (which tests wait for).
function setStatus(text, state) {
  $('status').textContent = text;
  $('status').classList.toggle('error', state === 'error');
  $('run').dataset.state = state;
}

// The options as the worker takes them, or a message saying what is wrong.
function options() {
  const colour = document.querySelector('input[name="outside"]:checked').value === 'colour';
  const background = colour ? $('background').value : null;
  const fields = ['rect-x', 'rect-y', 'rect-width', 'rect-height'].map((id) => $(id).value.trim());
  if (fields.every((field) => field === '')) return { background, rect: null };
  const rect = fields.map((field, i) => (field === '' && i < 2 ? 0 : Number(field)));
  if (!rect.every(Number.isInteger) || rect[0] < 0 || rect[1] < 0 || rect[2] < 1 || rect[3] < 1)
    return { problem: 'the rectangle needs whole numbers: a left and top from 0, a width and height from 1' };
  return { background, rect };
}

function start(file) {
  if (running) {
    next = file;
    cancel();
    return;
  }
  const { background, rect, problem } = options();
  if (file !== current) {
    current = file;
    show($('original'), URL.createObjectURL(file), 'original');
    $('original').alt = file.name;
  }
  show($('result'), null, 'result');
  $('download').hidden = true;
  if (problem) return setStatus(`Cannot start: ${problem}.`, 'error');
  running = true;
  if (cancelFlag) Atomics.store(cancelFlag, 0, 0);
  $('progress').max = 1;
  $('progress').value = 0;
  $('cancel').disabled = false;
  setStatus(`Warping ${file.name}…`, 'running');
  worker.postMessage({ type: 'run', file, background, rect, threads, cancelFlag });
}

function cancel() {
  if (!running) return;
  if (cancelFlag) Atomics.store(cancelFlag, 0, 1);
  worker.postMessage({ type: 'cancel' });
  $('cancel').disabled = true;
  setStatus('Cancelling…', 'running');
}

function finished(message) {
  running = false;
  if (message.data.restart) startWorker();
  $('cancel').disabled = true;
  if (next) {
    const file = next;
    next = null;
    start(file);
    return;
  }
  const { data } = message;
  if (data.type === 'done') {
    $('progress').value = $('progress').max;
    const url = URL.createObjectURL(data.png);
    show($('result'), url, 'result');
    const name = current.name.replace(/\.[^.]*$/, '');
    $('result').alt = `${name}, warped`;
    $('download').href = url;
    $('download').download = `${name}-disc.png`;
    $('download').hidden = false;
    const t = data.times;
    const kind = `${data.width} x ${data.height}, ${data.bits}-bit ${['gray', 'gray with alpha', 'RGB', 'RGBA'][data.channels - 1]}`;
    const threads = `${data.threads} thread${data.threads > 1 ? 's' : ''}`;
    setStatus(`Done: ${kind} in ${(t.decode + t.filter + t.encode).toFixed(2)} s (reading ${t.decode.toFixed(2)} s,` +
      ` the filter ${t.filter.toFixed(2)} s on ${threads}, the PNG ${t.encode.toFixed(2)} s)${data.note ? `; ${data.note}` : ''}.`, 'done');
  } else if (data.type === 'cancelled') {
    $('progress').value = 0;
    setStatus('Cancelled. Choose a picture, or change an option, to start again.', 'cancelled');
  } else {
    $('progress').value = 0;
    setStatus(`${current.name}: ${data.message}.`, 'error');
  }
}

// The filter's worker; made anew when the filter itself failed (out of memory, say), which
// takes its memory and threads with it.
function startWorker() {
  worker?.terminate();
  worker = new Worker(new URL('./filter_worker.js', import.meta.url), { type: 'module' });
  worker.onmessage = (message) => {
    if (message.data.type !== 'progress') return finished(message);
    $('progress').max = message.data.total;
    $('progress').value = message.data.done;
  };
  worker.onerror = (event) => {
    event.preventDefault();
    finished({ data: { type: 'error', message: `the page's worker failed: ${event.message}`, restart: true } });
  };
}
startWorker();

// The browser shows PNG, JPEG and WebP; a file it cannot show leaves no broken picture behind.
$('original').addEventListener('error', () => ($('original').hidden = true));
$('file').addEventListener('change', () => {
  if ($('file').files.length) start($('file').files[0]);
});
$('cancel').addEventListener('click', cancel);
for (const input of document.querySelectorAll('#options input, #rectangle input'))
  input.addEventListener('change', () => current && start(current));

// Drag and drop anywhere on the page.
const zone = $('choose');
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  zone.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (!event.relatedTarget) zone.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  zone.classList.remove('dragging');
  if (event.dataTransfer.files.length) start(event.dataTransfer.files[0]);
});
