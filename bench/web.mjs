// Measures the web page in headless Chromium: the time from navigation to the first prompt
// (median of LOADS loads), beside a baseline measured in the same run, a bare page that holds the
// prompt in its HTML; and the bytes of the page's files, raw and compressed with gzip -9 as a
// server sends each.
//
// Usage: node bench/web.mjs WEB_DIR [LOADS]   (WEB_DIR: the page as served, such as build's web/)
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { chromium } from "playwright-core";
import { serve } from "../tests/static_server.mjs";

const [folder, loads = "25"] = process.argv.slice(2);
const PROMPT = "Please enter a guess between 1 and 100: ";

// The milliseconds from the start of navigating to `address` in a fresh context, as on a first
// visit, to the moment the first prompt stands in the transcript.
async function firstPrompt(browser, address) {
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
  await page.goto(address);
  const moment = await page.waitForFunction(() => window.firstPrompt).then((h) => h.jsonValue());
  await context.close();
  return moment;
}

const bare = mkdtempSync(join(tmpdir(), "guess-bench-"));
writeFileSync(join(bare, "index.html"), '<!doctype html><html lang="en"><head><meta charset="utf-8">'
  + `<title>bare</title><link rel="icon" href="data:,"></head><body><pre id="transcript">${PROMPT}`
  + "</pre></body></html>");
const servers = [await serve(folder), await serve(bare)];
const browser = await chromium.launch({ executablePath: process.env.GUESS_CHROMIUM
  ?? "/usr/bin/chromium" });
const times = [];
const bareTimes = [];
try {
  for (let load = 0; load < Number(loads); load += 1) {  // alternately, on the same machine
    times.push(await firstPrompt(browser, servers[0].address));
    bareTimes.push(await firstPrompt(browser, servers[1].address));
  }
} finally {
  await browser.close();
  for (const { server } of servers) server.kill();
  rmSync(bare, { recursive: true });
}

const medianOf = (values) => values.sort((a, b) => a - b)[Math.floor(values.length / 2)];
const median = medianOf(times);
const bareMedian = medianOf(bareTimes);
const files = readdirSync(folder).map((name) => readFileSync(join(folder, name)));
const raw = files.reduce((sum, bytes) => sum + bytes.length, 0);
const gzipped = files.reduce((sum, bytes) => sum + gzipSync(bytes, { level: 9 }).length, 0);
console.log(`web page: ${files.length} files; first prompt ${median.toFixed(1)} ms after`
  + ` navigation (median of ${times.length} loads; ${times[0].toFixed(1)} to`
  + ` ${times.at(-1).toFixed(1)}); a bare page's ${bareMedian.toFixed(1)} ms, ratio`
  + ` ${(median / bareMedian).toFixed(2)}; ${(raw / 1024).toFixed(1)} KiB, gzipped`
  + ` ${(gzipped / 1024).toFixed(1)} KiB`);
const goals = [
  ["first prompt within 100 ms of navigation", median <= 100],
  ["the whole page under 120 KB gzipped", gzipped < 120 * 1000],
];
for (const [goal, met] of goals) console.log(`${met ? "met" : "MISSED"}`.padEnd(7) + goal);
process.exitCode = goals.every(([, met]) => met) ? 0 : 1;
