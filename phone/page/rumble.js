// The game's rumble in the player's hand: joywire-send passes on what the feeder sends back,
// "rumble STRONG WEAK HOLD" (0..65535, milliseconds). The phone vibrates while the level is
// above zero, in 100 ms beats whose buzzing share follows the level, renewed while joywire-send
// renews it; a zero, the hold running out, a lost link, a hidden page or the setting stop it.
// Browsers vibrate on or off only (Chrome on Android, after a touch); Safari and Firefox for
// Android do not vibrate, and the settings say so.
import { $, recall, remember } from "./store.js";

const kBeatMs = 100;
let vibrating = false;
let holdTimer = 0;

const canVibrate = () => typeof navigator.vibrate === "function";
const wanted = () => recall("rumble", "1") === "1";

export function stopRumble() {
  clearTimeout(holdTimer);
  if (!vibrating) return;
  vibrating = false;
  navigator.vibrate(0);
}

// What joywire-send said, if it is a rumble; false when it is not.
export function rumbleSaid(text) {
  const said = text.match(/^rumble (\d+) (\d+) (\d+)$/);
  if (!said) return false;
  const [strong, weak, hold] = said.slice(1).map(Number);
  const level = Math.min(1, Math.max(strong, weak) / 65535);
  if (level === 0 || hold === 0 || !canVibrate() || !wanted() || document.visibilityState !== "visible") {
    stopRumble();
    return true;
  }
  const on = Math.max(10, Math.round(level * kBeatMs));
  const beats = Math.ceil(hold / kBeatMs);
  const pattern = on >= kBeatMs ? [hold] :
    Array.from({ length: beats * 2 }, (_, i) => (i % 2 === 0 ? on : kBeatMs - on));
  vibrating = navigator.vibrate(pattern) !== false;
  clearTimeout(holdTimer);
  holdTimer = setTimeout(stopRumble, hold);  // nothing renewed it: the game's rumble is over
  return true;
}

// The setting, and where the phone cannot vibrate, a note instead of it.
export function startRumbleSetting() {
  const choice = $("#rumble");
  const note = $("#rumble-note");
  choice.checked = wanted();
  choice.disabled = !canVibrate();
  note.hidden = canVibrate();
  choice.addEventListener("change", () => {
    remember("rumble", choice.checked ? "1" : "0");
    if (!choice.checked) stopRumble();
  });
}
