// Clicks through a whole day of the closing dialog in the system chromium:
// sign in, the page in Chinese at 800 and 1,280 px, then in English: filter,
// select, check, a cash count, close, the bill numbers, the closed days, a
// day's bills, the report printed by chromium --print-to-pdf and read back
// with pdftotext, cancel, the audit trail, sign out.  Writes a screenshot of
// each main screen into OUT_DIR.
//
//   node dialog_browser_test.mjs DAILYBALANCE_BINARY OUT_DIR
import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, dirname } from 'node:path';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';

const require = createRequire(join(dirname(fileURLToPath(import.meta.url)), 'package.json'));
const puppeteer = require('puppeteer-core');

const [binary, outDir] = process.argv.slice(2);
const day = '2026-12-04';
const scratch = mkdtempSync(join(tmpdir(), 'dailybalance-dialog-'));
const env = { ...process.env, DAILYBALANCE_REGISTRY: join(scratch, 'registry.json') };
const db = join(scratch, 'shop.db');
mkdirSync(outDir, { recursive: true });

function check(condition, what) {
  if (!condition) throw new Error('failed: ' + what);
  console.log('ok   ' + what);
}

execFileSync(binary, ['init', '--db', db, '--bills', '60', '--lines', '4', '--days', '2', '--last-day', day], { env });
// Operator 3 of the demo data is a supervisor: closes and cancels every shop.
const password = 'a-supervisor-pass';
execFileSync(binary, ['user', 'passwd', '--db', db, '3'], { env, input: password + '\n' });
const server = spawn(binary, ['serve', '--db', db, '--port', '0'], { env, stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve, reject) => {
  let text = '';
  server.stdout.on('data', (d) => {
    text += d;
    const m = text.match(/(http:\/\/\S+\/)\n/);
    if (m) resolve(m[1]);
  });
  server.on('exit', (code) => reject(new Error('serve ended with ' + code)));
});

const browser = await puppeteer.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
    '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--user-data-dir=' + join(scratch, 'profile')],
});
let failed = false;
try {
  const page = await browser.newPage();
  await page.setViewport({ width: 1400, height: 900 });
  const outside = [];
  page.on('request', (r) => { if (!r.url().startsWith(url) && !r.url().startsWith('data:')) outside.push(r.url()); });
  const problems = [];
  page.on('pageerror', (e) => problems.push(e.message));
  // Close and cancel ask first, naming what they will do.
  const asked = [];
  page.on('dialog', (d) => { asked.push(d.message()); d.accept(d.type() === 'prompt' ? 'a till miscounted' : undefined); });
  await page.goto(url, { waitUntil: 'networkidle0' });
  const text = (sel) => page.$eval(sel, (e) => e.textContent);
  const shown = (sel) => page.$eval(sel, (e) => !e.hidden);
  const noticeText = () => page.$eval('#notice', (e) => (e.hidden ? '' : e.textContent));

  // Sign in: a wrong password is refused on the form; the right one opens the bills.
  await page.waitForFunction(() => !document.querySelector('#sign-in-screen').hidden);
  check(await page.$eval('#app', (e) => e.hidden), 'nothing but the sign-in is shown before signing in');
  await page.type('#sign-in-user', '3');
  await page.type('#sign-in-password', 'not-the-password');
  await page.click('#sign-in button');
  await page.waitForFunction(() => !document.querySelector('#sign-in-error').hidden);
  check(await text('#sign-in-error') === '操作员或密码错误', 'a wrong password, said in Chinese: ' + (await text('#sign-in-error')));
  await page.$eval('#sign-in-password', (e) => { e.value = ''; });
  await page.type('#sign-in-password', password);
  await page.click('#sign-in button');
  await page.waitForFunction(() => !document.querySelector('#app').hidden);
  check((await text('#operator')).includes('主管'), 'signed in as ' + (await text('#operator')));
  const cookies = await page.cookies();
  check(cookies.length === 1 && cookies[0].httpOnly && cookies[0].sameSite === 'Strict',
    'the session cookie is HttpOnly and SameSite=Strict');

  // Chinese first, and nothing left in English but the language's own name.
  await page.waitForFunction(() => document.querySelectorAll('#bills tbody tr').length > 0);
  check(await text('#tab-open') === '未日结零售单' && await text('#close-btn') === '日结', 'the dialog speaks Chinese');
  const english = await page.evaluate(() => [...document.querySelectorAll('#app :is(button, th, label > span, h2, option)')]
    .filter((e) => e.offsetParent !== null && /[A-Za-z]{3,}/.test(e.textContent) && e.textContent !== 'English')
    .map((e) => e.textContent));
  check(english.length === 0, 'no English label left: ' + english.join(' | '));
  check(/^\d+ 张未日结单据，合计 [\d,]+\.\d\d$/.test(await text('#bill-count')), 'the count in Chinese: ' + (await text('#bill-count')));
  // 800 px: nothing runs off the screen, the amounts included, and the close button is in reach.
  for (const width of [800, 1280]) {
    await page.setViewport({ width, height: 900 });
    const fits = await page.evaluate(() => {
      const amount = document.querySelector('#bills thead th:last-child').getBoundingClientRect();
      return document.documentElement.scrollWidth <= window.innerWidth && amount.right <= window.innerWidth;
    });
    check(fits, `at ${width} px the page and the amount column fit`);
    const button = await page.$eval('#close-btn', (b) => { b.scrollIntoView({ block: 'nearest' }); const r = b.getBoundingClientRect(); return r.bottom <= window.innerHeight + 1 && r.right <= window.innerWidth || [r.top, r.bottom, r.right, window.innerHeight, window.scrollY]; });
    check(button === true, `at ${width} px the close button is in reach: ` + JSON.stringify(button));
    await page.screenshot({ path: join(outDir, `0-zh-${width}.png`), fullPage: true });
  }
  await page.setViewport({ width: 1400, height: 900 });
  // The rest in English, which the choice keeps.
  await page.select('#app select.language', 'en');
  await page.waitForFunction(() => document.querySelector('#tab-open').textContent === 'Open bills');
  check(/^\d+ open bills, [\d,]+\.\d\d$/.test(await text('#bill-count')), 'the count follows the switch: ' + (await text('#bill-count')));

  // A reversed range is refused next to its field and clears the old list.
  await page.$eval('#from', (e) => { e.value = '2026-12-05'; });
  await page.$eval('#to', (e) => { e.value = '2026-12-01'; });
  await page.click('#filter-btn');
  await page.waitForFunction(() => document.querySelector('.field-error'));
  check(await page.$eval('.field-error', (e) => e.previousElementSibling.contains(document.querySelector('#from'))),
    'a reversed range is refused next to its field: ' + (await text('.field-error')));
  check((await page.$$('#bills tbody tr')).length === 0, 'and the old list is cleared');

  // Filter: the sales bills of one day (of the first shop, the dialog's default).
  await page.$eval('#from', (e, d) => { e.value = d; }, day);
  await page.$eval('#to', (e, d) => { e.value = d; }, day);
  await page.select('#type', 'sales');
  // The count of the first, unfiltered list goes, so that the one waited for is the filter's.
  await page.$eval('#bill-count', (e) => { e.textContent = ''; });
  await page.click('#filter-btn');
  await page.waitForFunction(() => document.querySelector('#bill-count').textContent.includes('open bills'));
  check(!(await page.$('.field-error')), 'the next action cleared the refusal');
  const rows = await page.$$eval('#bills tbody tr', (trs) => trs.map((tr) => [...tr.cells].map((c) => c.textContent)));
  check(rows.length > 0, `the filter shows ${rows.length} open bills`);
  check(rows.every((r) => r[2] === day && r[3] === 'sales'), 'every listed bill is a sale of the day');

  // Select: two bills first, then all.
  const boxes = await page.$$('#bills tbody input.sel');
  await boxes[0].click();
  await boxes[1].click();
  await page.waitForFunction(() => document.querySelector('#selected-count').textContent === '2 bills');
  await page.click('#select-all');
  await page.waitForFunction((n) => document.querySelector('#selected-count').textContent === `${n} bills`, {}, rows.length);
  await page.waitForFunction(() => document.querySelectorAll('#totals tbody tr').length > 0 &&
    document.querySelectorAll('#chart svg rect').length > 0);
  const methods = await page.$$eval('#totals tbody tr:not(.pieces)', (trs) => trs.map((tr) => tr.cells[1].textContent));
  check(methods.every((m) => /^[\d,]+\.\d\d$/.test(m)), 'totals per settlement method: ' + methods.join(', '));
  check(await page.$$eval('#chart svg .bar-day', (r) => r.length) === 1, 'the chart has a bar for the one day');
  await page.screenshot({ path: join(outDir, '1-en-open-bills.png'), fullPage: true });

  // Check: the closing can run.
  await page.$eval('#close-date', (e, d) => { e.value = d; }, day);
  await page.click('#check-btn');
  await page.waitForFunction(() => !document.querySelector('#check-result').hidden);
  check((await text('#check-result')).includes('The closing can run.'), 'check: ' + (await text('#check-result')));
  await page.screenshot({ path: join(outDir, '2-checked.png'), fullPage: true });

  // The cash count: the first method one yuan short, by notes and coins; the difference shows as typed.
  const expectedFirst = Number(methods[0].replace(/,/g, ''));
  await page.click('#totals tbody tr:not(.pieces) button');
  await page.waitForFunction(() => !document.querySelector('#totals tr.pieces').hidden);
  const hundreds = Math.floor((expectedFirst - 1) / 100);
  const rest = Math.round((expectedFirst - 1 - hundreds * 100) * 10);  // in 0.1 coins
  await page.type('#totals tr.pieces input[data-denomination="100"]', String(hundreds));
  await page.type('#totals tr.pieces input[data-denomination="0.1"]', String(rest));
  const difference = await page.$eval('#totals tbody tr:not(.pieces) .difference', (c) => [c.textContent, c.classList.contains('beyond')]);
  const shortBy = (Math.round(((hundreds * 100 + rest / 10) - expectedFirst) * 100) / 100).toFixed(2);
  check(difference[0] === shortBy && difference[1], `the difference shows as typed, beyond the tolerance: ${difference} (${shortBy})`);
  check(await page.$eval('#sign-off', (e) => e.hidden), 'a supervisor signs off their own count');
  await page.type('#count-note', 'one coin short');
  for (const width of [800, 1400]) {
    await page.setViewport({ width, height: 900 });
    const fitsPanel = await page.evaluate(() => document.querySelector('#totals').getBoundingClientRect().right <=
      document.querySelector('aside.side').getBoundingClientRect().right + 1 &&
      document.documentElement.scrollWidth <= window.innerWidth);
    check(fitsPanel, `at ${width} px the count fits its panel`);
    await page.screenshot({ path: join(outDir, `2b-counted-${width}.png`), fullPage: true });
  }

  // Close: progress, then the numbers.
  await page.click('#close-btn');
  await page.waitForFunction(() => !document.querySelector('#result').hidden, { timeout: 120000 });
  const result = await text('#result');
  check(result.includes('日结成功'), 'closed: ' + result);
  check(asked.length === 1 && asked[0].includes(`Close ${rows.length} retail bills`), 'the close asked first: ' + asked[0]);
  check(/daily bill RJ\d{14}/.test(result) && /stock bill \S+/.test(result), 'the result shows the bill numbers');
  check(result.includes(`difference ${shortBy}`), 'the count went with the closing: ' + result);
  check(await shown('#progress'), 'the progress bar was shown');
  const dailyNo = await page.$eval('#result', (e) => e.dataset.dailyBillNo);
  await page.waitForFunction(() => document.querySelector('#bill-count').textContent.startsWith('0 open bills'));
  check(true, 'the closed bills left the open list');
  await page.screenshot({ path: join(outDir, '3-closed.png'), fullPage: true });

  // Closed days: the new one, its retail bills.
  await page.click('#tab-closed');
  await page.waitForFunction((no) => [...document.querySelectorAll('#closed a.day')].some((a) => a.textContent === no), {}, dailyNo);
  await page.$eval('#closed-number', (e, n) => { e.value = n.slice(2); }, dailyNo);
  // The unfiltered list goes first: it may hold the one day already, and the
  // row waited for must be the filter's.
  await page.$eval('#closed tbody', (body) => body.replaceChildren());
  await page.click('#closed-filter-btn');
  await page.waitForFunction(() => document.querySelectorAll('#closed tbody tr').length === 1);
  await page.click('#closed a.day');
  await page.waitForFunction((n) => document.querySelectorAll('#details tbody tr').length === n + 1, {}, rows.length);
  check(true, `the day ${dailyNo} lists its ${rows.length} retail bills and their total`);
  check(await page.$$eval('#stock-lines tbody tr', (r) => r.length) > 1, 'and the lines of its stock bill');
  const closedRow = await page.$$eval('#closed tbody tr td', (tds) => tds.map((td) => td.textContent));
  check(closedRow.some((t) => /^XOUT\d+$/.test(t)), 'the closed day names its stock bill: ' + closedRow.join(' | '));
  await page.screenshot({ path: join(outDir, '4-closed-days.png'), fullPage: true });

  // The closing report, printed to A4 and read back from the PDF.
  await page.click('#closed a.report-link');
  await page.waitForFunction(() => !document.querySelector('#screen-report').hidden);
  const reportText = await text('#report');
  check(reportText.includes(`Closing report ${dailyNo}`) && reportText.includes('bills total') &&
    reportText.includes('stock bill total, tax included'), 'the report view shows the reconciliations');
  check(reportText.includes('Cash count') && reportText.includes(shortBy) && reportText.includes('one coin short'),
    'the report shows the cash count');
  await page.screenshot({ path: join(outDir, '4b-report.png'), fullPage: true });
  // The browser's own print: the page as shown, with its stylesheet, printed by chromium --print-to-pdf.
  const html = join(scratch, 'report.html');
  writeFileSync(html, await page.evaluate(async () => {
    const css = await (await fetch('/dialog.css')).text();
    const copy = document.documentElement.cloneNode(true);
    copy.querySelectorAll('script, link[rel="stylesheet"]').forEach((e) => e.remove());
    copy.querySelector('head').append(Object.assign(document.createElement('style'), { textContent: css }));
    return '<!doctype html>\n' + copy.outerHTML;
  }));
  const pdf = join(scratch, 'report.pdf');
  execFileSync('/usr/bin/chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
    '--user-data-dir=' + join(scratch, 'print-profile'), '--no-pdf-header-footer', '--print-to-pdf=' + pdf,
    'file://' + html], { stdio: 'ignore', timeout: 60000 });
  const pages = Number(execFileSync('pdfinfo', [pdf], { encoding: 'utf8' }).match(/Pages:\s+(\d+)/)[1]);
  const size = execFileSync('pdfinfo', [pdf], { encoding: 'utf8' }).match(/Page size:\s+([\d.]+) x ([\d.]+)/);
  check(Math.abs(Number(size[1]) - 595.3) < 2 && Math.abs(Number(size[2]) - 841.9) < 2, `printed on A4 (${size[1]} x ${size[2]} pt, ${pages} pages)`);
  const printed = execFileSync('pdftotext', ['-layout', pdf, '-'], { encoding: 'utf8' });
  check(printed.includes(dailyNo) && printed.includes("The bills' total, settled") && !printed.includes('Show closed days'),
    'the printed report holds the report and nothing of the screen around it');
  check(printed.includes('Cash count') && printed.includes(shortBy), 'and the cash count');
  const totalShown = reportText.match(/([\d,]+\.\d\d) in all/);
  check(totalShown && printed.includes(totalShown[1]), 'and the bills total ' + (totalShown && totalShown[1]));
  await page.click('#report-back');
  await page.waitForFunction(() => !document.querySelector('#screen-closed').hidden);

  // Cancel it.
  await page.click('#closed tbody input.sel');
  await page.click('#cancel-btn');
  await page.waitForFunction(() => !document.querySelector('#cancel-result').hidden, { timeout: 120000 });
  check((await text('#cancel-result')).includes('反日结完成！'), 'cancelled: ' + (await text('#cancel-result')));
  check(asked.length === 2 && asked[1].includes(dailyNo), 'the cancel named the closing first: ' + asked[1]);
  await page.waitForFunction(() => document.querySelectorAll('#closed tbody tr').length === 0);
  await page.screenshot({ path: join(outDir, '5-cancelled.png'), fullPage: true });

  // The bills are open again.
  await page.click('#tab-open');
  await page.click('#filter-btn');
  await page.waitForFunction((n) => document.querySelector('#bill-count').textContent.startsWith(`${n} open bills`), {}, rows.length);
  check(true, 'the cancelled bills are open again');
  // The audit trail shows the sign-ins, the closing and the cancellation, newest first.
  await page.click('#tab-log');
  await page.waitForFunction(() => document.querySelectorAll('#log tbody tr').length >= 4);
  const events = await page.$$eval('#log tbody tr', (trs) => trs.map((tr) => `${tr.cells[2].textContent} ${tr.cells[3].textContent}`));
  check(events.slice(0, 4).join(', ') === 'cancel done, close done, sign-in done, sign-in failed',
    'the audit trail: ' + events.join(', '));
  await page.screenshot({ path: join(outDir, '6-audit-trail.png'), fullPage: true });

  // Signing out ends the session on the server too.
  await page.click('#sign-out');
  await page.waitForFunction(() => !document.querySelector('#sign-in-screen').hidden);
  const after = await page.evaluate(() => fetch('/api/bills').then((r) => r.status));
  check(after === 401, 'after signing out the services answer ' + after);
  check(!(await noticeText()), 'no error notice: ' + (await noticeText()));
  check(problems.length === 0, 'no script errors ' + problems.join('; '));
  check(outside.length === 0, 'nothing fetched from elsewhere ' + outside.join(' '));
} catch (e) {
  failed = true;
  console.error(e.message);
} finally {
  await browser.close();
  server.kill('SIGTERM');
  rmSync(scratch, { recursive: true, force: true });
}
console.log(failed ? '0 passed, 1 failed' : '1 passed, 0 failed');
process.exit(failed ? 1 : 0);
