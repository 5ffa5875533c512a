// Operator page test: the real server program with the test application, the page in headless
// Chromium (Debian's, driven by playwright-core). Loads the page named after the application,
// finds a variable, sees its live value with its unit and a plot of an array with its unit,
// writes a setting and sees the application react, sees a status change from OK to FAULT shown
// as the word in its colour apart from the validity mark, and sees a refused write explained.
// Every wait is bounded.
//
// Usage: node operator_page_test.cjs <path to cs_test_server>
'use strict';

const path = require('path');
const fs = require('fs');
const os = require('os');
const net = require('net');
const { launchBrowser, run, startServer, stopServer, TraceCard } = require('./page_harness.cjs');

const server = path.resolve(process.argv[2]);
const timeout = 60000; // ms for each wait: a loaded machine starts Chromium slowly

function freePort() {
  return new Promise((resolve, reject) => {
    const probe = net.createServer();
    probe.listen(0, '127.0.0.1', () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
    probe.on('error', reject);
  });
}

async function waitForServer(base, child) {
  const deadline = Date.now() + 60000;
  while (Date.now() < deadline) {
    if (child.exitCode !== null) throw new Error(`server ended early with status ${child.exitCode}`);
    try {
      if ((await fetch(`${base}/api/info`)).ok) return;
    } catch { /* not listening yet */ }
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('server did not answer within 60 s');
}

run(async ({ check }) => {
  const workdir = fs.mkdtempSync(path.join(os.tmpdir(), 'cs-page-'));
  fs.writeFileSync(path.join(workdir, 'cstest_base_config.xml'),
    '<configuration><module name="Settings"><variable name="offset" type="double" value="0.5"/></module></configuration>');
  const port = await freePort();
  const base = `http://127.0.0.1:${port}`;
  // a short wait for subscriptions, so that the page sees its empty connection closed
  const { child } = startServer(server, ['--listen', `127.0.0.1:${port}`, '--unsubscribed-timeout', '3'], workdir);
  let context;
  try {
    await waitForServer(base, child);
    context = await launchBrowser(workdir);
    const page = context.pages()[0] || await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));

    await page.goto(base + '/');
    await page.waitForSelector('body[data-ready=true]', { timeout });
    check(await page.title() === 'cstest · process variables', 'the page loads, its title names the application');
    check(await page.locator('header h1').textContent() === 'cstest process variables', 'so does its header');
    await page.waitForSelector('#connection.open', { timeout });
    check(true, 'the page is connected live');
    await page.waitForSelector('#connection:text-is("idle")', { timeout });
    await page.waitForTimeout(2500);
    check(await page.locator('#connection').textContent() === 'idle',
      'a page that shows nothing lets the server close its connection and does not reconnect');

    // find a variable through the search box
    await page.fill('#search', 'gain');
    await page.waitForSelector('#tree a[data-path="/Settings/gain"]', { state: 'visible', timeout });
    check(await page.locator('#tree a[data-path="/Signal/trace"]').count() === 0, 'the search narrows the tree');
    await page.click('#tree a[data-path="/Settings/gain"]');
    const gain = page.locator('.card[data-path="/Settings/gain"]');
    await gain.locator('.validity:text("valid")').waitFor({ timeout });
    check(await gain.locator('.value').textContent() === '0', 'a setting shows its live value and validity');
    check(await page.locator('#connection').textContent() === 'live', 'the first card connects again');
    check(await gain.locator('.reading .unit').textContent() === 'dB', 'the unit stands beside the value');

    // a status shows its name in its colour; validity is a mark of its own
    await page.click('#tree a[data-path="/Readback/gainStatus"]');
    const status = page.locator('.card[data-path="/Readback/gainStatus"]');
    await status.locator('.value:text-is("OK")').waitFor({ timeout });
    check(true, 'a status reads OK, not 0');

    await page.click('#tree a[data-path="/Readback/gainApplied"]');
    const applied = page.locator('.card[data-path="/Readback/gainApplied"]');
    await applied.locator('.value:text-is("0.5")').waitFor({ timeout });
    check(await applied.locator('form').count() === 0, 'a read-only result has no field to write');

    // an array is plotted with the plotting library
    await page.fill('#search', 'trace');
    await page.click('#tree a[data-path="/Signal/trace"]');
    const trace = new TraceCard(page, '/Signal/trace', timeout);
    await trace.plotted(16384);
    check(true, 'the 16384-element trace is plotted');
    const legend = await page.locator('.card[data-path="/Signal/trace"] .u-legend').textContent();
    check(legend.includes('/Signal/trace [V]'), `the plot names the unit of its values: "${legend}"`);
    // the sine moves from one update to the next
    const first = await trace.shown();
    const next = await trace.newerThan(first.stamp, (values) => values.some((v, i) => v !== first.values[i]));
    check(next.values.length === 16384, 'the plot follows new values');

    // write a setting and see the application react
    await gain.locator('input[name=value]').fill('12');
    await gain.locator('button[type=submit]').click();
    await gain.locator('.message:text("written")').waitFor({ timeout });
    await applied.locator('.value:text-is("24.5")').waitFor({ timeout });
    check(true, 'a written setting reaches the application, whose result updates');

    // the validator's correction comes back to the page
    await gain.locator('input[name=value]').fill('150');
    await gain.locator('button[type=submit]').click();
    await gain.locator('.value:text-is("100")').waitFor({ timeout });
    check(true, 'a write-back of the application shows');
    await status.locator('.value:text-is("FAULT")').waitFor({ timeout });
    const colours = await status.evaluate((card) => {
      const style = (selector) => getComputedStyle(card.querySelector(selector));
      const fault = getComputedStyle(document.documentElement).getPropertyValue('--fault').trim();
      const probe = document.createElement('span');
      probe.style.color = fault;
      document.body.append(probe);
      const faultColour = getComputedStyle(probe).color;
      probe.remove();
      return { fault: faultColour, value: style('.value').backgroundColor, validity: style('.validity').backgroundColor,
        validityText: card.querySelector('.validity').textContent };
    });
    check(colours.value === colours.fault, `a FAULT status is shown as FAULT in the fault colour (${colours.value})`);
    check(colours.validityText === 'valid' && colours.validity !== colours.fault,
      'its validity stays a separate mark, not in the status colour');

    await gain.locator('input[name=value]').fill('abc');
    await gain.locator('button[type=submit]').click();
    await gain.locator('.message:text("refused (400)")').waitFor({ timeout });
    const refusal = await gain.locator('.message').textContent();
    check(refusal.includes('a number is expected'), `a refused write is explained: "${refusal}"`);

    await page.screenshot({ path: path.join(process.cwd(), 'operator_page.png') });
    check(pageErrors.length === 0, `no script errors on the page ${pageErrors.join('; ')}`);
  } finally {
    if (context) await context.close();
    await stopServer(child, 10000);
    fs.rmSync(workdir, { recursive: true, force: true });
  }
  if (child.exitCode !== 0) throw new Error(`server exit status ${child.exitCode} after SIGTERM`);
});
