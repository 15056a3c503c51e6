// The wire: every change goes at once to joywire-send as one binary WebSocket message, the
// datagram itself, and the state is repeated while connected, so that joywire-send can tell a
// controller that went quiet and centre it. Told first which player it is, then
// acknowledgements now and then, from which the round trip is measured. Once a data channel is
// open, the messages go over it instead (channel.js).
import { channelOpen, channelSignal, closeChannel, offerChannel, sendOnChannel } from "./channel.js";
import { message } from "./controls.js";
import { forgetRoundTrips, joinQuery, link, roundTrip, show, showPlayer } from "./link.js";
import { showTrouble } from "./notes.js";
import { allInUse, takenOver } from "./players.js";
import { request, startRequests } from "./requests.js";
import { rumbleSaid } from "./rumble.js";
import { remember } from "./store.js";

const kRepeatMs = 200;     // the state again when nothing changed (joywire-send: 500 ms)
const kRetryMaxMs = 2000;  // reconnection backs off to this at most
// A WebSocket neither open nor failed by then (its handshake lost on a changing network) is
// given up and tried again, rather than left "connecting…" until the browser's own limit.
const kConnectMs = 6000;
const kTakenOver = 4000;   // joywire-send's close code: another phone took over
const kAllInUse = 4001;    // and: every player is taken

let lastSent = null;  // the bytes of the last message
// A channel that carried nothing but repeats this long is closed: while one is open, the SCTP
// and DTLS under it wake joywire-send some 150 times a second. The next change goes over the
// WebSocket and offers one again.
const kIdleChannelMs = 10000;
let changedAt = 0;
let idleOn = null;  // the WebSocket whose channel was closed for that
const sendTimes = new Float64Array(64);
let messagesSent = 0;
let failedOpens = 0;

const unchanged = () => {
  const now = new Uint8Array(message());
  return lastSent !== null && now.length === lastSent.length && now.every((byte, i) => byte === lastSent[i]);
};

// Sends the state: on a change only when it differs from what was sent last; the repeat is
// due a while after the last message, and only then does the page wake for it.
export function send(repeat) {
  if (link.paused) return;
  if (!repeat && unchanged()) return;
  if (link.viaRequests) {
    request(repeat);
    return;
  }
  const socket = link.socket;
  if (link.state !== "connected" || !socket || socket.readyState !== WebSocket.OPEN) return;
  if (!repeat) {
    changedAt = performance.now();
    if (idleOn === socket) offerDatagrams(socket);
  } else if (performance.now() - changedAt > kIdleChannelMs && channelOpen()) {
    socket.send("stream idle");  // first: joywire-send is told why before the channel closes
    closeChannel();
    idleOn = socket;
  }
  if (!sendOnChannel(message())) socket.send(message());
  sendTimes[++messagesSent % sendTimes.length] = performance.now();
  sent();
}

export function sent() {
  lastSent = new Uint8Array(message());
  clearTimeout(link.repeatTimer);
  link.repeatTimer = setTimeout(() => send(true), link.viaRequests && link.failing ? 1000 : kRepeatMs);
}

// Whether the token still pairs this page: "paired", "refused" (an earlier pairing),
// "misnamed" (not an address of joywire-send's) or "unreachable" (joywire-send is not there).
async function checkPairing() {
  try {
    const response = await fetch(`/pairing?token=${encodeURIComponent(link.token)}`, {
      cache: "no-store", signal: AbortSignal.timeout ? AbortSignal.timeout(2500) : undefined });
    if (response.status === 403) return "refused";
    if (response.status === 421) return "misnamed";
    return response.ok ? "paired" : "unreachable";
  } catch (error) {
    return "unreachable";
  }
}

export function refuse() {
  link.refused = true;
  link.viaRequests = false;
  clearTimeout(link.retryTimer);
  clearTimeout(link.repeatTimer);
  if (link.socket) link.socket.close();
  show("refused", "Refused: an earlier pairing",
    "This address is from an earlier pairing. Scan the new code: the terminal of the machine " +
    "that runs joywire-send shows it (joywire-web-pairing shows it again for the service).");
}

// The name in the address bar is not one this server answers to (a host name, a typo): the
// pairing may be right, the address is not.
function misnamed() {
  link.refused = true;
  clearTimeout(link.retryTimer);
  if (link.socket) link.socket.close();
  show("refused", "Refused: not this address",
    `joywire-send does not answer to "${location.hostname}". Open one of the addresses it ` +
    "printed (such as 192.168.1.20, or this machine's name ending in .local), or scan its code.");
}

// A new address typed or scanned into this same tab: paired anew, without a reload.
export function pairAnewOnNewAddress() {
  window.addEventListener("hashchange", () => {
    const typed = decodeURIComponent(location.hash.slice(1));
    if (!typed || typed === link.token) return;
    link.token = typed;
    remember("token", link.token);
    link.refused = false;
    if (link.socket) link.socket.close();
    link.socket = null;
    connect();
  });
}

function retryLater(status) {
  show("disconnected", status, "joywire-send is not reachable. Trying again…");
  clearTimeout(link.retryTimer);
  link.retryTimer = setTimeout(connect, link.retryDelay);
  link.retryDelay = Math.min(link.retryDelay * 2, kRetryMaxMs);
}

function told(attempt, text) {
  if (channelSignal(text) || rumbleSaid(text)) return;
  const joined = text.match(/^player (\d+) of (\d+)$/);
  const ack = text.match(/^ack (\d+)$/);
  const trouble = text.match(/^trouble (.*)$/s);
  if (trouble) {
    showTrouble(trouble[1]);
  } else if (joined) {
    link.takeOver = 0;
    showPlayer(Number(joined[1]), Number(joined[2]));
    show("connected", "connected");
    send(true);
    offerDatagrams(attempt);
  } else if (ack && messagesSent - Number(ack[1]) < sendTimes.length && Number(ack[1]) > 0) {
    const median = roundTrip(performance.now() - sendTimes[Number(ack[1]) % sendTimes.length]);
    // A page frozen with an acknowledgement pending measures minutes: at most one is told.
    if (attempt.readyState === WebSocket.OPEN) attempt.send(`rtt ${Math.min(median, 60000)}`);
  }
}

// A channel lost mid-game leaves the state going over the WebSocket at once, and joywire-send
// told so; one is offered again a while later (the network may have changed under it).
const kOfferAgainMs = 10000;
function offerDatagrams(attempt) {
  idleOn = null;
  changedAt = performance.now();
  offerChannel(attempt, () => {
    if (attempt.readyState !== WebSocket.OPEN) return;
    attempt.send("stream");
    send(true);
    setTimeout(() => link.socket === attempt && attempt.readyState === WebSocket.OPEN &&
      offerDatagrams(attempt), kOfferAgainMs);
  });
}

export function connect() {
  clearTimeout(link.retryTimer);
  if (!link.token) {
    show("refused", "no pairing token", "Open the address joywire-send printed, or scan its code.");
    return;
  }
  if (link.refused || link.socket) return;
  if (!link.viaRequests) show("connecting", "connecting…", "Connecting to joywire-send…");
  const scheme = location.protocol === "https:" ? "wss://" : "ws://";
  const attempt = new WebSocket(`${scheme}${location.host}/ws?${joinQuery()}`);
  link.socket = attempt;
  attempt.binaryType = "arraybuffer";
  let opened = false;
  const givingUp = setTimeout(() => attempt.readyState === WebSocket.CONNECTING && attempt.close(), kConnectMs);
  attempt.onopen = () => {
    clearTimeout(givingUp);
    opened = true;
    failedOpens = 0;
    link.retryDelay = 250;
    link.viaRequests = false;
    messagesSent = 0;
    forgetRoundTrips();
  };
  attempt.onmessage = (event) => told(attempt, String(event.data));
  attempt.onclose = async (event) => {
    clearTimeout(givingUp);
    if (link.socket === attempt) link.socket = null;
    closeChannel();
    if (link.refused) return;
    if (event.code === kTakenOver) {
      takenOver(event.reason);
      return;
    }
    if (event.code === kAllInUse) {
      allInUse(event.reason);
      return;
    }
    if (link.viaRequests) {  // a try for the WebSocket while requests carry the messages
      link.retryTimer = setTimeout(connect, 5000);
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

// Back at once, rather than at the next try: the network, the page, a touch.
export function reconnectNow() {
  if (link.refused || link.socket || link.viaRequests || link.state === "connected") return;
  link.retryDelay = 250;
  connect();
}
