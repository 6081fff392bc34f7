// The page's picture against the music as heard, in headless Chromium
// (devtools.mjs). Before the page loads, Web Audio's clock is replaced by a
// test device's: it runs RATE times as fast as the page's clock, moves in
// render quanta of 128 frames, stands still for 200 ms 4 s after the music
// starts and reports 150 ms of output and 10 ms of base latency. It notes
// when the music was started, so it knows which music the listener hears at
// any moment. After 12 s of music, every frame's show time is compared with
// it: within 20 ms at every second. The steady clock from the music's start
// (the page's clock before it followed the music) is measured alongside.
// Prints the figures and "ok: ..." or "WRONG: ..."; exits 0 when right.
//
//   node av_check.mjs URL RATE
import { openBrowser, sleep } from './devtools.mjs';

const [url, rateText] = process.argv.slice(2);
const rate = Number(rateText);
const browser = await openBrowser({ timeoutSeconds: 240, windowSize: '800,600' });
const { send, evaluate, checkTime, finish } = browser;

const device = `(() => {
  const rate = ${rate}, quantum = 128 / 44100, stallAt = 4, stallFor = 0.2;
  const origin = performance.now() / 1000;
  let startWall = null, startDevice = 0, startOffset = 0;
  // The device's clock at a moment of the page's clock (seconds).
  const at = wall => {
    let t = (wall - origin) * rate;
    if (startWall !== null) {
      const stall = startDevice + stallAt;
      if (t > stall) t = Math.max(stall, t - stallFor * rate);
    }
    return Math.floor(t / quantum) * quantum;
  };
  const latency = 0.15, base = 0.01;
  Object.defineProperty(BaseAudioContext.prototype, 'currentTime', { get() { return at(performance.now() / 1000); } });
  Object.defineProperty(AudioContext.prototype, 'outputLatency', { get() { return latency; } });
  Object.defineProperty(AudioContext.prototype, 'baseLatency', { get() { return base; } });
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (when, offset) {
    if (startWall === null) {
      startWall = performance.now() / 1000;
      startDevice = at(startWall);
      startOffset = offset || 0;
    }
    return start.apply(this, arguments);
  };
  window.kvDevice = {
    // Music heard at page time wallMs (ms into the music), null before any.
    heardMs: wallMs => {
      if (startWall === null) return null;
      const heard = at(wallMs / 1000) - startDevice - latency - base;
      return heard < 0 ? null : (heard + startOffset) * 1000;
    },
    startWallMs: () => startWall === null ? null : startWall * 1000,
  };
})();`;

await send('Page.addScriptToEvaluateOnNewDocument', { source: device });
await send('Page.navigate', { url });

async function waitFor(expression, what, ms = 100) {
  for (;;) {
    checkTime(what);
    if (await evaluate(expression)) return;
    await sleep(ms);
  }
}
await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button', 200);
await evaluate(`document.getElementById('start').click()`, true);
await waitFor('window.kvRun.musicStarts > 0 && window.kvDevice.startWallMs() !== null', 'waiting for the music');
// The frame log keeps the last 500 frames: read it twice on the way.
const frames = new Map();
for (let i = 0; i < 3; ++i) {
  await sleep(4000);
  for (const f of await evaluate('window.kvRun.frameLog')) frames.set(f.wall, f);
}
const cue = await evaluate('window.kvRun.musicCueMs');
const startWall = await evaluate('window.kvDevice.startWallMs()');
const samples = await evaluate(`(${JSON.stringify([...frames.values()])}).map(f => [f.wall, f.show, window.kvDevice.heardMs(f.wall)])`);

// The frame nearest each whole second of the music.
const after = [], before = [];
for (let second = 1; ; ++second) {
  const due = startWall + second * 1000;
  let best = null;
  for (const s of samples) if (s[2] !== null && (!best || Math.abs(s[0] - due) < Math.abs(best[0] - due))) best = s;
  if (!best || Math.abs(best[0] - due) > 100) break;
  after.push(best[1] - cue - best[2]);
  before.push(best[0] - startWall - best[2]);
}
const figures = list => {
  const a = list.map(Math.abs).sort((x, y) => x - y);
  return `worst ${a.at(-1).toFixed(1)} ms, median ${a[a.length >> 1].toFixed(1)} ms`;
};
if (after.length < 10) finish(1, `WRONG: only ${after.length} seconds of music were seen`);
console.log(`device ${rate}: steady clock ${figures(before)}; heard clock ${figures(after)} (${after.length} seconds)`);
const worst = Math.max(...after.map(Math.abs));
const good = worst <= 20;
finish(good ? 0 : 1, `${good ? 'ok' : 'WRONG'}: frames within 20 ms of the music heard at every second (worst ${worst.toFixed(1)} ms)`);
