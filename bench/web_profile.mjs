// Where the page's time goes: Chromium's sampling CPU profile of the test
// mode, self time summed per function, the largest first.
//
//   node bench/web_profile.mjs URL [TOP]     (URL: .../nerith.html?seed=1&depth=32&frame=6000)
//
// Serve the web build first (python3 -m http.server --directory build/browser).
// WebAssembly functions carry their C++ names when the module has a name
// section; shares are of all samples, idle included.
import { openBrowser, sleep } from '../tests/show/web/devtools.mjs';

const [url, topText] = process.argv.slice(2);
const top = Number(topText || 15);
const browser = await openBrowser({ timeoutSeconds: 900 });
const { send, evaluate, checkTime, finish } = browser;
await send('Profiler.enable');
await send('Profiler.setSamplingInterval', { interval: 500 });
await send('Profiler.start');
await send('Page.navigate', { url });
for (;;) {
  checkTime('waiting for the show to end');
  const run = await evaluate('JSON.stringify(window.kvRun || null)');
  const state = JSON.parse(run || 'null');
  if (state && state.endMs > 0) break;
  await sleep(250);
}
const { result: { profile } } = await send('Profiler.stop');
const byId = new Map(profile.nodes.map(n => [n.id, n]));
const self = new Map();
for (const id of profile.samples) {
  const name = byId.get(id).callFrame.functionName || '(anonymous)';
  self.set(name, (self.get(name) || 0) + 1);
}
const total = profile.samples.length;
const rows = [...self.entries()].sort((a, b) => b[1] - a[1]).slice(0, top);
finish(0, rows.map(([name, n]) => `${(100 * n / total).toFixed(1).padStart(5)} %  ${name}`).join('\n'));
