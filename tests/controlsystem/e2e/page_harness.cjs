// What the operator page tests share: the numbered checks, the headless Chromium (Debian's, driven by
// playwright-core from the page's own node_modules), the server's start and end, and the cards of
// plotted arrays, whose stamp (version and time) tells one update from the next. Every wait is bounded.
'use strict';

const path = require('path');
const fs = require('fs');
const { spawn } = require('child_process');

const webDir = path.resolve(__dirname, '../../../platform/controlsystem/web');
const { chromium } = require(path.join(webDir, 'node_modules', 'playwright-core'));

// Counts the checks that held; the first that fails ends the test.
class Checks {
  constructor() {
    this.passed = 0;
    // bound, so that a test may take it apart from its object
    this.check = (condition, what) => {
      if (!condition) throw new Error(`failed: ${what}`);
      this.passed += 1;
      console.log(`ok - ${what}`);
    };
  }
}

// The server program started in `workdir` with `args`, logging to server.log there.
function startServer(program, args, workdir) {
  const logFile = path.join(workdir, 'server.log');
  const log = fs.openSync(logFile, 'a');
  const child = spawn(program, args, { cwd: workdir, stdio: ['ignore', log, log] });
  fs.closeSync(log);
  return { child, logFile };
}

// Ends the server with SIGTERM (SIGKILL after `graceMs`) and resolves once it has ended.
function stopServer(child, graceMs) {
  if (child.exitCode !== null || child.signalCode !== null) return Promise.resolve();
  return new Promise((resolve) => {
    const timer = setTimeout(() => child.kill('SIGKILL'), graceMs);
    child.on('exit', () => { clearTimeout(timer); resolve(); });
    child.kill('SIGTERM');
  });
}

async function launchBrowser(workdir) {
  return chromium.launchPersistentContext(path.join(workdir, 'profile'), {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--disable-background-networking',
      '--disable-component-update', '--disable-sync'],
    viewport: { width: 1400, height: 900 },
  });
}

// One plotted array's card on the page.
class TraceCard {
  constructor(page, variable, timeout) {
    this.page = page;
    this.variable = variable;
    this.timeout = timeout;
    this.selector = `.card[data-path="${variable}"]`;
  }

  // Waits for the plot of `points` values drawn on its canvas.
  async plotted(points) {
    await this.page.waitForSelector(`${this.selector} .plot[data-points="${points}"] canvas`,
      { timeout: this.timeout });
  }

  // The stamp of the update shown.
  stamp() {
    return this.page.locator(`${this.selector} .stamp`).textContent();
  }

  // The stamp and the values of the update shown, read together.
  shown() {
    return this.page.evaluate((p) => ({
      stamp: document.querySelector(`.card[data-path="${p}"] .stamp`).textContent,
      values: Array.from(state.cards.get(p).plot.data[1]),
    }), this.variable);
  }

  // Waits for an update after the one stamped `before` whose plotted values meet `accepts`, and gives
  // its stamp and values. On a loaded machine that may be many updates after `before`.
  async newerThan(before, accepts = () => true) {
    const deadline = Date.now() + this.timeout;
    for (;;) {
      const shown = await this.shown();
      if (shown.stamp !== before && accepts(shown.values)) return shown;
      if (Date.now() > deadline) {
        throw new Error(`timed out after ${this.timeout} ms waiting for an update of ${this.variable} after ` +
          `"${before}" (showing "${shown.stamp}")`);
      }
      await new Promise((resolve) => setTimeout(resolve, 50));
    }
  }
}

// Runs the test `body(checks)` and ends the process with its result.
function run(body) {
  const checks = new Checks();
  body(checks).then(() => {
    console.log(`${checks.passed} passed, 0 failed`);
  }).catch((error) => {
    console.error(error);
    console.log(`${checks.passed} passed, 1 failed`);
    process.exit(1);
  });
}

module.exports = { launchBrowser, run, startServer, stopServer, TraceCard };
