// Headless Chromium driven through the DevTools protocol over
// --remote-debugging-pipe (no port, no WebSocket client needed): what the
// page tests (page_check.mjs, player_check.mjs) share.
//
//   const browser = await openBrowser({ timeoutSeconds, windowSize });
//   await browser.send(method, params)   a command to the attached page
//   await browser.evaluate(expression)   its value (promises awaited)
//   browser.finish(code, line)           prints line, ends the browser and the process
//   browser.pid                          the browser's process (its renderers are its descendants)
//
// The process ends with status 1 and the browser's last output when the
// deadline passes or the browser dies.
import { spawn } from 'node:child_process';
import { mkdtempSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';

export const sleep = ms => new Promise(r => setTimeout(r, ms));

export async function openBrowser({ timeoutSeconds, windowSize = '800,600' }) {
  const profile = mkdtempSync(join(tmpdir(), 'kv-chromium-'));
  // fd 3: our messages to the browser, fd 4: its messages to us, each ended by a NUL.
  const child = spawn(process.env.CHROMIUM || 'chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--mute-audio', '--no-first-run',
    '--remote-debugging-pipe', `--user-data-dir=${profile}`, `--window-size=${windowSize}`, 'about:blank'],
  { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
  let log = '';
  child.stderr.on('data', d => { log += d; if (log.length > 100000) log = log.slice(-20000); });

  const finish = (code, line) => {
    if (line) console.log(line);
    child.kill('SIGKILL');
    try { rmSync(profile, { recursive: true, force: true }); } catch {}
    process.exit(code);
  };
  const deadline = Date.now() + timeoutSeconds * 1000;
  const checkTime = what => {
    if (Date.now() > deadline) {
      console.error(`devtools: timed out ${what}\n${log.slice(-2000)}`);
      finish(1);
    }
  };
  setInterval(() => checkTime('talking to chromium'), 1000).unref();
  const onExit = code => { console.error(`devtools: chromium exited (${code})\n${log.slice(-2000)}`); finish(1); };
  child.on('exit', onExit);

  let nextId = 1;
  let session = null;
  const pending = new Map();
  const listeners = [];
  let inbox = Buffer.alloc(0);
  child.stdio[4].on('data', chunk => {
    inbox = Buffer.concat([inbox, chunk]);
    for (let end; (end = inbox.indexOf(0)) >= 0; inbox = inbox.subarray(end + 1)) {
      const message = JSON.parse(inbox.subarray(0, end).toString('utf8'));
      if (message.id && pending.has(message.id)) {
        pending.get(message.id)(message);
        pending.delete(message.id);
      } else if (message.method) {
        for (const listener of listeners) listener(message);
      }
    }
  });
  const send = (method, params = {}) => {
    const id = nextId++;
    const message = { id, method, params };
    if (session && !/^(Target|Browser)\./.test(method)) message.sessionId = session;
    child.stdio[3].write(JSON.stringify(message) + '\0');
    return new Promise(resolve => pending.set(id, resolve));
  };
  const evaluate = async (expression, userGesture = false) => {
    const reply = await send('Runtime.evaluate', { expression, returnByValue: true, userGesture, awaitPromise: true });
    return reply.result && reply.result.result ? reply.result.result.value : undefined;
  };

  const { result: { targetInfos } } = await send('Target.getTargets');
  const page = targetInfos.find(t => t.type === 'page');
  session = (await send('Target.attachToTarget', { targetId: page.targetId, flatten: true })).result.sessionId;
  await send('Page.enable');
  return {
    send, evaluate, finish, checkTime,
    pageTarget: page.targetId,
    pid: child.pid,
    onEvent: listener => listeners.push(listener),
    quiet: () => child.removeListener('exit', onExit),
  };
}
