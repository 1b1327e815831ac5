// Measures the web page in headless Chromium: the time from navigation to the first prompt
// (median of LOADS loads) on a first visit, on a repeat visit (the release that the service
// worker kept, and the browser's cache, warm), and on a repeat visit with the server accepting
// connections and never answering (a page with no prompt after 10 s counts as never showing
// one); the first two beside a baseline measured in the same run, a bare page that holds the
// prompt in its HTML, and the last beside the page's own repeat visit. Then a first visit on a
// phone's networks (median of PHONE_LOADS loads), as Chromium's DevTools throttle them, from a
// server that sends files as they are and from one that compresses them, each beside the bare
// page, with the bytes that crossed the network; and the bytes of the page's files, raw and
// compressed with gzip -9 as a server sends each. Each page is served by Python's own server,
// through tests/network_server.mjs, which can stop answering and compress.
//
// Usage: node bench/web.mjs WEB_DIR [LOADS] [PHONE_LOADS]
//        (WEB_DIR: the page as served, such as build's web/)
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { chromium } from "playwright-core";
import { networkServer } from "../tests/network_server.mjs";

const [folder, loads = "25", phoneLoads = "7"] = process.argv.slice(2);
const PROMPT = "Please enter a guess between 1 and 100: ";
const LIMIT = 20000;  // ms
// Phones' networks, as the DevTools protocol sets them: latency in ms, throughput in bytes/s.
const PHONE_NETWORKS = {
  "slow 4G": { latency: 150, downloadThroughput: 1.6e6 / 8, uploadThroughput: 750e3 / 8 },
  "3G": { latency: 400, downloadThroughput: 400e3 / 8, uploadThroughput: 400e3 / 8 },
};

// The milliseconds from the start of navigating to the page on `net` in a fresh context, to
// the moment the first prompt stands in the transcript: on a first visit, or (`repeat`) on a
// second navigation, once the first has finished and its service worker, where it has one
// (`worker`), has kept the release, with the network in state `first` and then in `then`, and
// the browser's own network throttled as `phone` says. Where `wire` is given, the bytes that
// crossed the network in the last navigation are pushed onto it.
async function firstPrompt(browser, net, { repeat = false, worker = false, first = {},
  then = first, phone = null, wire = null } = {}) {
  await net.set({ folder: "page", ...first });
  const context = await browser.newContext();
  const page = await context.newPage();
  const devtools = await context.newCDPSession(page);
  await devtools.send("Network.enable");
  if (phone) {
    await devtools.send("Network.emulateNetworkConditions", { offline: false, ...phone });
  }
  let bytes = 0;
  devtools.on("Network.loadingFinished", ({ encodedDataLength }) => {
    bytes += encodedDataLength;
  });
  await page.addInitScript((prompt) => {
    new MutationObserver((_, observer) => {
      if (document.getElementById("transcript")?.textContent === prompt) {
        window.firstPrompt = performance.now();
        observer.disconnect();
      }
    }).observe(document, { subtree: true, childList: true, characterData: true });
  }, PROMPT);
  // A page that shows no prompt in LIMIT counts as never showing one.
  const arrival = () => page.goto(net.address, { timeout: LIMIT })
    .then(() => page.waitForFunction(() => window.firstPrompt, null, { timeout: LIMIT }))
    .then((handle) => handle.jsonValue(), () => Infinity);
  if (repeat) {
    await arrival();
    if (worker) await page.waitForFunction(() => navigator.serviceWorker.ready.then(() => true));
  }
  await net.set({ folder: "page", ...then });
  bytes = 0;
  const moment = await arrival();
  wire?.push(bytes);
  await context.close();
  return moment;
}

const bare = mkdtempSync(join(tmpdir(), "guess-bench-"));
writeFileSync(join(bare, "index.html"), '<!doctype html><html lang="en"><head><meta charset="utf-8">'
  + `<title>bare</title><link rel="icon" href="data:,"></head><body><pre id="transcript">${PROMPT}`
  + "</pre></body></html>");
const nets = { page: await networkServer({ page: folder }),
  bare: await networkServer({ page: bare }) };
const worker = existsSync(join(folder, "sw.js"));
const browser = await chromium.launch({ executablePath: process.env.GUESS_CHROMIUM
  ?? "/usr/bin/chromium" });
// The times of each kind of visit, with what they are compared with.
const BARE = "a bare page's";
const visits = {
  "first visit": { page: [], [BARE]: [] },
  "repeat visit": { page: [], [BARE]: [] },
  "never answering": { page: [], "the repeat visit's": [] },
};
try {
  for (let load = 0; load < Number(loads); load += 1) {  // alternately, on the same machine
    visits["first visit"].page.push(await firstPrompt(browser, nets.page));
    visits["first visit"][BARE].push(await firstPrompt(browser, nets.bare));
    const repeat = await firstPrompt(browser, nets.page, { repeat: true, worker });
    visits["repeat visit"].page.push(repeat);
    visits["never answering"]["the repeat visit's"].push(repeat);
    visits["repeat visit"][BARE].push(await firstPrompt(browser, nets.bare, { repeat: true }));
    if (worker) {
      // Sent with no-cache, so that the browser's cache cannot stand in for the network.
      visits["never answering"].page.push(await firstPrompt(browser, nets.page, { repeat: true,
        worker, first: { noCache: true }, then: { noCache: true, fault: { hang: true } } }));
    }
  }
  for (const [network, phone] of Object.entries(PHONE_NETWORKS)) {
    for (const gzip of [false, true]) {
      const visit = `first visit, ${network}, ${gzip ? "gzipped" : "uncompressed"}`;
      visits[visit] = { page: [], [BARE]: [], wire: [] };
      for (let load = 0; load < Number(phoneLoads); load += 1) {
        visits[visit].page.push(await firstPrompt(browser, nets.page, { phone, first: { gzip },
          wire: visits[visit].wire }));
        visits[visit][BARE].push(await firstPrompt(browser, nets.bare, { phone, first: { gzip } }));
      }
    }
  }
} finally {
  await browser.close();
  for (const net of Object.values(nets)) await net.close();
  rmSync(bare, { recursive: true });
}

const medianOf = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const files = readdirSync(folder).map((name) => readFileSync(join(folder, name)));
const raw = files.reduce((sum, bytes) => sum + bytes.length, 0);
const gzipped = files.reduce((sum, bytes) => sum + gzipSync(bytes, { level: 9 }).length, 0);
console.log(`web page: ${files.length} files, ${(raw / 1024).toFixed(1)} KiB, gzipped`
  + ` ${(gzipped / 1024).toFixed(1)} KiB`);
const ratios = {};
for (const [visit, { page, wire, ...against }] of Object.entries(visits)) {
  if (page.length === 0) continue;
  const [[baseline, times]] = Object.entries(against);
  const median = medianOf(page);
  ratios[visit] = median / medianOf(times);
  const crossed = wire ? `; ${(medianOf(wire) / 1024).toFixed(1)} KiB on the wire` : "";
  console.log(`${visit}: first prompt ${median.toFixed(1)} ms after navigation (median of`
    + ` ${page.length} loads; ${page[0].toFixed(1)} to ${page.at(-1).toFixed(1)}); ${baseline}`
    + ` ${medianOf(times).toFixed(1)} ms, ratio ${ratios[visit].toFixed(2)}${crossed}`);
}
const goals = [
  ["first visit: first prompt within 2 times a bare page's", ratios["first visit"] <= 2],
  ["repeat visit: first prompt within 1.5 times a bare page's", ratios["repeat visit"] <= 1.5],
  ["never answering: first prompt within 1.5 times the repeat visit's",
    !worker || ratios["never answering"] <= 1.5],
  ...Object.keys(PHONE_NETWORKS).flatMap((network) => ["uncompressed", "gzipped"].map((sent) => {
    const visit = `first visit, ${network}, ${sent}`;
    return [`${visit}: first prompt within 3 times a bare page's`, ratios[visit] <= 3];
  })),
  ["guess.wasm at most 32 KB", readFileSync(join(folder, "guess.wasm")).length <= 32 * 1000],
  ["the whole page at most 40 KB gzipped", gzipped <= 40 * 1000],
];
for (const [goal, met] of goals) console.log(`${met ? "met" : "MISSED"}`.padEnd(7) + goal);
process.exitCode = goals.every(([, met]) => met) ? 0 : 1;
