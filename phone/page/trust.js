"use strict";
// The way on to the controller, over HTTPS on this host; the token, if this page came with
// it after the '#', never reaches any server.
const link = document.getElementById("controller");
link.href = `https://${location.hostname}:${link.dataset.port}/${location.hash}`;
document.getElementById("no-token").hidden = location.hash.length > 1;
// In place of this page, so that a swipe from the left edge (where the stick is) on iOS
// does not go back here.
link.addEventListener("click", (event) => {
  event.preventDefault();
  location.replace(link.href);
});
