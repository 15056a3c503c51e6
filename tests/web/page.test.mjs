// The page's maths without a browser: the record it sends, a thumb's reading, tilt.
//   node --test tests/web/page.test.mjs
import assert from "node:assert/strict";
import { test } from "node:test";
import { encodeRecord, kRestAxes, kRestValues } from "../../phone/page/record.js";
import { deflectionOf, radiusIn, shaped, shapedStick, tuningOf } from "../../phone/page/stick.js";
import { inverse, rotationOf, screenRightAt, tiltDeflection, tiltOf } from "../../phone/page/tilt.js";

const near = (actual, wanted, what) => assert.ok(Math.abs(actual - wanted) < 1e-4, `${what}: ${actual}, not ${wanted}`);
const floatsOf = (bytes, count, from = 0) => [...Array(count)].map((_, i) => new DataView(bytes).getFloat32(from + 4 * i, true));

test("the record: little-endian floats; the longer one marked, its buttons a mask, its head's buttons the mask's first two", () => {
  const state = { values: [0.5, -1, 0.25, 1, 0], axes: [0.1, -0.2, 1, -1, 0.75, -0.5], hat: 3, mask: 0x80000006 };
  const short = encodeRecord(state, false);
  assert.equal(short.byteLength, 20);
  floatsOf(short, 5).forEach((v, i) => near(v, state.values[i], `value ${i}`));
  const longer = encodeRecord(state, true);
  assert.equal(longer.byteLength, 56);
  assert.deepEqual([...new Uint8Array(longer, 20, 8)], [0x4a, 0x57, 0x78, 0x31, 1, 3, 0, 0]);
  assert.equal(new DataView(longer).getUint32(28, true), 0x80000006);
  assert.deepEqual(floatsOf(longer, 5).slice(3), [0, 1]);
  floatsOf(longer, 6, 32).forEach((v, i) => near(v, state.axes[i], `axis ${i}`));
  const rest = new Uint8Array(encodeRecord({ values: kRestValues, axes: kRestAxes, hat: 0, mask: 0 }, true));
  assert.deepEqual([...rest.slice(8, 12)], [0, 0, 0x80, 0xbf]);  // Z at -1, least significant byte first
});

test("a thumb: full at the travel or at a nearer edge; past the rim the centre follows; dead zones and curves", () => {
  const box = { left: 0, top: 0, right: 600, bottom: 200, width: 600, height: 200 };
  const cases = [  // centre, thumb at, radius: nx, ny (and where the centre went)
    [{ x: 200, y: 100 }, [248, 100], 80, 0.6, 0],
    [{ x: 200, y: 100 }, [200, 20], 80, 0, -1],  // up is a lower Y
    [{ x: 200, y: 100 }, [440, 100], 80, 1, 0, { x: 360, y: 100 }],
    [{ x: 30, y: 100 }, [0, 100], 80, -1, 0],  // the edge 30 px away is full deflection
  ];
  for (const [centre, [x, y], radius, nx, ny, moved = centre] of cases) {
    const got = deflectionOf(centre, box, radius, x, y);
    near(got.nx, nx, `nx at ${x},${y}`);
    near(got.ny, ny, `ny at ${x},${y}`);
    assert.deepEqual(got.centre, moved);
  }
  assert.equal(radiusIn({ width: 100, height: 300 }, 80), 46);
  assert.equal(radiusIn({ width: 20, height: 20 }, 80), 16);
  assert.deepEqual(tuningOf("50,9"), { dead: 0.3, curve: 3 });
  assert.deepEqual(tuningOf("junk"), { dead: 0, curve: 1 });
  const tuning = { dead: 0.2, curve: 2 };
  for (const [amount, wanted] of [[0.2, 0], [0.6, 0.25], [1, 1], [3, 1]]) near(shaped(amount, tuning), wanted, `shaped ${amount}`);
  near(shaped(0.55, { dead: 0.1, curve: 3 }), 0.125, "a cubic trigger");
  assert.ok(shapedStick(0.17, 0.17, tuning).every((v) => v > 0), "a diagonal past a round dead zone");
  assert.deepEqual(shapedStick(0, 0, tuning), [0, 0]);
});

test("tilt: a wheel turned clockwise is right, however the phone is turned; a tray tipped right is right, back is Y+", () => {
  const flat = { alpha: 0, beta: 0, gamma: 0 };
  for (const angle of [0, 90, 270, -90]) {
    const reference = { back: inverse(rotationOf(flat)), right: screenRightAt(angle) };
    near(tiltOf({ alpha: -10, beta: 0, gamma: 0 }, reference, true).x, 10, `wheel at ${angle}`);
  }
  const upright = { back: inverse(rotationOf(flat)), right: screenRightAt(0) };
  const tipped = (pose) => tiltOf(pose, upright, false);
  near(tipped({ alpha: 0, beta: 0, gamma: 20 }).x, 20, "right edge down");
  near(tipped({ alpha: 0, beta: 20, gamma: 0 }).y, 20, "top edge back");
  const sideways = { back: inverse(rotationOf(flat)), right: screenRightAt(90) };  // its top to the left
  near(tiltOf({ alpha: 0, beta: 20, gamma: 0 }, sideways, false).x, 20, "on its side, the right edge down");
  for (const [degrees, wanted] of [[1.5, 0], [45, 1], [-23.25, -0.5], [90, 1]]) near(tiltDeflection(degrees, 45, 1.5), wanted, `${degrees}°`);
});
