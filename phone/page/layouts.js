// The gamepad and wheel layouts: each control its own finger, let go on release; and the
// choice of layout.
import { changed, controls, restAll } from "./controls.js";
import { fitStick, placeStick, radiusIn } from "./joystick.js";
import { showLimits } from "./notes.js";
import { follow, letGoOfEverything } from "./pointers.js";
import { showTuning, tuning } from "./settings.js";
import { showMode, stopTilt } from "./steer_by_tilt.js";
import { clamp, deflectionOf, shaped, shapedStick } from "./stick.js";
import { $, remember, vibrate } from "./store.js";

const { values, axes } = controls;
const dpad = $("#dpad");
const steering = $("#steering");
const thumbCentres = new Map();  // of each thumbstick while touched, for its knob

function setBit(bit, pressed) {
  if (pressed && !(controls.mask & (1 << bit))) vibrate(15);
  const mask = controls.mask;
  controls.mask = pressed ? (mask | (1 << bit)) >>> 0 : (mask & ~(1 << bit)) >>> 0;
  changed();
}

// A thumb that slides from one face button onto another presses that one instead, as it
// rolls on a real pad.
function followFaceButtons() {
  for (const button of document.querySelectorAll("main [data-bit]")) {
    const face = button.closest(".face");
    let held = Number(button.dataset.bit);
    follow(button, {
      press: () => { held = Number(button.dataset.bit); },
      move(event) {
        const under = face && document.elementFromPoint(event.clientX, event.clientY);
        const other = under && under.closest("[data-bit]");
        if (other && face.contains(other) && Number(other.dataset.bit) !== held) {
          setBit(held, false);
          held = Number(other.dataset.bit);
        }
        setBit(held, true);
      },
      release: () => setBit(held, false),
    });
  }
}

// A stick whose centre is where the thumb lands, read as the joystick layout's stick is
// (the same travel for the same thumb movement on every stick); its knob drawn there.
function thumbstick(element, name, set) {
  let centre = null;
  follow(element, {
    press(event) {
      centre = { x: event.clientX, y: event.clientY };
      return true;
    },
    move(event) {
      const box = element.getBoundingClientRect();
      let nx, ny;
      ({ centre, nx, ny } = deflectionOf(centre, box, radiusIn(box), event.clientX, event.clientY));
      thumbCentres.set(element, centre);
      set(...shapedStick(nx, ny, tuning(name)));  // of the distance: the dead zone is round
    },
    release() {
      centre = null;
      thumbCentres.delete(element);
      set(0, 0);
    },
  });
}

// A trigger or pedal: pressed as deep as the finger is down it, -1 released to 1 full.
function analogTrigger(element, name, set) {
  follow(element, {
    press: () => true,
    move(event) {
      const box = element.getBoundingClientRect();
      set(2 * shaped(clamp((event.clientY - box.top) / box.height, 0, 1), tuning(name)) - 1);
    },
    release: () => set(-1),
  });
}

// Gas in Z, where today's throttle is, brake in RZ; and both on Y as one axis (gas up, brake
// down), the pedals as older racing games want them and the only brake a Windows game sees.
// At rest Y is centred, so the neutral position is no pedal at all.
function pedal(name, value) {
  const { pedals, layout } = controls;
  pedals[name] = value;
  if (layout === "wheel") values[1] = (pedals.brake - pedals.gas) / 2;
  if (name === "gas" && layout === "wheel") values[2] = value;
  if (name === "brake") axes[2] = value;
  changed();
}

// The d-pad: the direction from its middle, in eighths; its middle itself is centred.
function followDpad() {
  follow(dpad, {
    press: () => true,
    move(event) {
      const box = dpad.getBoundingClientRect();
      const [dx, dy] = [event.clientX - box.left - box.width / 2, event.clientY - box.top - box.height / 2];
      const eighth = Math.round(Math.atan2(dx, -dy) / (Math.PI / 4));
      controls.hat = Math.hypot(dx, dy) < Math.min(box.width, box.height) * 0.12 ? 0 : ((eighth + 8) % 8) + 1;
      changed();
    },
    release() {
      controls.hat = 0;
      changed();
    },
  });
}

// Steering by thumb while tilt is off: dragged from where it lands, full lock 40% across.
function followSteering() {
  let steeringFrom = null;
  follow(steering, {
    press(event) {
      if (controls.tiltOn) return false;
      steeringFrom = event.clientX;
      return true;
    },
    move(event) {
      values[0] = clamp((event.clientX - steeringFrom) / (0.4 * steering.getBoundingClientRect().width));
      changed();
    },
    release() {
      if (!controls.tiltOn) values[0] = 0;
      changed();
    },
  });
}

export function drawLayout() {
  const { layout, hat, mask } = controls;
  const knob = (element, x, y, reachIn = radiusIn) => {  // from where the thumb landed, in the pad
    const box = element.getBoundingClientRect();
    const reach = reachIn(box);
    const at = thumbCentres.get(element) || { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    const inside = (value, low, high) => clamp(value, low + 24, high - 24);
    const dx = inside(at.x + x * reach, box.left, box.right) - (box.left + box.width / 2);
    const dy = inside(at.y + y * reach, box.top, box.bottom) - (box.top + box.height / 2);
    element.querySelector(".knob").style.transform = `translate(${dx}px, ${dy}px)`;
  };
  knob($("#left-stick"), values[0], values[1]);
  knob($("#right-stick"), axes[0], axes[1]);
  knob(steering, values[0], 0, (box) => 0.4 * box.width);
  const depth = (id, value) => {
    $(id).querySelector(".fill").style.height = `${((value + 1) / 2) * 100}%`;
    $(id).setAttribute("aria-valuenow", ((value + 1) / 2).toFixed(2));
  };
  depth("#left-trigger", layout === "gamepad" ? values[2] : -1);
  depth("#right-trigger", axes[2]);
  depth("#gas", layout === "wheel" ? values[2] : -1);
  depth("#brake", axes[2]);
  dpad.dataset.hat = hat;
  const toward = hat ? ((hat - 1) * Math.PI) / 4 : 0;  // 1 up, clockwise
  dpad.style.setProperty("--hx", hat ? Math.sin(toward).toFixed(2) : "0");
  dpad.style.setProperty("--hy", hat ? (-Math.cos(toward)).toFixed(2) : "0");
  for (const button of document.querySelectorAll("main [data-bit]")) {
    button.setAttribute("aria-pressed", String(Boolean(mask & (1 << Number(button.dataset.bit)))));
  }
}

export function showLayout() {
  const { layout } = controls;
  for (const name of ["joystick", "gamepad", "wheel"]) $(`#${name}-layout`).hidden = name !== layout;
  document.body.dataset.layout = layout;
  $("#tilt-switch").hidden = layout === "gamepad";  // two sticks by thumb; tilt is for one
  for (const [id, shown] of [["#wheel", layout === "joystick"], ["#range", layout !== "gamepad"],
    ["#travel", layout !== "wheel"], ["#spring", layout === "joystick"], ["#swap", layout === "joystick"]]) {
    $(id).closest(".setting").hidden = !shown;
  }
  showLimits();
  if (layout === "gamepad" && controls.tiltOn) stopTilt();
  showTuning();
  showMode();
}

export function startLayouts() {
  followFaceButtons();
  thumbstick($("#left-stick"), "left stick", (x, y) => { values[0] = x; values[1] = y; changed(); });
  thumbstick($("#right-stick"), "right stick", (x, y) => { axes[0] = x; axes[1] = y; changed(); });
  analogTrigger($("#left-trigger"), "left trigger", (value) => {
    if (controls.layout === "gamepad") values[2] = value;
    changed();
  });
  analogTrigger($("#right-trigger"), "right trigger", (value) => { axes[2] = value; changed(); });
  analogTrigger($("#gas"), "gas", (value) => pedal("gas", value));
  analogTrigger($("#brake"), "brake", (value) => pedal("brake", value));
  followDpad();
  followSteering();
  $("#layout").value = controls.layout;
  $("#layout").addEventListener("change", (event) => {
    letGoOfEverything();
    controls.layout = event.target.value;
    remember("layout", controls.layout);
    restAll();
    showLayout();
    fitStick();
    placeStick(0, 0);
    changed();
  });
}
