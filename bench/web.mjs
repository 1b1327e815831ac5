// Measures the web page in headless Chromium: the time from navigation to the first prompt
// (median of LOADS loads), and the bytes of its files, raw and compressed with gzip -9 as a
// server sends each.
//
// Usage: node bench/web.mjs WEB_DIR [LOADS]   (WEB_DIR: the page as served, such as build's web/)
import { spawn } from "node:child_process";
import { readdirSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { gzipSync } from "node:zlib";
import { chromium } from "playwright-core";

const [folder, loads = "25"] = process.argv.slice(2);
const PROMPT = "Please enter a guess between 1 and 100: ";

const server = spawn("python3", ["-u", "-m", "http.server", "--bind", "127.0.0.1", "--directory",
  folder, "0"], { stdio: ["ignore", "pipe", "ignore"] });
const address = await new Promise((resolve) => {
  server.stdout.on("data", (data) => {
    const port = /port (\d+)/.exec(data.toString());
    if (port) resolve(`http://127.0.0.1:${port[1]}/`);
  });
});
const browser = await chromium.launch({ executablePath: process.env.GUESS_CHROMIUM
  ?? "/usr/bin/chromium" });
const times = [];
try {
  for (let load = 0; load < Number(loads); load += 1) {
    // A fresh context each time: nothing cached, as on a first visit.
    const context = await browser.newContext();
    const page = await context.newPage();
    // The moment, after the navigation began, that the first prompt stands in the transcript.
    await page.addInitScript((prompt) => {
      new MutationObserver((_, observer) => {
        if (document.getElementById("transcript")?.textContent === prompt) {
          window.firstPrompt = performance.now();
          observer.disconnect();
        }
      }).observe(document, { subtree: true, childList: true, characterData: true });
    }, PROMPT);
    await page.goto(address);
    times.push(await page.waitForFunction(() => window.firstPrompt).then((h) => h.jsonValue()));
    await context.close();
  }
} finally {
  await browser.close();
  server.kill();
}

times.sort((a, b) => a - b);
const median = times[Math.floor(times.length / 2)];
const files = readdirSync(folder).map((name) => readFileSync(join(folder, name)));
const raw = files.reduce((sum, bytes) => sum + bytes.length, 0);
const gzipped = files.reduce((sum, bytes) => sum + gzipSync(bytes, { level: 9 }).length, 0);
console.log(`web page: ${files.length} files; first prompt ${median.toFixed(1)} ms after`
  + ` navigation (median of ${times.length} loads; ${times[0].toFixed(1)} to`
  + ` ${times.at(-1).toFixed(1)}); ${(raw / 1024).toFixed(1)} KiB, gzipped`
  + ` ${(gzipped / 1024).toFixed(1)} KiB`);
const goals = [
  ["first prompt within 100 ms of navigation", median <= 100],
  ["the whole page under 120 KB gzipped", gzipped < 120 * 1000],
];
for (const [goal, met] of goals) console.log(`${met ? "met" : "MISSED"}`.padEnd(7) + goal);
process.exitCode = goals.every(([, met]) => met) ? 0 : 1;
