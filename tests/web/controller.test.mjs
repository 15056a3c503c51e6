// The phone controller page in a real browser (Debian's Chromium at phone size, with touch),
// against joywire-send --web and a UDP receiver of the test's own on loopback.
//   JOYWIRE_SEND=path/to/joywire-send [JOYWIRE_LAUNCHER="wine-run"] node --test controller.test.mjs
// In a network namespace whose loopback also carries 10.200.0.1 (a LAN address) and, for HTTPS,
// 203.0.113.7. With JOYWIRE_HTTPS=1: the same over HTTPS on 10.200.0.1, the browser trusting the
// certificate authority that joywire-send offers on its plain-HTTP port, and what HTTPS adds.
import assert from "node:assert/strict";
import { execFileSync, spawn } from "node:child_process";
import { X509Certificate, createPrivateKey } from "node:crypto";
import dgram from "node:dgram";
import { once } from "node:events";
import { chmodSync, cpSync, mkdtempSync, readFileSync, statSync, writeFileSync } from "node:fs";
import http from "node:http";
import https from "node:https";
import net from "node:net";
import { hostname, tmpdir } from "node:os";
import { dirname, join } from "node:path";
import { after, before, test } from "node:test";
import tls from "node:tls";
import puppeteer from "puppeteer-core";
import { launchWebKit } from "./webkit-page.mjs";

const launcher = (process.env.JOYWIRE_LAUNCHER || "").split(" ").filter(Boolean);
// The engine: Chromium; Firefox (JOYWIRE_BROWSER=firefox, over WebDriver BiDi); or WebKitGTK
// (JOYWIRE_BROWSER=webkit, over classic WebDriver, under Xvfb). In the last two the page's own
// cases run and the server's, shown once in Chromium, are skipped. What an engine cannot show:
// - Firefox's WebDriver sets no device orientation, and cannot freeze a page;
// - WebKitGTK's WebDriver has one pointer, a mouse (no second finger, no fingertip's radius), no
//   orientation events, no browser profiles beside each other (the players' case), and its
//   window is never narrower than 447 px;
// - none has navigator.vibrate, and none of them is a phone's Safari (see the README).
const engine = process.env.JOYWIRE_BROWSER || "chromium";
const [firefox, webkit] = [engine === "firefox", engine === "webkit"];
const serverCase = { skip: engine !== "chromium" && "the server's, shown in Chromium" };
// JOYWIRE_CASES=server (the sanitized, arm64 and Windows builds): what only the page does runs
// natively only, whatever build serves it; the server's cases and the page's through it run.
const serverOnly = process.env.JOYWIRE_CASES === "server" && "the page's own, shown natively";
const pageCase = { skip: serverOnly };
const onePointer = { skip: (webkit && "WebKitGTK's WebDriver has one pointer") || serverOnly };
const secure = process.env.JOYWIRE_HTTPS === "1";
const lan = "10.200.0.1";  // as a phone on the LAN reaches the machine
const host = secure ? lan : "127.0.0.1";
const scheme = secure ? "https" : "http";
const wine = launcher.some((part) => part.includes("wine"));
const phone = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
const scratch = mkdtempSync(join(tmpdir(), "joywire-web-"));
const config = join(scratch, "config");  // joywire-send's configuration folder (not under wine)
const ownName = `${hostname().toLowerCase()}.local`;  // as mDNS answers for this machine

let receiver, server, browser, web, trust, token, authority;
const datagrams = [];  // { values, time }

// joywire-send --web on every address at `port` (and `trustPort`), its output (both streams) in
// .log; `started` resolves with the token once its addresses and QR code are out. `terminal`:
// run by script(1), with a terminal for its output.
function startSender(port, trustPort, { configHome = config, terminal = false, more = [], udp = receiver } = {}) {
  let command = [...launcher, process.env.JOYWIRE_SEND, "--web", "--web-port", String(port), ...more,
    "--port", String(udp.address().port), "--qr",
    ...(secure ? ["--https", "--http-port", String(trustPort)] : [])];
  if (terminal) command = ["script", "-qfec", command.map((a) => `'${a}'`).join(" "), "/dev/null"];
  const child = spawn(command[0], command.slice(1), { stdio: "pipe", detached: terminal,
    env: { ...process.env, XDG_CONFIG_HOME: configHome, OPENSSL_CONF: join(scratch, "openssl.cnf") } });
  child.log = "";
  // Its end, once what it wrote is read: "exit" may come before the last of its output. (A time
  // limit raced against an event, here and below, is unref'd: once the event came it holds the
  // suite's end up no longer.)
  const drained = (out) => out.readableEnded || Promise.race([once(out, "end"), new Promise((r) => setTimeout(r, 2000).unref())]);
  child.ended = once(child, "exit").then(async (end) => (await Promise.all([drained(child.stdout), drained(child.stderr)]), end));
  child.started = new Promise((resolve, reject) => {
    const gather = (text) => {
      child.log += text;
      const line = child.log.match(/(https?:\/\/[0-9.]+:\d+\/#([A-Za-z0-9_-]{22,}))\r?\n/);
      if (line && /\[0m\r?\n(?!.*\[30;107m)/s.test(child.log)) {  // and its QR code
        child.url = line[1];
        resolve(line[2]);
      }
    };
    child.stdout.setEncoding("utf8").on("data", gather);  // whole characters, however cut
    child.stderr.setEncoding("utf8").on("data", gather);
    child.on("exit", (code) => reject(new Error(`joywire-send ended (${code}): ${child.log}`)));
  });
  child.started.catch(() => {});  // a start that is to fail is awaited by its end
  return child;
}

// The body of a plain-HTTP GET.
function fetchPlain(port, path) {
  return new Promise((resolve, reject) => {
    http.get({ host, port, path }, (response) => {
      const chunks = [];
      response.on("data", (chunk) => chunks.push(chunk));
      response.on("end", () => resolve(Buffer.concat(chunks)));
    }).on("error", reject);
  });
}

// A port free now and never handed out before in this run (the system may offer one twice).
const handedOut = new Set();
async function freePort() {
  for (;;) {
    const port = await new Promise((resolve) => {
      const probe = net.createServer().listen(0, "127.0.0.1", () => {
        const { port: free } = probe.address();
        probe.close(() => resolve(free));
      });
    });
    if (!handedOut.has(port)) return handedOut.add(port), port;
  }
}

// Until a datagram arrives, after `since`, whose values pass `wanted`; its arrival time.
async function datagram(wanted, since = 0, ms = 3000) {
  const deadline = Date.now() + ms;
  while (Date.now() < deadline) {
    const found = datagrams.find((d) => d.time >= since && wanted(d.values, d.bytes));
    if (found) return found;
    await new Promise((r) => setTimeout(r, 5));
  }
  const last = datagrams.slice(-3).map((d) => d.values.map((v) => v.toFixed(3)).join(" "));
  assert.fail(`no such datagram within ${ms} ms; the last ones: ${last.join(" | ")}`);
}
const near = (a, b) => Math.abs(a - b) < 0.02;
const is = (x, y, z, b1, b2) => (v) =>
  [x, y, z, b1, b2].every((want, i) => want === undefined || near(v[i], want));

async function openPage(name = host, port = web, pageToken = token) {
  const page = await browser.newPage();
  await page.setViewport(phone);
  await page.goto(`${scheme}://${name}:${port}/#${pageToken}`);
  await page.waitForSelector('#connection[data-state="connected"]');
  return page;
}

// Touches as the phone's screen reports them: each point { x, y, id } (and a fingertip's
// radiusX, radiusY). In Chromium one DevTools session a page, which keeps the fingers that are
// down; in Firefox a WebDriver touch a finger (no radius), kept by its id.
const clampTo = (value, size) => Math.max(0, Math.min(size - 1, Math.round(value)));
async function touch(page, type, points = []) {
  if (webkit) return page.touch(type, points);
  if (!firefox) {
    page.cdp ??= await page.createCDPSession();
    await page.cdp.send("Input.dispatchTouchEvent", { type, touchPoints: points });
    return;
  }
  if (!page.fingers) await page.bringToFront();  // only the tab in front takes touches
  page.fingers ??= new Map();
  const ids = new Set(points.map((p) => p.id ?? 0));
  // Past the screen's edge a finger stays on it (WebDriver refuses a point outside).
  const { width, height } = page.viewport();
  points = points.map((p) => ({ ...p, x: clampTo(p.x, width), y: clampTo(p.y, height) }));
  for (const [id, finger] of page.fingers) {
    if (type === "touchEnd" && !ids.has(id)) await finger.end(), page.fingers.delete(id);
  }
  for (const point of points) {
    const finger = page.fingers.get(point.id ?? 0);
    if (finger && type === "touchMove") await finger.move(point.x, point.y);
    if (!finger && type === "touchStart") page.fingers.set(point.id ?? 0, await page.touchscreen.touchStart(point.x, point.y));
  }
}
// A stick's full deflection from a thumb that lands in its middle: the stick travel (80 px),
// or less in a smaller pad.
const travelOf = (at) => Math.max(16, Math.min(80, at.width / 2 - 4, at.height / 2 - 4));
const box = (page, selector) =>
  page.$eval(selector, (e) => JSON.parse(JSON.stringify(e.getBoundingClientRect())));

// Full right on the stick with button 1 held, on a page of its own (of `port`, `pageToken`).
async function holdRightAndButton(port = web, pageToken = token) {
  const page = await openPage(host, port, pageToken);
  const [stick, button] = [await box(page, "#stick"), await box(page, "#button1")];
  const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  const press = { x: button.x + 10, y: button.y + 10, id: 2 };
  const since = performance.now();
  await touch(page, "touchStart", [at, press]);
  await touch(page, "touchMove", [{ ...at, x: at.x + stick.width }, press]);
  await datagram(is(1, 0, undefined, 1, 0), since);
  return page;
}
const neutral = is(0, 0, undefined, 0, 0);

// A connection to the page's port, plain or TLS as the page is.
// `allowHalfOpen`: a peer that answers no close with its own (its side stays open).
async function connectTo(port = web, localAddress = undefined, allowHalfOpen = false) {
  const socket = secure && port !== trust ? tls.connect({ host, port, ca: authority, localAddress, allowHalfOpen })
    : net.connect({ port, host, localAddress, allowHalfOpen });
  socket.on("error", () => {});
  socket.resume();  // what it is sent is read, so that its end is seen
  await once(socket, secure && port !== trust ? "secureConnect" : "connect");
  return socket;
}

// The WebSocket upgrade, with `more` headers.
const upgradeRequest = (port = web, pageToken = token, more = "") =>
  `GET /ws?token=${pageToken} HTTP/1.1\r\nHost: ${host}:${port}\r\n${more}Connection: Upgrade\r\n` +
  "Upgrade: websocket\r\nSec-WebSocket-Version: 13\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";

// A WebSocket controller of our own, with the token, that answers nothing.
async function rawController(port = web, pageToken = token, allowHalfOpen = false) {
  const socket = await connectTo(port, undefined, allowHalfOpen);
  socket.write(upgradeRequest(port, pageToken));
  const [answer] = await Promise.race([once(socket, "data"), once(socket, "close")]);
  assert.match(String(answer), /^HTTP\/1.1 101/, "the upgrade with the token");
  return socket;
}

// A client's WebSocket frame (masked, with a key of zeros): binary, or of `opcode`.
const frame = (payload, opcode = 0x82) =>
  Buffer.concat([Buffer.from([opcode, 0x80 | payload.length, 0, 0, 0, 0]), payload]);
const floats = (...v) => Buffer.from(new Float32Array(v).buffer);
const processState = (child) => readFileSync(`/proc/${child.pid}/stat`, "utf8").split(") ")[1][0];

before(async () => {
  // A configuration that would refuse TLS 1.2, were joywire-send to read one.
  writeFileSync(join(scratch, "openssl.cnf"), "openssl_conf = init\n[init]\nssl_conf = ssl\n" +
    "[ssl]\nsystem_default = tls\n[tls]\nMinProtocol = TLSv1.3\n");
  receiver = dgram.createSocket("udp4");
  receiver.on("message", (bytes) => {
    const values = [0, 1, 2, 3, 4].map((i) => bytes.readFloatLE(4 * i));
    datagrams.push({ values, bytes, time: performance.now() });
  });
  await new Promise((r) => receiver.bind(0, "127.0.0.1", r));
  web = await freePort();
  trust = await freePort();
  server = startSender(web, trust);
  token = await server.started;
  const environment = { ...process.env };
  if (secure) {
    // The browser trusts the authority from the plain-HTTP port, in an NSS database of its own.
    const der = await fetchPlain(trust, "/ca.crt");
    writeFileSync(join(scratch, "ca.der"), der);
    authority = new X509Certificate(der).toString();  // PEM, as Node takes it
    const nss = `sql:${join(scratch, ".pki", "nssdb")}`;
    execFileSync("mkdir", ["-p", join(scratch, ".pki", "nssdb")]);
    execFileSync("certutil", ["-N", "-d", nss, "--empty-password"]);
    execFileSync("certutil", ["-A", "-d", nss, "-n", "joywire test CA", "-t", "C,,", "-i", join(scratch, "ca.der")]);
    environment.HOME = scratch;
  }
  const launchedWith = {
    executablePath: process.env.JOYWIRE_CHROMIUM || "/usr/bin/chromium",
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
      "--disable-background-networking", "--disable-component-update", "--disable-sync"],
  };
  // Firefox trusts the authority in its profile's own store; WebKitGTK has none of its own and
  // trusts the system's list, which this suite's own mount namespace gives the authority too.
  const profile = join(scratch, "firefox");
  if (secure && firefox) {
    execFileSync("mkdir", ["-p", profile]);
    execFileSync("certutil", ["-N", "-d", `sql:${profile}`, "--empty-password"]);
    execFileSync("certutil", ["-A", "-d", `sql:${profile}`, "-n", "joywire test CA", "-t", "C,,", "-i", join(scratch, "ca.der")]);
  }
  if (secure && webkit) {
    const systemList = "/etc/ssl/certs/ca-certificates.crt";
    assert.equal(process.env.JOYWIRE_MOUNTS, "own", "a mount namespace of the suite's own (run.sh)");
    writeFileSync(join(scratch, "authorities.crt"), readFileSync(systemList, "utf8") + authority);
    execFileSync("mount", ["--bind", join(scratch, "authorities.crt"), systemList]);
  }
  browser = webkit ? await launchWebKit(await freePort())
    : firefox ? await puppeteer.launch({ browser: "firefox", executablePath: process.env.JOYWIRE_FIREFOX || "/usr/bin/firefox-esr",
      env: environment, ...(secure ? { userDataDir: profile } : {}) })
    : await puppeteer.launch({ ...launchedWith, env: environment });
  browser.launchedWith = launchedWith;
  await openStalePage();
});

after(async () => {
  await browser?.close();
  server?.kill("SIGTERM");
  receiver?.close();
  execFileSync("rm", ["-rf", scratch]);
});

// A page of an earlier pairing, opened first and looked at last: what it asked for meanwhile.
let stalePage, staleSince;
async function openStalePage() {
  stalePage = await browser.newPage();
  // Counted by a script run before the page's own (which classic WebDriver cannot add).
  if (!webkit) await stalePage.evaluateOnNewDocument(() => {
    window.asked = 0;  // WebSocket opens and requests, all refused
    const [Socket, ask] = [WebSocket, fetch];
    window.WebSocket = class extends Socket { constructor(...a) { super(...a); ++window.asked; } };
    window.fetch = (...a) => { ++window.asked; return ask(...a); };
  });
  staleSince = performance.now();
  await stalePage.goto(`${scheme}://${host}:${web}/#AAAAAAAAAAAAAAAAAAAAAA`);
}

test("the QR code printed under the addresses reads back as the first address", serverCase, async () => {
  // Half blocks to modules: two rows a character, the upper and the lower half.
  const rows = server.log.split(/\r?\n/).filter((l) => l.includes("\x1b[30;107m"))
    .map((l) => [...l.replace(/\x1b\[[0-9;]*m/g, "")]);
  const dark = { " ": [0, 0], "\u2580": [1, 0], "\u2584": [0, 1], "\u2588": [1, 1] };
  const modules = rows.flatMap((row) => [0, 1].map((half) => row.map((c) => dark[c][half])));
  const scale = 8;
  const width = modules[0].length * scale;
  const pixels = Buffer.alloc(width * modules.length * scale);
  modules.forEach((row, y) => row.forEach((on, x) => {
    for (let dy = 0; dy < scale; ++dy) {
      pixels.fill(on ? 0 : 255, (y * scale + dy) * width + x * scale, (y * scale + dy) * width + (x + 1) * scale);
    }
  }));
  const image = join(scratch, "code.pgm");
  writeFileSync(image, Buffer.concat([Buffer.from(`P5 ${width} ${modules.length * scale} 255\n`), pixels]));
  assert.ok(rows.length <= 21, `${rows.length} lines`);
  assert.equal(execFileSync("zbarimg", ["--raw", "-q", "--nodbus", image]).toString().trim(), server.url);
});

test("two fingers move the stick and the throttle at once; the stick centres on release", onePointer, async (t) => {
  const page = await openPage();
  if (process.env.JOYWIRE_SCREENSHOT) await page.screenshot({ path: process.env.JOYWIRE_SCREENSHOT });
  const stick = await box(page, "#stick");
  const throttle = await box(page, "#throttle");
  const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  const z = { x: throttle.x + throttle.width / 2, id: 2 };
  await touch(page, "touchStart", [at, { ...z, y: throttle.y + throttle.height * 0.9 }]);
  const r = (await box(page, "#stick .ring")).width / 2;  // drawn at the travel of full deflection
  assert.ok(Math.abs(r - 80) < 1, `travel ${r} px`);
  const since = performance.now();
  await touch(page, "touchMove", [{ ...at, x: at.x + 0.6 * r, y: at.y - 0.8 * r },
    { ...z, y: throttle.y + throttle.height * 0.25 }]);
  // Right is X+, up a lower Y; the throttle from where it was, not where the finger landed.
  await datagram(is(0.6, -0.8, -1 + 2 * 0.65), since);
  await touch(page, "touchMove", [{ ...at, x: at.x + 0.5 * r }, { ...z, y: throttle.y + throttle.height * 0.25 }]);
  await datagram(is((0.5 - 0.05) / 0.95, 0), since);  // past a 5% dead zone, rescaled
  await touch(page, "touchMove", [{ ...at, x: at.x - 3 * r }, { ...z, y: throttle.y + throttle.height * 0.25 }]);
  await datagram(is(-1, 0, 0.3), since);  // full deflection, however far past it
  const released = performance.now();
  await touch(page, "touchEnd");
  await datagram(is(0, 0, 0.3, 0, 0), released);  // centred; the throttle stays
  await page.close();
});

// The longer record as sent: the head's values, then the hat, the button mask and six axes.
const record = ({ v = [0, 0, -1, 0, 0], hat = 0, mask = 0, axes = [0, 0, -1, 0, 0, 0] } = {}) => (values, bytes) =>
  bytes.length === 56 && bytes.toString("latin1", 20, 25) === "JWx1\x01" && bytes[25] === hat &&
  bytes.readUInt32LE(28) === mask && [...v, ...axes].every((want, i) =>
    near(i < 5 ? values[i] : bytes.readFloatLE(32 + 4 * (i - 5)), want));
const bits = (mask) => ({ mask, v: [0, 0, -1, mask & 1, (mask >> 1) & 1] });

test("each layout's controls send what they show, one longer record a change, all at rest on release", async () => {
  let page = await openPage();
  // layout, control, where it is touched (a fraction of its box), a drag (in thirds of its
  // smaller side, or a fraction of its width for steering), and the record it gives.
  const cases = [
    ["gamepad", "A", [0.5, 0.5], null, bits(1)], ["gamepad", "B", [0.5, 0.5], null, bits(2)],
    ["gamepad", "X", [0.5, 0.5], null, bits(4)], ["gamepad", "Y", [0.5, 0.5], null, bits(8)],
    ["gamepad", "left shoulder", [0.5, 0.5], null, bits(16)], ["gamepad", "right shoulder", [0.5, 0.5], null, bits(32)],
    ["gamepad", "select", [0.5, 0.5], null, bits(64)], ["gamepad", "start", [0.5, 0.5], null, bits(128)],
    ["gamepad", "home", [0.5, 0.5], null, bits(256)],
    ["gamepad", "d-pad", [0.5, 0.1], null, { hat: 1 }], ["gamepad", "d-pad", [0.95, 0.95], null, { hat: 4 }],
    ["gamepad", "d-pad", [0.05, 0.5], null, { hat: 7 }],
    ["gamepad", "left trigger", [0.5, 0.75], null, { v: [0, 0, 0.5, 0, 0] }],
    ["gamepad", "right trigger", [0.5, 0.75], null, { axes: [0, 0, 0.5, 0, 0, 0] }],
    ["gamepad", "left stick", [0.5, 0.5], [0.6, -0.8], { v: [0.6, -0.8, -1, 0, 0] }],
    ["gamepad", "right stick", [0.5, 0.5], [-3, 0], { axes: [-1, 0, -1, 0, 0, 0] }],
    ["wheel", "gas", [0.5, 0.75], null, { v: [0, -0.75, 0.5, 0, 0] }],  // and Y: gas up, brake down
    ["wheel", "brake", [0.5, 1], null, { v: [0, 1, -1, 0, 0], axes: [0, 0, 1, 0, 0, 0] }],
    ["wheel", "left paddle", [0.5, 0.5], null, bits(16)], ["wheel", "right paddle", [0.5, 0.5], null, bits(32)],
    ["wheel", "A", [0.5, 0.5], null, bits(1)], ["wheel", "Y", [0.5, 0.5], null, bits(8)],
    ["wheel", "steering", [0.5, 0.5], [0.2, 0], { v: [0.5, 0, -1, 0, 0] }],
  ];
  for (const [layout, name, [fx, fy], drag, sent] of cases) {
    await page.select("#layout", layout);
    const control = `#${layout}-layout [aria-label="${name}"]`;
    const at = await box(page, control);
    const step = name === "steering" ? at.width : name.endsWith("stick") ? travelOf(at) : Math.min(at.width, at.height) / 3;
    const point = { x: at.x + Math.min(fx * at.width, at.width - 1), y: at.y + Math.min(fy * at.height, at.height - 1), id: 1 };
    const since = performance.now();
    await touch(page, "touchStart", [point]);
    if (drag) await touch(page, "touchMove", [{ ...point, x: point.x + drag[0] * step, y: point.y + drag[1] * step }]);
    await datagram(record(sent), since).catch((e) => assert.fail(`${layout} ${name}: ${e.message}`));
    const released = performance.now();
    await touch(page, "touchEnd");
    await datagram(record(), released);
  }
  // A thumb rolled from A onto B presses B alone, as on a real pad.
  await page.select("#layout", "gamepad");
  const [a, b] = [await box(page, '#gamepad-layout [aria-label="A"]'), await box(page, '#gamepad-layout [aria-label="B"]')];
  let since = performance.now();
  await touch(page, "touchStart", [{ x: a.x + a.width / 2, y: a.y + a.height / 2, id: 1 }]);
  await touch(page, "touchMove", [{ x: b.x + b.width / 2, y: b.y + b.height / 2, id: 1 }]);
  await datagram(record(bits(2)), since);
  await touch(page, "touchEnd");
  // Three fingers at once (a stick, a trigger, a button), then the page hidden: all let go.
  if (!webkit) {  // (WebKitGTK: one pointer)
    const fingers = [];
    for (const [name, fy, id] of [["left stick", 0.5, 1], ["right trigger", 1, 2], ["B", 0.5, 3]]) {
      const at = await box(page, `#gamepad-layout [aria-label="${name}"]`);
      fingers.push({ x: at.x + at.width / 2, y: at.y + Math.min(fy * at.height, at.height - 1), id, step: Math.min(at.width, at.height) / 3 });
    }
    since = performance.now();
    await touch(page, "touchStart", fingers);
    await touch(page, "touchMove", [{ ...fingers[0], x: fingers[0].x - 3 * fingers[0].step }, ...fingers.slice(1)]);
    await datagram(record({ v: [-1, 0, -1, 0, 1], mask: 2, axes: [0, 0, 1, 0, 0, 0] }), since);
    since = performance.now();
    await page.evaluate(() => {
      Object.defineProperty(document, "visibilityState", { value: "hidden", configurable: true });
      document.dispatchEvent(new Event("visibilitychange"));
    });
    await datagram(record(), since, 1000);
  }
  await page.close();
  page = await openPage();
  // Curves and round dead zones, kept on the phone: the left stick 20% and a power of 2, the
  // right trigger 10% and 3. A diagonal of 0.17 a side is past a round 20%, not a square one.
  await page.select("#layout", "gamepad");
  const tune = (name, value) => page.$eval(`#tuning [aria-label="${name}"]`, (e, v) => {
    e.value = v;
    e.dispatchEvent(new Event("input"));
  }, value);
  await tune("left stick dead zone", 20);
  await tune("left stick curve", 2);
  await tune("right trigger dead zone", 10);
  await tune("right trigger curve", 3);
  await page.close();
  page = await openPage();  // another page of this phone: the layout and the tuning kept
  assert.equal(await page.$eval('#tuning [aria-label="left stick dead zone"]', (e) => e.value), "20");
  for (const [name, fy, drag, wanted] of [
    ["left stick", 0.5, [0.6, 0], (v) => near(v[0], ((0.6 - 0.2) / 0.8) ** 2) && near(v[1], 0)],
    ["left stick", 0.5, [0.19, 0], (v) => v[0] === 0],
    ["left stick", 0.5, [0.17, 0.17], (v) => v[0] > 0 && v[1] > 0],
    ["right trigger", 0.55, null, (v, b) => near(b.readFloatLE(40), 2 * ((0.55 - 0.1) / 0.9) ** 3 - 1)]]) {
    const at = await box(page, `#gamepad-layout [aria-label="${name}"]`);
    const step = travelOf(at);
    const point = { x: at.x + at.width / 2, y: at.y + fy * at.height, id: 1 };
    const since = performance.now();
    await touch(page, "touchStart", [point]);
    if (drag) await touch(page, "touchMove", [{ ...point, x: point.x + drag[0] * step, y: point.y + drag[1] * step }]);
    await datagram((v, b) => b.length === 56 && wanted(v, b), since).catch((e) => assert.fail(`${name}: ${e.message}`));
    await touch(page, "touchEnd");
  }
  await page.evaluate(() => localStorage.clear());
  await page.close();
});

test("a button is pressed while touched", pageCase, async () => {
  const page = await openPage();
  if (webkit && secure) {  // a secure page in an engine with no motion events: no tilt, and why
    assert.equal(await page.$eval("#tilt", (e) => e.disabled), true);
    assert.match(await page.$eval("#note", (e) => e.textContent), /^No tilt: this browser gives no motion readings/);
  }
  const button = await box(page, "#button2");
  const since = performance.now();
  await touch(page, "touchStart", [{ x: button.x + 10, y: button.y + 10, id: 1 }]);
  await datagram(is(undefined, undefined, undefined, 0, 1), since);
  const released = performance.now();
  await touch(page, "touchEnd");
  await datagram(is(undefined, undefined, undefined, 0, 0), released);
  await page.close();
});

// The orientation angles (alpha about Z, beta about X', gamma about Y'') of a phone held as a
// steering wheel in landscape, its screen `back` degrees back from upright, turned `turn`
// degrees clockwise as its user sees it.
function wheelGrip(back, turn) {
  const [c, s, rad] = [Math.cos, Math.sin, Math.PI / 180];
  const times = (a, b) => a.map((row) => b[0].map((_, j) => row.reduce((sum, v, k) => sum + v * b[k][j], 0)));
  const aboutX = (t) => [[1, 0, 0], [0, c(t), -s(t)], [0, s(t), c(t)]];
  const aboutZ = (t) => [[c(t), -s(t), 0], [s(t), c(t), 0], [0, 0, 1]];
  const upright = [[0, -1, 0], [0, 0, -1], [1, 0, 0]];  // its x up, its y west, its screen south
  const r = times(times(aboutX(-back * rad), upright), aboutZ(-turn * rad));
  let [alpha, beta, gamma] = [Math.atan2(-r[0][1], r[1][1]), Math.asin(r[2][1]), Math.atan2(-r[2][0], r[2][2])].map((a) => a / rad);
  if (gamma < -90 || gamma >= 90) {  // the same rotation with gamma in -90..90, as browsers give it
    [alpha, beta, gamma] = [alpha + 180, (beta > 0 ? 180 : -180) - beta, gamma + (gamma < 0 ? 180 : -180)];
  }
  return { alpha: (alpha + 360) % 360, beta, gamma };
}

test(`tilt on a secure page (${scheme}://${host}): a wheel turn, however the screen leans; the knob shows it`,
  { skip: (engine !== "chromium" && "its WebDriver sets no orientation") || serverOnly }, async () => {
  const page = await openPage();
  // At 360 px: left-handed upright, the throttle goes right; on its side, Done is in sight.
  await page.setViewport({ ...phone, width: 360, height: 740 });
  await page.click("#settings-button");
  await page.click("label:has(#swap)");
  assert.ok((await box(page, "#throttle")).x > (await box(page, "#button1")).x, "swapped upright");
  await page.click("label:has(#swap)");
  await page.setViewport({ ...phone, width: 740, height: 360, isLandscape: true });
  assert.ok((await box(page, "#settings-done")).bottom <= 360, "Done in sight");
  await page.click("#settings-done");
  await page.setViewport({ ...phone, width: 844, height: 390, isLandscape: true });
  if (process.env.JOYWIRE_SCREENSHOT) await page.screenshot({ path: process.env.JOYWIRE_SCREENSHOT.replace(/\.png$/, "-landscape.png") });
  await page.click("#settings-button");
  await page.click("label:has(#wheel)");  // X from tilt; Y stays on the thumb
  await page.click("#settings-done");
  await page.click(".switch");
  await page.waitForFunction(() => document.querySelector("#tilt").checked, { timeout: 2000 });
  page.cdp ??= await page.createCDPSession();
  // A listener after the page's own: when it has seen a reading, so has the page.
  await page.evaluate(() => addEventListener("deviceorientation", (e) => { window.seen = e.beta; }));
  const pose = async (back, turn) => {
    const angles = wheelGrip(back, turn);
    await page.cdp.send("DeviceOrientation.setDeviceOrientationOverride", angles);
    await page.waitForFunction((b) => Math.abs(window.seen - b) < 0.06, { timeout: 3000 }, angles.beta);  // in tenths of a degree
    return performance.now();
  };
  for (const back of [0, 5, 15, 45]) {
    await pose(back, 0);
    await page.click("#recentre");
    const turned = await datagram((v) => Math.abs(v[0] - 0.22) < 0.05, await pose(back, 10));  // 10 of 45 degrees
    if (back === 0) assert.notEqual(await page.$eval("#stick .knob", (k) => k.style.transform), "translate(0px, 0px)");
    for (const tip of [-10, 10]) {
      await datagram((v) => Math.abs(v[0] - turned.values[0]) < 0.05, await pose(back + tip, 10));
    }
  }
  await page.click("#settings-button");
  await page.click("label:has(#wheel)");  // both axes by tilt: the top edge away is forward
  await page.click("#settings-done");
  await pose(0, 0);
  await page.click("#recentre");
  await datagram(is(0, -(20 - 1.5) / (45 - 1.5)), await pose(20, 0));
  await page.close();
});

test("on a LAN address tilt is disabled, and says why, while the stick works", { skip: (secure && "HTTPS") || serverOnly }, async () => {
  const page = await openPage(lan);
  assert.equal(await page.$eval("#tilt", (e) => e.disabled), true);
  assert.match(await page.$eval("#note", (e) => (e.hidden ? "" : e.textContent)), /secure/);
  const stick = await box(page, "#stick");
  const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
  const since = performance.now();
  await touch(page, "touchStart", [at]);
  await touch(page, "touchMove", [{ ...at, x: at.x - stick.width / 4 }]);
  await datagram((v) => v[0] < -0.3, since);
  await touch(page, "touchEnd");
  // The gamepad on its side: nothing covers its top row, and the note speaks of no tilt.
  await page.setViewport({ ...phone, width: 915, height: 412, isLandscape: true });
  await page.select("#layout", "gamepad");
  for (const name of ["left trigger", "left shoulder", "right shoulder", "right trigger"]) {
    assert.ok(await page.$eval(`[aria-label="${name}"]`, (e) => {
      const at = e.getBoundingClientRect();
      return e.contains(document.elementFromPoint(at.x + at.width / 2, at.y + at.height / 2));
    }), `${name} is covered`);
  }
  assert.match(await page.$eval("#note summary", (e) => e.textContent), /^The screen may sleep: not a secure page/);
  await page.evaluate(() => localStorage.clear());
  await page.close();
});

test("a page closed, frozen or hidden gives the neutral datagram within 1 s; a hidden one sends nothing more", async () => {
  for (const end of engine === "chromium" ? ["close", "freeze", "hide"] : ["close", "hide"]) {  // freezing: Chromium's
    const page = await openPage();
    const stick = await box(page, "#stick");
    const throttle = await box(page, "#throttle");
    const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
    const pushed = webkit ? [] : [{ x: throttle.x + 5, y: throttle.y + 5, id: 2 }];  // WebKitGTK: the stick alone
    const since = performance.now();
    await touch(page, "touchStart", [at, ...pushed.map((p) => ({ ...p, y: throttle.y + throttle.height - 5 }))]);
    await touch(page, "touchMove", [{ ...at, x: at.x + 40 }, ...pushed]);
    await datagram((v) => v[0] > 0.1 && (webkit || v[2] > 0.9), since);
    const ended = performance.now();
    if (end === "close") {
      await page.close();
    } else if (end === "hide") {  // another tab or app, with no touchcancel
      await page.evaluate(() => {
        Object.defineProperty(document, "visibilityState", { value: "hidden", configurable: true });
        document.dispatchEvent(new Event("visibilitychange"));
      });
    } else {
      page.cdp ??= await page.createCDPSession();
      await page.cdp.send("Page.setWebLifecycleState", { state: "frozen" });
    }
    const neutral = await datagram(is(0, 0, undefined, 0, 0), ended, 1000);
    assert.ok(webkit || neutral.values[2] > 0.9, `${end}: the throttle is kept (${neutral.values[2]})`);
    if (end === "hide") {  // the page's neutral, then at most the silence rule's: nothing held again
      await new Promise((r) => setTimeout(r, 1500));
      const after = datagrams.filter((d) => d.time >= neutral.time);
      assert.ok(after.length <= 2 && after.every((d) => is(0, 0, undefined, 0, 0)(d.values)), `hidden: ${after.map((d) => d.values[0])}`);
    }
    if (end !== "close") await page.close();
  }
});

test("datagrams: the state over a data channel, never an older one, silence let go; closed, off or blocked, over the WebSocket",
  { skip: (secure || launcher.length > 0 || engine !== "chromium") && "Chromium's native HTTP runs" }, async () => {
  // Chromium gathers candidates only where the default route goes, never on loopback: a veth
  // pair of this namespace's own for this case, its UDP from 10.201.0.2 to joywire-send's 127.0.0.1.
  const ip = (...words) => execFileSync("ip", words);
  ip("link", "add", "jw0", "type", "veth", "peer", "name", "jw1");
  ip("addr", "add", "10.201.0.1/24", "dev", "jw0");
  ip("addr", "add", "10.201.0.2/24", "dev", "jw1");
  ip("link", "set", "jw0", "up");
  ip("link", "set", "jw1", "up");
  ip("route", "add", "default", "via", "10.201.0.2");
  const { args } = browser.launchedWith;  // with addresses, not random .local names
  const routed = await puppeteer.launch({ ...browser.launchedWith, args: [...args, "--disable-features=WebRtcHideLocalIpsWithMdns"] });
  const blocker = dgram.createSocket("udp4");
  await new Promise((r) => blocker.bind(0, "127.0.0.1", r));
  const others = [];
  const open = async (port, pageToken) => {
    const page = await routed.newPage();
    await page.setViewport(phone);
    await page.evaluateOnNewDocument(() => {  // what goes over the WebSocket, and the channel
      const [send, create] = [WebSocket.prototype.send, RTCPeerConnection.prototype.createDataChannel];
      window.binarySent = 0;
      WebSocket.prototype.send = function (data) { window.binarySent += typeof data !== "string"; return send.call(this, data); };
      RTCPeerConnection.prototype.createDataChannel = function (...how) { return (window.channel = create.apply(this, how)); };
    });
    await page.goto(`http://${host}:${port}/#${pageToken}`);
    await page.waitForSelector('#connection[data-state="connected"]');
    return page;
  };
  const path = (page) => page.$eval("#connection", (e) => e.textContent.split(" · ")[1]);
  const hold = async (page) => {
    const [stick, button] = [await box(page, "#stick"), await box(page, "#button1")];
    const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
    const since = performance.now();
    await touch(page, "touchStart", [at, { x: button.x + 10, y: button.y + 10, id: 2 }]);
    await touch(page, "touchMove", [{ ...at, x: at.x + stick.width }, { x: button.x + 10, y: button.y + 10, id: 2 }]);
    return datagram(is(1, 0, undefined, 1, 0), since);
  };
  try {
    // A joywire-send of its own: a phone of an earlier case may still be kept a player.
    const own = startSender(await freePort(), await freePort());
    others.push(own);
    const [ownToken, ownWeb] = [await own.started, Number(own.url.match(/:(\d+)\//)[1])];
    const page = await open(ownWeb, ownToken);
    await page.waitForFunction(() => /datagrams$/.test(document.querySelector("#connection").textContent), { timeout: 6000 });
    const viaSocket = await page.evaluate(() => window.binarySent);
    await hold(page);
    assert.equal(await page.evaluate(() => window.binarySent), viaSocket, "nothing over the WebSocket once the channel is open");
    assert.match(own.log, /now on datagrams/);
    await page.waitForSelector("#round-trip:not([hidden])", { timeout: 3000 });  // acknowledged over the channel
    const stale = performance.now();
    await page.evaluate(() => {  // number 1, long overtaken: X -1 must never arrive
      const bytes = new DataView(new ArrayBuffer(24));
      bytes.setUint32(0, 1, true);
      bytes.setFloat32(4, -1, true);
      window.channel.send(bytes.buffer);
    });
    await new Promise((r) => setTimeout(r, 400));
    assert.ok(!datagrams.some((d) => d.time >= stale && near(d.values[0], -1)), "an older message is dropped");
    // Held still, only repeats: the channel is closed after 10 s, and the next move offers one again.
    await page.waitForFunction(() => /stream$/.test(document.querySelector("#connection").textContent), { timeout: 12000 });
    for (let t = 0; t < 100 && !/idle: on the stream until/.test(own.log); t++) await new Promise((r) => setTimeout(r, 20));
    assert.match(own.log, /idle: on the stream until it moves/);
    const [stick, button] = [await box(page, "#stick"), await box(page, "#button1")];
    await touch(page, "touchMove", [{ x: stick.x + stick.width / 4, y: stick.y + stick.height / 2, id: 1 }, { x: button.x + 10, y: button.y + 10, id: 2 }]);
    await page.waitForFunction(() => /datagrams$/.test(document.querySelector("#connection").textContent), { timeout: 6000 });
    page.cdp ??= await page.createCDPSession();
    const frozen = performance.now();
    await page.cdp.send("Page.setWebLifecycleState", { state: "frozen" });
    await datagram(neutral, frozen, 1000);
    await page.close();

    const refused = await open(ownWeb, ownToken);  // a bad message on the channel: let go at once, closed
    await refused.waitForFunction(() => /datagrams$/.test(document.querySelector("#connection").textContent), { timeout: 6000 });
    await hold(refused);
    const bad = performance.now();
    await refused.evaluate(() => window.channel.send(new Uint8Array(7)));
    await datagram(neutral, bad, 300);
    await refused.waitForSelector('#connection:not([data-state="connected"])', { timeout: 1000 });
    await refused.close();

    const closing = await open(ownWeb, ownToken);  // a channel that closes mid-game: on at once over the WebSocket
    await closing.waitForFunction(() => /datagrams$/.test(document.querySelector("#connection").textContent), { timeout: 6000 });
    await hold(closing);
    const before = await closing.evaluate(() => window.binarySent);
    await closing.evaluate(() => window.channel.close());
    await closing.waitForFunction(() => /stream$/.test(document.querySelector("#connection").textContent), { timeout: 6000 });
    const released = performance.now();
    await touch(closing, "touchEnd", []);
    await datagram(neutral, released);
    assert.ok(await closing.evaluate(() => window.binarySent) > before, "the WebSocket carries them again");
    assert.match(own.log, /now on the stream/);
    await closing.close();

    // Turned off, and blocked (its one UDP port taken): the WebSocket carries the state from the start.
    const taken = blocker.address().port;
    for (const more of [["--no-datagrams"], ["--datagram-ports", `${taken}-${taken}`]]) {
      const other = startSender(await freePort(), await freePort(), { more });
      others.push(other);
      const otherToken = await other.started;
      const otherPage = await open(Number(other.url.match(/:(\d+)\//)[1]), otherToken);
      const connected = performance.now();
      await hold(otherPage);
      assert.ok(performance.now() - connected < 3000 && await path(otherPage) === "stream", more.join(" "));
      if (more[0] === "--datagram-ports") {
        await new Promise((r) => setTimeout(r, 5500));
        assert.equal(await path(otherPage), "stream");
        assert.match(other.log, /no data channel within 5 s/);
      }
      await otherPage.close();
    }
  } finally {
    await routed.close();
    blocker.close();
    for (const other of others) other.kill("SIGTERM");
    ip("link", "del", "jw0");
  }
});

test("a wrong token or a foreign origin gets 403; a bad message closes, nothing forwarded", serverCase, async () => {
  const upgrade = (target, origin, name = `${host}:${web}`) => new Promise((resolve) => {
    (secure ? https : http).get({ host, port: web, path: target, ca: authority, checkServerIdentity: () => {}, headers: {
      Host: name, Connection: "Upgrade", Upgrade: "websocket", "Sec-WebSocket-Version": "13",
      "Sec-WebSocket-Key": "dGhlIHNhbXBsZSBub25jZQ==", Origin: origin } })
      .on("response", (response) => resolve(response.statusCode))
      .on("upgrade", (response, socket) => { socket.destroy(); resolve(101); });
  });
  const own = `${scheme}://${host}:${web}`;
  assert.equal(await upgrade(`/ws?token=${token}`, own), 101);
  assert.equal(await upgrade("/ws?token=wrong", own), 403);
  assert.equal(await upgrade("/ws", own), 403);
  assert.equal(await upgrade(`/ws?token=${token}`, "http://elsewhere.test"), 403);
  // A name of somebody else's that points here (DNS rebinding), however its Origin agrees.
  assert.equal(await upgrade(`/ws?token=${token}`, `${scheme}://evil.test:${web}`, `evil.test:${web}`), 403);
  // The machine's own .local name is one of its names (printed, and named by the certificate).
  for (const [name, status] of [[ownName, 101], ["other.local", 403]]) {
    assert.equal(await upgrade(`/ws?token=${token}`, `${scheme}://${name}:${web}`, `${name}:${web}`), status, name);
  }
  assert.ok(server.log.includes(`://${ownName}:${web}/#${token}`), server.log);
  // Two Hosts, or two Origins, where only the first was checked.
  for (const [extra, status] of [[`Host: evil.test\r\n`, /^HTTP\/1.1 400/], [`Origin: ${own}\r\nOrigin: http://evil.test\r\n`, /^HTTP\/1.1 403/]]) {
    const twice = await connectTo();
    twice.write(upgradeRequest(web, token, extra));
    assert.match(String((await once(twice, "data"))[0]), status, extra);
    twice.destroy();
  }
  // A refused message ends the controller's steering at once: neutral now, nothing after it.
  for (const bad of [frame(Buffer.from("0.5"), 0x81), frame(Buffer.alloc(19)), frame(floats(0, NaN, 0, 0, 0)),
    frame(Buffer.alloc(56)), frame(Buffer.alloc(65))]) {
    const raw = await rawController(web, token, true);  // it never closes: the refusal alone lets go
    let since = performance.now();
    raw.write(Buffer.concat([frame(Buffer.from("rtt 60001"), 0x81), frame(floats(0.3, 0, 0, 1, 0))]));  // a report, ignored
    await datagram(is(0.3, 0, undefined, 1, 0), since);
    since = performance.now();
    raw.write(Buffer.concat([bad, frame(floats(0.4, 0, 0, 1, 0))]));
    const let_go = await datagram(neutral, since, 1000);
    assert.ok(let_go.time - since < 300, `neutral after ${let_go.time - since} ms, not at the refusal`);
    await new Promise((r) => setTimeout(r, 200));
    assert.ok(!datagrams.some((d) => d.time >= since && near(d.values[0], 0.4)), "forwarded after the refusal");
    raw.destroy();
  }

  // A header past the limit is cut off at once.
  const socket = await connectTo();
  let answer = "";
  socket.on("data", (d) => { answer += d; });
  socket.write(`GET / HTTP/1.1\r\nHost: x\r\nX: ${"a".repeat(8000)}\r\n\r\n`);
  await once(socket, "close");
  assert.doesNotMatch(answer, /200 OK/);

  const page = await openPage();
  const since = performance.now();
  const codes = await page.evaluate(async (token) => {
    const closeCode = (bytes) => new Promise((resolve) => {
      const scheme = location.protocol === "https:" ? "wss" : "ws";
      const socket = new WebSocket(`${scheme}://${location.host}/ws?token=${token}`);
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

test("a silent takeover gives the neutral datagram; bad frames taken over while closing hold no slot", serverCase, async () => {
  const page = await holdRightAndButton();
  const takeover = performance.now();
  const silent = await rawController();  // steers, and says nothing
  await datagram(neutral, takeover, 700);
  silent.destroy();
  await page.close();
  // Each is taken over by the next, every other one after a bad frame, and none answers its
  // close: more than the server holds, and the next phone still gets in at once.
  const closing = [];
  for (let round = 0; round < 65; ++round) {
    closing.push(await rawController());
    if (round % 2) closing.at(-1).write(frame(Buffer.alloc(21)));
  }
  const next = performance.now();
  await (await holdRightAndButton()).close();  // the next phone finds room
  assert.ok(performance.now() - next < 3000, `the next phone got in after ${performance.now() - next} ms`);
  closing.forEach((socket) => socket.destroy());
});

test("four phones are players 1-4, each its own feeder, kept across a reload (and, natively, 10 s away); a fifth takes one over explicitly",
  { skip: webkit && "one WebKitGTK profile" }, async () => {
  // Device k's feeder on 127.0.0.k, all at one port; each phone a browser profile of its own.
  const feeders = [];
  for (let k = 1; k <= 4; ++k) {
    const udp = dgram.createSocket("udp4");
    udp.got = [];
    udp.on("message", (bytes, from) => (udp.from = from, udp.got.push({ x: bytes.readFloatLE(0), time: performance.now() })));
    await new Promise((r) => udp.bind(k === 1 ? 0 : feeders[0].address().port, `127.0.0.${k}`, r));
    feeders.push(udp);
  }
  const [port, trustPort] = [await freePort(), await freePort()];
  const players = startSender(port, trustPort, { more: ["--players", "4"], udp: feeders[0] });
  await players.started;
  const phones = [];
  const open = async (context, state = "connected") => {
    const page = await context.newPage();
    await page.setViewport(phone);
    await page.evaluateOnNewDocument(() => {  // every vibration the page asks for
      window.vibrations = [];
      Object.defineProperty(navigator, "vibrate", { value: (pattern) => (window.vibrations.push(pattern), true) });
    });
    await page.goto(`${scheme}://${host}:${port}/#${token}`);
    await page.waitForSelector(`#connection[data-state="${state}"]`);
    return page;
  };
  const playerOf = (page) => page.$eval("#player", (e) => e.hidden ? "" : e.textContent);
  const got = async (k, wanted, since, ms = 3000) => {
    for (const deadline = performance.now() + ms; performance.now() < deadline;) {
      if (feeders[k - 1].got.some((d) => d.time >= since && wanted(d.x))) return;
      await new Promise((r) => setTimeout(r, 5));
    }
    assert.fail(`player ${k}'s feeder: no such datagram`);
  };
  const right = async (page) => {
    const stick = await box(page, "#stick");
    const at = { x: stick.x + stick.width / 2, y: stick.y + stick.height / 2, id: 1 };
    await touch(page, "touchStart", [at]);
    await touch(page, "touchMove", [{ ...at, x: at.x + stick.width }]);
  };
  for (let k = 1; k <= 4; ++k) {
    const context = await browser.createBrowserContext();
    phones.push({ context, page: await open(context) });
    assert.equal(await playerOf(phones[k - 1].page), String(k));
  }
  for (let k = 1; k <= 4; ++k) {  // each stick moves its own feeder only
    const since = performance.now();
    await right(phones[k - 1].page);
    await got(k, (x) => x > 0.99, since);
    await touch(phones[k - 1].page, "touchEnd");
    await got(k, (x) => x === 0, since);
    assert.ok(feeders.every((f, i) => i === k - 1 || !f.got.some((d) => d.time >= since && d.x > 0.5)), `player ${k} moved another`);
  }
  // A feeder's rumble, sent back to the socket that feeds it: its own player's page vibrates,
  // no other; a zero, hiding the page and losing the player stop it. (Windows: no rumble;
  // Firefox: its tabs behind are hidden, and a hidden page never vibrates.)
  const rumbles = engine === "chromium" && !wine;
  const rumble = (k, strong, hold = 500) => {
    const bytes = Buffer.from([0x4a, 0x57, 0x72, 0x31, 1, 0, 0, 0, 0, 0, 0, 0]);
    bytes.writeUInt16LE(strong, 6);
    bytes.writeUInt16LE(hold, 10);
    feeders[k - 1].send(bytes, feeders[k - 1].from.port, feeders[k - 1].from.address);
  };
  const buzzed = (k, last) => phones[k - 1].page.waitForFunction((want) =>
    want === "pattern" ? Array.isArray(window.vibrations.at(-1)) : window.vibrations.at(-1) === want, {}, last);
  if (rumbles) {
    rumble(2, 40000);
    await buzzed(2, "pattern");
    for (const k of [1, 3, 4]) assert.deepEqual(await phones[k - 1].page.evaluate(() => window.vibrations), [], `player ${k} vibrated`);
    rumble(2, 0);
    await buzzed(2, 0);
    rumble(2, 65535);
    await buzzed(2, "pattern");
    await phones[1].page.evaluate(() => {
      Object.defineProperty(document, "visibilityState", { value: "hidden", configurable: true });
      document.dispatchEvent(new Event("visibilitychange"));
    });
    await buzzed(2, 0);
  }
  await phones[1].page.reload();
  await phones[1].page.waitForSelector('#connection[data-state="connected"]');
  assert.equal(await playerOf(phones[1].page), "2", "a reload keeps the player");
  assert.match(await phones[0].page.$eval("#round-trip", (e) => e.textContent), /^\d+ ms$/);
  if (engine === "chromium" && !secure && launcher.length === 0 && !serverOnly) {  // the server's rule: one run shows it
    await phones[2].page.close();
    await new Promise((r) => setTimeout(r, 10000));
    phones[2].page = await open(phones[2].context);
    assert.equal(await playerOf(phones[2].page), "3", "back after 10 s: the same player");
  }
  // A fifth phone: told, steering nothing, until it takes player 4 over; player 4's phone held
  // the stick, and its feeder gets the neutral datagram.
  const fifth = await open(await browser.createBrowserContext(), "full");
  assert.match(await fifth.$eval("#overlay", (e) => e.innerText), /All 4 players are in use\. Take one over/);
  await right(phones[3].page);
  await got(4, (x) => x > 0.99, 0);
  if (rumbles) {
    rumble(4, 30000, 5000);
    await buzzed(4, "pattern");
  }
  const takeover = performance.now();
  await fifth.click('[aria-label="take over player 4"]');
  await fifth.waitForSelector('#connection[data-state="connected"]');
  assert.equal(await playerOf(fifth), "4");
  await got(4, (x) => x === 0, takeover, 500);
  await phones[3].page.waitForSelector('#connection[data-state="taken-over"]');
  if (rumbles) assert.ok((await phones[3].page.evaluate(() => window.vibrations)).includes(0), "taken over: stopped");
  assert.match(await phones[3].page.$eval("#overlay", (e) => e.innerText), new RegExp(`^Player 4 taken over by ${host.replaceAll(".", "\\.")}\\. Tap to take it back`));
  await touch(phones[3].page, "touchEnd");  // the finger that held the stick
  await new Promise((r) => setTimeout(r, 2500));
  assert.equal(await fifth.$eval("#connection", (e) => e.dataset.state), "connected", "the replaced phone tried again");
  await touch(phones[3].page, "touchStart", [{ x: 100, y: 400, id: 1 }]);  // one tap takes it back
  await touch(phones[3].page, "touchEnd");
  await phones[3].page.waitForSelector('#connection[data-state="connected"]');
  await fifth.waitForSelector('#connection[data-state="taken-over"]');
  assert.match(players.log, /player 4 connected from/);
  players.kill("SIGTERM");
  await players.ended;
  if (launcher.length === 0) {
    // A feeder started beside that cannot listen (its port held here) is told of at once, in
    // the terminal and on its player's page.
    const held = dgram.createSocket("udp4");
    await new Promise((r) => held.bind(50000, "127.0.0.1", r));
    const beside = startSender(await freePort(), await freePort(), { udp: held,
      more: ["--players", "2", "--start-feeder", join(dirname(process.env.JOYWIRE_SEND), "joywire-sim")] });
    try {
      await beside.started;
      const page = await phones[0].context.newPage();
      await page.goto(beside.url);
      await page.waitForFunction(() => /^(The joystick|Player 1's joystick) does not move: its feeder cannot listen on 127\.0\.0\.1:/
        .test(document.querySelector("#note").textContent), { timeout: 5000 });
      assert.match(beside.log, /the feeder of device 1 cannot listen on 127\.0\.0\.1:\d+ \(Binding Failed & Error No ->\d+\)/);
    } finally {
      beside.kill("SIGTERM");
      await beside.ended;
      held.close();
    }
  }
  await Promise.all(phones.map(({ context }) => context.close()));
  await fifth.browserContext().close();
  feeders.forEach((f) => f.close());
});

test("connections kept alive on either port, with the token or without, cannot keep a phone out", serverCase, async () => {
  for (const [port, count, path, from] of [...(secure ? [[trust, 17, "/"]] : []), [web, 17, "/"],
    [web, 64, `/pairing?token=${token}`, "127.0.0.5"]]) {  // a token holder's, from one address
    const held = [];
    for (let i = 0; i < count; ++i) {
      const socket = await connectTo(port, from);
      const ask = () => socket.write(`${path === "/" ? "HEAD" : "GET"} ${path} HTTP/1.1\r\nHost: ${host}:${port}\r\n\r\n`);
      ask();
      socket.timer = setInterval(ask, path === "/" ? 300 : 400);  // kept alive
      held.push(socket);
    }
    await new Promise((r) => setTimeout(r, 100));
    assert.ok(held[0].closed && !held.at(-1).closed, `port ${port}: the oldest gives way to the newest (${held.map((h) => +h.closed)})`);
    await (await holdRightAndButton()).close();
    held.forEach((socket) => { clearInterval(socket.timer); socket.destroy(); });
  }
  // Bare connections, as fast as they go, from three addresses and then from twenty, while a
  // slow phone that was paired (its request 30 ms after connecting, its TLS handshake after
  // that) upgrades with the token.
  for (const [addresses, each] of [[3, 8], [20, 1]]) {
  let flooding = true;
  const open = new Set();
  const flood = (from) => {
    const again = () => {
      if (!flooding) return;
      const socket = net.connect({ port: web, host, localAddress: from }).on("error", () => {}).resume();
      open.add(socket.on("close", () => { open.delete(socket); setTimeout(again, 1); }));
    };
    for (let i = 0; i < each; ++i) again();
  };
  Array.from({ length: addresses }, (_, i) => `127.0.0.${10 + i}`).forEach(flood);
  await new Promise((r) => setTimeout(r, 300));
  try {
  for (let attempt = 0; attempt < 8; ++attempt) {
    const bare = net.connect(web, host);
    bare.on("error", () => {});
    await Promise.race([once(bare, "connect"), new Promise((r) => setTimeout(r, 3000).unref())]);
    await new Promise((r) => setTimeout(r, 30));
    const phone = secure ? tls.connect({ socket: bare, ca: authority, servername: "" }) : bare;
    if (secure) await once(phone, "secureConnect");
    phone.write(upgradeRequest());
    const [answer] = await Promise.race([once(phone, "data"), once(phone, "close").then(() => ["closed"]),
      new Promise((r) => setTimeout(() => r(["no answer in 3 s"]), 3000))]);
    assert.match(String(answer), /^HTTP\/1.1 101/, `attempt ${attempt} under the flood from ${addresses}`);
    phone.destroy();
  }
  } finally {
    flooding = false;
    open.forEach((socket) => socket.destroy());
  }
  }
});

test("output nobody reads, a stopped terminal or a closed pipe never hold a datagram back; SIGHUP ends neutral", serverCase, async () => {
  const other = startSender(await freePort(), await freePort(), { more: ["--throttle-rest", "centre"] });
  const otherToken = await other.started;
  const port = Number(other.url.match(/:(\d+)\//)[1]);
  other.stdout.pause();  // nobody reads: the pipe fills
  const agent = new (secure ? https : http).Agent({ keepAlive: true, maxSockets: 4 });
  const refused = Array.from({ length: 2000 }, () => new Promise((resolve) => {
    const request = (secure ? https : http).request({ host, port, path: "/input?token=wrong", method: "POST",
      agent, ca: authority, headers: { Host: `${host}:${port}` } }, (response) => resolve(response.resume()));
    request.on("error", resolve);
    request.end(Buffer.alloc(20));
  }));
  const answered = await Promise.race([Promise.all(refused), new Promise((r) => setTimeout(r, 30000).unref())]);
  agent.destroy();
  assert.ok(answered, "2,000 refused requests were not all answered: the server waits for its output");
  let page = await holdRightAndButton(port, otherToken);
  let ended = performance.now();
  await page.close();
  await datagram(is(0, 0, 0, 0, 0), ended, 1000);  // the throttle to its rest too, as asked
  other.stdout.destroy();  // the pipe is closed: the next line fails to be written
  page = await holdRightAndButton(port, otherToken);
  ended = performance.now();
  if (wine) {  // a signal from outside is nothing Windows knows; its console's end, wine cannot show
    await page.close();
    await datagram(neutral, ended, 1000);
    other.kill("SIGKILL");
    return;
  }
  // Ctrl-Z, or a background job's read: neutral before it stops; steering again once continued.
  // Output from the background never stops it.
  for (const signal of ["SIGTSTP", "SIGTTIN", "SIGTTOU"]) {
    await datagram(is(1, 0, undefined, 1, 0), performance.now());
    const stopped = performance.now();
    other.kill(signal);
    if (signal === "SIGTTOU") {
      await datagram(is(1, 0, undefined, 1, 0), performance.now());
      assert.notEqual(processState(other), "T", signal);
      continue;
    }
    const let_go = await datagram(neutral, stopped, 1000);
    assert.ok(let_go.time - stopped < 300, `${signal}: neutral after ${let_go.time - stopped} ms, not before it stopped`);
    await new Promise((r) => setTimeout(r, 100));
    assert.equal(processState(other), "T", signal);
    other.kill("SIGCONT");
  }
  ended = performance.now();
  other.kill("SIGHUP");  // the terminal closed
  await datagram(neutral, ended, 1000);
  assert.deepEqual(await other.ended, [0, null], other.log.slice(-4000));
  await page.close();

  const terminal = startSender(await freePort(), await freePort(), { terminal: true });
  const terminalToken = await terminal.started;
  page = await holdRightAndButton(Number(terminal.url.match(/:(\d+)\//)[1]), terminalToken);
  terminal.stdin.write("\x13");  // Ctrl-S: the terminal takes no more output
  await new Promise((r) => setTimeout(r, 400));  // the status line is due, and waits
  ended = performance.now();
  await page.close();
  await datagram(neutral, ended, 1000);
  terminal.stdin.write("\x11");
  process.kill(-terminal.pid, "SIGTERM");
});

test("in landscape a touch in a corner reaches full deflection, and its touch-down none; the tap that retakes control is no input", pageCase, async () => {
  const page = await openPage();
  await page.setViewport({ ...phone, width: 844, height: 390, isLandscape: true });
  const stick = await box(page, "#stick");
  let since = performance.now();
  await touch(page, "touchStart", [{ x: stick.x + 6, y: stick.y + stick.height - 6, id: 1 }]);
  await new Promise((r) => setTimeout(r, 300));
  assert.ok(!datagrams.some((d) => d.time >= since && Math.hypot(d.values[0], d.values[1]) > 0.01), "touch-down moved the stick");
  await touch(page, "touchMove", [{ x: stick.x + 1, y: stick.y + stick.height - 1, id: 1 }]);
  await datagram(is(-Math.SQRT1_2, Math.SQRT1_2), since);
  await touch(page, "touchEnd");
  const throttle = await box(page, "#throttle");
  await touch(page, "touchStart", [{ x: throttle.x + 9, y: throttle.y + throttle.height - 9, id: 2 }]);
  await touch(page, "touchMove", [{ x: throttle.x + 9, y: throttle.y + throttle.height * 0.25 - 9, id: 2 }]);  // 3/4 up: +1.5
  await touch(page, "touchEnd");
  await datagram(is(0, 0, 0.5), since);
  await (await openPage()).close();  // takes over, and goes
  await page.waitForSelector('#connection[data-state="taken-over"]');
  since = performance.now();
  await touch(page, "touchStart", [{ x: throttle.x + 9, y: throttle.y + 4, id: 3 }]);  // on the throttle's top
  await touch(page, "touchEnd");
  await page.waitForSelector('#connection[data-state="connected"]');
  await datagram(is(0, 0, 0.5), since);
  await new Promise((r) => setTimeout(r, 300));
  assert.ok(!datagrams.some((d) => d.time >= since && d.values[2] > 0.6), "the tap moved the throttle");
  // A touch 4 px inside a pad, with a fingertip's radius, is the pad's, whatever lies beside it;
  // no setting, switch or full screen acts.
  for (const [layout, width, height, name, drag, wanted] of [
    ["gamepad", 915, 412, "right trigger", [0, 30], (v, b) => b.length === 56 && b.readFloatLE(40) > -0.9],
    ["gamepad", 740, 360, "right stick", [0, -30], (v, b) => b.length === 56 && b.readFloatLE(36) < -0.2],
    ["wheel", 360, 740, "steering", [60, 0], (v) => v[0] > 0.1],
    ["joystick", 412, 915, "stick", [0, -40], (v) => v[1] < -0.2]]) {
    await page.setViewport({ ...phone, width, height, isLandscape: width > height });
    await page.select("#layout", layout);
    const at = await box(page, `#${layout}-layout [aria-label="${name}"]`);
    const point = { x: at.x + at.width / 2, y: at.y + 4, radiusX: 10, radiusY: 10, id: 1 };
    since = performance.now();
    await touch(page, "touchStart", [point]);
    await touch(page, "touchMove", [{ ...point, x: point.x + drag[0], y: point.y + drag[1] }]);
    await datagram(wanted, since).catch((e) => assert.fail(`${layout} ${name}: ${e.message}`));
    await touch(page, "touchEnd");
    assert.deepEqual(await page.evaluate(() => [document.querySelector("#settings").hidden,
      document.querySelector("#tilt").checked, !document.fullscreenElement]
      .map(String)), ["true", "false", "true"], `${layout} ${name}`);
  }
  // A gamepad stick, touched 10 px inside its outer edge, reaches full deflection at the screen's.
  await page.setViewport({ ...phone, width: 915, height: 412, isLandscape: true });
  await page.select("#layout", "gamepad");
  const left = await box(page, '#gamepad-layout [aria-label="left stick"]');
  since = performance.now();
  await touch(page, "touchStart", [{ x: left.x + 10, y: left.y + left.height / 2, id: 1 }]);
  await touch(page, "touchMove", [{ x: 0, y: left.y + left.height / 2, id: 1 }]);
  await datagram((v) => v[0] < -0.99, since);
  await touch(page, "touchEnd");
  await page.evaluate(() => localStorage.clear());
  await page.close();
});

test("an earlier pairing's page stops, told why; a restart with the kept token reconnects by itself", async () => {
  await new Promise((r) => setTimeout(r, 10000 - (performance.now() - staleSince)));
  assert.equal(await stalePage.$eval("#connection", (e) => e.dataset.state), "refused");
  assert.match(await stalePage.$eval("#overlay", (e) => e.innerText), /earlier pairing\. Scan the new code/);
  await stalePage.setViewport({ ...phone, width: 360 });  // every tool shown: the status still whole
  await stalePage.click(".switch");
  assert.deepEqual(await stalePage.$eval("#connection", (e) => [e.scrollWidth <= e.clientWidth, e.scrollHeight <= e.clientHeight]), [true, true]);
  if (!webkit) assert.ok(await stalePage.evaluate(() => window.asked) <= 2, "no more than 2 requests in 10 s");
  let page = await openPage();
  if (secure && engine === "chromium") {  // in a browser that does not trust the authority, the warning tapped through
    page.close();
    const untrusting = await puppeteer.launch({ ...browser.launchedWith, env: { ...process.env, HOME: mkdtempSync(join(scratch, "home-")) } });
    page = await untrusting.newPage();
    await page.goto(`${scheme}://${host}:${web}/#${token}`).catch(() => {});  // the warning
    await page.click("#details-button");
    await page.click("#proceed-link");
    await page.waitForSelector('#connection[data-state="connected"]');
  }
  server.kill("SIGTERM");
  await server.ended;
  await page.waitForSelector('#connection[data-state="disconnected"]');
  server = startSender(web, trust);
  assert.equal(await server.started, token, "the kept token");
  assert.doesNotMatch(server.log, /new certificate/);
  const back = performance.now();
  await page.waitForSelector('#connection[data-state="connected"]', { timeout: 3000 });
  await datagram(is(0, 0, -1), back);  // it steers again
  await (secure && engine === "chromium" ? page.browser().close() : page.close());
  // --pairing shows the addresses the last run served: with --web-address, that one alone.
  const only = join(scratch, "only");
  const one = startSender(await freePort(), await freePort(), { configHome: only, more: ["--web-address", host] });
  await one.started;
  one.kill("SIGTERM");
  await one.ended;
  const shown = execFileSync(launcher[0] || process.env.JOYWIRE_SEND, [...launcher.slice(1), ...(launcher.length ? [process.env.JOYWIRE_SEND] : []),
    "--pairing", "--no-qr"], { env: { ...process.env, XDG_CONFIG_HOME: only } }).toString();
  assert.deepEqual(shown.match(/[a-z]+:\/\/[^/\s]+(?=\/#)/g), [`${scheme}://${host}:${one.url.match(/:(\d+)\//)[1]}`], shown);
});

test("200 starts, each ended by SIGTERM within 300 ms, end within 1 s; with a controller, neutral", { skip: (launcher.length > 0 || !secure || engine !== "chromium") && "Chromium's native HTTPS runs" }, async () => {
  // Four at a time, each on ports of its own; only the first's datagrams reach the receiver.
  const sink = dgram.createSocket("udp4");
  await new Promise((r) => sink.bind(0, "127.0.0.1", r));
  const lanes = 4;
  await Promise.all(Array.from({ length: lanes }, async (_, lane) => {
    const [port, trustPort] = [await freePort(), await freePort()];
    for (let start = lane; start < 200; start += lanes) {
      const child = startSender(port, trustPort, lane === 0 ? {} : { udp: sink });
      const steered = start % 20 === 0;  // these wait for a controller first (all in the first)
      if (steered) {
        const since = performance.now();
        (await rawController(port, await child.started)).write(frame(floats(0.6, 0, 0, 1, 1)));
        await datagram(is(0.6, 0, undefined, 1, 1), since);
      }
      await new Promise((r) => setTimeout(r, Math.random() * 300));
      const signalled = performance.now();
      child.kill("SIGTERM");
      const ended = await Promise.race([child.ended, new Promise((r) => setTimeout(r, 1000).unref())]);
      assert.ok(ended, `start ${start}: alive 1 s after SIGTERM; its output: ${child.log}`);
      if (steered) await datagram(is(0, 0, undefined, 0, 0), signalled, 100);
    }
  }));
  sink.close();
});

test("HTTPS: the authority on the plain port signed the page's certificate; kept only where it is ours, reused", { skip: (!secure || engine !== "chromium") && "Chromium's HTTPS runs" }, async () => {
  const ca = new X509Certificate(authority);
  assert.match(ca.subject, /CN=joywire local CA on /);
  assert.ok(server.log.includes(`SHA-256 fingerprint: ${ca.fingerprint256}`), "the fingerprint to compare on the phone");
  const socket = tls.connect({ host, port: web, ca: authority });
  await once(socket, "secureConnect");
  const served = socket.getPeerX509Certificate();
  socket.destroy();
  assert.ok(served.checkIssued(ca) && served.verify(ca.publicKey), "signed by the authority");
  assert.ok(served.subjectAltName.includes(`IP Address:${host}`) && served.subjectAltName.includes(`DNS:${ownName}`), served.subjectAltName);
  assert.ok(new Date(served.validTo) - new Date(served.validFrom) <= 397 * 24 * 3600 * 1000);
  // TLS 1.2 with ECDHE and AEAD only, whatever the machine's OpenSSL configuration says.
  const tls12 = (ciphers) => new Promise((resolve) => {
    const probe = tls.connect({ host, port: web, ca: authority, maxVersion: "TLSv1.2", ciphers }, () => {
      probe.destroy();
      resolve("accepted");
    }).on("error", () => resolve("refused"));
  });
  assert.deepEqual([await tls12("ECDHE-ECDSA-AES128-GCM-SHA256"), await tls12("ECDHE-ECDSA-AES128-SHA"),
    await tls12("ECDHE-ECDSA-AES256-SHA384")], ["accepted", "refused", "refused"]);
  const [again, againTrust] = [await freePort(), await freePort()];
  const second = startSender(again, againTrust);
  await second.started;
  assert.ok((await fetchPlain(againTrust, "/ca.crt")).equals(ca.raw), "a second start, the same CA");
  assert.match((await fetchPlain(againTrust, "/")).toString(), new RegExp(`Certificate Trust Settings[^]*${ca.fingerprint256}`));
  const trustPage = await browser.newPage();  // its way on: the controller over HTTPS, the token kept
  await trustPage.goto(`http://${host}:${againTrust}/#${token}`);
  assert.equal(await trustPage.$eval("#controller", (link) => link.href), `https://${host}:${again}/#${token}`);
  await trustPage.close();
  second.kill("SIGTERM");
  // A network that comes up after the start: a connection there gets a certificate naming it.
  execFileSync("ip", ["addr", "add", "10.200.0.3/32", "dev", "lo"]);
  const late = tls.connect({ host: "10.200.0.3", port: web, ca: authority });
  await once(late, "secureConnect");
  assert.ok(late.getPeerX509Certificate().subjectAltName.includes("IP Address:10.200.0.3"), "named");
  late.destroy();
  // Fifty more: the authority is served once in the chain all the same. Another loopback
  // address (127.0.1.1 is Debian's host name) is named nowhere, and renews nothing.
  for (let i = 1; i <= 50; ++i) {
    execFileSync("ip", ["addr", "add", `10.200.1.${i}/32`, "dev", "lo"]);
    const renamed = tls.connect({ host: `10.200.1.${i}`, port: web, ca: authority });
    await once(renamed, "secureConnect");
    renamed.destroy();
  }
  const chain = execFileSync("openssl", ["s_client", "-connect", `${host}:${web}`, "-showcerts"], { input: "", stdio: ["pipe", "pipe", "ignore"] });
  assert.equal(String(chain).match(/BEGIN CERTIFICATE/g).length, 2, "the server's certificate and the authority's");
  const other = tls.connect({ host: "127.0.1.1", port: web, ca: authority, checkServerIdentity: () => {} });
  await once(other, "secureConnect");
  assert.doesNotMatch(other.getPeerX509Certificate().subjectAltName, /127\.0\.1\.1/);
  other.destroy();
  assert.doesNotMatch(server.log, /new certificate.*127\.0\.1\.1/);
  if (wine) return;  // file modes, and a Windows owner, are not what wine can show

  assert.equal(statSync(join(config, "joywire", "ca.key")).mode & 0o777, 0o600);
  // A key others may read, a folder others may change, an authority joywire did not make.
  const refusedWith = async (prepare, reason) => {
    const home = mkdtempSync(join(scratch, "home-"));
    cpSync(join(config, "joywire"), join(home, "joywire"), { recursive: true });
    prepare(join(home, "joywire"));
    const start = startSender(await freePort(), await freePort(), { configHome: home });
    assert.equal((await start.ended)[0], 1, start.log);
    assert.match(start.log, reason);
  };
  await refusedWith((folder) => chmodSync(join(folder, "ca.key"), 0o644), /ca.key may be read by other users: chmod 600/);
  await refusedWith((folder) => chmodSync(folder, 0o777), /joywire may be changed by other users/);
  // A kept server certificate with 10 days left is made anew, and the person is told.
  const home = mkdtempSync(join(scratch, "home-"));
  cpSync(join(config, "joywire"), join(home, "joywire"), { recursive: true });
  const kept = (name) => join(home, "joywire", name);
  execFileSync("openssl", ["x509", "-x509toreq", "-copy_extensions", "copy", "-in", kept("server.crt"),
    "-signkey", kept("server.key"), "-out", kept("near.csr")], { stdio: "ignore" });
  execFileSync("openssl", ["x509", "-req", "-in", kept("near.csr"), "-CA", kept("ca.crt"), "-CAkey", kept("ca.key"),
    "-days", "10", "-copy_extensions", "copy", "-out", kept("server.crt")], { stdio: "ignore" });
  const near = startSender(await freePort(), await freePort(), { configHome: home });
  await near.started;
  assert.match(near.log, /new certificate: phones that tapped through the warning must do it once more/);
  near.kill("SIGTERM");
  await refusedWith((folder) => execFileSync("openssl", ["req", "-x509", "-newkey", "ec", "-pkeyopt",
    "ec_paramgen_curve:P-256", "-nodes", "-keyout", join(folder, "ca.key"), "-out", join(folder, "ca.crt"),
    "-subj", "/CN=joywire local CA on here", "-days", "30"], { stdio: "ignore" }), /is not one that joywire-send made/);
  // Two first starts at once, again and again: one authority, on disk and served by both.
  for (let round = 0; round < 6; ++round) {
    const home = mkdtempSync(join(scratch, "first-"));
    const ports = [await freePort(), await freePort(), await freePort(), await freePort()];
    const pair = [startSender(ports[0], ports[1], { configHome: home }), startSender(ports[2], ports[3], { configHome: home })];
    await Promise.all(pair.map((start) => start.started));
    const onDisk = new X509Certificate(readFileSync(join(home, "joywire", "ca.crt")));
    for (const trustPort of [ports[1], ports[3]]) {
      assert.ok((await fetchPlain(trustPort, "/ca.crt")).equals(onDisk.raw), `round ${round}: served what is on disk`);
    }
    assert.ok(onDisk.checkPrivateKey(createPrivateKey(readFileSync(join(home, "joywire", "ca.key")))), `round ${round}`);
    pair.forEach((start) => start.kill("SIGTERM"));
  }
});

test("HTTPS requests forward a message, are refused without the token, and are told of a takeover; the page's own are not one", { skip: !secure }, async () => {
  const page = await openPage();
  const post = (query, x = 0.25) => page.evaluate(async (query, x) => {
    const response = await fetch(`/input${query}`, { method: "POST", body: new Float32Array([x, 0.5, 0, 1, 0]) });
    return [response.status, await response.text()];
  }, query, x);
  const own = await page.evaluate(() => localStorage.getItem("joywire.id"));
  const since = performance.now();
  assert.deepEqual(await post(`?token=${token}&id=${own}`), [204, ""], "the page's own request, late");
  await new Promise((r) => setTimeout(r, 300));
  assert.equal(await page.$eval("#connection", (e) => e.dataset.state), "connected", "taken over by itself");
  assert.deepEqual(await post(`?token=${token}&id=requests1`), [204, ""]);  // the newest steers
  assert.deepEqual(await post(""), [403, "forbidden\n"]);
  await datagram(is(0.25, 0.5, 0, 1, 0), since);
  await page.waitForSelector('#connection[data-state="taken-over"]');
  await page.click("#overlay");  // one tap takes it back, and the requests are told
  await page.waitForSelector('#connection[data-state="connected"]');
  assert.deepEqual(await post(`?token=${token}&id=requests1`, 0.75), [409, "taken over by another controller"]);
  await page.close();
});

test("a certificate from this authority for a public address is refused", { skip: (!secure || launcher.length > 0) && "native HTTPS run" }, async () => {
  // The same certificate for a private address is accepted: only the address makes the difference.
  const pem = join(scratch, "ca.pem");
  writeFileSync(pem, authority);
  const serve = async (address) => {
    const file = (name) => join(scratch, `${address}.${name}`);
    execFileSync("openssl", ["req", "-new", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
      "-keyout", file("key"), "-subj", "/O=joywire test", "-out", file("csr")], { stdio: "ignore" });  // (a common name
    // that is an address, GnuTLS holds to the authority's DNS names: WebKitGTK would refuse both)
    writeFileSync(file("ext"), `subjectAltName=IP:${address}\nextendedKeyUsage=serverAuth\n`);
    execFileSync("openssl", ["x509", "-req", "-in", file("csr"), "-CA", pem, "-CAkey", join(config, "joywire", "ca.key"),
      "-CAcreateserial", "-days", "30", "-extfile", file("ext"), "-out", file("crt")], { stdio: "ignore" });
    const port = await freePort();
    const server = spawn("openssl", ["s_server", "-accept", `${address}:${port}`, "-www", "-cert", file("crt"),
      "-key", file("key"), "-cert_chain", pem], { stdio: "ignore" });
    for (let i = 0; i < 100; ++i) {
      const up = await new Promise((r) => net.connect(port, address).on("connect", function () { this.destroy(); r(true); }).on("error", () => r(false)));
      if (up) break;
      await new Promise((r) => setTimeout(r, 50));
    }
    const page = await browser.newPage();
    // Refused: an error, or (WebKitGTK's WebDriver) an empty page in place of the server's.
    const outcome = await page.goto(`https://${address}:${port}/`).then(async () =>
      /s_server/.test(await page.evaluate(() => document.body.innerText)) ? "accepted" : "refused", (error) => error.message);
    await page.close();
    server.kill();
    return outcome;
  };
  assert.equal(await serve(host), "accepted");
  assert.match(await serve("203.0.113.7"), /ERR_CERT_INVALID|SEC_ERROR_CERT_NOT_IN_NAME_SPACE|^refused$/);  // on this namespace's loopback only
});
