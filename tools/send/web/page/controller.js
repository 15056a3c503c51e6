"use strict";
// The phone's side of joywire-send --web: the controls set five values (X, Y, Z in -1..1, two
// buttons 0 or 1), and every change goes at once to joywire-send as one binary WebSocket
// message of 20 bytes, the datagram itself. The state is repeated while connected, so that
// joywire-send can tell a controller that went quiet and centre the stick.
(() => {
  const kRepeatMs = 80;           // the state again at least this often (joywire-send: 500 ms)
  const kTiltFullDegrees = 30;    // a tilt of 30 degrees is full deflection
  const kTiltReadingWaitMs = 3000;
  const kTakenOver = 4000;        // joywire-send's close code: another controller took over

  const token = decodeURIComponent(location.hash.slice(1));
  const values = new Float32Array([0, 0, -1, 0, 0]);  // the throttle starts at the bottom
  const lastSent = new Float32Array(5).fill(NaN);
  let lastSendTime = 0;
  let socket = null;
  let retryDelay = 500;
  let repeatTimer = 0;

  const $ = (selector) => document.querySelector(selector);
  const connection = $("#connection");
  const note = $("#note");
  const stick = $("#stick");
  const throttle = $("#throttle");
  const tiltSwitch = $("#tilt");

  // --- The wire -----------------------------------------------------------------------------

  function showConnection(state, text) {
    connection.dataset.state = state;
    connection.textContent = text;
  }

  function showNote(text) {
    note.textContent = text;
    note.hidden = !text;
  }

  function message() {
    const bytes = new ArrayBuffer(20);
    const view = new DataView(bytes);
    values.forEach((value, i) => view.setFloat32(4 * i, value, true));  // little-endian
    return bytes;
  }

  // Sends the state: on a change only when it differs from what was sent last.
  function send(repeat) {
    if (!repeat && values.every((value, i) => value === lastSent[i])) return;
    if (viaRequests) {
      request();
      return;
    }
    if (!socket || socket.readyState !== WebSocket.OPEN) return;
    socket.send(message());
    lastSent.set(values);
    lastSendTime = performance.now();
  }

  // Where a secure page's WebSocket cannot connect (iOS, before the certificate has full
  // trust), the same messages go as HTTPS requests; two at most on the way, then the latest.
  let viaRequests = false;
  let failedOpens = 0;
  let inFlight = 0;
  let behind = false;
  function request() {
    if (inFlight >= 2) {
      behind = true;
      return;
    }
    ++inFlight;
    lastSent.set(values);
    lastSendTime = performance.now();
    fetch(`/input?token=${encodeURIComponent(token)}`, {
      method: "POST", body: message(), cache: "no-store",
      headers: { "Content-Type": "application/octet-stream" },
    }).then((response) => {
      if (response.ok) showConnection("connected", "connected (HTTPS requests)");
      else showConnection("disconnected", `refused (${response.status})`);
    }).catch(() => showConnection("disconnected", "disconnected; retrying…"))
      .finally(() => {
        --inFlight;
        if (behind) {
          behind = false;
          request();
        }
      });
  }

  function startRequests() {
    viaRequests = true;
    showConnection("connecting", "connecting (HTTPS requests)…");
    send(true);
    repeatTimer = setInterval(() => {
      if (performance.now() - lastSendTime >= kRepeatMs) send(true);
    }, kRepeatMs / 4);
  }

  function connect() {
    if (!token) {
      showConnection("disconnected", "no pairing token: open the address joywire-send printed");
      return;
    }
    showConnection("connecting", "connecting…");
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    socket = new WebSocket(`${scheme}${location.host}/ws?token=${encodeURIComponent(token)}`);
    socket.binaryType = "arraybuffer";
    let opened = false;
    socket.onopen = () => {
      opened = true;
      failedOpens = 0;
      retryDelay = 500;
      showConnection("connected", "connected");
      send(true);
      repeatTimer = setInterval(() => {
        if (performance.now() - lastSendTime >= kRepeatMs) send(true);
      }, kRepeatMs / 4);
    };
    socket.onclose = (event) => {
      clearInterval(repeatTimer);
      socket = null;
      if (event.code === kTakenOver) {
        showConnection("taken-over", `${event.reason || "taken over"}; tap to take control again`);
        return;
      }
      if (!opened && location.protocol === "https:" && ++failedOpens >= 2) {
        startRequests();
        return;
      }
      const reason = event.reason ? `: ${event.reason}` : "";
      showConnection("disconnected", `disconnected${reason}; reconnecting…`);
      setTimeout(connect, retryDelay);
      retryDelay = Math.min(retryDelay * 2, 8000);
    };
  }

  // Taken over, or back from the background: a touch takes control again.
  document.addEventListener("pointerdown", () => {
    if (!socket && connection.dataset.state === "taken-over") connect();
    keepAwake();
  }, true);

  // --- Drawing ------------------------------------------------------------------------------

  function draw() {
    throttle.querySelector(".fill").style.height = `${((values[2] + 1) / 2) * 100}%`;
    throttle.setAttribute("aria-valuenow", values[2].toFixed(2));
    for (const [id, index] of [["#button1", 3], ["#button2", 4]]) {
      $(id).setAttribute("aria-pressed", values[index] === 1 ? "true" : "false");
    }
  }

  function changed() {
    send(false);
    draw();
  }

  // The earliest move events the browser offers: raw updates are not held for the next frame.
  // Where both come, the later one carries no change and sends nothing.
  const moveEvents = "onpointerrawupdate" in window ? ["pointerrawupdate", "pointermove"] : ["pointermove"];

  // Calls `move` for one pointer at a time on `element`, from its press to its release.
  function follow(element, { press, move, release }) {
    let pointer = null;
    element.addEventListener("pointerdown", (event) => {
      if (pointer !== null) return;
      pointer = event.pointerId;
      element.setPointerCapture(pointer);
      event.preventDefault();
      if (press(event) === false) {
        pointer = null;
        return;
      }
      move(event);
    });
    for (const type of moveEvents) {
      element.addEventListener(type, (event) => {
        if (event.pointerId === pointer) move(event);
      });
    }
    const end = (event) => {
      if (event.pointerId !== pointer) return;
      pointer = null;
      release();
    };
    for (const type of ["pointerup", "pointercancel", "lostpointercapture"]) {
      element.addEventListener(type, end);
    }
  }

  // --- The stick: the touch is the centre; the largest circle that fits is full deflection ----

  let centre = null;
  let radius = 1;
  const ring = stick.querySelector(".ring");
  const knob = stick.querySelector(".knob");

  function placeStick(x, y) {
    const box = stick.getBoundingClientRect();
    const at = centre || { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    for (const part of [ring, knob]) {
      part.style.left = `${at.x - box.left}px`;
      part.style.top = `${at.y - box.top}px`;
    }
    knob.style.transform = `translate(${x * radius}px, ${y * radius}px)`;
  }

  follow(stick, {
    press(event) {
      if (tiltOn) return false;
      const box = stick.getBoundingClientRect();
      radius = Math.min(box.width, box.height) / 2;
      centre = { x: event.clientX, y: event.clientY };
      stick.style.setProperty("--ring", `${2 * radius}px`);
      stick.classList.add("active");
      return true;
    },
    move(event) {
      let x = (event.clientX - centre.x) / radius;
      let y = (event.clientY - centre.y) / radius;  // down the screen is a higher Y
      const length = Math.hypot(x, y);
      if (length > 1) {
        x /= length;
        y /= length;
      }
      values[0] = x;
      values[1] = y;
      placeStick(x, y);
      changed();
    },
    release() {
      centre = null;
      stick.classList.remove("active");
      values[0] = 0;
      values[1] = 0;
      placeStick(0, 0);
      changed();
    },
  });

  // --- The throttle: where the finger is; top +1, bottom -1; it stays where it is left -------

  follow(throttle, {
    press: () => true,
    move(event) {
      const box = throttle.getBoundingClientRect();
      const z = 1 - (2 * (event.clientY - box.top)) / box.height;
      values[2] = Math.max(-1, Math.min(1, z));
      changed();
    },
    release() {},
  });

  // --- The buttons: pressed while touched -------------------------------------------------

  for (const [id, index] of [["#button1", 3], ["#button2", 4]]) {
    const button = $(id);
    const set = (pressed) => {
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

  // --- Tilt: the phone's own tilt drives X and Y -------------------------------------------

  let tiltOn = false;
  let reading = null;     // the latest orientation: { beta, gamma }
  let reference = null;   // the tilt as the phone was held when the switch went on
  let readingWatch = 0;

  // The tilt as the user sees the screen, in degrees: the right edge down, the top edge away.
  function screenTilt({ beta, gamma }) {
    const angle = (((screen.orientation ? screen.orientation.angle : window.orientation) || 0) + 360) % 360;
    switch (angle) {
      case 90: return { right: beta, away: gamma };
      case 180: return { right: -gamma, away: beta };
      case 270: return { right: -beta, away: -gamma };
      default: return { right: gamma, away: -beta };
    }
  }

  const wrap = (degrees) => ((((degrees + 180) % 360) + 360) % 360) - 180;
  const clamp = (value) => Math.max(-1, Math.min(1, value));

  function applyTilt() {
    const now = screenTilt(reading);
    if (!reference) reference = now;
    values[0] = clamp(wrap(now.right - reference.right) / kTiltFullDegrees);
    // Tipping the top edge away pushes the stick forward, a lower Y, as on the stick.
    values[1] = clamp(-wrap(now.away - reference.away) / kTiltFullDegrees);
    placeStick(values[0], values[1]);
    changed();
  }

  function stopTilt(why) {
    tiltOn = false;
    tiltSwitch.checked = false;
    clearTimeout(readingWatch);
    values[0] = 0;
    values[1] = 0;
    placeStick(0, 0);
    changed();
    showNote(why || "");
  }

  const tiltPossible = window.isSecureContext && "DeviceOrientationEvent" in window;
  if (!tiltPossible) {
    tiltSwitch.disabled = true;
    tiltSwitch.setAttribute("aria-disabled", "true");
    showNote("Tilt is off because browsers share motion only with secure pages: open this page " +
      "as http://127.0.0.1 (for example through adb reverse) to tilt; the stick works here.");
  } else {
    window.addEventListener("deviceorientation", (event) => {
      if (event.beta === null || event.gamma === null) return;
      reading = { beta: event.beta, gamma: event.gamma };
      if (!tiltOn) return;
      clearTimeout(readingWatch);
      applyTilt();
    });
    const turned = () => { reference = null; };  // the new way up is the new reference
    if (screen.orientation) screen.orientation.addEventListener("change", turned);
    window.addEventListener("orientationchange", turned);

    tiltSwitch.addEventListener("change", async () => {
      if (!tiltSwitch.checked) {
        stopTilt();
        return;
      }
      const ask = window.DeviceOrientationEvent.requestPermission;
      if (typeof ask === "function") {  // iOS: only from the tap itself
        try {
          if ((await ask.call(window.DeviceOrientationEvent)) !== "granted") {
            stopTilt("Motion access was not allowed, so tilt stays off.");
            return;
          }
        } catch (error) {
          stopTilt("Motion access could not be asked for, so tilt stays off.");
          return;
        }
      }
      tiltOn = true;
      reference = reading ? screenTilt(reading) : null;
      showNote("");
      readingWatch = setTimeout(
        () => stopTilt("This device sends no tilt readings, so tilt stays off."), kTiltReadingWaitMs);
    });
  }

  // --- The page as a whole ------------------------------------------------------------------

  let wakeLock = null;
  async function keepAwake() {
    if (wakeLock || !("wakeLock" in navigator) || document.visibilityState !== "visible") return;
    try {
      wakeLock = await navigator.wakeLock.request("screen");
      wakeLock.addEventListener("release", () => { wakeLock = null; });
    } catch (error) {
      wakeLock = null;  // not allowed here; the screen may sleep
    }
  }
  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState !== "visible") return;
    keepAwake();
    if (!socket && connection.dataset.state === "disconnected") connect();
  });
  document.addEventListener("contextmenu", (event) => event.preventDefault());
  document.addEventListener("gesturestart", (event) => event.preventDefault());
  window.addEventListener("resize", () => placeStick(values[0], values[1]));

  placeStick(0, 0);
  draw();
  keepAwake();
  connect();
})();
