// The analyser's page in a real browser (Chromium through playwright-core),
// on a server of its own: every method drawn, the read-out on the linear
// chirp's ridge, a box zoom that recomputes finer cells, both exports, a
// refused parameter's message, a reload that keeps the view, an upload
// through the file picker, and no error of the page's own on the console.
// Screenshots are left in SCREENSHOTS for a person to look at.
//
// node page_test.mjs   with MORNAVEL_PROGRAM, CHROMIUM, PLAYWRIGHT (the
// playwright-core folder), SCREENSHOTS and SOX set.
import {spawn, spawnSync} from "node:child_process";
import {mkdirSync, readFileSync} from "node:fs";
import {createRequire} from "node:module";
import assert from "node:assert/strict";

const env = name => {
  assert.ok(process.env[name], `${name} is not set`);
  return process.env[name];
};
const {chromium} = createRequire(import.meta.url)(env("PLAYWRIGHT"));
const shots = env("SCREENSHOTS");
mkdirSync(shots, {recursive: true});
// A second of stereo sound to upload: 440 Hz on the left, 1 kHz on the right.
const sound = `${shots}/stereo.wav`;
assert.equal(spawnSync(env("SOX"), ["-n", "-r", "8000", "-c", "2", sound, "synth", "1", "sine", "440",
                                    "sine", "1000"]).status, 0);

const server = spawn(env("MORNAVEL_PROGRAM"), ["serve", "--port", "0"],
                     {stdio: ["ignore", "pipe", "inherit"]});
const address = await new Promise((resolve, reject) => {
  let text = "";
  server.stdout.on("data", chunk => {
    text += chunk;
    const m = text.match(/open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]+)/);
    if (m) resolve(m[1]);
  });
  server.on("exit", code => reject(new Error(`the server ended with ${code}`)));
});

const browser = await chromium.launch({executablePath: env("CHROMIUM"), args: ["--no-sandbox"]});
let failures = 0, passed = 0;
const errors = [];
try {
  const page = await browser.newPage({viewport: {width: 1500, height: 1200}});
  // Refused requests show in the console as failed loads; the page's own
  // errors are anything else.
  page.on("console", m => {
    if (m.type() === "error" && !/^Failed to load resource: .* (400|404)/.test(m.text()))
      errors.push(m.text());
  });
  page.on("pageerror", e => errors.push(String(e)));

  const status = page.getByRole("status", {name: "Status"});
  // Waits for the next picture (or refusal) after `action`.
  const settle = async action => {
    const before = await page.evaluate(() => shown && shown.png.length + ":" + shown.rows);
    await action();
    await page.waitForFunction(
        before => !pending && ((shown && shown.png.length + ":" + shown.rows) !== before ||
                               document.getElementById("status").classList.contains("error")),
        before, {timeout: 60000});
  };
  const shownState = () => page.evaluate(() => ({
    rows: shown.rows, columns: shown.columns, time: shown.time, frequency: shown.frequency,
    level: shown.level, plot: shown.plot,
  }));
  // Distinct colours inside the plot: a drawn picture has many.
  const plotColours = () => page.evaluate(() => {
    const img = document.getElementById("picture"), p = shown.plot;
    const canvas = document.createElement("canvas");
    canvas.width = p.width;
    canvas.height = p.height;
    const g = canvas.getContext("2d");
    g.drawImage(img, -p.left, -p.top);
    const data = g.getImageData(0, 0, p.width, p.height).data;
    const seen = new Set();
    for (let i = 0; i < data.length; i += 4) seen.add((data[i] << 16) | (data[i + 1] << 8) | data[i + 2]);
    return seen.size;
  });
  const step = async (name, body) => {
    try {
      await body();
      passed++;
      console.log(`ok   ${name}`);
    } catch (e) {
      failures++;
      console.log(`FAIL ${name}: ${e.message}`);
    }
    await page.screenshot({path: `${shots}/${name}.png`});
  };

  await page.goto(address);
  await page.waitForFunction(() => shown && !pending, null, {timeout: 60000});

  await step("capture_stft", async () => {
    assert.equal(await page.getByLabel("Method").inputValue(), "stft");
    assert.ok(await plotColours() > 50);
  });

  // Where the page shows time t and frequency f, as the page maps them: cells
  // are centred on their values, so the plot starts half a step early.
  const pointAt = async (s, t, f) => {
    const img = page.locator("#picture");
    const box = await img.boundingBox();
    const k = box.width / (await img.evaluate(i => i.naturalWidth));
    const u = (t - (s.time.offset - s.time.step / 2)) / (s.rows * s.time.step);
    const v = (f - (s.frequency.offset - s.frequency.step / 2)) / (s.columns * s.frequency.step);
    return {x: box.x + (s.plot.left + u * s.plot.width) * k,
            y: box.y + (s.plot.top + s.plot.height - v * s.plot.height) * k};
  };

  await step("readout_on_the_ridge", async () => {
    // At 1 s the linear chirp (2 to 9 kHz over 3 s) is at 4333 Hz.
    const s = await shownState();
    const p = await pointAt(s, 1.0, 2000 + 7000 / 3);
    await page.mouse.move(p.x, p.y);
    const text = await page.getByLabel("Read-out").textContent();
    const m = text.match(/^(-?[\d.]+) s {2}(\d+) Hz {2}(-?[\d.]+) dB$/);
    assert.ok(m, `read-out '${text}'`);
    assert.ok(Math.abs(Number(m[1]) - 1.0) <= s.time.step, `time ${m[1]}`);
    assert.ok(Math.abs(Number(m[2]) - 4333.3) <= s.frequency.step, `frequency ${m[2]}`);
    // The ridge is among the brightest cells.
    assert.ok(Number(m[3]) > s.level.offset + 200 * s.level.step, `level ${m[3]}`);
  });

  let zoomed;
  await step("box_zoom_on_the_chirp", async () => {
    const s = await shownState();
    const a = await pointAt(s, 0.8, 6000), b = await pointAt(s, 1.2, 3000);
    await settle(async () => {
      await page.keyboard.down("Shift");
      await page.mouse.move(a.x, a.y);
      await page.mouse.down();
      await page.mouse.move(b.x, b.y, {steps: 5});
      await page.mouse.up();
      await page.keyboard.up("Shift");
    });
    zoomed = await shownState();
    assert.ok(zoomed.frequency.step < s.frequency.step / 2,
              `frequency step ${zoomed.frequency.step} after ${s.frequency.step}`);
    assert.ok(Math.abs(zoomed.time.offset - 0.8) < 0.02, `starts at ${zoomed.time.offset} s`);
    assert.ok(await plotColours() > 50);
  });

  await step("reload_keeps_the_view", async () => {
    await page.reload();
    await page.waitForFunction(() => shown && !pending, null, {timeout: 60000});
    const again = await shownState();
    assert.deepEqual(again, zoomed);
  });

  await step("reset_zoom", async () => {
    await settle(() => page.getByRole("button", {name: "Reset zoom"}).click());
    assert.ok((await shownState()).time.offset < 0.01);
  });

  await step("exports", async () => {
    for (const [button, kind] of [["Export PNG", "png"], ["Export CSV", "csv"]]) {
      const [file] = await Promise.all([page.waitForEvent("download"),
                                        page.getByRole("button", {name: button}).click()]);
      const path = `${shots}/export.${kind}`;
      await file.saveAs(path);
      const head = readFileSync(path).subarray(0, 8);
      if (kind === "png") assert.equal(head.toString("latin1", 1, 4), "PNG");
      else assert.equal(head.toString(), "time_s\\f");
    }
  });

  for (const method of ["stft", "reassigned", "gabor", "gaborsp", "adaptive", "wvd", "cwd", "cone"]) {
    await step(`method_${method}`, async () => {
      // The quadratic methods on a short span: their kernels grow with it.
      await settle(() => page.goto(
          `${address}#method=${method}&start=1.3&duration=0.4&low=0&high=22050&bins=256`));
      assert.equal(await page.getByLabel("Method").inputValue(), method);
      assert.ok(!(await status.getAttribute("class") || "").includes("error"), await status.textContent());
      assert.ok(await plotColours() > 20, "the picture is blank");
    });
  }

  await step("refused_parameter", async () => {
    await settle(() => page.goto(`${address}#method=gabor&bins=512`));
    await settle(async () => {
      await page.getByLabel("Bins").fill("0");
      await page.getByLabel("Bins").dispatchEvent("change");
    });
    const message = page.getByRole("alert");
    assert.match(await message.textContent(), /parameter 'bins' must be a whole number from 1/);
    await settle(async () => {
      await page.getByLabel("Bins").fill("384");
      await page.getByLabel("Bins").dispatchEvent("change");
    });
    assert.match(await status.textContent(), /refused: status/);
  });

  await step("upload_through_the_picker", async () => {
    await page.goto(address);
    await page.waitForFunction(() => shown && !pending, null, {timeout: 60000});
    await settle(() => page.getByLabel("Open file").setInputFiles(sound));
    assert.equal(await page.getByLabel("Recording", {exact: true}).inputValue(), "upload-1");
    assert.match(await page.getByLabel("Recording details").textContent(), /1\.00 s/);
    assert.ok(await plotColours() > 20);
  });

  await step("no_console_errors", async () => {
    assert.deepEqual(errors, []);
  });
} finally {
  await browser.close();
  server.kill("SIGTERM");
}
console.log(`${passed} passed, ${failures} failed`);
process.exit(failures ? 1 : 0);
