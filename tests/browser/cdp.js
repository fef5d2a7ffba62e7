// A headless Chromium driven over its DevTools protocol, through the pipe
// Chromium opens with --remote-debugging-pipe (messages apart by NUL bytes
// on descriptors 3 and 4): no package to install, no port to find, no
// network.  The browser tests and the benchmark use it.
'use strict';
const { spawn } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const CHROMIUM = process.env.KESTO_CHROMIUM || '/usr/bin/chromium';

class Page {
  constructor(browser, sessionId) {
    this.browser = browser;
    this.sessionId = sessionId;
  }
  send(method, params) { return this.browser.send(method, params, this.sessionId); }
  waitFor(event) { return this.browser.waitFor(event, this.sessionId); }
  // Loads the page afresh: a URL that differs from the open one only in
  // its fragment would otherwise be a move within the page, with no load.
  async goto(url, ms = 20000) {
    if (url !== 'about:blank') await this.goto('about:blank', ms);
    const loaded = this.waitFor('Page.loadEventFired');
    await this.send('Page.navigate', { url });
    let timer;
    await Promise.race([loaded, new Promise((resolve, reject) => {
      timer = setTimeout(() => reject(new Error('timed out loading ' + url)), ms);
    })]);
    clearTimeout(timer);
  }
  // The value of an expression (a promise is awaited); a thrown error
  // fails the caller with its text.
  async evaluate(expression) {
    const r = await this.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true });
    if (r.exceptionDetails)
      throw new Error('in the page: ' + (r.exceptionDetails.exception ? r.exceptionDetails.exception.description
                                                                        : r.exceptionDetails.text));
    return r.result.value;
  }
  // Waits until the expression is true, up to ms.
  async until(expression, ms = 10000) {
    const end = Date.now() + ms;
    while (!(await this.evaluate(expression))) {
      if (Date.now() > end) throw new Error('timed out waiting for ' + expression);
      await new Promise((r) => setTimeout(r, 20));
    }
  }
  async type(selector, text) {
    await this.evaluate(`(function(){var e=document.querySelector(${JSON.stringify(selector)});e.focus();e.select&&e.select();})()`);
    await this.send('Input.insertText', { text });
  }
  // A key pressed and let go in the focused element: 'Enter', ' ', 'Tab'.
  async press(key) {
    const codes = { Enter: ['Enter', 13, '\r'], ' ': ['Space', 32, ' '], Tab: ['Tab', 9, ''] };
    const [code, windowsVirtualKeyCode, text] = codes[key];
    await this.send('Input.dispatchKeyEvent', { type: 'keyDown', key, code, windowsVirtualKeyCode, text });
    await this.send('Input.dispatchKeyEvent', { type: 'keyUp', key, code, windowsVirtualKeyCode });
  }
  async resize(width, height) {
    await this.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false });
  }
  async screenshot(file) {
    const r = await this.send('Page.captureScreenshot', { format: 'png' });
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, Buffer.from(r.data, 'base64'));
  }
  async pdf(file) {
    const r = await this.send('Page.printToPDF', { preferCSSPageSize: true, printBackground: true });
    fs.mkdirSync(path.dirname(file), { recursive: true });
    fs.writeFileSync(file, Buffer.from(r.data, 'base64'));
  }
}

class Browser {
  static async launch() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'kesto-chromium-'));
    const args = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                  '--disable-background-networking', '--disable-component-update', '--disable-sync',
                  '--user-data-dir=' + profile, '--remote-debugging-pipe', 'about:blank'];
    const proc = spawn(CHROMIUM, args, { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    const b = new Browser(proc, profile);
    proc.stderr.on('data', (d) => { b.log += d; });
    const version = await b.send('Browser.getVersion');
    b.version = version.product;
    return b;
  }
  constructor(proc, profile) {
    this.proc = proc;
    this.profile = profile;
    this.log = '';
    this.next = 1;
    this.pending = new Map();
    this.waiters = [];
    this.buffer = '';
    this.out = proc.stdio[3];
    proc.stdio[4].on('data', (chunk) => this.receive(chunk));
    proc.on('exit', (code) => {
      for (const [, p] of this.pending) p.reject(new Error('chromium ended (' + code + '): ' + this.log.slice(-2000)));
      this.pending.clear();
    });
  }
  receive(chunk) {
    this.buffer += chunk.toString('utf8');
    let end;
    while ((end = this.buffer.indexOf('\0')) >= 0) {
      const message = JSON.parse(this.buffer.slice(0, end));
      this.buffer = this.buffer.slice(end + 1);
      if (message.id && this.pending.has(message.id)) {
        const p = this.pending.get(message.id);
        this.pending.delete(message.id);
        if (message.error) p.reject(new Error(p.method + ': ' + message.error.message));
        else p.resolve(message.result);
      } else if (message.method) {
        this.waiters = this.waiters.filter((w) => {
          if (w.event !== message.method || w.sessionId !== message.sessionId) return true;
          w.resolve(message.params);
          return false;
        });
      }
    }
  }
  send(method, params = {}, sessionId) {
    const id = this.next++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, method });
      this.out.write(JSON.stringify(message) + '\0');
    });
  }
  waitFor(event, sessionId) {
    return new Promise((resolve) => this.waiters.push({ event, sessionId, resolve }));
  }
  async newPage(width = 1400, height = 900) {
    const { targetId } = await this.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await this.send('Target.attachToTarget', { targetId, flatten: true });
    const page = new Page(this, sessionId);
    await page.send('Page.enable');
    await page.send('Runtime.enable');
    await page.send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 1, mobile: false });
    return page;
  }
  async close() {
    try { await this.send('Browser.close'); } catch (e) { /* already gone */ }
    await new Promise((r) => (this.proc.exitCode !== null ? r() : this.proc.on('exit', r)));
    fs.rmSync(this.profile, { recursive: true, force: true });
  }
}

module.exports = { Browser };
