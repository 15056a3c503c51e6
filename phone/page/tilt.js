// Tilt's maths: the phone's rotation from its orientation angles, as a quaternion (w, x, y, z),
// and the part of it about an axis, as a wheel turned or a tray tipped.
const radians = (degrees) => (degrees * Math.PI) / 180;

export const times = (a, b) => [
  a[0] * b[0] - a[1] * b[1] - a[2] * b[2] - a[3] * b[3],
  a[0] * b[1] + a[1] * b[0] + a[2] * b[3] - a[3] * b[2],
  a[0] * b[2] - a[1] * b[3] + a[2] * b[0] + a[3] * b[1],
  a[0] * b[3] + a[1] * b[2] - a[2] * b[1] + a[3] * b[0],
];
export const inverse = (q) => [q[0], -q[1], -q[2], -q[3]];

// The device's rotation: alpha about Z, then beta about X, then gamma about Y.
export function rotationOf({ alpha, beta, gamma }) {
  const half = (degrees) => radians(degrees) / 2;
  return times(times([Math.cos(half(alpha)), 0, 0, Math.sin(half(alpha))],
    [Math.cos(half(beta)), Math.sin(half(beta)), 0, 0]),
  [Math.cos(half(gamma)), 0, Math.sin(half(gamma)), 0]);
}

// The rotation's part about `axis` (swing-twist), in degrees, -180..180.
export function twist(q, axis) {
  const along = q[1] * axis[0] + q[2] * axis[1] + q[3] * axis[2];
  const degrees = (2 * Math.atan2(along, q[0]) * 180) / Math.PI;
  return ((((degrees + 180) % 360) + 360) % 360) - 180;
}

// The screen's right as the person sees it, in the device's axes, for the screen's angle.
export const screenRightAt = (angle) =>
  ({ 90: [0, -1, 0], 180: [-1, 0, 0], 270: [0, 1, 0] })[((angle || 0) % 360 + 360) % 360] || [1, 0, 0];

// Degrees to -1..1: a dead zone of `dead` degrees around the reference, full at `range`.
export const tiltDeflection = (degrees, range, dead) =>
  Math.sign(degrees) * Math.max(0, Math.min(1, (Math.abs(degrees) - dead) / (range - dead)));

// A reading against the reference pose: the turn of a wheel (clockwise as the person sees it
// is right), or a tray's tip (the right edge down is right, the top edge back is Y+), in
// degrees. `reference` is { back: the inverse of its rotation, right: the screen's right then }.
export function tiltOf(reading, reference, wheel) {
  const since = times(reference.back, rotationOf(reading));
  const [rx, ry] = reference.right;
  return wheel ? { x: -twist(since, [0, 0, 1]) }
    : { x: twist(since, [-ry, rx, 0]), y: twist(since, reference.right) };
}
