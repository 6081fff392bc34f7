// How soon the page offers "Click to start", and what the page process holds
// while the show plays, on a throttled network (DevTools network emulation).
//
//   node bench/web_page_start.mjs URL MBIT_PER_S [PLAY_SECONDS]
//
// Prints one JSON line: programAndPackMs (when the last of nerith.js,
// nerith.wasm and nerith.kpak had arrived), startMs ("Click to start"
// enabled), both from the navigation's start; then, after PLAY_SECONDS of
// the show, the resident and peak memory of the page's renderer process.
import { readFileSync, readdirSync } from 'node:fs';
import { openBrowser, sleep } from '../tests/show/web/devtools.mjs';

const [url, mbitText, playText = '30'] = process.argv.slice(2);
const browser = await openBrowser({ timeoutSeconds: 600, windowSize: '1280,800' });
const { send, evaluate, checkTime, finish } = browser;
const bytesPerSecond = Number(mbitText) * 1e6 / 8;
await send('Network.enable');
await send('Network.setCacheDisabled', { cacheDisabled: true });
await send('Network.emulateNetworkConditions',
  { offline: false, latency: 20, downloadThroughput: bytesPerSecond, uploadThroughput: bytesPerSecond });
await send('Page.navigate', { url });

const ready = `(() => { const b = document.getElementById('start'); return !!b && !b.disabled ? performance.now() : 0; })()`;
let startMs = 0;
while (!(startMs = await evaluate(ready))) {
  checkTime('waiting for the start button');
  await sleep(50);
}
const programAndPackMs = await evaluate(`Math.max(...performance.getEntriesByType('resource')
    .filter(e => /nerith\\.(js|wasm|kpak)$/.test(e.name)).map(e => e.responseEnd))`);

// The renderers are the browser's descendants with --type=renderer; the
// page's is the one that holds the most.
function renderers() {
  const parent = new Map();
  for (const pid of readdirSync('/proc').filter(d => /^\d+$/.test(d))) {
    try { parent.set(Number(pid), Number(readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ')[1])); } catch {}
  }
  const under = pid => { for (let p = pid; p > 1; p = parent.get(p) || 0) if (p === browser.pid) return true; return false; };
  const found = [];
  for (const pid of parent.keys()) {
    try {
      if (!under(pid) || !readFileSync(`/proc/${pid}/cmdline`, 'utf8').includes('--type=renderer')) continue;
      const status = readFileSync(`/proc/${pid}/status`, 'utf8');
      const kb = key => Number((status.match(new RegExp(key + ':\\s+(\\d+)')) || [0, 0])[1]);
      found.push({ pid, rssMb: kb('VmRSS') / 1024, peakMb: kb('VmHWM') / 1024 });
    } catch {}
  }
  return found.sort((a, b) => b.rssMb - a.rssMb)[0] || {};
}

await send('Network.emulateNetworkConditions', { offline: false, latency: 0, downloadThroughput: -1, uploadThroughput: -1 });
await evaluate(`document.getElementById('start').click()`, true);
let worst = { rssMb: 0 };
const playUntil = Date.now() + Number(playText) * 1000;
while (Date.now() < playUntil) {
  const now = renderers();
  if ((now.rssMb || 0) > worst.rssMb) worst = now;
  await sleep(500);
}
const played = await evaluate('window.kvRun.frameLog.length ? window.kvRun.frameLog.at(-1).show : -1');
browser.quiet();
finish(0, JSON.stringify({ mbit: Number(mbitText), programAndPackMs: Math.round(programAndPackMs), startMs: Math.round(startMs),
  showMsPlayed: played, rendererRssMb: Math.round(worst.rssMb), rendererPeakMb: Math.round(worst.peakMb) }));
