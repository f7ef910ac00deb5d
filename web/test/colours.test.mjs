// The colours of what an application shows on the pad: readable ink, tick
// and cross that stand out, and eight team fills that stay apart for normal
// and colour-blind eyes.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';
import { ciede2000, contrast, smallestDifference, VISIONS } from './colour-maths.mjs';

const P = createRequire(import.meta.url)('../protocol.js');

test('the colour difference is CIEDE2000 (reference pairs of Sharma, Wu and Dalal)', () => {
  for (const [first, second, expected] of [
    [[50, 2.6772, -79.7751], [50, 0, -82.7485], 2.0425],
    [[50, 0, 0], [50, -1, 2], 2.3669],
    [[50, 2.5, 0], [73, 25, -18], 27.1492],
    [[2.0776, 0.0795, -1.135], [0.9033, -0.0636, -0.5514], 0.9082],
  ]) assert.ok(Math.abs(ciede2000(first, second) - expected) < 1e-4, `${first} ${second}`);
});

test('text and marks read on what they are drawn on', (t) => {
  const needs = [
    ...P.TEAMS.map((team) => [`Team ${team.name}`, team.ink, team.fill, 4.5]),
    ['the digits', P.DIGIT_INK, P.SHOWN_BACKGROUND, 4.5],
    ['the tick', P.TICK.ink, P.SHOWN_BACKGROUND, 3],
    ['the cross', P.CROSS.ink, P.SHOWN_BACKGROUND, 3],
  ];
  for (const [what, ink, fill, least] of needs) {
    const ratio = contrast(ink, fill);
    t.diagnostic(`${what}: ${ratio.toFixed(2)}:1`);
    assert.ok(ratio >= least, `${what}: ${ratio.toFixed(2)}:1 < ${least}:1`);
  }
});

test('the eight team fills stay apart, also in protanopia, deuteranopia and tritanopia', (t) => {
  const fills = P.TEAMS.map((team) => team.fill);
  for (const vision of Object.keys(VISIONS)) {
    const { difference, pair } = smallestDifference(fills, vision);
    t.diagnostic(`${vision}: smallest CIEDE2000 ${difference.toFixed(1)} (${pair.join(' ')})`);
    assert.ok(difference >= 20, `${vision}: ${pair.join(' and ')} differ by ${difference.toFixed(1)}`);
  }
});
