// The page's half of bench/browser: converts the given inputs in headless Chromium at factors
// 1 and 4, the output written through the File System Access API into a file of the origin's
// private file system, and prints the best time of RUNS runs, the time it took to read the
// inputs into the page, and the browser's peak memory.
// Usage: node bench/browser.mjs PAGE LABEL RUNS INPUT...
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import { createRequire } from "node:module";
import path from "node:path";

const root = path.resolve(import.meta.dirname, "..");
const require = createRequire(path.join(root, "tests/web/package.json"));
const puppeteer = require("puppeteer-core");
const [pagePath, label, runsText, ...inputs] = process.argv.slice(2);
const runs = Number(runsText) || 3;

const server = http.createServer((request, response) => {
  response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
  fs.createReadStream(pagePath).pipe(response);
});
await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
const browser = await puppeteer.launch({
  executablePath: process.env.QUARVENT_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu"],
});

// Resident memory of the browser and every process below it, in MB.
function browserMemory() {
  const pids = [browser.process().pid];
  for (let i = 0; i < pids.length; ++i) {
    try {
      const children = execFileSync("ps", ["--ppid", String(pids[i]), "-o", "pid="], { encoding: "utf8" });
      pids.push(...children.split(/\s+/).filter((p) => p).map(Number));
    } catch (e) { /* no children */ }
  }
  let kib = 0;
  for (const pid of pids) {
    try {
      const status = fs.readFileSync(`/proc/${pid}/status`, "utf8");
      kib += Number((/VmRSS:\s+(\d+)/.exec(status) || [0, 0])[1]);
    } catch (e) { /* gone */ }
  }
  return kib / 1024;
}

try {
  const page = await browser.newPage();
  page.on("pageerror", (error) => console.error("page error:", error.message));
  await page.goto(`http://127.0.0.1:${server.address().port}/quarvent.html`);
  await page.evaluate(() => window.quarventTest.ready);

  let peak = browserMemory();
  const sampler = setInterval(() => { peak = Math.max(peak, browserMemory()); }, 200);
  const click = (name) => page.evaluate((n) => document.querySelector(`#menubar button[data-menu="${n}"]`).click(), name);

  const readStart = Date.now();
  const [chooser] = await Promise.all([page.waitForFileChooser(), click("fileopen")]);
  await chooser.accept(inputs);
  await page.waitForFunction((n) => document.querySelectorAll("#List1 li").length >= n &&
    window.quarventTest.idle(), { timeout: 0, polling: 100 }, inputs.length);
  const readSeconds = (Date.now() - readStart) / 1000;

  const results = [];
  for (const factor of [1, 4]) {
    await click(`resamp1_${factor}`);
    let best = Infinity;
    let size = 0;
    for (let run = 0; run < runs; ++run) {
      // A new, empty output file each run.
      await page.evaluate(async () => {
        const folder = await navigator.storage.getDirectory();
        await folder.removeEntry("bench.dat").catch(() => {});
        window.quarventTest.setSaveHandle(await folder.getFileHandle("bench.dat", { create: true }));
      });
      await click("fileoutput");
      await page.waitForFunction(() => window.quarventTest.idle());
      const seconds = await page.evaluate(async () => {
        document.querySelector('#menubar button[data-menu="convert"]').click();
        const wait = (test) => new Promise((resolve) => {
          const poll = () => (test() ? resolve() : setTimeout(poll, 1));
          poll();
        });
        await wait(() => document.querySelector("#modal[open]") && document.getElementById("modalfield").hidden === false);
        document.getElementById("modalfield").value = "1";
        const start = performance.now();
        document.querySelector("#modalbuttons button").click();
        await wait(() => !document.querySelector("#modal[open]"));
        await wait(() => window.quarventTest.idle());
        return (performance.now() - start) / 1000;
      });
      size = await page.evaluate(async () => {
        const folder = await navigator.storage.getDirectory();
        return (await (await folder.getFileHandle("bench.dat")).getFile()).size;
      });
      best = Math.min(best, seconds);
    }
    results.push(`factor ${factor} ${best.toFixed(3)} s (${(size / 1048576).toFixed(1)} MB written)`);
  }
  clearInterval(sampler);
  console.log(`page ${label}: ${results.join("; ")}; reading the inputs in ${readSeconds.toFixed(1)} s;` +
    ` browser peak ${peak.toFixed(0)} MB`);
} finally {
  await browser.close();
  server.close();
}
