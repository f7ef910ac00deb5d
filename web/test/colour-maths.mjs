// Colour maths for the page's colour tests: WCAG contrast, CIELAB, CIEDE2000
// and simulated colour vision deficiencies.

export function hexToRgb(hex) {
  const value = parseInt(hex.slice(1), 16);
  return [(value >> 16) & 255, (value >> 8) & 255, value & 255].map((channel) => channel / 255);
}

const toLinear = (c) => (c <= 0.04045 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4);

export function linearRgb(hex) {
  return hexToRgb(hex).map(toLinear);
}

const luminanceOfLinear = ([r, g, b]) => 0.2126 * r + 0.7152 * g + 0.0722 * b;

export function contrast(first, second) {
  const [a, b] = [first, second].map((hex) => luminanceOfLinear(linearRgb(hex)));
  return (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
}

// Full-severity matrices of Machado, Oliveira and Fernandes (2009), applied
// to linear RGB.
export const VISIONS = {
  normal: null,
  protanopia: [[0.152286, 1.052583, -0.204868], [0.114503, 0.786281, 0.099216], [-0.003882, -0.048116, 1.051998]],
  deuteranopia: [[0.367322, 0.860646, -0.227968], [0.280085, 0.672501, 0.047413], [-0.01182, 0.04294, 0.968881]],
  tritanopia: [[1.255528, -0.076749, -0.178779], [-0.078411, 0.930809, 0.147602], [0.004733, 0.691367, 0.3039]],
};

export function seenAs(linear, vision) {
  const matrix = VISIONS[vision];
  if (!matrix) return linear;
  return matrix.map((row) => Math.min(1, Math.max(0, row[0] * linear[0] + row[1] * linear[1] + row[2] * linear[2])));
}

export function linearToLab([r, g, b]) {
  const x = (0.4124564 * r + 0.3575761 * g + 0.1804375 * b) / 0.95047;
  const y = 0.2126729 * r + 0.7151522 * g + 0.072175 * b;
  const z = (0.0193339 * r + 0.119192 * g + 0.9503041 * b) / 1.08883;
  const f = (t) => (t > 216 / 24389 ? Math.cbrt(t) : (24389 / 27 * t + 16) / 116);
  return [116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))];
}

const degrees = (radians) => (radians * 180) / Math.PI;
const radians = (deg) => (deg * Math.PI) / 180;

export function ciede2000([l1, a1, b1], [l2, a2, b2]) {
  const meanC = (Math.hypot(a1, b1) + Math.hypot(a2, b2)) / 2;
  const g = 0.5 * (1 - Math.sqrt(meanC ** 7 / (meanC ** 7 + 25 ** 7)));
  const [ap1, ap2] = [a1 * (1 + g), a2 * (1 + g)];
  const [cp1, cp2] = [Math.hypot(ap1, b1), Math.hypot(ap2, b2)];
  const hue = (b, a) => (b === 0 && a === 0 ? 0 : (degrees(Math.atan2(b, a)) + 360) % 360);
  const [hp1, hp2] = [hue(b1, ap1), hue(b2, ap2)];
  const dL = l2 - l1;
  const dC = cp2 - cp1;
  let dh = 0;
  if (cp1 * cp2 !== 0) {
    dh = hp2 - hp1;
    if (dh > 180) dh -= 360;
    else if (dh < -180) dh += 360;
  }
  const dH = 2 * Math.sqrt(cp1 * cp2) * Math.sin(radians(dh / 2));
  const meanL = (l1 + l2) / 2;
  const meanCp = (cp1 + cp2) / 2;
  let meanH = hp1 + hp2;
  if (cp1 * cp2 !== 0) {
    if (Math.abs(hp1 - hp2) <= 180) meanH /= 2;
    else meanH = hp1 + hp2 < 360 ? (meanH + 360) / 2 : (meanH - 360) / 2;
  }
  const t = 1 - 0.17 * Math.cos(radians(meanH - 30)) + 0.24 * Math.cos(radians(2 * meanH)) +
    0.32 * Math.cos(radians(3 * meanH + 6)) - 0.2 * Math.cos(radians(4 * meanH - 63));
  const sL = 1 + (0.015 * (meanL - 50) ** 2) / Math.sqrt(20 + (meanL - 50) ** 2);
  const sC = 1 + 0.045 * meanCp;
  const sH = 1 + 0.015 * meanCp * t;
  const rT = -2 * Math.sqrt(meanCp ** 7 / (meanCp ** 7 + 25 ** 7)) *
    Math.sin(radians(60 * Math.exp(-(((meanH - 275) / 25) ** 2))));
  return Math.sqrt((dL / sL) ** 2 + (dC / sC) ** 2 + (dH / sH) ** 2 + rT * (dC / sC) * (dH / sH));
}

// The smallest CIEDE2000 difference between any two of the colours, as seen
// with the given vision.
export function smallestDifference(hexes, vision) {
  const labs = hexes.map((hex) => linearToLab(seenAs(linearRgb(hex), vision)));
  let smallest = { difference: Infinity, pair: null };
  labs.forEach((first, i) => labs.slice(i + 1).forEach((second, k) => {
    const difference = ciede2000(first, second);
    if (difference < smallest.difference) smallest = { difference, pair: [hexes[i], hexes[i + 1 + k]] };
  }));
  return smallest;
}
