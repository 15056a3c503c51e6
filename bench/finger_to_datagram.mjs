// Finger to datagram: a touch move dispatched through the DevTools protocol in headless
// Chromium, until its datagram arrives from joywire-send --web. On 127.0.0.1, a secure page
// where the controller takes the browser's raw pointer updates, over the data channel and over
// the WebSocket (a second joywire-send, --no-datagrams); and on a LAN address (10.200.0.1, on the
// loopback of the namespace scripts/bench runs this in, which also has a veth pair for the
// default route, where Chromium gathers its candidates), where only frame-aligned pointer moves
// exist; their difference is the browser's own frame pacing. And joywire-send's own wake-ups a
// second (every thread's context switches) with no phone, and with a page idle on each path.
//   node finger_to_datagram.mjs JOYWIRE_SEND [MOVES]
import { spawn } from "node:child_process";
import dgram from "node:dgram";
import { readdirSync, readFileSync } from "node:fs";
import { createRequire } from "node:module";

const require = createRequire(new URL("../tests/web/package.json", import.meta.url));
const puppeteer = require("puppeteer-core");
const [program, movesText] = process.argv.slice(2);
const moves = Number(movesText || 200);
const webPort = 18419;

const receiver = dgram.createSocket("udp4");
let waiting = null;
receiver.on("message", (bytes) => waiting?.(bytes.readFloatLE(0)));
await new Promise((r) => receiver.bind(0, "127.0.0.1", r));
const serve = async (port, more = []) => {
  const child = spawn(program, ["--web", "--web-port", String(port), ...more,
    "--port", String(receiver.address().port)], { stdio: ["ignore", "pipe", "inherit"] });
  child.token = await new Promise((resolve) => {
    let text = "";
    child.stdout.on("data", (chunk) => {
      text += chunk;
      const found = text.match(/#([A-Za-z0-9_-]{22})\n/);
      if (found) resolve(found[1]);
    });
  });
  return child;
};
const server = await serve(webPort);
const streamOnly = await serve(webPort + 1, ["--no-datagrams"]);
const token = server.token;
const browser = await puppeteer.launch({
  executablePath: process.env.JOYWIRE_CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--no-first-run",
    "--disable-features=WebRtcHideLocalIpsWithMdns"],
});
// The context switches of every thread of `pid` so far.
const switches = (pid) => readdirSync(`/proc/${pid}/task`).reduce((sum, task) => sum +
  [...readFileSync(`/proc/${pid}/task/${task}/status`, "utf8").matchAll(/ctxt_switches:\s+(\d+)/g)]
    .reduce((all, [, n]) => all + Number(n), 0), 0);
async function wakeups(pid, seconds = 5) {
  const before = switches(pid);
  await new Promise((r) => setTimeout(r, seconds * 1000));
  return (switches(pid) - before) / seconds;
}

const percentile = (values, fraction) =>
  [...values].sort((a, b) => a - b)[Math.round(fraction * (values.length - 1))];

// A connected page of `child`'s, its messages on `path` ("datagrams" or "stream").
async function connected(host, child, path) {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await page.goto(`http://${host}:${child === server ? webPort : webPort + 1}/#${child.token}`);
  await page.waitForSelector('#connection[data-state="connected"]');
  await page.waitForFunction((want) => document.querySelector("#connection").textContent.endsWith(want), {}, path);
  return page;
}

async function measure(host, child = server, path = "datagrams") {
  const page = await connected(host, child, path);
  const cdp = await page.createCDPSession();
  const stick = await page.$eval("#stick", (e) => JSON.parse(JSON.stringify(e.getBoundingClientRect())));
  const centre = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  await cdp.send("Input.dispatchTouchEvent", { type: "touchStart", touchPoints: [centre] });
  const times = [];
  for (let i = 0; i < moves; ++i) {
    const dx = 20 + (i % 40);  // a new position every time, so every move is a change
    const arrived = new Promise((resolve) => {
      waiting = (x) => { if (x > 0.05) resolve(performance.now()); };
    });
    const start = performance.now();
    await cdp.send("Input.dispatchTouchEvent", { type: "touchMove", touchPoints: [{ ...centre, x: centre.x + dx }] });
    times.push((await arrived) - start);
    waiting = null;
    await cdp.send("Input.dispatchTouchEvent", { type: "touchMove", touchPoints: [centre] });
    await new Promise((r) => setTimeout(r, 20));
  }
  await cdp.send("Input.dispatchTouchEvent", { type: "touchEnd", touchPoints: [] });
  await page.close();
  return times;
}

// The DevTools round trip alone, for scale: a command the page answers at once.
async function roundTrip() {
  const page = await browser.newPage();
  const cdp = await page.createCDPSession();
  const times = [];
  for (let i = 0; i < moves; ++i) {
    const start = performance.now();
    await cdp.send("Runtime.evaluate", { expression: "1" });
    times.push(performance.now() - start);
  }
  await page.close();
  return times;
}

// An untouched, connected page: how often it wakes (timers and intervals that fire) and sends.
async function idle(seconds = 5) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(() => {
    window.wakes = 0;
    for (const name of ["setTimeout", "setInterval"]) {
      const original = window[name];
      window[name] = (callback, ...rest) => original(() => { ++window.wakes; callback(); }, ...rest);
    }
  });
  await page.goto(`http://127.0.0.1:${webPort}/#${token}`);
  await page.waitForSelector('#connection[data-state="connected"]');
  let messages = 0;
  waiting = () => { ++messages; };
  const wakes = await page.evaluate(async (ms) => {
    const before = window.wakes;
    await new Promise((r) => requestAnimationFrame(() => r()));
    return new Promise((r) => window.setTimeout.call(window, () => r(window.wakes - before - 1), ms));
  }, seconds * 1000);
  waiting = null;
  await page.close();
  return [wakes / seconds, messages / seconds];
}

const serverIdle = await wakeups(server.pid);
const idlePages = [];
for (const [child, path] of [[server, "datagrams"], [streamOnly, "stream"]]) {
  const page = await connected("127.0.0.1", child, path);
  idlePages.push([path, await wakeups(child.pid)]);
  if (path === "datagrams") {  // 10 s without a change closes the channel
    await page.waitForFunction(() => document.querySelector("#connection").textContent.endsWith("stream"), { timeout: 15000 });
    await new Promise((r) => setTimeout(r, 2000));  // its threads ended (they take their counts along)
    idlePages.push(["datagrams once its channel closed for idleness", await wakeups(child.pid)]);
  }
  await page.close();
}
// joywire-send's resident memory with 16 players, each phone on a data channel.
const sixteen = await serve(webPort + 2, ["--players", "16"]);
const residentKiB = () => Number(readFileSync(`/proc/${sixteen.pid}/status`, "utf8").match(/VmRSS:\s+(\d+)/)[1]);
const alone = residentKiB();
const phones = [];
for (let i = 0; i < 16; ++i) {
  const page = await (await browser.createBrowserContext()).newPage();
  await page.goto(`http://127.0.0.1:${webPort + 2}/#${sixteen.token}`);
  await page.waitForFunction(() => document.querySelector("#connection").textContent.endsWith("datagrams"));
  phones.push(page);
}
const withSixteen = residentKiB();
for (const page of phones) await page.browserContext().close();
sixteen.kill("SIGTERM");
const [wakes, messages] = await idle();
const trip = await roundTrip();
const raw = await measure("127.0.0.1");
const rawStream = await measure("127.0.0.1", streamOnly, "stream");
const framed = await measure("10.200.0.1");
console.log(`== an untouched page: ${wakes.toFixed(1)} wake-ups and ${messages.toFixed(1)} messages a second`);
console.log(`== joywire-send's wake-ups a second: no phone ${serverIdle.toFixed(1)}; ` +
  idlePages.map(([path, rate]) => `an untouched page on ${path} ${rate.toFixed(1)}`).join("; "));
console.log(`== joywire-send's resident memory: ${(alone / 1024).toFixed(1)} MiB alone, ` +
  `${(withSixteen / 1024).toFixed(1)} MiB with 16 phones on data channels`);
console.log(`== finger to datagram in headless Chromium (${moves} touch moves each)`);
for (const [name, times] of [["raw pointer updates (secure page)", raw], ["the same over the WebSocket", rawStream],
  ["frame-aligned moves (LAN address)", framed]]) {
  console.log(`  ${name.padEnd(36)} p50 ${percentile(times, 0.5).toFixed(1).padStart(5)} ms   p95 ${percentile(times, 0.95).toFixed(1).padStart(5)} ms`);
}
console.log(`  ${"a DevTools round trip, for scale".padEnd(36)} p50 ${percentile(trip, 0.5).toFixed(1).padStart(5)} ms   p95 ${percentile(trip, 0.95).toFixed(1).padStart(5)} ms`);
console.log(`  the browser's frame pacing: ${(percentile(framed, 0.5) - percentile(raw, 0.5)).toFixed(1)} ms at p50, ` +
  `${(percentile(framed, 0.95) - percentile(raw, 0.95)).toFixed(1)} ms at p95   (goal: p95 within 20 ms)`);
await browser.close();
server.kill("SIGTERM");
streamOnly.kill("SIGTERM");
receiver.close();
