// Screenshots of quarvent.html in headless Chromium, at 1280 x 800 and 800 x 600: after three
// demo shots were converted, and with the trace view of the first open.
// Usage: node tests/web/screenshots.mjs PAGE OUTPUT_DIR SHOT...
import fs from "node:fs";
import path from "node:path";
import puppeteer from "puppeteer-core";

const [pagePath, outputDir, ...shots] = process.argv.slice(2);
fs.mkdirSync(outputDir, { recursive: true });
const browser = await puppeteer.launch({
  executablePath: process.env.QUARVENT_CHROMIUM || "/usr/bin/chromium",
  headless: true,
  args: ["--no-sandbox", "--disable-gpu"],
});
const click = (page, name) => page.evaluate((n) => document.querySelector(`#menubar button[data-menu="${n}"]`).click(), name);
const idle = (page) => page.waitForFunction(() => window.quarventTest.idle(), { polling: 50 });

try {
  for (const [width, height] of [[1280, 800], [800, 600]]) {
    const page = await browser.newPage();
    await page.setViewport({ width, height });
    await page.goto("file://" + path.resolve(pagePath));
    await page.evaluate(() => window.quarventTest.ready);
    const [chooser] = await Promise.all([page.waitForFileChooser(), click(page, "fileopen")]);
    await chooser.accept(shots);
    await page.waitForFunction((n) => document.querySelectorAll("#List1 li").length >= n, {}, shots.length);
    await idle(page);
    await page.evaluate(() => window.quarventTest.useMemoryOutput(true));
    await click(page, "fileoutput");
    await page.waitForSelector("#savedialog[open]");
    await page.evaluate(() => {
      document.getElementById("savename").value = "line1.dat";
      document.querySelector('#savedialog button[value="ok"]').click();
    });
    await idle(page);
    await click(page, "convert");
    await page.waitForSelector("#modal[open]");
    await page.evaluate(() => document.querySelector("#modalbuttons button").click());
    await idle(page);
    await page.screenshot({ path: path.join(outputDir, `converted-${width}x${height}.png`) });

    await page.evaluate(() => document.querySelector("#List1 li").dispatchEvent(new MouseEvent("mousedown", { bubbles: true })));
    await click(page, "viewinput");
    await page.waitForSelector("#traceview:not([hidden])");
    const box = await (await page.$("#tracecanvas")).boundingBox();
    await page.mouse.move(box.x + 48 + (box.width - 56) * 0.3, box.y + box.height / 2);
    await page.screenshot({ path: path.join(outputDir, `traceview-${width}x${height}.png`) });
    await page.click('input[value="density"]');
    await page.screenshot({ path: path.join(outputDir, `density-${width}x${height}.png`) });
    await page.close();
  }
} finally {
  await browser.close();
}
