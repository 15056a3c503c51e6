// What the page sends: the datagram itself, 20 bytes (X, Y, Z, button 1, button 2 as
// little-endian floats), or for the gamepad and wheel the 56-byte longer record: those 20,
// "JWx1", version 1, the hat, two spare bytes, the 32 buttons' mask and six more axes.
export const kRestValues = [0, 0, -1, 0, 0];  // the throttle at the bottom
export const kRestAxes = [0, 0, -1, 0, 0, 0];

// The message for `values` (5), `axes` (6), `hat` (0 centred, 1-8 from up clockwise) and
// `mask`; in the longer record the head's buttons are the mask's first two bits.
export function encodeRecord({ values, axes, hat, mask }, longer) {
  const bytes = new ArrayBuffer(longer ? 56 : 20);
  const view = new DataView(bytes);
  const head = longer ? [...values.slice(0, 3), mask & 1, (mask >> 1) & 1] : values;
  head.forEach((value, i) => view.setFloat32(4 * i, value, true));
  if (longer) {
    [0x4a, 0x57, 0x78, 0x31, 1, hat].forEach((byte, i) => view.setUint8(20 + i, byte));
    view.setUint32(28, mask >>> 0, true);
    axes.forEach((value, i) => view.setFloat32(32 + 4 * i, value, true));
  }
  return bytes;
}
