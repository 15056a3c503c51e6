// The phone's side of joywire-send --web, as the page starts: the controls set the state
// (controls.js), every change goes at once to joywire-send as one binary message, the datagram
// itself (wire.js; requests.js where a WebSocket cannot connect). Here: the page as a whole,
// and what happens when it is left.
import { changed, controls, pageHooks, restAll } from "./controls.js";
import { drawJoystick, fitStick, placeStick, startJoystick } from "./joystick.js";
import { drawLayout, showLayout, startLayouts } from "./layouts.js";
import { link, readPairing } from "./link.js";
import { takeBack } from "./players.js";
import { keepTouchesWhereTheyLand, letGoOfEverything } from "./pointers.js";
import { startRumbleSetting, stopRumble } from "./rumble.js";
import { startSettings } from "./settings.js";
import { startTiltSwitch } from "./steer_by_tilt.js";
import { $ } from "./store.js";
import { connect, pairAnewOnNewAddress, reconnectNow, send } from "./wire.js";

function draw() {
  drawJoystick();
  drawLayout();
}

// Out of sight or out of focus (another tab, another app, the screen off): a thumb that
// holds the stick cannot be seen to let go, so everything is let go, the neutral state goes
// once, and nothing more until the page is touched again. A throttled hidden tab would
// otherwise let the held state and joywire-send's silence rule take turns.
function pause() {
  stopRumble();
  if (link.paused) return;
  letGoOfEverything();
  const { values } = controls;
  values[0] = values[1] = values[3] = values[4] = 0;
  if (controls.layout !== "joystick") restAll();
  changed();
  link.paused = true;
  clearTimeout(link.repeatTimer);
  document.body.classList.add("paused");
}

let wakeLock = null;
async function keepAwake() {
  if (wakeLock || document.visibilityState !== "visible") return;
  const awake = $("#awake-note");
  if (!("wakeLock" in navigator)) {
    awake.hidden = false;
    awake.textContent = "This browser cannot keep the screen awake here: it may sleep while you steer.";
    return;
  }
  try {
    wakeLock = await navigator.wakeLock.request("screen");
    awake.hidden = true;
    wakeLock.addEventListener("release", () => { wakeLock = null; });
  } catch (error) {
    wakeLock = null;  // not allowed yet (no tap so far), or not here
  }
}

function watchThePage() {
  window.addEventListener("online", reconnectNow);
  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "visible") {
      keepAwake();
      if (link.state !== "taken-over") reconnectNow();
    } else {
      pause();
    }
  });
  for (const [target, type] of [[window, "blur"], [window, "pagehide"], [document, "freeze"]]) {
    target.addEventListener(type, pause);
  }
  document.addEventListener("pointerdown", () => {
    if (!link.paused || document.visibilityState !== "visible") return;
    link.paused = false;
    document.body.classList.remove("paused");
    send(true);
  }, { capture: true });
  // The tap that takes control again, or brings it back sooner, is no input.
  $("#overlay").addEventListener("pointerdown", (event) => {
    event.preventDefault();
    event.stopPropagation();
    if (link.state === "taken-over") takeBack();
    else if (link.state === "disconnected") reconnectNow();
  });
}

pageHooks.send = send;
pageHooks.draw = draw;
readPairing();
pairAnewOnNewAddress();
watchThePage();
keepTouchesWhereTheyLand();
startJoystick();
startTiltSwitch();
startLayouts();
startSettings();
startRumbleSetting();
document.addEventListener("pointerdown", keepAwake, true);
document.addEventListener("contextmenu", (event) => event.preventDefault());
document.addEventListener("gesturestart", (event) => event.preventDefault());
window.addEventListener("resize", () => {
  fitStick();
  placeStick(controls.values[0], controls.values[1]);
});

showLayout();
fitStick();
placeStick(0, 0);
draw();
keepAwake();
connect();
