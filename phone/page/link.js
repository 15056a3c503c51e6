// The link to joywire-send as the page tells it: which state it is in, shown in the status
// line and the overlay (the controls are inert under the overlay whenever nothing is
// connected); the player this phone steers; and the round trip it measured.
import { controls } from "./controls.js";
import { letGoOfEverything } from "./pointers.js";
import { stopRumble } from "./rumble.js";
import { $, recall, remember, vibrate } from "./store.js";

const kRoundTripWindowMs = 5000;  // the round trip shown is the median of these last seconds

const connection = $("#connection");
const overlay = $("#overlay");
const playerBadge = $("#player");
const roundTripShown = $("#round-trip");
export const takeOverChoice = $("#take-over");

export const link = {
  state: "",
  socket: null,
  refused: false,       // by joywire-send: tries no more until paired anew
  viaRequests: false,   // messages as HTTPS requests, where a WebSocket cannot connect
  paused: false,        // hidden, frozen or out of focus: sends nothing until touched again
  retryDelay: 250,
  retryTimer: 0,
  repeatTimer: 0,
  player: Number(recall("player", "0")),  // the player this phone was, asked for again
  players: 1,
  takeOver: 0,  // the player to take over explicitly on the next connection
  failing: false,  // requests: the last one found nobody, or was not answered
  token: "",
  identity: "",
  path: "stream",  // how messages go: "datagrams" (a data channel) or "stream" (the WebSocket)
};

export function show(next, status, message) {
  const was = link.state;
  link.state = next;
  connection.dataset.state = next;
  const connected = next === "connected";
  connection.textContent = connected && !link.viaRequests ? `${status} · ${link.path}` : status;
  controls.connected = connected;
  document.body.classList.toggle("inert", !connected);
  overlay.hidden = connected;
  if (!connected) roundTripShown.hidden = true;
  if (next !== "full") takeOverChoice.hidden = true;
  overlay.firstElementChild.textContent = message || status;
  if (was === "connected" && !connected) {
    stopRumble();
    vibrate(200);
    letGoOfEverything();
  }
}

// The way the messages go now; the round trip is measured anew over it.
export function showPath(path) {
  link.path = path;
  forgetRoundTrips();
  roundTripShown.hidden = true;  // until this path's first acknowledgement
  if (link.state === "connected") show("connected", "connected");
}

// Its number, large, in a colour of its own (16 far apart around the colour wheel).
export const colourOf = (number) => `hsl(${(number - 1) * 137.5 % 360} 80% 62%)`;
export function showPlayer(number, of) {
  link.player = number;
  link.players = of;
  remember("player", String(number));
  playerBadge.textContent = String(number);
  playerBadge.style.setProperty("--player", colourOf(number));
  playerBadge.hidden = of <= 1;
}

export const joinQuery = () => `token=${encodeURIComponent(link.token)}&id=${link.identity}` +
  (link.player ? `&want=${link.player}` : "") + (link.takeOver ? `&take=${link.takeOver}` : "");

// The median of the round trips of the last few seconds, shown.
let roundTrips = [];
export function roundTrip(sample) {
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
export const forgetRoundTrips = () => { roundTrips = []; };

// The pairing token (from the address, or the one kept) and this phone's own id (never the
// token): joywire-send keeps its player for it across drops.
export function readPairing() {
  link.token = decodeURIComponent(location.hash.slice(1));
  if (link.token) remember("token", link.token); else link.token = recall("token", "");
  link.identity = recall("id", "");
  if (!/^[A-Za-z0-9_-]{8,64}$/.test(link.identity)) {
    link.identity = Array.from(crypto.getRandomValues(new Uint8Array(16)),
      (byte) => byte.toString(16).padStart(2, "0")).join("");
    remember("id", link.identity);
  }
}
