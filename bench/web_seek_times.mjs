// Seek times of the page in headless Chromium, and what its snapshots hold
// for the whole show.
//
//   node bench/web_seek_times.mjs URL      (the page served by scripts/serve-web.py)
//
// Plays, then seeks as the keys 9 (232 s: past every snapshot, caught up
// from the start), 1 to 8 and Left twice (points already passed) do, each
// timed from the call to the first frame drawn at the landing (the page's
// own frame log, performance.now()). Then pauses and seeks to the end: the
// rest of the show is caught up, and the page reports the bytes its
// snapshots hold.
import { openBrowser, sleep } from '../tests/show/web/devtools.mjs';

const [url] = process.argv.slice(2);
const showSeconds = 257.84;
const { send, evaluate, checkTime, finish } = await openBrowser({ timeoutSeconds: 900, windowSize: '1280,800' });
await send('Page.navigate', { url });
const waitFor = async (expression, what) => { let v; while (!(v = await evaluate(expression))) { checkTime(what); await sleep(20); } return v; };
await waitFor(`(() => { const b = document.getElementById('start'); return !!b && !b.disabled; })()`, 'waiting for the start button');
await evaluate(`document.getElementById('start').click()`, true);
await waitFor('window.kvRun.frameLog.length > 10', 'waiting for the first frames');

// Each seek through the page's seekTo, as its keys and its time bar call it.
const press = async (code, key) => {
  for (const type of ['rawKeyDown', 'keyUp']) await send('Input.dispatchKeyEvent', { type, code, key, windowsVirtualKeyCode: code === 'Space' ? 32 : 0 });
};
const format = ms => `${Math.floor(ms / 60000)}:${((ms % 60000) / 1000).toFixed(1).padStart(4, '0')}`;
const tenth = n => Math.round(showSeconds * 100 * n);
for (const [what, to] of [['9', tenth(9)], ...[1, 2, 3, 4, 5, 6, 7, 8].map(n => [String(n), tenth(n)]),
                          ['Left', 'shownMs() - 5000'], ['Left', 'shownMs() - 5000']]) {
  const [asked, target] = await evaluate(`(() => { const to = ${to}, t = performance.now(); seekTo(to); return [t, to]; })()`);
  const landed = await waitFor(`(() => { if (player.mod._kv_seek_target_ms() >= 0) return null;
      const f = window.kvRun.frameLog.find(f => f.wall > ${asked} && f.show >= ${target} && f.show < ${target} + 40);
      return f ? [f.wall, f.show] : null; })()`, `waiting for the seek to ${target} ms`);
  console.log(`${what}: seek to ${format(target)} landed at ${format(landed[1])} in ${(landed[0] - asked).toFixed(0)} ms`);
  await sleep(1500);
}
await press('Space', ' ');
await waitFor('window.kvRun.paused', 'waiting for the pause');
await evaluate(`seekTo(${tenth(10)})`);
await waitFor('player.mod._kv_seek_target_ms() < 0', 'waiting for the catch-up to the end');
const bytes = await evaluate('player.mod._kv_snapshot_bytes()');
finish(0, `whole show caught up at ${format(await evaluate('player.mod._kv_show_time_ms()'))}: snapshots hold ${bytes} bytes (${(bytes / 1048576).toFixed(1)} MB)`);
