// Where a secure page's WebSocket cannot connect (iOS, before the certificate has full trust),
// the same messages go as HTTPS requests; two at most on the way, then the latest; one a
// second while nothing answers. A refused one ends them; an open WebSocket too.
import { message } from "./controls.js";
import { joinQuery, link, roundTrip, show, showPlayer } from "./link.js";
import { showTrouble } from "./notes.js";
import { allInUse, takenOver } from "./players.js";
import { connect, refuse, sent } from "./wire.js";

let inFlight = 0;
let behind = false;

export function request(repeat) {
  if (!repeat && link.failing) return;
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
      link.viaRequests = false;
      clearTimeout(link.retryTimer);
      const why = await response.text();
      return /^all /.test(why) ? allInUse(why) : takenOver(why);
    }
    link.failing = !response.ok;
    if (response.ok) showTrouble(response.headers.get("X-Joywire-Trouble") || "");
    const joined = (response.headers.get("X-Joywire-Player") || "").match(/^(\d+) of (\d+)$/);
    if (joined) {
      link.takeOver = 0;
      showPlayer(Number(joined[1]), Number(joined[2]));
    }
    if (response.ok && link.state !== "connected") show("connected", "connected (requests)");
    if (response.ok) roundTrip(performance.now() - started);
  }).catch(() => {
    link.failing = true;
    if (link.viaRequests) show("disconnected", "not reachable", "joywire-send is not reachable. Trying again…");
  }).finally(() => {
    --inFlight;
    if (behind && link.viaRequests) {
      behind = false;
      request(true);
    }
  });
}

export function startRequests() {
  link.viaRequests = true;
  show("connecting", "connecting (requests)…", "Connecting to joywire-send…");
  request(true);
  link.retryTimer = setTimeout(connect, 5000);
}
