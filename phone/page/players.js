// This phone among several: another phone took its player (it says so, and tries no more
// until tapped, which takes the player back), or every player is in use (it offers to take
// one over).
import { colourOf, link, show, takeOverChoice } from "./link.js";
import { sentence } from "./store.js";
import { connect } from "./wire.js";

export function takenOver(reason) {
  if (link.players <= 1) {
    show("taken-over", "taken over", `${sentence(reason || "another controller took over")}. ` +
      "Tap to take control again.");
    return;
  }
  const why = reason ? sentence(reason) : `Player ${link.player} was taken over`;
  show("taken-over", "taken over", `${why}. Tap to take it back.`);
}

// One tap on a taken-over page takes its player back, whatever its links are doing: a
// WebSocket still open is replaced by one that asks for the player.
export function takeBack() {
  link.takeOver = link.player || 1;
  link.viaRequests = false;
  link.refused = false;
  if (link.socket) {
    const old = link.socket;
    link.socket = null;
    old.onclose = null;
    old.close();
  }
  link.retryDelay = 250;
  connect();
}

export function allInUse(reason) {
  const count = Number((reason.match(/(\d+) players/) || [])[1]) || link.players;
  show("full", "all players in use", `${reason ? sentence(reason) : "All players are in use"}. ` +
    "Take one over:");
  takeOverChoice.replaceChildren(...Array.from({ length: count }, (_, i) => {
    const button = document.createElement("button");
    button.textContent = String(i + 1);
    button.setAttribute("aria-label", `take over player ${i + 1}`);
    button.style.setProperty("--player", colourOf(i + 1));
    button.addEventListener("click", () => {
      link.takeOver = i + 1;
      link.player = i + 1;
      link.retryDelay = 250;
      connect();
    });
    return button;
  }));
  takeOverChoice.hidden = false;
}
