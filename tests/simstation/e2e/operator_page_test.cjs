// Operator page of the simulated station: the real server on a copy of config/sim (the simulated
// controller board with its cavity model), the page in headless Chromium (Debian's, driven by
// playwright-core). The page plots the vector-sum amplitude; once the operator switches the
// feed-forward on, the plotted trace changes from one pulse to the next as the cavity fills.
// Every wait is bounded.
//
// Usage: node operator_page_test.cjs <path to tessarel_server> <path to config/sim>
'use strict';

const path = require('path');
const fs = require('fs');
const os = require('os');
const { spawn } = require('child_process');

const webDir = path.resolve(__dirname, '../../../platform/controlsystem/web');
const { chromium } = require(path.join(webDir, 'node_modules', 'playwright-core'));

const server = path.resolve(process.argv[2]);
const sim = path.resolve(process.argv[3]);
const timeout = 30000;
const trace = '/Controller/VectorSum/DAQ/amplitude';
let passed = 0;

function check(condition, what) {
  if (!condition) throw new Error(`failed: ${what}`);
  passed += 1;
  console.log(`ok - ${what}`);
}

async function waitForListening(logFile, child) {
  const deadline = Date.now() + 60000;
  while (Date.now() < deadline) {
    if (child.exitCode !== null) throw new Error(`server ended early with status ${child.exitCode}`);
    const found = /listening on (http:\/\/127\.0\.0\.1:\d+)\//.exec(fs.readFileSync(logFile, 'utf8'));
    if (found) return found[1];
    await new Promise((r) => setTimeout(r, 50));
  }
  throw new Error('server did not listen within 60 s');
}

async function put(base, variable, value) {
  const response = await fetch(`${base}/api/variables${variable}`, { method: 'PUT', body: JSON.stringify(value) });
  if (!response.ok) throw new Error(`PUT ${variable}: ${response.status} ${await response.text()}`);
}

async function main() {
  const workdir = fs.mkdtempSync(path.join(os.tmpdir(), 'simstation-page-'));
  for (const entry of fs.readdirSync(sim)) {
    const source = path.join(sim, entry);
    if (fs.statSync(source).isFile()) fs.copyFileSync(source, path.join(workdir, entry));
  }
  const logFile = path.join(workdir, 'server.log');
  const log = fs.openSync(logFile, 'a');
  const child = spawn(server, ['--listen', '127.0.0.1:0'], { cwd: workdir, stdio: ['ignore', log, log] });
  let context;
  try {
    const base = await waitForListening(logFile, child);
    context = await chromium.launchPersistentContext(path.join(workdir, 'profile'), {
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync'],
      viewport: { width: 1400, height: 900 },
    });
    const page = context.pages()[0] || await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));

    await page.goto(base + '/');
    await page.waitForSelector('body[data-ready=true]', { timeout });
    check(await page.title() === 'tessarel · process variables', 'the page of the station loads');

    await page.fill('#search', 'VectorSum/DAQ/amplitude');
    await page.click(`#tree a[data-path="${trace}"]`);
    const card = `.card[data-path="${trace}"]`;
    await page.waitForSelector(`${card} .plot[data-points="2048"] canvas`, { timeout });
    check(true, 'the vector-sum amplitude of 2048 samples is plotted');

    // the plotted values, as the page holds them for its plot
    const plotted = () => page.evaluate((p) => Array.from(state.cards.get(p).plot.data[1]), trace);
    const stamp = () => page.locator(`${card} .stamp`).textContent();
    const peak = (values) => Math.max(...values);
    check(peak(await plotted()) < 0.01, 'without feed-forward the plotted field is zero');

    await put(base, '/Controller/FeedForward/enable', true);
    // two successive pulses as plotted: each a new stamp; the field rises and the trace differs
    const first = await stamp();
    await page.waitForFunction(([p, before]) => {
      const shown = document.querySelector(`.card[data-path="${p}"] .stamp`).textContent;
      return shown !== before && Math.max(...state.cards.get(p).plot.data[1]) > 1;
    }, [trace, first], { timeout });
    const one = await plotted();
    const oneStamp = await stamp();
    check(peak(one) > 1, `the plotted field rises with the feed-forward (peak ${peak(one).toFixed(3)} MV/m)`);
    await page.waitForFunction(([p, before]) =>
      document.querySelector(`.card[data-path="${p}"] .stamp`).textContent !== before, [trace, oneStamp], { timeout });
    // a set-point step makes the next pulses differ for certain
    await put(base, '/Controller/SetPoint/amplitude', 3.0);
    const afterStep = await stamp();
    await page.waitForFunction(([p, before, oldPeak]) => {
      const shown = document.querySelector(`.card[data-path="${p}"] .stamp`).textContent;
      return shown !== before && Math.abs(Math.max(...state.cards.get(p).plot.data[1]) - oldPeak) > 0.5;
    }, [trace, afterStep, peak(one)], { timeout });
    const two = await plotted();
    check(two.some((v, i) => Math.abs(v - one[i]) > 0.1),
      `the plotted trace changes between two pulses (peak ${peak(one).toFixed(3)} -> ${peak(two).toFixed(3)} MV/m)`);

    await page.screenshot({ path: path.join(process.cwd(), 'simstation_operator_page.png') });
    check(pageErrors.length === 0, `no script errors on the page ${pageErrors.join('; ')}`);
  } finally {
    if (context) await context.close();
    child.kill('SIGTERM');
    await new Promise((resolve) => {
      const timer = setTimeout(() => { child.kill('SIGKILL'); resolve(); }, 20000);
      child.on('exit', () => { clearTimeout(timer); resolve(); });
      if (child.exitCode !== null) { clearTimeout(timer); resolve(); }
    });
    fs.rmSync(workdir, { recursive: true, force: true });
  }
  if (child.exitCode !== 0) throw new Error(`server exit status ${child.exitCode} after SIGTERM`);
  console.log(`${passed} passed, 0 failed`);
}

main().catch((error) => {
  console.error(error);
  console.log(`${passed} passed, 1 failed`);
  process.exit(1);
});
