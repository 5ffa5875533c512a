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
const { launchBrowser, run, startServer, stopServer, TraceCard } =
  require('../../controlsystem/e2e/page_harness.cjs');

const server = path.resolve(process.argv[2]);
const sim = path.resolve(process.argv[3]);
const timeout = 60000;
const trace = '/Controller/VectorSum/DAQ/amplitude';

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

const peak = (values) => Math.max(...values);

run(async ({ check }) => {
  const workdir = fs.mkdtempSync(path.join(os.tmpdir(), 'simstation-page-'));
  for (const entry of fs.readdirSync(sim)) {
    const source = path.join(sim, entry);
    if (fs.statSync(source).isFile()) fs.copyFileSync(source, path.join(workdir, entry));
  }
  const { child, logFile } = startServer(server, ['--listen', '127.0.0.1:0'], workdir);
  let context;
  try {
    const base = await waitForListening(logFile, child);
    context = await launchBrowser(workdir);
    const page = context.pages()[0] || await context.newPage();
    const pageErrors = [];
    page.on('pageerror', (error) => pageErrors.push(String(error)));

    await page.goto(base + '/');
    await page.waitForSelector('body[data-ready=true]', { timeout });
    check(await page.title() === 'tessarel · process variables', 'the page of the station loads');

    await page.fill('#search', 'VectorSum/DAQ/amplitude');
    await page.click(`#tree a[data-path="${trace}"]`);
    const card = new TraceCard(page, trace, timeout);
    await card.plotted(2048);
    check(true, 'the vector-sum amplitude of 2048 samples is plotted');
    check(peak((await card.shown()).values) < 0.01, 'without feed-forward the plotted field is zero');

    await put(base, '/Controller/FeedForward/enable', true);
    // a later pulse as plotted: a new stamp, the field risen
    let one = await card.newerThan(await card.stamp(), (values) => peak(values) > 1);
    check(peak(one.values) > 1, `the plotted field rises with the feed-forward (peak ${peak(one.values).toFixed(3)} MV/m)`);
    // the field settled: two plotted pulses in a row with the same peak
    const settleBy = Date.now() + timeout;
    for (let next = await card.newerThan(one.stamp); Math.abs(peak(next.values) - peak(one.values)) > 0.01;
      next = await card.newerThan(one.stamp)) {
      if (Date.now() > settleBy) throw new Error(`the plotted field did not settle: peak ${peak(next.values)} MV/m`);
      one = next;
    }
    // a set-point step makes the next pulses differ for certain
    await put(base, '/Controller/SetPoint/amplitude', 3.0);
    const two = await card.newerThan(one.stamp, (values) => Math.abs(peak(values) - peak(one.values)) > 0.5);
    check(two.values.some((v, i) => Math.abs(v - one.values[i]) > 0.1),
      `the plotted trace changes between two pulses (peak ${peak(one.values).toFixed(3)} -> ` +
      `${peak(two.values).toFixed(3)} MV/m)`);

    await page.screenshot({ path: path.join(process.cwd(), 'simstation_operator_page.png') });
    check(pageErrors.length === 0, `no script errors on the page ${pageErrors.join('; ')}`);
  } finally {
    if (context) await context.close();
    await stopServer(child, 20000);
    fs.rmSync(workdir, { recursive: true, force: true });
  }
  if (child.exitCode !== 0) throw new Error(`server exit status ${child.exitCode} after SIGTERM`);
});
