// Browser tests of quarvent.html: the real page in headless Chromium, driven through its
// menus and dialogs, its output compared with quarvent-batch's for the same inputs and
// options. Run by tests/web/run-tests (CTest label web), which builds the page first.
import { after, before, describe, test } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import puppeteer from "puppeteer-core";

const root = path.resolve(import.meta.dirname, "../..");
const pagePath = process.env.QUARVENT_WEB_PAGE || path.join(root, "build/web/quarvent.html");
const batch = process.env.QUARVENT_BATCH;
const demoData = process.env.QUARVENT_DEMO_DATA;
const keywords = path.join(root, "data/QEXKEYWO.RD");
const samplesDir = path.resolve(root, "../shared/seg2-samples");
const samples = fs.existsSync(samplesDir)
  ? fs.readdirSync(samplesDir, { recursive: true })
    .filter((name) => /\.(dat|seg2)$/.test(name)).sort().map((name) => path.join(samplesDir, name))
  : [];
const temp = fs.mkdtempSync(path.join(os.tmpdir(), "quarvent-web-"));

let browser;
let server;
let serverUrl;

before(async () => {
  browser = await puppeteer.launch({
    executablePath: process.env.QUARVENT_CHROMIUM || "/usr/bin/chromium",
    headless: true,
    args: ["--no-sandbox", "--disable-gpu"],
  });
  // A local server for the page, as any web server would serve it.
  server = http.createServer((request, response) => {
    if (request.url.split("?")[0] !== "/quarvent.html") {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { "Content-Type": "text/html; charset=utf-8" });
    fs.createReadStream(pagePath).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
  serverUrl = `http://127.0.0.1:${server.address().port}/quarvent.html`;
});

after(async () => {
  await browser?.close();
  server?.close();
  fs.rmSync(temp, { recursive: true, force: true });
});

// --- Driving the page ------------------------------------------------------------------

async function openPage(url = "file://" + pagePath) {
  const page = await browser.newPage();
  page.errors = [];
  page.requests = [];
  page.on("pageerror", (error) => page.errors.push(error.message));
  page.on("request", (request) => page.requests.push(request.url()));
  await page.setViewport({ width: 1280, height: 800 });
  await page.goto(url);
  await page.evaluate(() => window.quarventTest.ready);
  return page;
}

// Clicks a menu item by its name (the engine's menu names, or the page's own).
async function menu(page, name) {
  await page.evaluate((item) => document.querySelector(`#menubar button[data-menu="${item}"]`).click(), name);
}

// Waits for the next message box or prompt; returns what it shows and answers it.
async function answer(page, button, value) {
  await page.waitForSelector("#modal[open]", { timeout: 20000 });
  await page.waitForFunction(() => document.getElementById("modalbuttons").children.length > 0);
  const shown = await page.evaluate(() => ({
    title: document.getElementById("modaltitle").textContent,
    text: document.getElementById("modaltext").textContent,
    buttons: Array.from(document.querySelectorAll("#modalbuttons button")).map((b) => b.textContent),
    field: document.getElementById("modalfield").hidden ? null : document.getElementById("modalfield").value,
  }));
  const serial = await page.evaluate((caption, text) => {
    if (text !== undefined) document.getElementById("modalfield").value = text;
    const shownSerial = document.getElementById("modal").dataset.serial;
    for (const b of document.querySelectorAll("#modalbuttons button")) if (b.textContent === caption) b.click();
    return shownSerial;
  }, button, value);
  // Closed, or already showing the next box.
  await page.waitForFunction((n) => !document.querySelector("#modal[open]") ||
    document.getElementById("modal").dataset.serial !== n, {}, serial);
  return shown;
}

async function idle(page, timeout = 60000) {
  await page.waitForFunction(() => window.quarventTest.idle(), { timeout, polling: 50 });
}

async function selectInputs(page, files) {
  const [chooser] = await Promise.all([page.waitForFileChooser(), menu(page, "fileopen")]);
  await chooser.accept(files);
  await page.waitForFunction((n) => document.querySelectorAll("#List1 li").length >= n, {}, files.length);
  await idle(page);
}

// Output kept in the page, named in the page's own save box.
async function memoryOutput(page, name) {
  await page.evaluate(() => window.quarventTest.useMemoryOutput(true));
  await menu(page, "fileoutput");
  await page.waitForSelector("#savedialog[open]");
  await page.evaluate((n) => {
    document.getElementById("savename").value = n;
    document.querySelector('#savedialog button[value="ok"]').click();
  }, name);
  await idle(page);
}

async function convert(page, ssn = "1") {
  await menu(page, "convert");
  const prompt = await answer(page, "OK", ssn);
  assert.equal(prompt.title, "SSN Value?");
  await idle(page, 120000);
}

const outputBytes = (page) => page.evaluate(() => window.quarventTest.readFile(window.quarventTest.outputName()))
  .then((bytes) => Buffer.from(bytes));

function runBatch(args) {
  let stdout = "";
  try {
    stdout = execFileSync(batch, ["-q", "-k", keywords, ...args], { encoding: "latin1", stdio: ["ignore", "pipe", "pipe"] });
  } catch (error) {
    stdout = error.stdout;
  }
  return stdout;
}

// The log with the times of day taken out and each input named by its file name alone.
function comparable(log) {
  return log.replace(/\d\d:\d\d:\d\d/g, "hh:mm:ss").replace(/(Conversion of )\S*\//g, "$1");
}

// --- Tests ------------------------------------------------------------------------------

describe("from file://", () => {
  let page;
  before(async () => { page = await openPage(); });
  after(async () => { await page.close(); });

  test("shows the window's menus and captions", async () => {
    const bar = await page.evaluate(() => Array.from(document.querySelectorAll("#menubar button"))
      .filter((b) => !b.closest("[hidden]") && !b.hidden).map((b) => b.dataset.menu + "=" + b.innerHTML));
    for (const expected of ["filemenu=Files", "fileopen=Select <u>I</u>nputs", "fileoutput=<u>O</u>utput ",
      "fileclear=<u>C</u>lear List", "fileexit=E<u>x</u>it", "segoptions=<u>O</u>ptions", "optresamp=Resample",
      "resamp1_1=1:1", "resamp1_2=2:1", "resamp1_4=4:1", "optionshorten=Adjust Record Length",
      "convert=<u>C</u>onvert", "help=<u>H</u>elp", "helpcontent=<u>C</u>ontents", "fileabout=<u>A</u>bout"]) {
      assert.ok(bar.includes(expected), expected);
    }
    assert.ok(!bar.some((item) => item.startsWith("optiondelete=")), "Delete Input Files is left out");
    assert.equal(await page.$eval("#Label2", (e) => e.textContent), "OutPut File:");
    assert.equal(await page.$eval("#Label1", (e) => e.textContent), "Input Files");
    assert.equal(await page.$eval("#Label3", (e) => e.textContent), "Status Report");
    assert.equal(await page.title(), "SEG2 -> QEX");
    // Help, Contents shows the help file built into the page.
    await menu(page, "helpcontent");
    await page.waitForSelector("#helpview:not([hidden])");
    await page.waitForFunction(() => /Quarvent in a browser/.test(
      document.getElementById("helpframe").contentDocument?.body?.textContent || ""));
    await page.click("#helpclose");
  });

  test("asks the run's questions and takes either answer", async () => {
    const rows = [
      { title: "No Output File Selected",
        text: "No Output file selected.\nPlease selected an output file under\nFiles menu." },
    ];
    for (const row of rows) {
      await menu(page, "convert");
      const shown = await answer(page, "OK");
      assert.deepEqual({ title: shown.title, text: shown.text }, row);
      await idle(page);
    }
    await memoryOutput(page, "questions.dat");
    assert.equal(await page.$eval("#Label2", (e) => e.textContent), "Output file: /Output/questions.dat");
    await menu(page, "convert");
    assert.deepEqual(await answer(page, "OK"), {
      title: "No Input File Selected", buttons: ["OK"], field: null,
      text: "No Input file(s) selected.\nPlease selected an input file(s) under\nFiles menu.",
    });
    await idle(page);

    // Record length: an answer sets the caption, a cancel restores it.
    for (const [button, value, caption] of [["OK", "250", "Adjusted Length =  250 ms"],
      ["Cancel", "250", "Adjust Record Length"]]) {
      await menu(page, "optionshorten");
      const prompt = await answer(page, button, value);
      assert.equal(prompt.title, "Modify Record Length");
      assert.equal(prompt.text, "Enter ending time(ms) of records. 0=original");
      assert.equal(prompt.field, "0");
      await idle(page);
      assert.equal(await page.$eval('button[data-menu="optionshorten"]', (e) => e.textContent), caption);
    }

    if (samples.length === 0) return;
    await selectInputs(page, samples.slice(0, 2));
    // A cancelled SSN prompt writes nothing; then a run writes the output.
    await menu(page, "convert");
    assert.equal((await answer(page, "Cancel")).title, "SSN Value?");
    await idle(page);
    assert.equal(await page.evaluate(() => window.quarventTest.readFile("/Output/questions.dat").length).catch(() => 0), 0);
    await convert(page, "1");
    const first = await outputBytes(page);
    assert.ok(first.length > 0);

    // Appending: Cancel leaves the output as it was, OK appends.
    await menu(page, "convert");
    const appending = await answer(page, "Cancel");
    assert.deepEqual({ title: appending.title, text: appending.text, buttons: appending.buttons }, {
      title: "Appending Data", buttons: ["OK", "Cancel"],
      text: "Warning-Output file all ready exisits.\nconverted data will be appended to end!",
    });
    await idle(page);
    assert.equal((await outputBytes(page)).length, first.length);
    await menu(page, "convert");
    await answer(page, "OK");
    const ssn = await answer(page, "OK", "7");
    assert.equal(ssn.text, "Enter Starting SSN");
    await idle(page, 120000);
    assert.equal((await outputBytes(page)).length, 2 * first.length);
    assert.deepEqual(page.errors, []);
  });

  test("loads the operator's own keyword file, and asks for a missing sampling rate", { skip: samples.length === 0 && "the shared SEG-2 recordings are absent" }, async () => {
    const fresh = await openPage();
    const loadKeywords = async (name, text) => {
      const file = path.join(temp, name);
      fs.writeFileSync(file, text);
      const [chooser] = await Promise.all([fresh.waitForFileChooser(), menu(fresh, "keywordload")]);
      await chooser.accept([file]);
    };
    try {
      // A file that does not load is refused with the start-up's message; the built-in stays.
      await loadKeywords("bad.rd", "SAMPLE_INTERVAL 99999 1\n");
      const refused = await answer(fresh, "OK");
      assert.equal(refused.title, "Keyword File Error");
      assert.match(refused.text, /holds the function code 99999/);
      await idle(fresh);
      assert.equal(await fresh.$eval("#keywordnote", (e) => e.textContent), "Built-in keyword file");

      // One that maps nothing leaves the traces without a sampling rate: the run asks for it.
      await loadKeywords("none.rd", "* maps nothing\n");
      await fresh.waitForFunction(() => document.getElementById("keywordnote").textContent === "Keyword file: none.rd");
      await idle(fresh);
      const shot = samples.find((name) => name.endsWith("shot1.seg2")) || samples[0];
      await selectInputs(fresh, [shot]);
      await memoryOutput(fresh, "rate.dat");
      for (const [button, records] of [["Cancel", 0], ["OK", 1]]) {
        await menu(fresh, "convert");
        await answer(fresh, "OK", "1");
        const prompt = await answer(fresh, button, "0.25");
        assert.equal(prompt.title, "Missing Sampling Rate");
        await idle(fresh, 120000);
        const written = await fresh.evaluate(() => window.quarventTest.readFile("/Output/rate.dat").length).catch(() => 0);
        assert.equal(written > 0 ? 1 : 0, records, button);
        if (records === 0) assert.doesNotMatch(await fresh.evaluate(() => window.quarventTest.log()), /Conversion complete/);
      }
      // Still there after a reload, until the built-in one is taken back. Leaving the page
      // with an output not saved asks first.
      let asked = null;
      fresh.once("dialog", (dialog) => { asked = dialog.type(); dialog.accept(); });
      await fresh.reload();
      assert.equal(asked, "beforeunload");
      await fresh.evaluate(() => window.quarventTest.ready);
      assert.equal(await fresh.$eval("#keywordnote", (e) => e.textContent), "Keyword file: none.rd");
      await menu(fresh, "keywordbuiltin");
      await fresh.waitForFunction(() => document.getElementById("keywordnote").textContent === "Built-in keyword file");
      assert.deepEqual(fresh.errors, []);
    } finally {
      await fresh.close();
    }
  });

  test("converts the shared recordings like quarvent-batch at factors 1, 2 and 4", { skip: samples.length === 0 && "the shared SEG-2 recordings (../shared/seg2-samples) are absent" }, async () => {
    const fresh = await openPage();
    try {
      await selectInputs(fresh, samples);
      for (const factor of [1, 2, 4]) {
        await menu(fresh, `resamp1_${factor}`);
        await memoryOutput(fresh, `factor${factor}.dat`);
        await convert(fresh, "1");
        const expectedFile = path.join(temp, `factor${factor}.dat`);
        const stdout = runBatch(["--resample", String(factor), "-o", expectedFile, ...samples]);
        const bytes = await outputBytes(fresh);
        assert.ok(bytes.equals(fs.readFileSync(expectedFile)), `factor ${factor}: output differs`);
        const log = await fresh.evaluate(() => window.quarventTest.log());
        assert.equal(comparable(log), comparable(stdout), `factor ${factor}: log differs`);
      }
      // Save Output hands over the same bytes as a download.
      const downloads = path.join(temp, "downloads");
      fs.mkdirSync(downloads);
      const session = await fresh.createCDPSession();
      await session.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
      await menu(fresh, "saveoutput");
      const saved = path.join(downloads, "factor4.dat");
      for (let i = 0; i < 100 && !fs.existsSync(saved); ++i) await new Promise((r) => setTimeout(r, 100));
      assert.ok(fs.readFileSync(saved).equals(fs.readFileSync(path.join(temp, "factor4.dat"))));
      assert.deepEqual(fresh.errors, []);
      assert.deepEqual(fresh.requests.filter((url) => !/^(file|blob|data):/.test(url)), []);
    } finally {
      await fresh.close();
    }
  });

  test("takes recordings dropped on the input list and leaves out other files", { skip: samples.length === 0 && "the shared SEG-2 recordings are absent" }, async () => {
    const fresh = await openPage();
    try {
      const note = path.join(temp, "notes.txt");
      fs.writeFileSync(note, "not a recording\n");
      const box = await (await fresh.$("#List1")).boundingBox();
      const session = await fresh.createCDPSession();
      const data = { items: [], files: [samples[1], note, samples[0]], dragOperationsMask: 1 };
      for (const type of ["dragEnter", "dragOver", "drop"]) {
        await session.send("Input.dispatchDragEvent", { type, x: box.x + 40, y: box.y + 40, data });
      }
      await fresh.waitForFunction(() => document.getElementById("statusmessage").textContent !== "");
      assert.equal(await fresh.$eval("#statusmessage", (e) => e.textContent),
        "Added 2 SEG-2 recordings; left out 1 file that is not SEG-2.");
      // In name order, whatever order they were dropped in.
      assert.deepEqual(await fresh.$$eval("#List1 li", (items) => items.map((li) => li.textContent)),
        [samples[0], samples[1]].map((name) => "/Inputs/" + path.basename(name)));
      assert.deepEqual(fresh.errors, []);
    } finally {
      await fresh.close();
    }
  });

  test("stops a long run after the current record", { skip: !demoData && "quarvent-demo-data not given" }, async () => {
    const shots = path.join(temp, "shots");
    execFileSync(demoData, ["--shots", "6", "--format", "4", "--traces", "24", "--samples", "20000", shots]);
    const files = fs.readdirSync(shots).sort().map((name) => path.join(shots, name));
    const fresh = await openPage();
    try {
      await selectInputs(fresh, files);
      await menu(fresh, "resamp1_4");
      await memoryOutput(fresh, "stopped.dat");
      // Stop is pressed as soon as the progress panel shows the first records written.
      await fresh.evaluate(() => {
        const timer = setInterval(() => {
          if (document.getElementById("progressbar").value > 0) {
            clearInterval(timer);
            document.getElementById("progressstop").click();
          }
        }, 0);
      });
      await menu(fresh, "convert");
      await answer(fresh, "OK", "1");
      await idle(fresh);
      const log = await fresh.evaluate(() => window.quarventTest.log());
      assert.match(log, /Conversion stopped by the operator @ \d\d:\d\d:\d\d\r\n$/);
      // The report shows again, with the log.
      assert.deepEqual(await fresh.$eval("#Text1", (e) => [e.hidden, e.classList.contains("hidden"),
        e.value.includes("stopped by the operator")]), [false, false, true]);
      assert.doesNotMatch(log, /Conversion complete/);
      const bytes = await outputBytes(fresh);
      const record = 240 + 4 * 5000;
      assert.equal(bytes.length % record, 0, "only whole records");
      assert.ok(bytes.length < files.length * 24 * record, "the run ended early");
      assert.match(await fresh.$eval("#statusmessage", (e) => e.textContent), /stopped/i);
    } finally {
      await fresh.close();
    }
  });

  test("opens the trace view of an input and of the output", { skip: samples.length === 0 && "the shared SEG-2 recordings are absent" }, async () => {
    const fresh = await openPage();
    try {
      await selectInputs(fresh, [samples[0]]);
      await fresh.evaluate(() => document.querySelector("#List1 li").dispatchEvent(new MouseEvent("mousedown", { bubbles: true })));
      await menu(fresh, "viewinput");
      await fresh.waitForSelector("#traceview:not([hidden])");
      const traces = await fresh.evaluate(() => document.getElementById("tracetitle").textContent);
      assert.match(traces, /^102\.dat - traces 1-\d+ of \d+$/);
      // The header words of the trace under the pointer.
      const box = await (await fresh.$("#tracecanvas")).boundingBox();
      await fresh.mouse.move(box.x + 60, box.y + box.height / 2);
      assert.match(await fresh.$eval("#tracewords", (e) => e.textContent), /^Trace 1\n\d+ samples/);
      await fresh.click('input[value="density"]');
      await fresh.click("#traceclose");
      await memoryOutput(fresh, "view.dat");
      await convert(fresh);
      await menu(fresh, "viewoutput");
      await fresh.waitForSelector("#traceview:not([hidden])");
      assert.match(await fresh.$eval("#tracetitle", (e) => e.textContent), /^view\.dat - records 1-\d+ of \d+$/);
      assert.deepEqual(fresh.errors, []);
    } finally {
      await fresh.close();
    }
  });
});

describe("from a local server", { skip: samples.length === 0 && "the shared SEG-2 recordings are absent" }, () => {
  test("writes into a file through the File System Access API, appends to it, and works offline", async () => {
    const page = await openPage(serverUrl);
    try {
      // Once loaded, the page needs no network.
      await page.setOfflineMode(true);
      const inputs = samples.slice(0, 3);
      await selectInputs(page, inputs);
      // A file of the origin's private file system stands in for one the operator picks.
      const handleOk = await page.evaluate(async () => {
        const folder = await navigator.storage.getDirectory();
        const handle = await folder.getFileHandle("disk.dat", { create: true });
        window.quarventTest.setSaveHandle(handle);
        return true;
      });
      assert.ok(handleOk);
      await menu(page, "fileoutput");
      await idle(page);
      await convert(page, "3");
      await menu(page, "convert");
      assert.equal((await answer(page, "OK")).title, "Appending Data");
      await answer(page, "OK", "9");
      await idle(page, 120000);
      const written = Buffer.from(await page.evaluate(async () => {
        const folder = await navigator.storage.getDirectory();
        const file = await (await folder.getFileHandle("disk.dat")).getFile();
        return Array.from(new Uint8Array(await file.arrayBuffer()));
      }));
      const expected = path.join(temp, "disk.dat");
      runBatch(["--ssn", "3", "-o", expected, ...inputs]);
      runBatch(["--append", "--ssn", "9", "-o", expected, ...inputs]);
      assert.ok(written.equals(fs.readFileSync(expected)), "the file on the disk differs");
      assert.deepEqual(page.errors, []);
      assert.deepEqual(page.requests.filter((url) => url !== serverUrl && !/^(blob|data):/.test(url)), []);
    } finally {
      await page.close();
    }
  });
});
