// The phone controller page in a real browser (Debian's Chromium at phone size, with touch),
// against joywire-send --web and a UDP receiver of the test's own on loopback.
//   JOYWIRE_SEND=path/to/joywire-send [JOYWIRE_LAUNCHER="wine-run"] node --test controller.test.mjs
import assert from "node:assert/strict";
import { spawn } from "node:child_process";
import dgram from "node:dgram";
import http from "node:http";
import net from "node:net";
import { after, before, test } from "node:test";
import puppeteer from "puppeteer-core";

const launcher = (process.env.JOYWIRE_LAUNCHER || "").split(" ").filter(Boolean);
const lanName = "joywire-lan.test";  // mapped to 127.0.0.1: an origin that looks like the LAN
const phone = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true };

let receiver, server, browser, web, token;
const datagrams = [];  // { values, time }

function freePort() {
  return new Promise((resolve) => {
    const probe = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = probe.address();
      probe.close(() => resolve(port));
    });
  });
}

// Until a datagram arrives, after `since`, whose values pass `wanted`; its arrival time.
async function datagram(wanted, since = 0, ms = 3000) {
  const deadline = Date.now() + ms;
  while (Date.now() < deadline) {
    const found = datagrams.find((d) => d.time >= since && wanted(d.values));
    if (found) return found;
    await new Promise((r) => setTimeout(r, 5));
  }
  const last = datagrams.slice(-3).map((d) => d.values.map((v) => v.toFixed(3)).join(" "));
  assert.fail(`no such datagram within ${ms} ms; the last ones: ${last.join(" | ")}`);
}
const near = (a, b) => Math.abs(a - b) < 0.02;
const is = (x, y, z, b1, b2) => (v) =>
  [x, y, z, b1, b2].every((want, i) => want === undefined || near(v[i], want));

async function openPage(host = "127.0.0.1") {
  const page = await browser.newPage();
  await page.setViewport(phone);
  await page.goto(`http://${host}:${web}/#${token}`);
  await page.waitForSelector('#connection[data-state="connected"]');
  return page;
}

// Touches as the phone's screen reports them: each point { x, y, id }. One DevTools session a
// page, which keeps the fingers that are down.
async function touch(page, type, points = []) {
  page.cdp ??= await page.createCDPSession();
  await page.cdp.send("Input.dispatchTouchEvent", { type, touchPoints: points });
}
const box = (page, selector) =>
  page.$eval(selector, (e) => JSON.parse(JSON.stringify(e.getBoundingClientRect())));

before(async () => {
  receiver = dgram.createSocket("udp4");
  receiver.on("message", (bytes) => {
    const values = [0, 1, 2, 3, 4].map((i) => bytes.readFloatLE(4 * i));
    datagrams.push({ values, time: performance.now() });
  });
  await new Promise((r) => receiver.bind(0, "127.0.0.1", r));
  web = await freePort();
  const program = launcher.length ? launcher[0] : process.env.JOYWIRE_SEND;
  server = spawn(program, [...launcher.slice(1), ...(launcher.length ? [process.env.JOYWIRE_SEND] : []),
    "--web", "--web-address", "127.0.0.1", "--web-port", String(web),
    "--port", String(receiver.address().port)], { stdio: ["ignore", "pipe", "inherit"] });
  server.log = "";
  token = await new Promise((resolve, reject) => {
    server.stdout.on("data", (text) => {
      server.log += text;
      const line = server.log.match(/http:\/\/127\.0\.0\.1:\d+\/#([A-Za-z0-9_-]{22,})\r?\n/);
      if (line) resolve(line[1]);
    });
    server.on("exit", (code) => reject(new Error(`joywire-send ended (${code}): ${server.log}`)));
  });
  browser = await puppeteer.launch({
    executablePath: process.env.JOYWIRE_CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync",
      `--host-resolver-rules=MAP ${lanName} 127.0.0.1`],
  });
});

after(async () => {
  await browser?.close();
  server?.kill("SIGTERM");
  receiver?.close();
});

test("two fingers move the stick and the throttle at once; the stick centres on release", async (t) => {
  const page = await openPage();
  if (process.env.JOYWIRE_SCREENSHOT) await page.screenshot({ path: process.env.JOYWIRE_SCREENSHOT });
  const stick = await box(page, "#stick");
  const throttle = await box(page, "#throttle");
  const r = Math.min(stick.width, stick.height) / 2;
  const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  const z = { x: throttle.x + throttle.width / 2, id: 2 };
  await touch(page, "touchStart", [at, { ...z, y: throttle.y + throttle.height * 0.9 }]);
  const since = performance.now();
  await touch(page, "touchMove", [{ ...at, x: at.x + 0.6 * r, y: at.y - 0.3 * r },
    { ...z, y: throttle.y + throttle.height * 0.25 }]);
  await datagram(is(0.6, -0.3, 0.5), since);  // right is X+, up is a lower Y, 1/4 down is 0.5
  await touch(page, "touchMove", [{ ...at, x: at.x + 2 * r, y: at.y + 2 * r },
    { ...z, y: throttle.y + throttle.height * 0.25 }]);
  await datagram(is(Math.SQRT1_2, Math.SQRT1_2, 0.5), since);  // clamped to the circle
  const released = performance.now();
  await touch(page, "touchEnd");
  await datagram(is(0, 0, 0.5, 0, 0), released);  // centred; the throttle stays
  await page.close();
});

test("a button is pressed while touched", async () => {
  const page = await openPage();
  const button = await box(page, "#button2");
  const since = performance.now();
  await touch(page, "touchStart", [{ x: button.x + 10, y: button.y + 10, id: 1 }]);
  await datagram(is(undefined, undefined, undefined, 0, 1), since);
  const released = performance.now();
  await touch(page, "touchEnd");
  await datagram(is(undefined, undefined, undefined, 0, 0), released);
  await page.close();
});

test("tilt on a secure page moves X and Y, 30 degrees for full deflection", async () => {
  const page = await openPage();
  assert.equal(await page.$eval("#tilt", (e) => e.disabled), false);
  await page.click(".switch");
  page.cdp ??= await page.createCDPSession();
  const tilt = async (beta, gamma) => {  // until the page has had the reading
    const seen = page.evaluate(() => new Promise((r) => addEventListener("deviceorientation", r, { once: true })));
    await page.cdp.send("DeviceOrientation.setDeviceOrientationOverride", { alpha: 0, beta, gamma });
    await seen;
  };
  const since = performance.now();
  await tilt(60, 0);  // the first reading is the reference: held as at the switch
  await datagram(is(0, 0), since);
  await tilt(45, 15);  // the right edge down 15, the top edge away 15: right and forward
  await datagram(is(0.5, -0.5), since);
  await tilt(80, -50);  // clamped on X; back towards the player by 20 on Y
  await datagram(is(-1, 2 / 3), since);
  await page.close();
});

test("on a LAN address tilt is disabled, and says why, while the stick works", async () => {
  const page = await openPage(lanName);
  assert.equal(await page.$eval("#tilt", (e) => e.disabled), true);
  assert.match(await page.$eval("#note", (e) => (e.hidden ? "" : e.textContent)), /secure/);
  const stick = await box(page, "#stick");
  const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  const since = performance.now();
  await touch(page, "touchStart", [at]);
  await touch(page, "touchMove", [{ ...at, x: at.x - stick.width / 4 }]);
  await datagram((v) => v[0] < -0.3, since);
  await touch(page, "touchEnd");
  await page.close();
});

test("a page closed, or frozen with its socket open, gives the neutral datagram within 1 s", async () => {
  for (const end of ["close", "freeze"]) {
    const page = await openPage();
    const stick = await box(page, "#stick");
    const throttle = await box(page, "#throttle");
    const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
    const since = performance.now();
    await touch(page, "touchStart", [at, { x: throttle.x + 5, y: throttle.y + 5, id: 2 }]);
    await touch(page, "touchMove", [{ ...at, x: at.x + 40 }, { x: throttle.x + 5, y: throttle.y + 5, id: 2 }]);
    await datagram((v) => v[0] > 0.1 && v[2] > 0.9, since);
    const ended = performance.now();
    if (end === "close") {
      await page.close();
    } else {
      page.cdp ??= await page.createCDPSession();
      await page.cdp.send("Page.setWebLifecycleState", { state: "frozen" });
    }
    const neutral = await datagram(is(0, 0, undefined, 0, 0), ended, 1000);
    assert.ok(neutral.values[2] > 0.9, `${end}: the throttle is kept (${neutral.values[2]})`);
    if (end === "freeze") await page.close();
  }
});

test("a wrong token or a foreign origin gets 403; a bad message closes, nothing forwarded", async () => {
  const upgrade = (target, origin) => new Promise((resolve) => {
    http.get({ host: "127.0.0.1", port: web, path: target, headers: {
      Connection: "Upgrade", Upgrade: "websocket", "Sec-WebSocket-Version": "13",
      "Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ==", Origin: origin } })
      .on("response", (response) => resolve(response.statusCode))
      .on("upgrade", (response, socket) => { socket.destroy(); resolve(101); });
  });
  const own = `http://127.0.0.1:${web}`;
  assert.equal(await upgrade(`/ws?token=${token}`, own), 101);
  assert.equal(await upgrade("/ws?token=wrong", own), 403);
  assert.equal(await upgrade("/ws", own), 403);
  assert.equal(await upgrade(`/ws?token=${token}`, "http://elsewhere.test"), 403);

  // A header past the limit, and a connection past the cap (16 open), are cut off at once.
  const cutOff = (text) => new Promise((resolve) => {
    const socket = net.connect(web, "127.0.0.1", () => text && socket.write(text));
    let answer = "";
    socket.on("data", (d) => { answer += d; });
    socket.on("close", () => resolve(answer));
    socket.on("error", () => {});
    if (!text) setTimeout(() => resolve(socket), 200);  // still open: handed back
  });
  assert.doesNotMatch(await cutOff(`GET / HTTP/1.1\r\nHost: x\r\nX: ${"a".repeat(8000)}\r\n\r\n`), /200 OK/);
  const idle = [];
  let refused = false;
  while (!refused && idle.length <= 16) {
    const socket = await cutOff("");
    if (typeof socket === "string") refused = true; else idle.push(socket);
  }
  idle.forEach((socket) => socket.destroy());
  assert.ok(refused, `${idle.length} idle connections held open`);

  const page = await openPage();
  const since = performance.now();
  const codes = await page.evaluate(async (token) => {
    const closeCode = (bytes) => new Promise((resolve) => {
      const socket = new WebSocket(`ws://${location.host}/ws?token=${token}`);
      socket.onopen = () => socket.send(bytes);
      socket.onclose = (event) => resolve(event.code);
    });
    const marked = new Float32Array([0.123, 0.456, 0.789, 1, 0]);
    const longer = new Uint8Array(21);
    longer.set(new Uint8Array(marked.buffer));
    return [await closeCode(longer), await closeCode(new Float32Array([0.123, NaN, 0, 0, 0]))];
  }, token);
  assert.deepEqual(codes, [1008, 1007]);
  await new Promise((r) => setTimeout(r, 300));
  assert.ok(!datagrams.some((d) => d.time >= since && near(d.values[0], 0.123)), "forwarded");
  await page.close();
});
