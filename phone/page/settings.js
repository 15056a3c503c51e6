// The settings, kept on this phone: the wheel and the tilt's range, the stick's travel, the
// throttle's spring, the sides swapped, full screen; and per stick, trigger and pedal of the
// other layouts a dead zone (0-30%, round for the sticks) and a response curve (the amount
// past the dead zone to the power 1, linear, to 3).
import { controls } from "./controls.js";
import { fitStick, placeStick } from "./joystick.js";
import { recentre, showMode } from "./steer_by_tilt.js";
import { tuningOf } from "./stick.js";
import { $, recall, remember } from "./store.js";

const kTuned = { gamepad: ["left stick", "right stick", "left trigger", "right trigger"], wheel: ["gas", "brake"] };

export const tuning = (name) => tuningOf(recall(`tune.${name}`, name.endsWith("stick") ? "5,1" : "0,1"));

// The settings of the layout's sticks, triggers and pedals.
export function showTuning() {
  const box = $("#tuning");
  box.replaceChildren();
  for (const name of kTuned[controls.layout] || []) {
    const now = tuning(name);
    for (const [what, min, max, step, value, text] of [
      ["dead zone", 0, 30, 1, now.dead * 100, (v) => `${v}%`],
      ["curve", 1, 3, 0.25, now.curve, (v) => (v === 1 ? "linear" : `power ${v}`)]]) {
      const label = document.createElement("label");
      label.className = "setting";
      label.innerHTML = "<span></span><input type=\"range\">";
      const [caption, input] = label.children;
      Object.assign(input, { min, max, step, value });
      input.setAttribute("aria-label", `${name} ${what}`);
      const show = () => { caption.textContent = `${name[0].toUpperCase()}${name.slice(1)}: ${what} ${text(Number(input.value))}`; };
      input.addEventListener("input", () => {
        const { dead, curve } = tuning(name);
        remember(`tune.${name}`, what === "curve" ? `${dead * 100},${input.value}` : `${input.value},${curve}`);
        show();
      });
      show();
      box.append(label);
    }
  }
}

const restick = () => {
  fitStick();
  placeStick(controls.values[0], controls.values[1]);
};

const showRange = () => { $("#range-value").textContent = `${controls.range}°`; };
const showTravel = () => {
  const { travel } = controls;
  $("#travel-value").textContent = travel <= 60 ? "small" : travel <= 100 ? "medium" : "large";
};
const swap = $("#swap");
const showSides = () => document.body.classList.toggle("swapped", swap.checked);

export function startSettings() {
  const settings = $("#settings");
  const settingsButton = $("#settings-button");
  const openSettings = (open) => {
    settings.hidden = !open;
    settingsButton.setAttribute("aria-expanded", String(open));
  };
  settingsButton.addEventListener("click", () => openSettings(settings.hidden));
  $("#settings-done").addEventListener("click", () => openSettings(false));

  const wheelSwitch = $("#wheel");
  wheelSwitch.checked = controls.wheel;
  wheelSwitch.addEventListener("change", () => {
    controls.wheel = wheelSwitch.checked;
    remember("wheel", controls.wheel ? "1" : "0");
    showMode();
    if (controls.tiltOn) recentre();
  });
  $("#range").value = controls.range;
  $("#range").addEventListener("input", (event) => {
    controls.range = Number(event.target.value);
    remember("range", controls.range);
    showRange();
  });
  $("#travel").value = controls.travel;
  $("#travel").addEventListener("input", (event) => {
    controls.travel = Number(event.target.value);
    remember("travel", controls.travel);
    showTravel();
    restick();
  });
  $("#spring").value = controls.spring;
  $("#spring").addEventListener("change", (event) => {
    controls.spring = event.target.value;
    remember("spring", controls.spring);
  });
  swap.checked = recall("swap", "0") === "1";
  swap.addEventListener("change", () => {
    remember("swap", swap.checked ? "1" : "0");
    showSides();
    restick();
  });

  const fullscreen = $("#fullscreen");
  fullscreen.hidden = !document.documentElement.requestFullscreen;
  fullscreen.addEventListener("click", () => {
    if (document.fullscreenElement) document.exitFullscreen();
    else document.documentElement.requestFullscreen({ navigationUI: "hide" }).catch(() => {});
  });
  document.addEventListener("fullscreenchange", () => {
    if (document.fullscreenElement) showMode();  // the lock again, in wheel mode
  });
  showRange();
  showTravel();
  showSides();
}
