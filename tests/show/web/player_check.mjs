// The page as a viewer uses it, in headless Chromium (devtools.mjs). Prints
// one line per check ("ok: ..." or "WRONG: ...") and exits with 0 when every
// check passed, 1 otherwise.
//
//   node player_check.mjs URL SCENARIO
//
//   hidden     plays, hides the tab for 3 s behind a second tab, shows it
//              again: the show clock and the music must have stood still
//              together and go on in step (frames against music within
//              40 ms), with no frames drawn to catch up
//   controls   Space pauses and resumes, F12 while paused downloads the
//              canvas's frame as a PNG, M mutes, F and a double click
//              toggle full screen, the bar fades and comes back; keys with
//              Ctrl, Alt or Meta (and keys the show does not use) keep their
//              browser action and change nothing; Escape ends, "Play again"
//              plays again without a reload, and nothing reaches the console
//              as an error
//   touch      a 390 x 844 phone: the hint speaks of taps, not of Escape,
//              and a tap on the picture brings the faded bar back
//   seek       ?scene=9 and #t=120 open on the offline run's frame at the
//              beginning of scene 9 and at 120 s, and the scene is named;
//              dragging the time bar seeks there, and the music with it
//   plainhost  served without Range requests: after a seek the music is
//              where the show is, once all of it has arrived
//   keys       after a click on each button Space still pauses; Tab shows the
//              bar with a focus ring (screenshot), Enter presses the focused
//              button; Escape in full screen only
//              leaves it, a second one ends the show and "Play again" has
//              the focus; the Media Session has its handlers
//   small      phones 320 and 390 px wide: no sideways scroll, the bar whole,
//              on one line of time, 44 px targets, under the picture, and no
//              layout shift while loading (screenshots)
//   budget     loads the page up to "Click to start" and prints the bytes it
//              fetched as JSON: {bytes, files}
// Screenshots go to $NERITH_SCREENSHOTS (default: the temporary folder).
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { openBrowser, sleep } from './devtools.mjs';

const [url, scenario] = process.argv.slice(2);
const phone = scenario === 'touch' || scenario === 'small';
const browser = await openBrowser({ timeoutSeconds: 420, windowSize: phone ? '390,844' : '1280,800' });
const { send, evaluate, checkTime, finish } = browser;

let failures = 0;
function check(good, what) {
  console.log(`${good ? 'ok' : 'WRONG'}: ${what}`);
  if (!good) ++failures;
}

// Console errors and uncaught exceptions, whatever their source.
const consoleErrors = [];
browser.onEvent(message => {
  if (message.method === 'Runtime.exceptionThrown')
    consoleErrors.push(message.params.exceptionDetails.exception?.description || message.params.exceptionDetails.text);
  else if (message.method === 'Runtime.consoleAPICalled' && message.params.type === 'error')
    consoleErrors.push(message.params.args.map(a => a.value ?? a.description).join(' '));
  else if (message.method === 'Log.entryAdded' && message.params.entry.level === 'error')
    consoleErrors.push(message.params.entry.text + ' ' + (message.params.entry.url || ''));
});
await send('Runtime.enable');
await send('Log.enable');
const musicRequests = new Set();
if (scenario === 'budget') {
  await send('Network.enable');
  browser.onEvent(({ method, params }) => {
    if (method === 'Network.requestWillBeSent' && params.request.url.endsWith('/nerith.mp3')) musicRequests.add(params.requestId);
  });
}
async function emulatePhone(width, height) {
  await send('Emulation.setDeviceMetricsOverride', { width, height, deviceScaleFactor: 2, mobile: true });
  await send('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  await send('Emulation.setEmitTouchEventsForMouse', { enabled: true, configuration: 'mobile' });
}
if (phone) await emulatePhone(390, 844);
await send('Page.navigate', { url });

async function waitFor(expression, what, ms = 100) {
  for (;;) {
    checkTime(what);
    if (await evaluate(expression)) return;
    await sleep(ms);
  }
}
// A quick tap: down and up at once (the page must not miss it).
const key = async (code, keyName, modifiers = 0, vk = 0) => {
  for (const type of ['rawKeyDown', 'keyUp'])
    await send('Input.dispatchKeyEvent', { type, code, key: keyName, modifiers, windowsVirtualKeyCode: vk });
  await sleep(150);
};
const mouse = async (type, x, y, clickCount = 0) =>
  send('Input.dispatchMouseEvent', { type, x, y, button: type === 'mouseMoved' ? 'none' : 'left', clickCount });
const showMs = () => evaluate('window.kvRun.frameLog.length ? window.kvRun.frameLog.at(-1).show : -1');
const idle = () => evaluate(`document.getElementById('player').classList.contains('idle')`);

// F12: a PNG download (its name the show time) whose pixels are the canvas's.
async function checkSavedFrame() {
  const folder = mkdtempSync(join(tmpdir(), 'kv-downloads-'));
  let name = null, done = false;
  browser.onEvent(({ method, params }) => {
    if (method === 'Browser.downloadWillBegin') name = params.suggestedFilename;
    else if (method === 'Browser.downloadProgress' && params.state !== 'inProgress') done = params.state;
  });
  await send('Browser.setDownloadBehavior', { behavior: 'allow', downloadPath: folder, eventsEnabled: true });
  await key('F12', 'F12', 0, 123);
  while (!done) {
    checkTime('waiting for the F12 download');
    await sleep(100);
  }
  const file = done === 'completed' && name && join(folder, name);
  const verdict = !file ? `the download ${done}` : await evaluate(`(async () => {
    const bytes = Uint8Array.from(atob('${file && readFileSync(file).toString('base64')}'), c => c.charCodeAt(0));
    const png = await createImageBitmap(new Blob([bytes], { type: 'image/png' }),
        { premultiplyAlpha: 'none', colorSpaceConversion: 'none' });
    const screen = document.getElementById('screen');
    if (png.width !== screen.width || png.height !== screen.height)
      return 'its size is ' + png.width + 'x' + png.height;
    const work = new OffscreenCanvas(png.width, png.height).getContext('2d');
    work.drawImage(png, 0, 0);
    const a = work.getImageData(0, 0, png.width, png.height).data;
    const b = screen.getContext('2d').getImageData(0, 0, png.width, png.height).data;
    let differ = 0;
    for (let i = 0; i < a.length; ++i) differ += a[i] !== b[i];
    return differ ? differ + ' of its bytes differ from the canvas' : 'same';
  })()`);
  check(verdict === 'same' && /^nerith-\d+\.\d{3}\.png$/.test(name),
      `F12 downloads ${name}, the canvas's frame: ${verdict}`);
  rmSync(folder, { recursive: true, force: true });
}

async function startShow() {
  await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button', 200);
  await evaluate(`document.getElementById('start').click()`, true);
  await waitFor('window.kvRun.frameLog.length > 0 && window.kvRun.musicStarts > 0', 'waiting for the music');
}

// After a seek: waits (30 s at most) for the last 10 frames to show the
// music as heard, and returns the worst of them (ms; Infinity if never).
async function musicInStep() {
  const expression = `(() => { const cue = player.mod._kv_music_cue_ms();
    return window.kvRun.frameLog.slice(-10).map(f => Math.abs(f.show - cue - f.heard)); })()`;
  let worst = Infinity;
  for (const deadline = Date.now() + 30000; Date.now() < deadline && !(worst < 100); await sleep(200)) {
    const offsets = await evaluate(expression);
    worst = offsets.length === 10 && (await evaluate('window.kvRun.musicMs() > 0')) ? Math.max(...offsets) : Infinity;
  }
  return worst;
}

// Frames and music: the show time of each frame minus the music position
// read at the same moment. The music starts at a fixed show time, so it is
// constant while both run in step.
const lagExpression = 'window.kvRun.frameLog.map(f => f.show - f.music)';

if (scenario === 'hidden') {
  await startShow();
  await sleep(3000);
  const before = await evaluate(lagExpression);
  const lag = before.slice(-20).reduce((a, b) => a + b, 0) / Math.min(20, before.length);
  const hideWall = Date.now();
  const showBefore = await showMs();
  const other = (await send('Target.createTarget', { url: 'about:blank' })).result.targetId;
  const pausedBy = Date.now() + 10000;
  while (Date.now() < pausedBy && !(await evaluate('document.hidden && window.kvRun.paused === true'))) await sleep(100);
  check(await evaluate('document.hidden && window.kvRun.paused === true'), 'a hidden tab pauses the show');
  // A frame already begun when the tab went may still be handed on (on a
  // loaded machine well after the pause): one frame, at the paused time.
  const state = '[window.kvRun.frameLog.length, window.kvRun.musicMs(), player.mod._kv_show_time_ms()]';
  await sleep(500);
  const hiddenState = await evaluate(state);
  await sleep(3000);
  const laterState = await evaluate(state);
  check(laterState[0] - hiddenState[0] <= 1 && laterState[2] === hiddenState[2] &&
      Math.abs(laterState[1] - hiddenState[1]) < 1,
      `the show time and the music stood still while hidden (frames ${hiddenState[0]} -> ${laterState[0]}, ` +
      `show ${hiddenState[2]} -> ${laterState[2]} ms, music ${hiddenState[1].toFixed(0)} -> ${laterState[1].toFixed(0)} ms)`);
  await send('Target.activateTarget', { targetId: browser.pageTarget });
  await send('Target.closeTarget', { targetId: other });
  await waitFor('!document.hidden', 'waiting for the tab to be shown');
  const countNow = '[window.kvRun.frameLog.length, performance.now()]';
  const [logBefore, pageBefore] = await evaluate(countNow);
  await sleep(2000);
  const after = await evaluate(lagExpression);
  const resumed = after.slice(-Math.min(40, after.length - 1));
  const worst = Math.max(...resumed.map(d => Math.abs(d - lag)));
  check(resumed.length > 20 && worst <= 40,
      `frames and music in step after the return: ${resumed.length} frames, worst ${worst.toFixed(1)} ms from before (lag ${lag.toFixed(1)} ms)`);
  const showAfter = await showMs();
  // At least 3.3 s of the time since the last reading were hidden.
  const visibleMs = Date.now() - hideWall - 3300;
  const advanced = showAfter - showBefore;
  check(advanced <= visibleMs + 200,
      `the show did not skip ahead: ${advanced} ms of show time in at most ${visibleMs} ms visible`);
  // 25 frames a second over the time the page itself saw pass (a loaded
  // machine stretches the 2 s), and a few more.
  const [logAfter, pageAfter] = await evaluate(countNow);
  const drawn = logAfter - logBefore, seconds = (pageAfter - pageBefore) / 1000;
  check(drawn <= seconds * 25 + 5, `no catch-up rush: ${drawn} frames in the ${seconds.toFixed(2)} s after the return`);
} else if (scenario === 'controls') {
  await startShow();
  await sleep(1500);
  // Space pauses: the clock, the frames and the music stand still.
  await key('Space', ' ', 0, 32);
  const paused = await evaluate('[window.kvRun.paused, window.kvRun.musicMs()]');
  const frozen = await showMs();
  await sleep(1000);
  check(paused[0] === true && (await showMs()) === frozen && Math.abs((await evaluate('window.kvRun.musicMs()')) - paused[1]) < 1,
      'Space pauses the show clock and the music');
  check((await evaluate(`document.getElementById('play').getAttribute('aria-label')`)) === 'Play',
      'the play button offers to play while paused');
  await checkSavedFrame();
  await key('Space', ' ', 0, 32);
  await sleep(600);
  check((await evaluate('window.kvRun.paused')) === false && (await showMs()) > frozen, 'Space again plays on');

  // Keys that belong to the browser: not cancelled, and the show ignores them.
  await evaluate(`window.kvSeen = []; window.addEventListener('keydown',
      e => window.kvSeen.push(e.code + (e.defaultPrevented ? ':cancelled' : ':kept')))`);
  const CTRL = 2, ALT = 1, META = 4;
  await key('KeyS', 's', CTRL, 83);
  await key('KeyF', 'f', CTRL, 70);
  await key('KeyR', 'r', CTRL, 82);
  await key('KeyM', 'm', META, 77);
  await key('Space', ' ', CTRL, 32);
  await key('ArrowLeft', 'ArrowLeft', ALT, 37);
  await key('KeyQ', 'q', 0, 81);
  await key('Escape', 'Escape', CTRL, 27);
  const seen = await evaluate('window.kvSeen');
  check(seen.length === 8 && seen.every(s => s.endsWith(':kept')), `keys with Ctrl, Alt or Meta and unused keys keep their action: ${seen.join(' ')}`);
  check(await evaluate(`!window.kvRun.paused && !document.fullscreenElement && window.kvRun.endMs === 0 &&
      document.getElementById('mute').getAttribute('aria-label') === 'Mute'`),
      'and the show did not pause, mute, go full screen or end on them');

  await key('KeyM', 'm', 0, 77);
  check((await evaluate(`document.getElementById('mute').getAttribute('aria-label')`)) === 'Unmute', 'M mutes');
  await key('KeyM', 'm', 0, 77);
  await key('KeyF', 'f', 0, 70);
  await sleep(300);
  check(await evaluate(`document.fullscreenElement === document.getElementById('player')`), 'F puts the player in full screen');
  await mouse('mousePressed', 300, 200, 1);
  await mouse('mouseReleased', 300, 200, 1);
  await mouse('mousePressed', 300, 200, 2);
  await mouse('mouseReleased', 300, 200, 2);
  await sleep(300);
  check(await evaluate('!document.fullscreenElement'), 'a double click leaves full screen');

  await sleep(3000);
  check(await idle(), 'the bar fades while playing');
  await mouse('mouseMoved', 500, 300);
  await sleep(100);
  check(!(await idle()), 'a moving mouse brings it back');

  await key('Escape', 'Escape', 0, 27);
  await waitFor('window.kvRun.endMs > 0', 'waiting for the end after Escape');
  check(await evaluate(`document.getElementById('start').textContent === 'Play again' &&
      getComputedStyle(document.getElementById('start')).display !== 'none'`), 'after the end the page offers "Play again"');
  await evaluate(`document.getElementById('start').click()`, true);
  await waitFor('window.kvRun.runs === 2 && window.kvRun.frameLog.length > 25', 'waiting for the second run');
  check((await showMs()) < 5000 && (await evaluate('window.kvRun.endMs')) === 0, 'Play again plays from the start without a reload');
  await key('Escape', 'Escape', 0, 27);
  await waitFor('window.kvRun.endMs > 0', 'waiting for the second end');
  await sleep(300);
  check(consoleErrors.length === 0, `no error in the console${consoleErrors.length ? ': ' + consoleErrors.join(' | ') : ''}`);
} else if (scenario === 'touch') {
  await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button', 200);
  const hint = await evaluate(`document.getElementById('hint').textContent`);
  check(/tap/i.test(hint) && !/escape/i.test(hint), `the hint fits a touch screen: "${hint.trim()}"`);
  await evaluate(`document.getElementById('start').click()`, true);
  await waitFor('window.kvRun.frameLog.length > 0', 'waiting for the first frame');
  await sleep(3200);
  check(await idle(), 'the bar fades while playing');
  const box = await evaluate(`(() => { const r = document.getElementById('screen').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 3]; })()`);
  for (const type of ['touchStart', 'touchEnd'])
    await send('Input.dispatchTouchEvent', { type, touchPoints: type === 'touchEnd' ? [] : [{ x: box[0], y: box[1] }] });
  await sleep(150);
  check(!(await idle()), 'a tap on the picture brings the bar back');
  check(await evaluate('window.kvRun.paused === false'), 'and does not pause the show');
} else if (scenario === 'seek') {
  const firstShown = () => evaluate('window.kvRun.frameLog[0].show');
  await send('Page.navigate', { url: url + '?scene=9' });
  await startShow();
  check((await firstShown()) === 140 * 880, `?scene=9 opens on the frame at ${140 * 880} ms (${await firstShown()})`);
  const scene = await evaluate(`document.getElementById('scene').textContent`);
  check(scene === 'name', `the bar names the scene: "${scene}"`);
  // Drag the time bar from a fifth to four fifths of its width: 206 s.
  await mouse('mouseMoved', 640, 400);
  const bar = await evaluate(`(() => { const r = document.getElementById('seek').getBoundingClientRect(); return [r.x, r.y + r.height / 2, r.width]; })()`);
  await mouse('mousePressed', bar[0] + bar[2] * 0.2, bar[1], 1);
  for (const f of [0.4, 0.6, 0.8])
    await send('Input.dispatchMouseEvent', { type: 'mouseMoved', x: bar[0] + bar[2] * f, y: bar[1], button: 'left', buttons: 1 });
  await mouse('mouseReleased', bar[0] + bar[2] * 0.8, bar[1], 1);
  let landed = -1;
  for (const deadline = Date.now() + 60000; Date.now() < deadline; await sleep(200)) {
    landed = await showMs();
    if (landed > 200000 && landed < 215000) break;
  }
  check(landed > 200000 && landed < 215000, `dragging the bar to 206 s seeks there (${landed} ms; ` +
      `${await evaluate('window.kvRun.seeks')} seeks asked, bar at ${await evaluate(`document.getElementById('seek').value`)})`);
  const offset = await musicInStep();
  check(offset < 100 && (await evaluate('window.kvRun.musicMs()')) > 195000,
      `and the music went there: the frames show it as heard within ${offset.toFixed(1)} ms`);
  await send('Page.navigate', { url: url + '#t=120' });
  await startShow();
  check((await firstShown()) === 120000, `#t=120 opens on the frame at 120000 ms (${await firstShown()})`);
  check(consoleErrors.length === 0, `no error in the console${consoleErrors.length ? ': ' + consoleErrors.join(' | ') : ''}`);
} else if (scenario === 'plainhost') {
  // A host without Range requests: the music cannot seek in the stream.
  await startShow();
  await key('Digit2', '2');
  const offset = await musicInStep();
  check(offset < 100 && (await evaluate('window.kvRun.musicMs()')) > 45000,
      `after a seek to 51.6 s the frames show the music as heard within ${offset.toFixed(1)} ms ` +
      `(music at ${(await evaluate('window.kvRun.musicMs()')).toFixed(0)} ms)`);
  check(await evaluate('window.kvRun.musicNotes === 1'), 'the page said once that the host cannot seek in the music');
  check(consoleErrors.length === 0, `no error in the console${consoleErrors.length ? ': ' + consoleErrors.join(' | ') : ''}`);
} else if (scenario === 'keys') {
  await startShow();
  const paused = () => evaluate('window.kvRun.paused');
  const center = id => evaluate(`(() => { const r = document.getElementById('${id}').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 2]; })()`);
  for (const id of ['play', 'mute', 'full']) {
    await mouse('mouseMoved', 600, 300);
    const [x, y] = await center(id);
    await mouse('mousePressed', x, y, 1);
    await mouse('mouseReleased', x, y, 1);
    await sleep(300);
    const before = await evaluate(`[window.kvRun.paused, document.getElementById('mute').getAttribute('aria-label'), !!document.fullscreenElement]`);
    await key('Space', ' ', 0, 32);
    await sleep(200);
    const after = await evaluate(`[window.kvRun.paused, document.getElementById('mute').getAttribute('aria-label'), !!document.fullscreenElement]`);
    check(after[0] === !before[0] && after[1] === before[1] && after[2] === before[2],
        `after a click on "${id}", Space pauses or plays on and nothing else (${before} -> ${after})`);
    if (await paused()) await key('Space', ' ', 0, 32);
  }
  check(await evaluate(`!!document.fullscreenElement && window.kvRun.mediaActions.includes('play') &&
      window.kvRun.mediaActions.includes('pause') && navigator.mediaSession.metadata.title === 'Nerith' &&
      navigator.mediaSession.playbackState === 'playing'`), 'the Media Session has the title, play and pause, and is playing');

  // Escape in full screen leaves it and the show plays on.
  const shown = await showMs();
  await key('Escape', 'Escape', 0, 27);
  await waitFor(`window.kvRun.endMs > 0 || window.kvRun.frameLog.at(-1).show > ${shown} + 500`, 'waiting for the show to go on');
  check(await evaluate('!document.fullscreenElement && window.kvRun.endMs === 0'), 'Escape in full screen only leaves full screen');

  // Tab from the player: the first control, the time bar, takes the focus
  // and the bar shows; a second Tab moves on to the play button.
  await waitFor(`document.getElementById('player').classList.contains('idle')`, 'waiting for the bar to fade');
  await key('Tab', 'Tab', 0, 9);
  check(await evaluate(`document.activeElement.id === 'seek'`), 'Tab first reaches the time bar');
  await key('Tab', 'Tab', 0, 9);
  await waitFor(`getComputedStyle(document.getElementById('bar')).opacity === '1'`, 'waiting for the bar to show');
  const ring = await evaluate(`(() => { const b = document.activeElement, r = b.getBoundingClientRect(), s = getComputedStyle(b);
      return { id: b.id, visible: b.matches(':focus-visible'), width: parseFloat(s.outlineWidth), offset: parseFloat(s.outlineOffset),
               bar: getComputedStyle(document.getElementById('bar')).opacity, x: r.x, y: r.y, w: r.width, h: r.height }; })()`);
  const shot = (await send('Page.captureScreenshot', { format: 'png' })).result.data;
  writeFileSync(join(process.env.NERITH_SCREENSHOTS || tmpdir(), 'nerith-focus-ring.png'), Buffer.from(shot, 'base64'));
  // The ring's colour on the four sides of the button, in the screenshot (read back by the page's own decoder).
  const gap = ring.offset + ring.width / 2;
  const sides = [[ring.x + ring.w / 2, ring.y - gap], [ring.x + ring.w / 2, ring.y + ring.h + gap],
    [ring.x - gap, ring.y + ring.h / 2], [ring.x + ring.w + gap, ring.y + ring.h / 2]].map(p => p.map(Math.round));
  const ringColour = (await evaluate(`new Promise(done => { const image = new Image(); image.onload = () => {
      const c = document.createElement('canvas'); c.width = image.width; c.height = image.height; c.getContext('2d').drawImage(image, 0, 0);
      done(${JSON.stringify(sides)}.map(([x, y]) => [...c.getContext('2d').getImageData(x, y, 1, 1).data])); };
      image.src = 'data:image/png;base64,${shot}'; })`)).every(([r, g, b]) => r > 120 && g > 170 && b > 220);
  check(ring.id === 'play' && ring.visible && ring.bar === '1' && ringColour,
      `Tab shows the bar and a focus ring on "${ring.id}" (bar opacity ${ring.bar}, ring in the screenshot: ${ringColour})`);
  for (const type of ['keyDown', 'keyUp']) await send('Input.dispatchKeyEvent', { type, code: 'Enter', key: 'Enter', text: '\r', windowsVirtualKeyCode: 13 });
  await sleep(200);
  check(await paused(), 'Enter presses the focused button');
  await key('Space', ' ', 0, 32);

  // From full screen, the first Escape leaves it, the second ends the show.
  await key('KeyF', 'f', 0, 70);
  await sleep(300);
  await key('Escape', 'Escape', 0, 27);
  await sleep(300);
  await key('Escape', 'Escape', 0, 27);
  await waitFor('window.kvRun.endMs > 0', 'waiting for the end after the second Escape');
  await sleep(500);
  check(await evaluate(`document.activeElement === document.getElementById('start')`), 'at the end "Play again" has the focus');
} else if (scenario === 'small') {
  for (const [width, height] of [[320, 568], [390, 844]]) {
    await emulatePhone(width, height);
    await send('Page.navigate', { url });
    await send('Runtime.evaluate', { expression: `window.kvShifts = 0; new PerformanceObserver(list => {
        for (const e of list.getEntries()) if (!e.hadRecentInput) window.kvShifts += e.value; }).observe({ type: 'layout-shift', buffered: true })` });
    await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button', 200);
    await sleep(300);
    check((await evaluate('window.kvShifts')) === 0, `${width} px: no layout shift while loading (${await evaluate('window.kvShifts')})`);
    await evaluate(`document.getElementById('start').click()`, true);
    await waitFor('window.kvRun.frameLog.length > 10', 'waiting for the show');
    const box = await evaluate(`(() => { const r = document.getElementById('screen').getBoundingClientRect(); return [r.x + r.width / 2, r.y + r.height / 3]; })()`);
    for (const type of ['touchStart', 'touchEnd'])
      await send('Input.dispatchTouchEvent', { type, touchPoints: type === 'touchEnd' ? [] : [{ x: box[0], y: box[1] }] });
    await sleep(600);
    const layout = await evaluate(`(() => {
      const rect = id => document.getElementById(id).getBoundingClientRect();
      const shown = [...document.querySelectorAll('#bar button, #bar input')].filter(e => e.offsetParent);
      const time = document.getElementById('time');
      return { scroll: document.documentElement.scrollWidth - innerWidth,
               inside: shown.every(e => e.getBoundingClientRect().left >= 0 && e.getBoundingClientRect().right <= innerWidth),
               small: shown.filter(e => e.getBoundingClientRect().width < 44 || e.getBoundingClientRect().height < 44).map(e => e.id),
               timeLines: Math.round(time.getBoundingClientRect().height / parseFloat(getComputedStyle(time).lineHeight)),
               covers: Math.max(0, rect('screen').bottom - rect('bar').top) }; })()`);
    check(layout.scroll <= 0 && layout.inside && layout.small.length === 0 && layout.timeLines === 1 && layout.covers === 0,
        `${width} px: no sideways scroll (${layout.scroll}), the bar inside (${layout.inside}), small targets [${layout.small}], ` +
        `time on ${layout.timeLines} line, bar over ${layout.covers} px of the picture`);
    const shot = (await send('Page.captureScreenshot', { format: 'png' })).result.data;
    writeFileSync(join(process.env.NERITH_SCREENSHOTS || tmpdir(), `nerith-${width}px.png`), Buffer.from(shot, 'base64'));
  }
} else if (scenario === 'budget') {
  await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button', 200);
  // The music streams into a media element, which Resource Timing does not
  // list, and which loads only so far ahead: the page must have asked for
  // it, and the host must serve it whole.
  const files = await evaluate(`[performance.getEntriesByType('navigation')[0], ...performance.getEntriesByType('resource')]
      .map(e => [e.name.split('/').pop(), e.encodedBodySize])`);
  if (musicRequests.size) files.push(['nerith.mp3', await evaluate(`fetch('nerith.mp3').then(r => r.arrayBuffer()).then(b => b.byteLength)`)]);
  browser.quiet();
  finish(0, JSON.stringify({ bytes: files.reduce((a, f) => a + f[1], 0), files }));
} else {
  console.error(`player_check: unknown scenario ${scenario}`);
  finish(2);
}
browser.quiet();
finish(failures ? 1 : 0);
