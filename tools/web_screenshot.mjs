// Takes the README's picture of the web page, docs/web-page.jpg (a JPEG, to keep it small): the
// page in headless Chromium, cross-origin isolated, after it has warped the sample photograph
// with a transparent outside.
//
//   node tools/web_screenshot.mjs [PAGE_FOLDER]   (default build/web/page; build it first)
import { join } from 'node:path';
import { chooseFile, openPage } from './web_browser.mjs';

const root = new URL('../', import.meta.url).pathname;
const browser = await openPage({ folder: process.argv[2] ?? join(root, 'build/web/page'), viewport: { width: 1000, height: 860 } });
try {
  const end = await chooseFile(browser.page, join(root, 'examples/astronaut.png'));
  if (end.state !== 'done') throw new Error(end.text);
  // Times vary from run to run; the picture keeps the line's shape without them.
  await browser.page.$eval('#status', (status) => (status.textContent = status.textContent.replace(/ in .*\)/, '')));
  await browser.page.screenshot({ path: join(root, 'docs/web-page.jpg'), type: 'jpeg', quality: 70, fullPage: true });
  console.log('wrote docs/web-page.jpg');
} finally {
  await browser.close();
}
