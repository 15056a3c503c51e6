// The row under the header (never over a control): what keeps this player's device from
// moving, until it is mended; otherwise what the page cannot do here, and only what applies
// to the layout shown (the gamepad has no tilt).
import { controls } from "./controls.js";
import { link } from "./link.js";
import { $ } from "./store.js";

const note = $("#note");
const secure = window.isSecureContext;
const upright = window.matchMedia("(orientation: portrait)");
export const tiltPossible = secure && "DeviceOrientationEvent" in window;

export function showNote(summary, detail) {
  note.hidden = !summary;
  note.querySelector("summary").textContent = summary;
  note.querySelector("p").textContent = detail;
}

let troubleShown = "";
export function showTrouble(text) {
  if (text === troubleShown) return;
  troubleShown = text;
  const whose = link.players > 1 ? `Player ${link.player}'s joystick` : "The joystick";
  if (text) showNote(`${whose} does not move: ${text}. More…`, `joywire-send says ${text}. Ask whoever runs it.`);
  else showLimits();
}

export function showLimits() {
  if (troubleShown) return;  // what keeps the joystick still comes first
  const tilt = controls.layout !== "gamepad";
  if (!secure) {
    showNote(`${tilt ? "No tilt, and the screen may sleep" : "The screen may sleep"}: not a secure page. More…`,
      `Browsers give ${tilt ? "motion, and keep the screen awake," : "a page the right to keep the screen awake"} ` +
      "only for secure pages. Start joywire-send with --https and open its HTTPS address (or " +
      "open http://127.0.0.1 through adb reverse). The controls work here.");
  } else if (!tiltPossible && tilt) {
    showNote("No tilt: this browser gives no motion readings. More…",
      "This browser has no orientation events, so tilt cannot be used here (a secure page " +
      "would not change that). The controls work here.");
  } else if (controls.layout === "gamepad" && upright.matches) {
    showNote("Turn the phone on its side: the gamepad is made for both thumbs.",
      "In landscape each thumb has its stick and its buttons; upright they are small.");
  } else {
    showNote("", "");
  }
}
upright.addEventListener("change", () => showLimits());
