// How often the real page reports on the emulated link: a finger that moves
// on the pad as a student's does (a move every display frame), the same
// finger resting, then lifted, each for SECONDS. Prints one JSON line of
// reports a second in each phase and the moves a second the finger made;
// phones.py's defaults follow these.
//   node page_rate.mjs URL POINTER SECONDS
import { instrumentPage, sleep, touchFingers } from '../../web/test/harness.mjs';
import { openPage } from '../../web/test/link_phone.mjs';

const FRAME_MS = 1000 / 60;
const [url, pointer, seconds] = process.argv.slice(2).map((value, i) => (i ? Number(value) : value));
const phone = await openPage(url, pointer);
try {
  await phone.waitForState(['connected', 'slow'], 30000);
  await phone.page.evaluate(instrumentPage);
  const box = await phone.page.locator('#pad').boundingBox();
  const centre = { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  const radius = Math.min(box.width, box.height) / 4;
  const fingers = touchFingers(await phone.page.context().newCDPSession(phone.page));
  const sent = () => phone.page.evaluate(() => window.__reports.length);
  const rate = async (phase) => {
    const from = await sent();
    const started = performance.now();
    await phase(started + seconds * 1000);
    return ((await sent()) - from) / ((performance.now() - started) / 1000);
  };
  await fingers.press(1, centre);
  let moves = 0;
  const moving = await rate(async (end) => {
    for (let now = performance.now(); now < end; now = performance.now()) {
      const angle = now / 500;
      moves += 1;
      // Not waited for: chromium takes a touch in a frame later, which would
      // halve the moves a finger makes.
      fingers.move(1, { x: centre.x + radius * Math.cos(angle), y: centre.y + radius * Math.sin(angle) });
      await sleep(Math.max(0, FRAME_MS - (performance.now() - now)));
    }
  });
  const resting = await rate((end) => sleep(end - performance.now()));
  await fingers.lift(1);
  const lifted = await rate((end) => sleep(end - performance.now()));
  console.log(JSON.stringify({ moving, moves: moves / seconds, resting, lifted }));
} finally {
  await phone.close();
}
