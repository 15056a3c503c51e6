// Fingers on the controls: each control follows one pointer from its press to its release,
// and every control lets go at once when the connection goes or the page is left.
import { controls } from "./controls.js";

// The earliest move events the browser offers: raw updates are not held for the next frame.
// Where both come, the later one carries no change and sends nothing.
const moveEvents = "onpointerrawupdate" in window ? ["pointerrawupdate", "pointermove"] : ["pointermove"];
const letGo = [];  // each control's release

// Calls `move` for one pointer at a time on `element`, from its press to its release; a press
// that returns false is not taken.
export function follow(element, { press, move, release }) {
  let pointer = null;
  const end = () => {
    pointer = null;
    release();
  };
  element.addEventListener("pointerdown", (event) => {
    if (pointer !== null || !controls.connected) return;
    event.preventDefault();
    if (press(event) === false) return;
    pointer = event.pointerId;
    element.setPointerCapture(pointer);
    move(event);
  });
  for (const type of moveEvents) {
    element.addEventListener(type, (event) => {
      if (event.pointerId === pointer) move(event);
    });
  }
  for (const type of ["pointerup", "pointercancel", "lostpointercapture"]) {
    element.addEventListener(type, (event) => {
      if (event.pointerId === pointer) end();
    });
  }
  letGo.push(() => {
    if (pointer !== null) end();
  });
}

export function letGoOfEverything() {
  letGo.forEach((release) => release());
}

// A touch belongs to what lies under its point. A browser may hand a touch that lands near a
// button to that button (touch adjustment, for a fingertip's size): a touch inside a pad goes
// to the pad, and a button or switch acts only on a touch that landed on it.
export function keepTouchesWhereTheyLand() {
  let landedOn = null;
  document.addEventListener("pointerdown", (event) => {
    landedOn = document.elementFromPoint(event.clientX, event.clientY);
    const pad = landedOn && landedOn.closest("main .pad");
    if (!event.isTrusted || !pad || pad.contains(event.target)) return;
    event.preventDefault();
    event.stopImmediatePropagation();
    pad.dispatchEvent(new PointerEvent("pointerdown", event));
  }, { capture: true });
  document.addEventListener("click", (event) => {
    const control = event.target.closest("header button, header label");
    if (control && event.detail > 0 && !(landedOn && control.contains(landedOn))) {
      event.preventDefault();
      event.stopImmediatePropagation();
    }
  }, { capture: true });
  // Nor does a pad's touch become a click on anything afterwards.
  for (const pad of document.querySelectorAll("main .pad")) {
    pad.addEventListener("touchstart", (event) => event.preventDefault(), { passive: false });
  }
}
