// Loads a page in headless Chromium through the DevTools protocol (over
// --remote-debugging-pipe: no port, no WebSocket client needed) and waits
// until the show has ended (window.kvRun.endMs is set) or the title says
// "error: ...". Prints one JSON line: {title, error, run}.
//
//   node page_check.mjs URL TIMEOUT_SECONDS
//        [--click-after-load SECONDS_TO_PLAY [--press-escape]] [--screenshot FILE.png]
//
// --click-after-load clicks the page's start button (as a user gesture) and
// lets the show play for the given seconds instead of waiting for its end;
// --press-escape then presses Escape and waits for the show to end.
// Exit status: 0 with the JSON line, 1 on a timeout or a browser failure.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

const [url, timeoutText, ...rest] = process.argv.slice(2);
const timeoutMs = Number(timeoutText) * 1000;
let playSeconds = 0, screenshot = '', pressEscape = false;
for (let i = 0; i < rest.length; i += 2) {
  if (rest[i] === '--press-escape') { pressEscape = true; --i; continue; }
  if (rest[i] === '--click-after-load') playSeconds = Number(rest[i + 1]);
  else if (rest[i] === '--screenshot') screenshot = rest[i + 1];
}

const sleep = ms => new Promise(r => setTimeout(r, ms));
const profile = mkdtempSync(join(tmpdir(), 'kv-chromium-'));
// fd 3: our messages to the browser, fd 4: its messages to us, each ended by a NUL.
const browser = spawn(process.env.CHROMIUM || 'chromium', [
  '--headless', '--no-sandbox', '--disable-gpu', '--mute-audio', '--no-first-run',
  '--remote-debugging-pipe', `--user-data-dir=${profile}`, '--window-size=800,600', 'about:blank'],
  { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
let browserLog = '';
browser.stderr.on('data', d => { browserLog += d; });

function finish(code, line) {
  if (line) console.log(line);
  browser.kill('SIGKILL');
  try { rmSync(profile, { recursive: true, force: true }); } catch {}
  process.exit(code);
}
const deadline = Date.now() + timeoutMs;
function checkTime(what) {
  if (Date.now() > deadline) {
    console.error(`page_check: timed out ${what}\n${browserLog.slice(-2000)}`);
    finish(1);
  }
}
const timer = setInterval(() => checkTime('talking to chromium'), 1000);
browser.on('exit', code => { console.error(`page_check: chromium exited (${code})\n${browserLog.slice(-2000)}`); finish(1); });

let nextId = 1;
let session;
const pending = new Map();
let inbox = Buffer.alloc(0);
browser.stdio[4].on('data', chunk => {
  inbox = Buffer.concat([inbox, chunk]);
  for (let end; (end = inbox.indexOf(0)) >= 0; inbox = inbox.subarray(end + 1)) {
    const message = JSON.parse(inbox.subarray(0, end).toString('utf8'));
    if (message.id && pending.has(message.id)) {
      pending.get(message.id)(message);
      pending.delete(message.id);
    }
  }
});
function send(method, params = {}) {
  const id = nextId++;
  const message = { id, method, params };
  if (session && !method.startsWith('Target.')) message.sessionId = session;
  browser.stdio[3].write(JSON.stringify(message) + '\0');
  return new Promise(resolve => pending.set(id, resolve));
}
async function evaluate(expression, userGesture = false) {
  const reply = await send('Runtime.evaluate', { expression, returnByValue: true, userGesture, awaitPromise: true });
  return reply.result && reply.result.result ? reply.result.result.value : undefined;
}

const { result: { targetInfos } } = await send('Target.getTargets');
const page = targetInfos.find(t => t.type === 'page');
session = (await send('Target.attachToTarget', { targetId: page.targetId, flatten: true })).result.sessionId;
await send('Page.enable');
await send('Page.navigate', { url });
const stateExpression = `JSON.stringify({title: document.title,
  error: (document.getElementById('error') || {}).textContent || '',
  run: window.kvRun || null})`;

if (playSeconds > 0) {
  for (;;) {
    checkTime('waiting for the start button');
    const ready = await evaluate(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`);
    if (ready) break;
    await sleep(200);
  }
  await evaluate(`document.getElementById('start').click()`, true);
  await sleep(playSeconds * 1000);
  if (screenshot) {
    const shot = await send('Page.captureScreenshot', { format: 'png' });
    writeFileSync(screenshot, Buffer.from(shot.result.data, 'base64'));
    screenshot = '';
  }
  if (pressEscape) {
    for (const type of ['keyDown', 'keyUp']) {
      await send('Input.dispatchKeyEvent', { type, key: 'Escape', code: 'Escape', windowsVirtualKeyCode: 27 });
      await sleep(300);
    }
    for (;;) {
      checkTime('waiting for the show to end after Escape');
      const state = JSON.parse((await evaluate(stateExpression)) || '{}');
      if (state.run && state.run.endMs > 0) break;
      await sleep(200);
    }
  }
} else {
  for (;;) {
    checkTime('waiting for the show to end');
    const state = JSON.parse((await evaluate(stateExpression)) || '{}');
    if ((state.run && state.run.endMs > 0) || (state.title || '').startsWith('error:')) break;
    await sleep(200);
  }
}
if (screenshot) {
  const shot = await send('Page.captureScreenshot', { format: 'png' });
  writeFileSync(screenshot, Buffer.from(shot.result.data, 'base64'));
}
clearInterval(timer);
browser.removeAllListeners('exit');
finish(0, await evaluate(stateExpression));
