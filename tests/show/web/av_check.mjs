// The page's frames against the music as heard, in headless Chromium. Before
// the page loads, Web Audio's clock becomes a test device's: RATE times as
// fast as the page's clock, in render quanta of 128 frames, standing still
// for 200 ms 4 s into the music, with 150 ms of output and 10 ms of base
// latency; it notes when the music started, so it knows what is heard at any
// moment. After 12 s of music the frames agree with it within 20 ms at every
// second. The steady clock from the music's start (the page's clock before)
// is measured alongside. Exits 0 when right.
//
//   node av_check.mjs URL RATE [SECONDS of music, 12 by default]
import { openBrowser, sleep } from './devtools.mjs';

const [url, rate, seconds = 12] = process.argv.slice(2);
const { send, evaluate, checkTime, finish } = await openBrowser({ timeoutSeconds: 228 + Number(seconds) });

const device = `(() => {
  const rate = ${Number(rate)}, quantum = 128 / 44100, latency = 0.15 + 0.01, origin = performance.now() / 1000;
  let started = null, startedDevice = 0, offset = 0;
  const at = wall => {  // the device's clock at the page's time (seconds)
    let t = (wall - origin) * rate;
    if (started !== null && t > startedDevice + 4) t = Math.max(startedDevice + 4, t - 0.2 * rate);
    return Math.floor(t / quantum) * quantum;
  };
  Object.defineProperty(BaseAudioContext.prototype, 'currentTime', { get() { return at(performance.now() / 1000); } });
  Object.defineProperty(AudioContext.prototype, 'outputLatency', { get() { return 0.15; } });
  Object.defineProperty(AudioContext.prototype, 'baseLatency', { get() { return 0.01; } });
  const begin = from => { if (started === null) [started, startedDevice, offset] = [performance.now() / 1000, at(performance.now() / 1000), from]; };
  const start = AudioBufferSourceNode.prototype.start;
  AudioBufferSourceNode.prototype.start = function (when, from) { begin(from || 0); return start.apply(this, arguments); };
  // A page that streams the music through a media element: its position runs on the device's clock.
  const media = HTMLMediaElement.prototype, time = Object.getOwnPropertyDescriptor(media, 'currentTime');
  const [play, pause] = [media.play, media.pause];
  const position = e => e.kvBase === undefined ? time.get.call(e) : e.kvBase + (e.kvFrom === null ? 0 : at(performance.now() / 1000) - e.kvFrom);
  Object.defineProperty(media, 'currentTime', { get() { return position(this); },
    set(v) { this.kvBase = v; if (this.kvFrom !== null && this.kvFrom !== undefined) this.kvFrom = at(performance.now() / 1000); time.set.call(this, v); } });
  media.play = function () { this.kvBase = position(this); if (!this.muted) begin(this.kvBase); this.kvFrom = at(performance.now() / 1000); return play.apply(this, arguments); };
  media.pause = function () { this.kvBase = position(this); this.kvFrom = null; return pause.apply(this, arguments); };
  window.kvDevice = {  // music heard at the page's time ms (ms into the music), null before any
    heardMs: ms => started === null || at(ms / 1000) - startedDevice < latency ? null : (at(ms / 1000) - startedDevice - latency + offset) * 1000,
    startedMs: () => started === null ? null : started * 1000,
  };
})();`;
await send('Page.addScriptToEvaluateOnNewDocument', { source: device });
await send('Page.navigate', { url });

const waitFor = async (expression, what) => { while (!(await evaluate(expression))) { checkTime(what); await sleep(200); } };
await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button');
await evaluate(`document.getElementById('start').click()`, true);
await waitFor('window.kvRun.musicStarts > 0 && window.kvDevice.startedMs() !== null', 'waiting for the music');
const frames = new Map();  // the page keeps its last 500 frames: read on the way
for (let i = 0; i < Math.ceil(seconds / 4); ++i) {
  await sleep(4000);
  for (const f of await evaluate('window.kvRun.frameLog')) frames.set(f.wall, f);
}
const [cue, started] = await evaluate('[player.mod._kv_music_cue_ms(), window.kvDevice.startedMs()]');
const samples = await evaluate(`(${JSON.stringify([...frames.values()].filter(f => !(f.held >= 5)))}).map(f => [f.wall, f.show, window.kvDevice.heardMs(f.wall)])`);

// The frame nearest each whole second of the music (a busy machine may draw none near one, or be held up
// while a frame reads its show time: such frames are left out).
const after = [], before = [], heard = samples.filter(s => s[2] !== null);
for (let due = started + 1000; due <= Math.max(...heard.map(s => s[0])); due += 1000) {
  const near = heard.sort((a, b) => Math.abs(a[0] - due) - Math.abs(b[0] - due))[0];
  if (Math.abs(near[0] - due) > 100) continue;
  after.push(Math.abs(near[1] - cue - near[2]));
  before.push(Math.abs(near[0] - started - near[2]));
}
const figures = l => { l.sort((x, y) => x - y); return `worst ${l.at(-1).toFixed(1)} ms, median ${l[l.length >> 1].toFixed(1)} ms`; };
if (after.length < 10) finish(1, `WRONG: only ${after.length} seconds of music were seen`);
const worst = Math.max(...after);
console.log(`device ${rate}: steady clock ${figures(before)}; heard clock ${figures(after)} (${after.length} seconds)`);
finish(worst <= 20 ? 0 : 1, `${worst <= 20 ? 'ok' : 'WRONG'}: frames within 20 ms of the music heard at every second (worst ${worst.toFixed(1)} ms)`);
