// Debian's Chromium, headless, driving the web page as a person would: for the page's tests, its
// screenshot (tools/web_screenshot.mjs) and its timing (bench/web_speed.mjs). Chromium starts
// with a fresh profile and without the background services that would reach for the network;
// the page is served from 127.0.0.1 by tools/web_server.mjs.
import { existsSync, mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import puppeteer from 'puppeteer-core';
import { serve } from './web_server.mjs';

export const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';

// The page in build/web/page (or folder) served with or without cross-origin isolation, in a
// new Chromium whose downloads go to a fresh folder. close() ends both and removes the folders.
export async function openPage({ folder, isolated = true, viewport = { width: 1100, height: 900 } }) {
  const server = await serve(folder, { port: 0, isolated });
  const scratch = mkdtempSync(join(tmpdir(), 'velorund-web-'));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    timeout: 120_000,  // a start on a machine busy with builds can take a while
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
           '--disable-component-update', '--disable-sync', `--user-data-dir=${join(scratch, 'profile')}`],
  });
  const page = await browser.newPage();
  await page.setViewport(viewport);
  const errors = [];
  page.on('pageerror', (error) => errors.push(error.message));
  const downloads = join(scratch, 'downloads');
  const session = await browser.target().createCDPSession();
  await session.send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: downloads, eventsEnabled: true });
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  return {
    page,
    errors,
    downloads,
    session,
    async close() {
      await browser.close();
      server.close();
      rmSync(scratch, { recursive: true, force: true });
    },
  };
}

// Chooses file through the page's file input and waits until its run has ended; returns how it
// ended (done, cancelled or error) and the status line.
export async function chooseFile(page, file, timeout = 120_000) {
  await page.$eval('#run', (run) => (run.dataset.state = 'choosing'));
  const input = await page.$('#file');
  await input.uploadFile(file);
  return waitForEnd(page, timeout);
}

export async function waitForEnd(page, timeout = 120_000) {
  await page.waitForFunction(() => ['done', 'cancelled', 'error'].includes(document.querySelector('#run').dataset.state),
    { timeout, polling: 50 });
  return page.$eval('#run', (run) => ({ state: run.dataset.state, text: run.querySelector('#status').textContent }));
}

// Clicks the download link and resolves to the downloaded file's path once it is complete. An
// earlier download of the same name is removed first, so that it cannot be read in its place.
export async function download(browserPage, session, folder) {
  const name = await browserPage.$eval('#download', (link) => link.download);
  const path = join(folder, name);
  rmSync(path, { force: true });
  const completed = new Promise((resolve, reject) => {
    session.on('Browser.downloadProgress', function listen(event) {
      if (event.state === 'inProgress') return;
      session.off('Browser.downloadProgress', listen);
      if (event.state === 'completed') resolve();
      else reject(new Error(`download ${event.state}`));
    });
  });
  await browserPage.click('#download');
  await completed;
  for (let waited = 0; !existsSync(path); waited += 50) {
    if (waited > 10_000) throw new Error(`${name} was not written`);
    await new Promise((resolve) => setTimeout(resolve, 50));
  }
  return path;
}
