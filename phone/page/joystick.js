// The joystick layout's controls: the stick (full deflection a fixed travel from where the
// thumb lands), the throttle (dragged from where it is, top +1, bottom -1; a spring if
// chosen) and two buttons (pressed while touched).
import { changed, controls } from "./controls.js";
import { follow } from "./pointers.js";
import { clamp, deflectionOf, radiusIn as radiusOfTravel, shapedStick } from "./stick.js";
import { $, vibrate } from "./store.js";

const kStickDeadZone = 0.05;  // of full deflection, around the centre

const stick = $("#stick");
const ring = stick.querySelector(".ring");
const knob = stick.querySelector(".knob");
const throttle = $("#throttle");
let radius = controls.travel;
let centre = null;  // in page coordinates, while touched

// The travel for the thumb's movement, as far as a pad's box allows.
export const radiusIn = (box) => radiusOfTravel(box, controls.travel);

// The travel that fits the pad, and the ring at its true size.
export function fitStick() {
  radius = radiusIn(stick.getBoundingClientRect());
  stick.style.setProperty("--ring", `${2 * radius}px`);
}

export function placeStick(x, y) {
  const box = stick.getBoundingClientRect();
  const at = centre || { x: box.left + box.width / 2, y: box.top + box.height / 2 };
  for (const part of [ring, knob]) {
    part.style.left = `${at.x - box.left}px`;
    part.style.top = `${at.y - box.top}px`;
  }
  knob.style.transform = `translate(${x * radius}px, ${y * radius}px)`;
}

// X belongs to tilt while tilt turns a wheel; with tilt as a stick the thumb has nothing.
const thumbHasX = () => !(controls.tiltOn && controls.wheel);

function followStick() {
  const { values } = controls;
  follow(stick, {
    press(event) {
      if (controls.tiltOn && !controls.wheel) return false;  // tilt has the stick
      fitStick();
      centre = { x: event.clientX, y: event.clientY };  // where the thumb lands is the centre
      stick.classList.add("active");
      return true;
    },
    move(event) {
      let nx, ny;
      ({ centre, nx, ny } = deflectionOf(centre, stick.getBoundingClientRect(), radius, event.clientX, event.clientY));
      // A small dead zone around the centre, and the rest of the way rescaled to full.
      const [x, y] = shapedStick(nx, ny, { dead: kStickDeadZone, curve: 1 });
      if (thumbHasX()) values[0] = x;
      values[1] = y;
      placeStick(values[0], values[1]);
      changed();
    },
    release() {
      centre = null;
      stick.classList.remove("active");
      if (thumbHasX()) values[0] = 0;
      values[1] = 0;
      placeStick(values[0], values[1]);
      changed();
    },
  });
}

function followThrottle() {
  const { values } = controls;
  let grip = null;  // where the finger landed, and the throttle then
  follow(throttle, {
    press: (event) => {
      grip = { y: event.clientY, z: values[2] };
    },
    move(event) {
      const height = throttle.getBoundingClientRect().height;
      values[2] = clamp(grip.z - (2 * (event.clientY - grip.y)) / height);
      changed();
    },
    release() {
      if (controls.spring !== "none") {
        values[2] = controls.spring === "centre" ? 0 : -1;
        changed();
      }
    },
  });
  throttle.addEventListener("keydown", (event) => {
    const steps = { ArrowUp: 0.1, ArrowRight: 0.1, ArrowDown: -0.1, ArrowLeft: -0.1, PageUp: 0.5,
      PageDown: -0.5, Home: 2, End: -2 };
    if (!(event.key in steps)) return;
    event.preventDefault();
    values[2] = clamp(Math.round((values[2] + steps[event.key]) * 100) / 100);
    changed();
  });
}

function followButtons() {
  const { values } = controls;
  for (const [id, index] of [["#button1", 3], ["#button2", 4]]) {
    const button = $(id);
    const set = (pressed) => {
      if (pressed && values[index] !== 1) vibrate(15);
      values[index] = pressed ? 1 : 0;
      changed();
    };
    follow(button, { press: () => true, move: () => set(true), release: () => set(false) });
    button.addEventListener("keydown", (event) => {
      if ((event.key === " " || event.key === "Enter") && !event.repeat) {
        event.preventDefault();
        set(true);
      }
    });
    button.addEventListener("keyup", (event) => {
      if (event.key === " " || event.key === "Enter") set(false);
    });
  }
}

export function drawJoystick() {
  const z = controls.values[2];
  throttle.querySelector(".fill").style.height = `${((z + 1) / 2) * 100}%`;
  throttle.querySelector(".readout").textContent = z.toFixed(2);
  throttle.setAttribute("aria-valuenow", z.toFixed(2));
  throttle.setAttribute("aria-valuetext", z.toFixed(2));
  for (const [id, index] of [["#button1", 3], ["#button2", 4]]) {
    $(id).setAttribute("aria-pressed", controls.values[index] === 1 ? "true" : "false");
  }
}

export function startJoystick() {
  followStick();
  followThrottle();
  followButtons();
}
