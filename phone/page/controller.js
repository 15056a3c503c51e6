// The phone's side of joywire-send --web: the controls set five values (X, Y, Z in -1..1, two
// buttons 0 or 1), and every change goes at once to joywire-send as one binary WebSocket
// message of 20 bytes, the datagram itself; the gamepad and wheel layouts send the 56-byte
// longer record (those 20, then six more axes, a hat and 32 buttons). The state is repeated
// while connected, so that joywire-send can tell a controller that went quiet and centre it.
import { encodeRecord, kRestAxes, kRestValues } from "./record.js";
import { clamp, deflectionOf, radiusIn as radiusOfTravel, shaped as shapedBy, shapedStick, tuningOf } from "./stick.js";
import { inverse, rotationOf, screenRightAt, tiltDeflection, tiltOf } from "./tilt.js";

(() => {
  const kRepeatMs = 200;          // the state again when nothing changed (joywire-send: 500 ms)
  const kRetryMaxMs = 2000;       // reconnection backs off to this at most
  const kTakenOver = 4000;        // joywire-send's close code: another phone took over
  const kAllInUse = 4001;         // and: every player is taken
  const kRoundTripWindowMs = 5000;  // the round trip shown is the median of these last seconds
  const kTiltReadingWaitMs = 3000;
  const kTiltDeadZone = 1.5;      // degrees around the reference
  const kStickDeadZone = 0.05;    // of full deflection, around the centre

  const $ = (selector) => document.querySelector(selector);
  const connection = $("#connection");
  const overlay = $("#overlay");
  const note = $("#note");
  const stick = $("#stick");
  const throttle = $("#throttle");
  const tiltSwitch = $("#tilt");
  const vibrate = (ms) => navigator.vibrate && navigator.vibrate(ms);

  // What this phone keeps: its settings, and the pairing token it last used, so that an icon
  // on the home screen (which opens "/") pairs as the address it was made from did.
  const recall = (key, fallback) => {
    try { return localStorage.getItem(`joywire.${key}`) ?? fallback; } catch (error) { return fallback; }
  };
  const remember = (key, value) => {
    try { localStorage.setItem(`joywire.${key}`, value); } catch (error) { /* private mode */ }
  };
  let token = decodeURIComponent(location.hash.slice(1));
  if (token) remember("token", token); else token = recall("token", "");
  // This phone's own id (never the token): joywire-send keeps its player for it across drops.
  let identity = recall("id", "");
  if (!/^[A-Za-z0-9_-]{8,64}$/.test(identity)) {
    identity = Array.from(crypto.getRandomValues(new Uint8Array(16)),
      (byte) => byte.toString(16).padStart(2, "0")).join("");
    remember("id", identity);
  }

  const values = new Float32Array(kRestValues);  // the throttle starts at the bottom
  // The longer record's own: RX, RY, RZ (a trigger, released at -1), slider, dial, wheel; the
  // hat (0 centred, 1 up, clockwise to 8); buttons 1-32 as a mask.
  const axes = new Float32Array(kRestAxes);
  let hat = 0;
  let mask = 0;
  let layout = ["joystick", "gamepad", "wheel"].includes(recall("layout", "")) ? recall("layout") : "joystick";
  let lastSent = null;  // the bytes of the last message
  let lastSendTime = 0;

  // --- The wire -----------------------------------------------------------------------------

  let socket = null;
  let state = "";
  let refused = false;
  let retryDelay = 250;
  let retryTimer = 0;
  let repeatTimer = 0;
  let viaRequests = false;  // messages as HTTPS requests, where a WebSocket cannot connect
  let paused = false;  // hidden, frozen or out of focus: sends nothing until touched again
  let failedOpens = 0;
  let player = Number(recall("player", "0"));  // the player this phone was, asked for again
  let players = 1;
  let takeOver = 0;  // the player to take over explicitly on the next connection
  const playerBadge = $("#player");
  const roundTripShown = $("#round-trip");
  const takeOverChoice = $("#take-over");

  // Its number, large, in a colour of its own (16 far apart around the colour wheel).
  const colourOf = (number) => `hsl(${(number - 1) * 137.5 % 360} 80% 62%)`;
  function showPlayer(number, of) {
    player = number;
    players = of;
    remember("player", String(number));
    playerBadge.textContent = String(number);
    playerBadge.style.setProperty("--player", colourOf(number));
    playerBadge.hidden = of <= 1;
  }
  const joinQuery = () => `token=${encodeURIComponent(token)}&id=${identity}` +
    (player ? `&want=${player}` : "") + (takeOver ? `&take=${takeOver}` : "");

  // The round trip: from a message to joywire-send's acknowledgement of it (one a second, after
  // the messages that go anyway), the median of the last few seconds.
  const sendTimes = new Float64Array(64);
  let messagesSent = 0;
  let roundTrips = [];
  function roundTrip(sample) {
    const now = performance.now();
    roundTrips = roundTrips.filter((r) => now - r.time < kRoundTripWindowMs);
    roundTrips.push({ time: now, ms: sample });
    const sorted = roundTrips.map((r) => r.ms).sort((a, b) => a - b);
    const median = Math.round(sorted[sorted.length >> 1]);
    roundTripShown.textContent = `${median} ms`;
    roundTripShown.classList.toggle("slow", median > 100);
    roundTripShown.hidden = false;
    return median;
  }

  // The connection as the status line and the overlay tell it; the controls are inert under
  // the overlay whenever nothing is connected.
  function show(next, status, message) {
    const was = state;
    state = next;
    connection.dataset.state = next;
    connection.textContent = status;
    const connected = next === "connected";
    document.body.classList.toggle("inert", !connected);
    overlay.hidden = connected;
    if (!connected) roundTripShown.hidden = true;
    if (next !== "full") takeOverChoice.hidden = true;
    overlay.firstElementChild.textContent = message || status;
    if (was === "connected" && !connected) {
      vibrate(200);
      letGoOfEverything();
    }
  }

  // The datagram itself: little-endian whatever the phone. The longer record's B1 and B2 are
  // its first two buttons, for feeders that read only the first 20 bytes.
  function message() {
    const longer = layout !== "joystick";
    if (longer) {  // the head's buttons are the mask's first two
      values[3] = mask & 1;
      values[4] = (mask >> 1) & 1;
    }
    return encodeRecord({ values, axes, hat, mask }, longer);
  }
  const unchanged = () => {
    const now = new Uint8Array(message());
    return lastSent !== null && now.length === lastSent.length && now.every((byte, i) => byte === lastSent[i]);
  };

  // Sends the state: on a change only when it differs from what was sent last; the repeat is
  // due a while after the last message, and only then does the page wake for it.
  function send(repeat) {
    if (paused) return;
    if (!repeat && unchanged()) return;
    if (viaRequests) {
      request(repeat);
      return;
    }
    if (state !== "connected" || !socket || socket.readyState !== WebSocket.OPEN) return;
    socket.send(message());
    sendTimes[++messagesSent % sendTimes.length] = performance.now();
    sent();
  }

  function sent() {
    lastSent = new Uint8Array(message());
    lastSendTime = performance.now();
    clearTimeout(repeatTimer);
    repeatTimer = setTimeout(() => send(true), viaRequests && failing ? 1000 : kRepeatMs);
  }

  // Whether the token still pairs this page: "paired", "refused" (an earlier pairing), or
  // "unreachable" (joywire-send is not there).
  async function checkPairing() {
    try {
      const response = await fetch(`/pairing?token=${encodeURIComponent(token)}`, {
        cache: "no-store", signal: AbortSignal.timeout ? AbortSignal.timeout(2500) : undefined });
      if (response.status === 403) return "refused";
      if (response.status === 421) return "misnamed";
      return response.ok ? "paired" : "unreachable";
    } catch (error) {
      return "unreachable";
    }
  }

  function refuse() {
    refused = true;
    viaRequests = false;
    clearTimeout(retryTimer);
    clearTimeout(repeatTimer);
    if (socket) socket.close();
    show("refused", "Refused: an earlier pairing",
      "This address is from an earlier pairing. Scan the new code: the terminal of the machine " +
      "that runs joywire-send shows it (joywire-web-pairing shows it again for the service).");
  }

  // The name in the address bar is not one this server answers to (a host name, a typo): the
  // pairing may be right, the address is not.
  function misnamed() {
    refused = true;
    clearTimeout(retryTimer);
    if (socket) socket.close();
    show("refused", "Refused: not this address",
      `joywire-send does not answer to "${location.hostname}". Open one of the addresses it ` +
      "printed (such as 192.168.1.20, or this machine's name ending in .local), or scan its code.");
  }

  // A new address typed or scanned into this same tab: paired anew, without a reload.
  window.addEventListener("hashchange", () => {
    const typed = decodeURIComponent(location.hash.slice(1));
    if (!typed || typed === token) return;
    token = typed;
    remember("token", token);
    refused = false;
    if (socket) socket.close();
    socket = null;
    connect();
  });

  function retryLater(status) {
    show("disconnected", status, "joywire-send is not reachable. Trying again…");
    clearTimeout(retryTimer);
    retryTimer = setTimeout(connect, retryDelay);
    retryDelay = Math.min(retryDelay * 2, kRetryMaxMs);
  }

  function connect() {
    clearTimeout(retryTimer);
    if (!token) {
      show("refused", "no pairing token", "Open the address joywire-send printed, or scan its code.");
      return;
    }
    if (refused || socket) return;
    if (!viaRequests) show("connecting", "connecting…", "Connecting to joywire-send…");
    const scheme = location.protocol === "https:" ? "wss://" : "ws://";
    const attempt = new WebSocket(`${scheme}${location.host}/ws?${joinQuery()}`);
    socket = attempt;
    attempt.binaryType = "arraybuffer";
    let opened = false;
    attempt.onopen = () => {
      opened = true;
      failedOpens = 0;
      retryDelay = 250;
      viaRequests = false;
      messagesSent = 0;
      roundTrips = [];
    };
    // Told first which player it is (then it steers), then acknowledgements now and then.
    attempt.onmessage = (event) => {
      const told = String(event.data);
      const joined = told.match(/^player (\d+) of (\d+)$/);
      const ack = told.match(/^ack (\d+)$/);
      const trouble = told.match(/^trouble (.*)$/s);
      if (trouble) {
        showTrouble(trouble[1]);
      } else if (joined) {
        takeOver = 0;
        showPlayer(Number(joined[1]), Number(joined[2]));
        show("connected", "connected");
        send(true);
      } else if (ack && messagesSent - Number(ack[1]) < sendTimes.length && Number(ack[1]) > 0) {
        const median = roundTrip(performance.now() - sendTimes[Number(ack[1]) % sendTimes.length]);
        // A page frozen with an acknowledgement pending measures minutes: at most one is told.
        if (attempt.readyState === WebSocket.OPEN) attempt.send(`rtt ${Math.min(median, 60000)}`);
      }
    };
    attempt.onclose = async (event) => {
      if (socket === attempt) socket = null;
      if (refused) return;
      if (event.code === kTakenOver) {
        takenOver(event.reason);
        return;
      }
      if (event.code === kAllInUse) {
        allInUse(event.reason);
        return;
      }
      if (viaRequests) {  // a try for the WebSocket while requests carry the messages
        retryTimer = setTimeout(connect, 5000);
        return;
      }
      const reason = opened && event.reason ? `: ${event.reason}` : "";
      const pairing = await checkPairing();
      if (pairing === "refused") {
        refuse();
      } else if (pairing === "misnamed") {
        misnamed();
      } else if (pairing === "paired" && !opened && location.protocol === "https:" && ++failedOpens >= 2) {
        startRequests();
      } else {
        retryLater(pairing === "paired" ? `disconnected${reason}` : "not reachable");
      }
    };
  }

  // What keeps this player's device from moving (its feeder cannot listen, or ended), said in
  // the note's row until it is mended.
  let troubleShown = "";
  function showTrouble(text) {
    if (text === troubleShown) return;
    troubleShown = text;
    const whose = players > 1 ? `Player ${player}'s joystick` : "The joystick";
    if (text) showNote(`${whose} does not move: ${text}. More…`, `joywire-send says ${text}. Ask whoever runs it.`);
    else showLimits();
  }

  // Another phone took this one's player: it says so, and tries no more until tapped, which
  // takes the player back.
  const sentence = (text) => text[0].toUpperCase() + text.slice(1);
  function takenOver(reason) {
    if (players <= 1) {
      show("taken-over", "taken over", `${sentence(reason || "another controller took over")}. ` +
        "Tap to take control again.");
      return;
    }
    const why = reason ? sentence(reason) : `Player ${player} was taken over`;
    show("taken-over", "taken over", `${why}. Tap to take it back.`);
  }

  // One tap on a taken-over page takes its player back, whatever its links are doing: a
  // WebSocket still open is replaced by one that asks for the player.
  function takeBack() {
    takeOver = player || 1;
    viaRequests = false;
    refused = false;
    if (socket) {
      const old = socket;
      socket = null;
      old.onclose = null;
      old.close();
    }
    retryDelay = 250;
    connect();
  }

  // Every player is in use: this phone steers nothing, and offers to take one over.
  function allInUse(reason) {
    const count = Number((reason.match(/(\d+) players/) || [])[1]) || players;
    show("full", "all players in use", `${reason ? sentence(reason) : "All players are in use"}. ` +
      "Take one over:");
    takeOverChoice.replaceChildren(...Array.from({ length: count }, (_, i) => {
      const button = document.createElement("button");
      button.textContent = String(i + 1);
      button.setAttribute("aria-label", `take over player ${i + 1}`);
      button.style.setProperty("--player", colourOf(i + 1));
      button.addEventListener("click", () => {
        takeOver = i + 1;
        player = i + 1;
        retryDelay = 250;
        connect();
      });
      return button;
    }));
    takeOverChoice.hidden = false;
  }

  // Where a secure page's WebSocket cannot connect (iOS, before the certificate has full
  // trust), the same messages go as HTTPS requests; two at most on the way, then the latest;
  // one a second while nothing answers. A refused one ends them; an open WebSocket too.
  let inFlight = 0;
  let behind = false;
  let failing = false;
  function request(repeat) {
    if (!repeat && failing) return;
    if (inFlight >= 2) {
      behind = true;
      return;
    }
    ++inFlight;
    sent();
    const started = performance.now();
    fetch(`/input?${joinQuery()}`, {
      method: "POST", body: message(), cache: "no-store",
      headers: { "Content-Type": "application/octet-stream" },
    }).then(async (response) => {
      if (response.status === 403) return refuse();
      if (response.status === 409) {  // every player in use, or this one's taken over
        viaRequests = false;
        clearTimeout(retryTimer);
        const why = await response.text();
        return /^all /.test(why) ? allInUse(why) : takenOver(why);
      }
      failing = !response.ok;
      if (response.ok) showTrouble(response.headers.get("X-Joywire-Trouble") || "");
      const joined = (response.headers.get("X-Joywire-Player") || "").match(/^(\d+) of (\d+)$/);
      if (joined) {
        takeOver = 0;
        showPlayer(Number(joined[1]), Number(joined[2]));
      }
      if (response.ok && state !== "connected") show("connected", "connected (requests)");
      if (response.ok) roundTrip(performance.now() - started);
    }).catch(() => {
      failing = true;
      if (viaRequests) show("disconnected", "not reachable", "joywire-send is not reachable. Trying again…");
    }).finally(() => {
      --inFlight;
      if (behind && viaRequests) {
        behind = false;
        request(true);
      }
    });
  }

  function startRequests() {
    viaRequests = true;
    show("connecting", "connecting (requests)…", "Connecting to joywire-send…");
    request(true);
    retryTimer = setTimeout(connect, 5000);
  }

  // Back at once, rather than at the next try: the network, the page, a touch.
  function reconnectNow() {
    if (refused || socket || viaRequests || state === "connected") return;
    retryDelay = 250;
    connect();
  }
  window.addEventListener("online", reconnectNow);
  document.addEventListener("visibilitychange", () => {
    if (document.visibilityState === "visible") {
      keepAwake();
      if (state !== "taken-over") reconnectNow();
    } else {
      pause();
    }
  });

  // Out of sight or out of focus (another tab, another app, the screen off): a thumb that
  // holds the stick cannot be seen to let go, so everything is let go, the neutral state goes
  // once, and nothing more until the page is touched again. A throttled hidden tab would
  // otherwise let the held state and joywire-send's silence rule take turns.
  function pause() {
    if (paused) return;
    letGoOfEverything();
    values[0] = values[1] = values[3] = values[4] = 0;
    if (layout !== "joystick") restAll();
    changed();
    paused = true;
    clearTimeout(repeatTimer);
    document.body.classList.add("paused");
  }
  for (const [target, type] of [[window, "blur"], [window, "pagehide"], [document, "freeze"]]) {
    target.addEventListener(type, pause);
  }
  document.addEventListener("pointerdown", () => {
    if (!paused || document.visibilityState !== "visible") return;
    paused = false;
    document.body.classList.remove("paused");
    send(true);
  }, { capture: true });
  // The tap that takes control again, or brings it back sooner, is no input.
  overlay.addEventListener("pointerdown", (event) => {
    event.preventDefault();
    event.stopPropagation();
    if (state === "taken-over") takeBack();
    else if (state === "disconnected") reconnectNow();
  });

  // A touch belongs to what lies under its point. A browser may hand a touch that lands near a
  // button to that button (touch adjustment, for a fingertip's size): a touch inside a pad goes
  // to the pad, and a button or switch acts only on a touch that landed on it.
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

  // --- Drawing ------------------------------------------------------------------------------

  function draw() {
    const z = values[2];
    throttle.querySelector(".fill").style.height = `${((z + 1) / 2) * 100}%`;
    throttle.querySelector(".readout").textContent = z.toFixed(2);
    throttle.setAttribute("aria-valuenow", z.toFixed(2));
    throttle.setAttribute("aria-valuetext", z.toFixed(2));
    for (const [id, index] of [["#button1", 3], ["#button2", 4]]) {
      $(id).setAttribute("aria-pressed", values[index] === 1 ? "true" : "false");
    }
    drawLayout();
  }

  function changed() {
    send(false);
    draw();
  }

  // The earliest move events the browser offers: raw updates are not held for the next frame.
  // Where both come, the later one carries no change and sends nothing.
  const moveEvents = "onpointerrawupdate" in window ? ["pointerrawupdate", "pointermove"] : ["pointermove"];
  const letGo = [];  // each control's release, for when the connection goes

  // Calls `move` for one pointer at a time on `element`, from its press to its release.
  function follow(element, { press, move, release }) {
    let pointer = null;
    const end = () => {
      pointer = null;
      release();
    };
    element.addEventListener("pointerdown", (event) => {
      if (pointer !== null || state !== "connected") return;
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

  function letGoOfEverything() {
    letGo.forEach((release) => release());
  }

  // --- The stick: full deflection is a fixed travel from where the thumb lands ---------------

  const ring = stick.querySelector(".ring");
  const knob = stick.querySelector(".knob");
  let travel = Number(recall("travel", 80));  // CSS px of full deflection
  let radius = travel;
  let centre = null;  // in page coordinates, while touched

  // The travel that fits the pad, and the ring at its true size.
  function fitStick() {
    const box = stick.getBoundingClientRect();
    radius = radiusIn(box);
    stick.style.setProperty("--ring", `${2 * radius}px`);
  }

  function placeStick(x, y) {
    const box = stick.getBoundingClientRect();
    const at = centre || { x: box.left + box.width / 2, y: box.top + box.height / 2 };
    for (const part of [ring, knob]) {
      part.style.left = `${at.x - box.left}px`;
      part.style.top = `${at.y - box.top}px`;
    }
    knob.style.transform = `translate(${x * radius}px, ${y * radius}px)`;
  }

  const radiusIn = (box) => radiusOfTravel(box, travel);

  follow(stick, {
    press(event) {
      if (tiltOn && !wheel) return false;  // tilt has the stick
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
      if (!(tiltOn && wheel)) values[0] = x;
      values[1] = y;
      placeStick(values[0], values[1]);
      changed();
    },
    release() {
      centre = null;
      stick.classList.remove("active");
      if (!(tiltOn && wheel)) values[0] = 0;
      values[1] = 0;
      placeStick(values[0], values[1]);
      changed();
    },
  });

  // --- The throttle: dragged from where it is, top +1, bottom -1; a spring if chosen --------

  let spring = recall("spring", "none");
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
      if (spring !== "none") {
        values[2] = spring === "centre" ? 0 : -1;
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

  // --- The buttons: pressed while touched -------------------------------------------------

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

  // --- Tilt: the phone's rotation since the reference pose drives the stick ------------------
  // From the orientation event's angles as one rotation (a quaternion), never from differences
  // of the angles, which jump where the screen passes upright. X is the turn in the screen's
  // plane, as of a steering wheel, however the screen leans; Y the tip of its top edge.

  let tiltOn = false;
  let wheel = recall("wheel", "0") === "1";  // X from tilt only: Y, throttle and buttons by thumb
  const wheelTilt = () => wheel || layout === "wheel";
  let range = Number(recall("range", 45));   // degrees for full deflection
  let reading = null;
  let reference = null;  // the rotation back to the reference pose, and the screen's axes then
  let readingWatch = 0;

  // The screen's right as the person sees it, in the device's axes, for the way it is turned.
  const screenRight = () => screenRightAt(screen.orientation ? screen.orientation.angle : window.orientation);
  const deflection = (degrees) => tiltDeflection(degrees, range, kTiltDeadZone);

  function recentre() {
    reference = null;
    if (tiltOn && reading) applyTilt();
  }

  function applyTilt() {
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
  function showMode() {
    const mode = tiltOn ? (wheelTilt() ? "wheel" : "tilt") : "stick";
    document.body.dataset.mode = mode;
    stick.querySelector(".hint").textContent = kModeHints[mode];
    $("#steering .hint").textContent = tiltOn ? "Tilt steers: turn the phone" : "Drag, or turn on tilt to steer";
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

  function stopTilt(why) {
    tiltOn = false;
    tiltSwitch.checked = false;
    $("#recentre").hidden = true;
    showMode();
    clearTimeout(readingWatch);
    values[0] = 0;
    values[1] = 0;
    placeStick(0, 0);
    changed();
    if (why) showNote(why, why);
  }

  function showNote(summary, detail) {
    note.hidden = !summary;
    note.querySelector("summary").textContent = summary;
    note.querySelector("p").textContent = detail;
  }

  // What the page cannot do here, said in the row under the header (never over a control),
  // and only what applies to the layout shown: the gamepad has no tilt.
  const secure = window.isSecureContext;
  const upright = window.matchMedia("(orientation: portrait)");
  upright.addEventListener("change", () => showLimits());
  const tiltPossible = secure && "DeviceOrientationEvent" in window;
  function showLimits() {
    if (troubleShown) return;  // what keeps the joystick still comes first
    const tilt = layout !== "gamepad";
    if (!secure) {
      showNote(`${tilt ? "No tilt, and the screen may sleep" : "The screen may sleep"}: not a secure page. More…`,
        `Browsers give ${tilt ? "motion, and keep the screen awake," : "a page the right to keep the screen awake"} ` +
        "only for secure pages. Start joywire-send with --https and open its HTTPS address (or " +
        "open http://127.0.0.1 through adb reverse). The controls work here.");
    } else if (!tiltPossible && tilt) {
      showNote("No tilt: this browser gives no motion readings. More…",
        "This browser has no orientation events, so tilt cannot be used here (a secure page " +
        "would not change that). The controls work here.");
    } else if (layout === "gamepad" && upright.matches) {
      showNote("Turn the phone on its side: the gamepad is made for both thumbs.",
        "In landscape each thumb has its stick and its buttons; upright they are small.");
    } else {
      showNote("", "");
    }
  }
  if (!tiltPossible) {
    tiltSwitch.disabled = true;
    tiltSwitch.setAttribute("aria-disabled", "true");
  } else {
    window.addEventListener("deviceorientation", (event) => {
      if (event.beta === null || event.gamma === null) return;
      reading = { alpha: event.alpha || 0, beta: event.beta, gamma: event.gamma };
      if (!tiltOn) return;
      clearTimeout(readingWatch);
      applyTilt();
    });
    tiltSwitch.addEventListener("change", async () => {
      if (!tiltSwitch.checked) {
        stopTilt();
        return;
      }
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
      tiltOn = true;
      $("#recentre").hidden = false;
      showMode();
      reference = null;  // the pose now, or at the first reading
      if (reading) applyTilt();
      readingWatch = setTimeout(() => {
        if (!reading) stopTilt("This device sends no tilt readings, so tilt stays off.");
      }, kTiltReadingWaitMs);
    });
  }
  $("#recentre").addEventListener("click", recentre);

  // --- The gamepad and wheel layouts: each control its own finger, let go on release --------

  // Per stick, trigger and pedal, kept on the phone: a dead zone (0-30%, round for the sticks)
  // and a response curve (the amount past the dead zone to the power 1, linear, to 3).
  const kTuned = { gamepad: ["left stick", "right stick", "left trigger", "right trigger"], wheel: ["gas", "brake"] };
  const tuning = (name) => tuningOf(recall(`tune.${name}`, name.endsWith("stick") ? "5,1" : "0,1"));
  const shaped = (name, amount) => shapedBy(amount, tuning(name));

  function restAll() {
    values.set([0, 0, -1, 0, 0]);
    pedals.gas = pedals.brake = -1;
    axes.set(kRestAxes);
    hat = 0;
    mask = 0;
  }

  function setBit(bit, pressed) {
    if (pressed && !(mask & (1 << bit))) vibrate(15);
    mask = pressed ? (mask | (1 << bit)) >>> 0 : (mask & ~(1 << bit)) >>> 0;
    changed();
  }
  // A thumb that slides from one face button onto another presses that one instead, as it
  // rolls on a real pad.
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

  // A stick whose centre is where the thumb lands, read as the joystick layout's stick is
  // (the same travel for the same thumb movement on every stick); its knob drawn there.
  const thumbCentres = new Map();
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
  thumbstick($("#left-stick"), "left stick", (x, y) => { values[0] = x; values[1] = y; changed(); });
  thumbstick($("#right-stick"), "right stick", (x, y) => { axes[0] = x; axes[1] = y; changed(); });

  // A trigger or pedal: pressed as deep as the finger is down it, -1 released to 1 full.
  function analogTrigger(element, name, set) {
    follow(element, {
      press: () => true,
      move(event) {
        const box = element.getBoundingClientRect();
        set(2 * shaped(name, clamp((event.clientY - box.top) / box.height, 0, 1)) - 1);
      },
      release: () => set(-1),
    });
  }
  analogTrigger($("#left-trigger"), "left trigger", (value) => { if (layout === "gamepad") values[2] = value; changed(); });
  analogTrigger($("#right-trigger"), "right trigger", (value) => { axes[2] = value; changed(); });
  // Gas in Z, where today's throttle is, brake in RZ; and both on Y as one axis (gas up, brake
  // down), the pedals as older racing games want them and the only brake a Windows game sees.
  // At rest Y is centred, so the neutral position is no pedal at all.
  const pedals = { gas: -1, brake: -1 };
  const pedal = (name, value) => {
    pedals[name] = value;
    if (layout === "wheel") values[1] = (pedals.brake - pedals.gas) / 2;
    if (name === "gas" && layout === "wheel") values[2] = value;
    if (name === "brake") axes[2] = value;
    changed();
  };
  analogTrigger($("#gas"), "gas", (value) => pedal("gas", value));
  analogTrigger($("#brake"), "brake", (value) => pedal("brake", value));

  // The d-pad: the direction from its middle, in eighths; its middle itself is centred.
  const dpad = $("#dpad");
  follow(dpad, {
    press: () => true,
    move(event) {
      const box = dpad.getBoundingClientRect();
      const [dx, dy] = [event.clientX - box.left - box.width / 2, event.clientY - box.top - box.height / 2];
      const eighth = Math.round(Math.atan2(dx, -dy) / (Math.PI / 4));
      hat = Math.hypot(dx, dy) < Math.min(box.width, box.height) * 0.12 ? 0 : ((eighth + 8) % 8) + 1;
      changed();
    },
    release() {
      hat = 0;
      changed();
    },
  });

  // Steering by thumb while tilt is off: dragged from where it lands, full lock 40% across.
  const steering = $("#steering");
  let steeringFrom = null;
  follow(steering, {
    press(event) {
      if (tiltOn) return false;
      steeringFrom = event.clientX;
      return true;
    },
    move(event) {
      values[0] = clamp((event.clientX - steeringFrom) / (0.4 * steering.getBoundingClientRect().width));
      changed();
    },
    release() {
      if (!tiltOn) values[0] = 0;
      changed();
    },
  });

  function drawLayout() {
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

  // The settings of the layout's sticks, triggers and pedals.
  function showTuning() {
    const box = $("#tuning");
    box.replaceChildren();
    for (const name of kTuned[layout] || []) {
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

  function showLayout() {
    for (const name of ["joystick", "gamepad", "wheel"]) $(`#${name}-layout`).hidden = name !== layout;
    document.body.dataset.layout = layout;
    $("#tilt-switch").hidden = layout === "gamepad";  // two sticks by thumb; tilt is for one
    for (const [id, shown] of [["#wheel", layout === "joystick"], ["#range", layout !== "gamepad"],
      ["#travel", layout !== "wheel"], ["#spring", layout === "joystick"], ["#swap", layout === "joystick"]]) {
      $(id).closest(".setting").hidden = !shown;
    }
    showLimits();
    if (layout === "gamepad" && tiltOn) stopTilt();
    showTuning();
    showMode();
  }
  $("#layout").value = layout;
  $("#layout").addEventListener("change", (event) => {
    letGoOfEverything();
    layout = event.target.value;
    remember("layout", layout);
    restAll();
    showLayout();
    fitStick();
    placeStick(0, 0);
    changed();
  });

  // --- Settings, kept on this phone ---------------------------------------------------------

  const settings = $("#settings");
  const settingsButton = $("#settings-button");
  function openSettings(open) {
    settings.hidden = !open;
    settingsButton.setAttribute("aria-expanded", String(open));
  }
  settingsButton.addEventListener("click", () => openSettings(settings.hidden));
  $("#settings-done").addEventListener("click", () => openSettings(false));

  const wheelSwitch = $("#wheel");
  wheelSwitch.checked = wheel;
  wheelSwitch.addEventListener("change", () => {
    wheel = wheelSwitch.checked;
    remember("wheel", wheel ? "1" : "0");
    showMode();
    if (tiltOn) recentre();
  });
  const showRange = () => { $("#range-value").textContent = `${range}°`; };
  $("#range").value = range;
  $("#range").addEventListener("input", (event) => {
    range = Number(event.target.value);
    remember("range", range);
    showRange();
  });
  const showTravel = () => {
    $("#travel-value").textContent = travel <= 60 ? "small" : travel <= 100 ? "medium" : "large";
  };
  $("#travel").value = travel;
  $("#travel").addEventListener("input", (event) => {
    travel = Number(event.target.value);
    remember("travel", travel);
    showTravel();
    fitStick();
    placeStick(values[0], values[1]);
  });
  $("#spring").value = spring;
  $("#spring").addEventListener("change", (event) => {
    spring = event.target.value;
    remember("spring", spring);
  });
  const swap = $("#swap");
  swap.checked = recall("swap", "0") === "1";
  const showSides = () => document.body.classList.toggle("swapped", swap.checked);
  swap.addEventListener("change", () => {
    remember("swap", swap.checked ? "1" : "0");
    showSides();
    fitStick();
    placeStick(values[0], values[1]);
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

  // --- The page as a whole ------------------------------------------------------------------

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
  document.addEventListener("pointerdown", keepAwake, true);
  document.addEventListener("contextmenu", (event) => event.preventDefault());
  document.addEventListener("gesturestart", (event) => event.preventDefault());
  window.addEventListener("resize", () => {
    fitStick();
    placeStick(values[0], values[1]);
  });

  showLayout();
  showRange();
  showTravel();
  showSides();
  fitStick();
  placeStick(0, 0);
  draw();
  keepAwake();
  connect();
})();
