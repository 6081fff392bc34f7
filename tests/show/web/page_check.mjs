// Loads a page in headless Chromium (devtools.mjs) and waits until the show
// has ended (window.kvRun.endMs is set) or the title says "error: ...".
// Prints one JSON line: {title, error, run}.
//
//   node page_check.mjs URL TIMEOUT_SECONDS
//        [--click-after-load SECONDS_TO_PLAY [--press-escape]] [--screenshot FILE.png]
//        [--no-wasm-simd] [--no-decompression-stream]
//
// --click-after-load clicks the page's start button (as a user gesture) and
// lets the show play for the given seconds instead of waiting for its end;
// --press-escape then presses Escape and waits for the show to end.
// --no-wasm-simd makes the page's WebAssembly refuse SIMD, as an older
// browser's does; --no-decompression-stream takes DecompressionStream away,
// as Firefox before 113 lacks it.
// Exit status: 0 with the JSON line, 1 on a timeout or a browser failure.
import { writeFileSync } from 'node:fs';
import { openBrowser, sleep } from './devtools.mjs';

const [url, timeoutText, ...rest] = process.argv.slice(2);
let playSeconds = 0, screenshot = '', pressEscape = false, noSimd = false, noInflate = false;
for (let i = 0; i < rest.length; i += 2) {
  if (rest[i] === '--press-escape') { pressEscape = true; --i; continue; }
  if (rest[i] === '--no-wasm-simd') { noSimd = true; --i; continue; }
  if (rest[i] === '--no-decompression-stream') { noInflate = true; --i; continue; }
  if (rest[i] === '--click-after-load') playSeconds = Number(rest[i + 1]);
  else if (rest[i] === '--screenshot') screenshot = rest[i + 1];
}

const browser = await openBrowser({ timeoutSeconds: Number(timeoutText) });
const { send, evaluate, checkTime, finish } = browser;
if (noSimd) {
  // An older browser's validator: any module that uses the SIMD prefix (0xfd) is invalid.
  await send('Page.addScriptToEvaluateOnNewDocument', { source: `{
    const validate = WebAssembly.validate;
    WebAssembly.validate = bytes => !new Uint8Array(bytes.buffer || bytes).includes(0xfd) && validate(bytes);
  }` });
}
if (noInflate) await send('Page.addScriptToEvaluateOnNewDocument', { source: 'delete window.DecompressionStream;' });
await send('Page.navigate', { url });
const stateExpression = `JSON.stringify({title: document.title,
  error: (document.getElementById('error') || {}).textContent || '',
  run: window.kvRun || null})`;
const shoot = async () => {
  const shot = await send('Page.captureScreenshot', { format: 'png' });
  writeFileSync(screenshot, Buffer.from(shot.result.data, 'base64'));
  screenshot = '';
};

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
    // The control bar, as a moving mouse brings it up.
    await send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: 400, y: 300 });
    await sleep(500);
    await shoot();
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
if (screenshot) await shoot();
browser.quiet();
finish(0, await evaluate(stateExpression));
