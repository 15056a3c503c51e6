// Finger to datagram: a touch move dispatched through the DevTools protocol in headless
// Chromium, until its datagram arrives from joywire-send --web. Twice: on 127.0.0.1, a secure
// page where the controller takes the browser's raw pointer updates, and on a LAN address
// (10.200.0.1, on the loopback of the namespace scripts/bench runs this in), where only
// frame-aligned pointer moves exist; their difference is the browser's own frame pacing.
//   node finger_to_datagram.mjs JOYWIRE_SEND [MOVES]
import { spawn } from "node:child_process";
import dgram from "node:dgram";
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
const server = spawn(program, ["--web", "--web-port", String(webPort),
  "--port", String(receiver.address().port)], { stdio: ["ignore", "pipe", "inherit"] });
const token = await new Promise((resolve) => {
  let text = "";
  server.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/#([A-Za-z0-9_-]{22})\n/);
    if (found) resolve(found[1]);
  });
});
const browser = await puppeteer.launch({
  executablePath: process.env.JOYWIRE_CHROMIUM || "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-background-networking", "--no-first-run"],
});

const percentile = (values, fraction) =>
  [...values].sort((a, b) => a - b)[Math.round(fraction * (values.length - 1))];

async function measure(host) {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await page.goto(`http://${host}:${webPort}/#${token}`);
  await page.waitForSelector('#connection[data-state="connected"]');
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

const [wakes, messages] = await idle();
const trip = await roundTrip();
const raw = await measure("127.0.0.1");
const framed = await measure("10.200.0.1");
console.log(`== an untouched page: ${wakes.toFixed(1)} wake-ups and ${messages.toFixed(1)} messages a second`);
console.log(`== finger to datagram in headless Chromium (${moves} touch moves each)`);
for (const [name, times] of [["raw pointer updates (secure page)", raw], ["frame-aligned moves (LAN address)", framed]]) {
  console.log(`  ${name.padEnd(36)} p50 ${percentile(times, 0.5).toFixed(1).padStart(5)} ms   p95 ${percentile(times, 0.95).toFixed(1).padStart(5)} ms`);
}
console.log(`  ${"a DevTools round trip, for scale".padEnd(36)} p50 ${percentile(trip, 0.5).toFixed(1).padStart(5)} ms   p95 ${percentile(trip, 0.95).toFixed(1).padStart(5)} ms`);
console.log(`  the browser's frame pacing: ${(percentile(framed, 0.5) - percentile(raw, 0.5)).toFixed(1)} ms at p50, ` +
  `${(percentile(framed, 0.95) - percentile(raw, 0.95)).toFixed(1)} ms at p95   (goal: p95 within 20 ms)`);
await browser.close();
server.kill("SIGTERM");
receiver.close();
