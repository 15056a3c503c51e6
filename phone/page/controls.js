// The controller's state, which every control sets and the wire sends: five values (X, Y, Z in
// -1..1, two buttons 0 or 1) and, for the gamepad and wheel layouts, the longer record's own:
// RX, RY, RZ (a trigger, released at -1), slider, dial, wheel; the hat (0 centred, 1 up,
// clockwise to 8); buttons 1-32 as a mask. And the settings the controls read as they move.
import { encodeRecord, kRestAxes, kRestValues } from "./record.js";
import { recall } from "./store.js";

const kLayouts = ["joystick", "gamepad", "wheel"];

export const controls = {
  values: new Float32Array(kRestValues),  // the throttle starts at the bottom
  axes: new Float32Array(kRestAxes),
  hat: 0,
  mask: 0,
  pedals: { gas: -1, brake: -1 },  // the wheel's, each -1 released to 1 full
  layout: kLayouts.includes(recall("layout", "")) ? recall("layout") : "joystick",
  connected: false,  // the controls act only then
  tiltOn: false,
  wheel: recall("wheel", "0") === "1",   // X from tilt only: Y, throttle and buttons by thumb
  range: Number(recall("range", 45)),    // degrees of tilt for full deflection
  travel: Number(recall("travel", 80)),  // CSS px of the stick's full deflection
  spring: recall("spring", "none"),      // where the throttle goes when let go
};

// Whether tilt turns a wheel (X only) rather than tips a stick.
export const wheelTilt = () => controls.wheel || controls.layout === "wheel";

// Every control at rest, as a layout starts.
export function restAll() {
  controls.values.set([0, 0, -1, 0, 0]);
  controls.axes.set(kRestAxes);
  controls.hat = 0;
  controls.mask = 0;
  controls.pedals.gas = controls.pedals.brake = -1;
}

// The datagram itself: little-endian whatever the phone. The longer record's B1 and B2 are
// its first two buttons, for feeders that read only the first 20 bytes.
export function message() {
  const { values, axes, hat, mask } = controls;
  const longer = controls.layout !== "joystick";
  if (longer) {
    values[3] = mask & 1;
    values[4] = (mask >> 1) & 1;
  }
  return encodeRecord({ values, axes, hat, mask }, longer);
}

// What a change sets going: the wire sends it, the page draws it. Set as the page starts, so
// that the controls need not know either.
export const pageHooks = { send: () => {}, draw: () => {} };

export function changed() {
  pageHooks.send(false);
  pageHooks.draw();
}
