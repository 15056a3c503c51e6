// Tilt: the phone's rotation since the reference pose drives the stick. From the orientation
// event's angles as one rotation (a quaternion), never from differences of the angles, which
// jump where the screen passes upright. X is the turn in the screen's plane, as of a steering
// wheel, however the screen leans; Y the tip of its top edge.
import { changed, controls, wheelTilt } from "./controls.js";
import { fitStick, placeStick } from "./joystick.js";
import { showNote, tiltPossible } from "./notes.js";
import { $ } from "./store.js";
import { inverse, rotationOf, screenRightAt, tiltDeflection, tiltOf } from "./tilt.js";

const kTiltReadingWaitMs = 3000;
const kTiltDeadZone = 1.5;  // degrees around the reference

const tiltSwitch = $("#tilt");
let reading = null;
let reference = null;  // the rotation back to the reference pose, and the screen's axes then
let readingWatch = 0;

// The screen's right as the person sees it, in the device's axes, for the way it is turned.
const screenRight = () => screenRightAt(screen.orientation ? screen.orientation.angle : window.orientation);
const deflection = (degrees) => tiltDeflection(degrees, controls.range, kTiltDeadZone);

export function recentre() {
  reference = null;
  if (controls.tiltOn && reading) applyTilt();
}

function applyTilt() {
  const { values } = controls;
  if (!reference) reference = { back: inverse(rotationOf(reading)), right: screenRight() };
  const { x, y } = tiltOf(reading, reference, wheelTilt());
  values[0] = deflection(x);
  if (!wheelTilt()) values[1] = deflection(y);
  fitStick();
  placeStick(values[0], values[1]);
  changed();
}

// What steers, as the stick pad says it; in wheel mode the screen may no longer turn with the
// phone (a turn past 60 degrees would rotate the layout mid-race): browsers lock it only in
// full screen, and some not at all.
const kModeHints = {
  stick: "Touch anywhere to steer",
  tilt: "Tilt the phone to steer",
  wheel: "Turn the phone to steer · thumb up and down",
};
export function showMode() {
  const mode = controls.tiltOn ? (wheelTilt() ? "wheel" : "tilt") : "stick";
  document.body.dataset.mode = mode;
  $("#stick .hint").textContent = kModeHints[mode];
  $("#steering .hint").textContent = controls.tiltOn ? "Tilt steers: turn the phone" : "Drag, or turn on tilt to steer";
  const orientation = screen.orientation;
  if (!orientation || typeof orientation.lock !== "function") return;
  if (mode !== "wheel") {
    if (document.fullscreenElement) orientation.unlock();
    return;
  }
  const full = document.fullscreenElement || !document.documentElement.requestFullscreen
    ? Promise.resolve()
    : document.documentElement.requestFullscreen({ navigationUI: "hide" });
  full.then(() => orientation.lock(orientation.type)).catch(() => {});  // not here: it turns
}

export function stopTilt(why) {
  controls.tiltOn = false;
  tiltSwitch.checked = false;
  $("#recentre").hidden = true;
  showMode();
  clearTimeout(readingWatch);
  controls.values[0] = 0;
  controls.values[1] = 0;
  placeStick(0, 0);
  changed();
  if (why) showNote(why, why);
}

async function startTilt() {
  const ask = window.DeviceOrientationEvent.requestPermission;
  if (typeof ask === "function") {  // iOS: only from the tap itself
    try {
      if ((await ask.call(window.DeviceOrientationEvent)) !== "granted") {
        stopTilt("Motion access was not allowed, so tilt stays off. To allow it: close " +
          "this tab, open the address again, and tap Allow when asked (or Settings › " +
          "Safari › Advanced › Website Data › this address › Remove, then try again).");
        return;
      }
    } catch (error) {
      stopTilt("Motion access could not be asked for, so tilt stays off.");
      return;
    }
  }
  controls.tiltOn = true;
  $("#recentre").hidden = false;
  showMode();
  reference = null;  // the pose now, or at the first reading
  if (reading) applyTilt();
  readingWatch = setTimeout(() => {
    if (!reading) stopTilt("This device sends no tilt readings, so tilt stays off.");
  }, kTiltReadingWaitMs);
}

export function startTiltSwitch() {
  $("#recentre").addEventListener("click", recentre);
  if (!tiltPossible) {
    tiltSwitch.disabled = true;
    tiltSwitch.setAttribute("aria-disabled", "true");
    return;
  }
  window.addEventListener("deviceorientation", (event) => {
    if (event.beta === null || event.gamma === null) return;
    reading = { alpha: event.alpha || 0, beta: event.beta, gamma: event.gamma };
    if (!controls.tiltOn) return;
    clearTimeout(readingWatch);
    applyTilt();
  });
  tiltSwitch.addEventListener("change", () => {
    if (tiltSwitch.checked) startTilt();
    else stopTilt();
  });
}
