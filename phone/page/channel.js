// The data channel: the page's state messages as unordered datagrams that are never sent again,
// so that a lost packet holds nothing up (over the WebSocket's TCP it holds every later one
// until it comes again). Offered over the WebSocket, which carries the offer, the answer and the
// candidates, and stays the way messages go, at once, whenever the channel is not open: no
// WebRTC in this browser, UDP blocked, the channel closed, joywire-send without them.
// On the channel each message is its sequence number (4 bytes, little-endian) and the record.
import { roundTrip, showPath } from "./link.js";
import { rumbleSaid } from "./rumble.js";

const kOpenWithinMs = 5000;

let peer = null;      // this page's one RTCPeerConnection, while offered or open
let channel = null;   // its channel, once open
let sequence = 0;
let pending = [];     // joywire-send's candidates that came before its answer
let lost = () => {};  // what to do when an open channel is lost
const sentAt = new Float64Array(64);  // when each of the last messages left, by number

export function closeChannel() {
  const had = channel !== null;
  channel = null;
  if (peer) peer.close();
  peer = null;
  pending = [];
  if (had) showPath("stream");
  return had;
}

export function channelOpen() {
  return channel !== null;
}

// Offers a channel over `socket`, once it has joined as a player; `onLost` is called when an
// open channel is lost. joywire-send acknowledges a message now and then by its number, over
// the channel: the round trip of this path, told back over the WebSocket.
export async function offerChannel(socket, onLost) {
  closeChannel();
  lost = onLost;
  if (typeof RTCPeerConnection !== "function") return;
  const offered = new RTCPeerConnection({ iceServers: [] });
  peer = offered;
  const opening = offered.createDataChannel("joywire", { ordered: false, maxRetransmits: 0 });
  opening.binaryType = "arraybuffer";
  offered.onicecandidate = ({ candidate }) => {
    if (candidate && candidate.candidate && socket.readyState === WebSocket.OPEN) {
      socket.send(`candidate ${candidate.sdpMLineIndex ?? 0} ${candidate.candidate}`);
    }
  };
  opening.onopen = () => {
    if (peer !== offered) return;
    channel = opening;
    sequence = 0;
    showPath("datagrams");
  };
  opening.onmessage = (event) => {
    if (rumbleSaid(String(event.data))) return;
    const acked = Number(String(event.data).match(/^ack (\d+)$/)?.[1] ?? 0);
    if (acked > 0 && sequence - acked < sentAt.length && socket.readyState === WebSocket.OPEN) {
      const median = roundTrip(performance.now() - sentAt[acked % sentAt.length]);
      socket.send(`rtt ${Math.min(median, 60000)}`);
    }
  };
  // Closing or closed, or the network gone from under it (UDP blocked now, another Wi-Fi): the
  // next message goes over the WebSocket.
  opening.onclosing = opening.onclose = () => {
    if (peer === offered && closeChannel()) lost();
  };
  offered.onconnectionstatechange = () => {
    const gone = ["disconnected", "failed", "closed"].includes(offered.connectionState);
    if (gone && peer === offered && closeChannel()) lost();
  };
  setTimeout(() => {
    if (peer === offered && channel === null) closeChannel();  // on the WebSocket it stays
  }, kOpenWithinMs);
  try {
    await offered.setLocalDescription(await offered.createOffer());
    if (peer === offered && socket.readyState === WebSocket.OPEN) {
      socket.send(`offer ${offered.localDescription.sdp}`);
    }
  } catch (error) {
    if (peer === offered) closeChannel();
  }
}

// What joywire-send said of the channel over the WebSocket; false when it was not about it.
export function channelSignal(text) {
  const answer = text.match(/^answer (.*)$/s);
  const candidate = text.match(/^candidate (\d+) (.*)$/s);
  if (answer) {
    const answered = peer;
    answered?.setRemoteDescription({ type: "answer", sdp: answer[1] }).then(() => {
      for (const one of pending) answered.addIceCandidate(one).catch(() => {});
      pending = [];
    }, () => answered === peer && closeChannel());
  } else if (candidate) {
    const one = { candidate: candidate[2], sdpMLineIndex: Number(candidate[1]) };
    if (peer?.remoteDescription) peer.addIceCandidate(one).catch(() => {});
    else if (peer) pending.push(one);
  } else if (/^datagrams off/.test(text)) {
    closeChannel();
  } else {
    return false;
  }
  return true;
}

// `bytes` (an ArrayBuffer) over the channel, numbered; false when there is no channel open.
export function sendOnChannel(bytes) {
  if (channel === null) return false;
  if (channel.readyState !== "open") {  // closing, before it says so
    if (closeChannel()) lost();
    return false;
  }
  const numbered = new Uint8Array(4 + bytes.byteLength);
  new DataView(numbered.buffer).setUint32(0, ++sequence >>> 0, true);
  sentAt[sequence % sentAt.length] = performance.now();
  numbered.set(new Uint8Array(bytes), 4);
  channel.send(numbered);
  return true;
}
