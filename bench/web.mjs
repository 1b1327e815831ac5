// Measures the web page in headless Chromium: the time from navigation to the first prompt
// (median of LOADS loads) on a first visit and on a repeat visit (the service worker's copies and
// the browser's cache warm), each beside a baseline measured in the same run, a bare page that
// holds the prompt in its HTML; and the bytes of the page's files, raw and compressed with
// gzip -9 as a server sends each.
//
// Usage: node bench/web.mjs WEB_DIR [LOADS]   (WEB_DIR: the page as served, such as build's web/)
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { chromium } from "playwright-core";
import { serve } from "../tests/static_server.mjs";

const [folder, loads = "25"] = process.argv.slice(2);
const PROMPT = "Please enter a guess between 1 and 100: ";

// The milliseconds from the start of navigating to `address` in a fresh context, as on a first
// visit, or on a second navigation once the first has finished and its service worker, where
// it has one (`worker`), serves the page (`repeat`), to the moment the first prompt stands in
// the transcript.
async function firstPrompt(browser, address, repeat, worker) {
  const context = await browser.newContext();
  const page = await context.newPage();
  await page.addInitScript((prompt) => {
    new MutationObserver((_, observer) => {
      if (document.getElementById("transcript")?.textContent === prompt) {
        window.firstPrompt = performance.now();
        observer.disconnect();
      }
    }).observe(document, { subtree: true, childList: true, characterData: true });
  }, PROMPT);
  const arrival = async () => {
    await page.goto(address);
    return page.waitForFunction(() => window.firstPrompt).then((handle) => handle.jsonValue());
  };
  if (repeat) {
    await arrival();
    if (worker) await page.waitForFunction(() => navigator.serviceWorker.controller);
  }
  const moment = await arrival();
  await context.close();
  return moment;
}

const bare = mkdtempSync(join(tmpdir(), "guess-bench-"));
writeFileSync(join(bare, "index.html"), '<!doctype html><html lang="en"><head><meta charset="utf-8">'
  + `<title>bare</title><link rel="icon" href="data:,"></head><body><pre id="transcript">${PROMPT}`
  + "</pre></body></html>");
const servers = [await serve(folder), await serve(bare)];
const worker = existsSync(join(folder, "sw.js"));
const browser = await chromium.launch({ executablePath: process.env.GUESS_CHROMIUM
  ?? "/usr/bin/chromium" });
// The page's and the bare page's times, by visit.
const times = { first: [[], []], repeat: [[], []] };
try {
  for (let load = 0; load < Number(loads); load += 1) {  // alternately, on the same machine
    for (const [visit, [page, bare]] of Object.entries(times)) {
      page.push(await firstPrompt(browser, servers[0].address, visit === "repeat", worker));
      bare.push(await firstPrompt(browser, servers[1].address, visit === "repeat", false));
    }
  }
} finally {
  await browser.close();
  for (const { server } of servers) server.kill();
  rmSync(bare, { recursive: true });
}

const medianOf = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const ratios = {};
const files = readdirSync(folder).map((name) => readFileSync(join(folder, name)));
const raw = files.reduce((sum, bytes) => sum + bytes.length, 0);
const gzipped = files.reduce((sum, bytes) => sum + gzipSync(bytes, { level: 9 }).length, 0);
console.log(`web page: ${files.length} files, ${(raw / 1024).toFixed(1)} KiB, gzipped`
  + ` ${(gzipped / 1024).toFixed(1)} KiB`);
for (const [visit, [page, bare]] of Object.entries(times)) {
  const median = medianOf(page);
  ratios[visit] = median / medianOf(bare);
  console.log(`${visit} visit: first prompt ${median.toFixed(1)} ms after navigation (median of`
    + ` ${page.length} loads; ${page[0].toFixed(1)} to ${page.at(-1).toFixed(1)}); a bare`
    + ` page's ${medianOf(bare).toFixed(1)} ms, ratio ${ratios[visit].toFixed(2)}`);
}
const goals = [
  ["first visit: first prompt within 2 times a bare page's", ratios.first <= 2],
  ["the whole page under 120 KB gzipped", gzipped < 120 * 1000],
];
for (const [goal, met] of goals) console.log(`${met ? "met" : "MISSED"}`.padEnd(7) + goal);
process.exitCode = goals.every(([, met]) => met) ? 0 : 1;
