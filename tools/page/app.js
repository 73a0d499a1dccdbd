// The analyser's page: picks a recording and a method, asks the server for
// the picture and shows it, with the time, frequency and level of the cell
// under the pointer. The view (recording, method, parameters) is kept in the
// address's fragment, so that a reload shows it again.
"use strict";

const form = document.getElementById("controls");
const recordingSelect = document.getElementById("recording");
const methodSelect = document.getElementById("method");
const statusLine = document.getElementById("status");
const picture = document.getElementById("picture");
const about = document.getElementById("about");
let methods = [];
let recordings = [];
const readout = document.getElementById("readout");
let pending = null;  // the request in flight, cancelled by the next one
let pictureUrl = null;
let shown = null;  // the picture's cells and axes, as the server describes them
let cells = null;  // the byte of each cell, row (time) after row
// The span shown, in seconds and hertz; null for the whole recording. A span
// is recomputed at the picture's resolution, not stretched.
let span = null;

function say(text, error) {
  statusLine.textContent = text;
  statusLine.classList.toggle("error", !!error);
}

async function api(path, options) {
  const answer = await fetch(path, options);
  if (!answer.ok) {
    let body = {};
    try { body = await answer.json(); } catch (e) { body = {error: answer.statusText}; }
    const failure = new Error(body.error || answer.statusText);
    failure.parameter = body.parameter;
    throw failure;
  }
  return answer;
}

function kindOf(name) {
  const m = methods.find(m => m.name === name);
  if (!m) return "";
  if (["stft", "reassigned", "gabor"].includes(name)) return "linear";
  return name;
}

// Shows the fields the chosen method takes.
function showFields() {
  const kind = kindOf(methodSelect.value);
  for (const label of form.querySelectorAll("label[data-for]")) {
    const wanted = label.dataset.for.split(" ");
    label.classList.toggle("hidden", !wanted.includes(kind) && !wanted.includes(methodSelect.value));
  }
}

// The view as the server takes it: numbers as numbers, boxes as booleans.
function viewRequest() {
  const view = {recording: recordingSelect.value, method: methodSelect.value};
  if (span) Object.assign(view, span, {fit: true});
  for (const input of form.querySelectorAll("input[name], select[name]")) {
    if (input.name === "recording" || input.name === "method") continue;
    if (input.closest("label.hidden")) continue;
    if (input.type === "checkbox") view[input.name] = input.checked;
    else if (input.type === "number") view[input.name] = Number(input.value);
    else view[input.name] = input.value;
  }
  return view;
}

function clearMessages() {
  for (const m of form.querySelectorAll(".message")) m.remove();
  for (const f of form.querySelectorAll(".refused")) f.classList.remove("refused");
}

function showRefusal(failure) {
  const field = failure.parameter && form.querySelector(`[name="${failure.parameter}"]`);
  if (field) {
    field.classList.add("refused");
    const message = document.createElement("span");
    message.className = "message";
    message.setAttribute("role", "alert");
    message.textContent = failure.message;
    field.closest("label").after(message);
  }
  say(failure.message, true);
}

function keepInAddress(view) {
  const fragment = new URLSearchParams();
  for (const [k, v] of Object.entries(view)) if (k !== "fit") fragment.set(k, String(v));
  history.replaceState(null, "", location.pathname + location.search + "#" + fragment);
}

const spanKeys = ["start", "duration", "low", "high"];

function restoreFromAddress() {
  const fragment = new URLSearchParams(location.hash.slice(1));
  if (spanKeys.every(k => fragment.has(k)))
    span = Object.fromEntries(spanKeys.map(k => [k, Number(fragment.get(k))]));
  for (const [k, v] of fragment) {
    const field = k === "recording" ? recordingSelect : form.querySelector(`[name="${k}"]`);
    if (!field) continue;
    if (field.type === "checkbox") field.checked = v === "true";
    else field.value = v;
  }
}

async function show() {
  if (pending) pending.abort();
  const controller = new AbortController();
  pending = controller;
  clearMessages();
  const view = viewRequest();
  keepInAddress(view);
  const r = recordings.find(r => r.id === view.recording);
  if (r) about.textContent = `${r.name}, ${r.seconds.toFixed(2)} s, ${r.channels} channel(s)`;
  say("Computing…");
  const started = performance.now();
  try {
    const answer = await api("/api/view.json", {
      method: "POST",
      headers: {"Content-Type": "application/json"},
      body: JSON.stringify(view),
      signal: controller.signal,
    });
    shown = await answer.json();
    cells = Uint8Array.from(atob(shown.cells), c => c.charCodeAt(0));
    pictureUrl = "data:image/png;base64," + shown.png;
    picture.src = pictureUrl;
    readout.textContent = "";
    say(`${view.method}: ${Math.round(performance.now() - started)} ms`);
  } catch (failure) {
    if (failure.name === "AbortError") return;
    showRefusal(failure);
  } finally {
    if (pending === controller) pending = null;
  }
}

async function loadRecordings(select) {
  recordings = (await (await api("/api/recordings")).json()).recordings;
  recordingSelect.replaceChildren(...recordings.map(r => new Option(r.name, r.id)));
  if (select) recordingSelect.value = select;
}

async function upload(file) {
  say(`Uploading ${file.name}…`);
  try {
    // Text columns need their rate; audio files carry their own.
    const rate = /\.(csv|tsv|txt|dat)$/i.test(file.name)
        ? `&rate=${document.getElementById("rate").value}` : "";
    const answer = await api(`/api/recordings?name=${encodeURIComponent(file.name)}${rate}`,
                             {method: "POST", body: file});
    const added = await answer.json();
    await loadRecordings(added.id);
    span = null;
    await show();
  } catch (failure) {
    say(failure.message, true);
  }
}

async function start() {
  methods = (await (await api("/api/methods")).json()).methods;
  methodSelect.replaceChildren(...methods.map(m => new Option(m.title, m.name)));
  await loadRecordings();
  restoreFromAddress();
  showFields();
  await show();
}

form.addEventListener("change", event => {
  if (event.target.id === "file") return;
  if (event.target === recordingSelect) span = null;
  if (event.target === methodSelect) showFields();
  show();
});
document.getElementById("file").addEventListener("change", event => {
  if (event.target.files.length) upload(event.target.files[0]);
});
// Where the pointer is on the plot: u across (time), v up (frequency), both
// 0 to 1 inside it.
function plotPoint(event) {
  const scale = picture.naturalWidth / picture.clientWidth;
  const p = shown.plot;
  return {u: (event.offsetX * scale - p.left) / p.width,
          v: (p.top + p.height - event.offsetY * scale) / p.height};
}

// The time and frequency at a plot point: cells are centred on their
// values, so the plot spans half a step beyond the first and last.
function valueAt(u, v) {
  const t0 = shown.time.offset - shown.time.step / 2;
  const f0 = shown.frequency.offset - shown.frequency.step / 2;
  return {t: t0 + u * shown.rows * shown.time.step,
          f: f0 + v * shown.columns * shown.frequency.step};
}

// The span of the shown picture, and a new one brought inside the recording.
function shownSpan() {
  const a = valueAt(0, 0), b = valueAt(1, 1);
  return {start: a.t, duration: b.t - a.t, low: a.f, high: b.f};
}

function zoomTo(s) {
  const r = recordings.find(r => r.id === recordingSelect.value);
  if (!r) return;
  const duration = Math.min(Math.max(s.duration, 0.001), r.seconds);
  const start = Math.min(Math.max(s.start, 0), r.seconds - duration);
  const width = Math.min(Math.max(s.high - s.low, 1), r.rate / 2);
  const low = Math.min(Math.max(s.low, 0), r.rate / 2 - width);
  span = {start, duration, low, high: low + width};
  scheduleShow();
}

let showTimer = null;
function scheduleShow() {
  clearTimeout(showTimer);
  showTimer = setTimeout(show, 120);
}

// The cell under the pointer: cell row r spans [r, r + 1) / rows of the
// plot's width, cell column c the same share of its height from the bottom.
picture.addEventListener("mousemove", event => {
  if (!shown) return;
  const {u, v} = plotPoint(event);
  if (drag) moveBox(event);
  if (!(u >= 0 && u < 1 && v >= 0 && v < 1)) {
    readout.textContent = "";
    return;
  }
  const r = Math.floor(u * shown.rows), c = Math.floor(v * shown.columns);
  const t = shown.time.offset + r * shown.time.step;
  const f = shown.frequency.offset + c * shown.frequency.step;
  const level = shown.level.offset + cells[r * shown.columns + c] * shown.level.step;
  readout.textContent = `${t.toFixed(3)} s  ${Math.round(f)} Hz  ` +
      (shown.level.decibel ? `${level.toFixed(1)} dB` : level.toPrecision(4));
});
picture.addEventListener("mouseleave", () => { readout.textContent = ""; });

// Drag: pan, or with Shift a box to zoom into.
const box = document.getElementById("box");
let drag = null;
picture.addEventListener("mousedown", event => {
  if (!shown || event.button !== 0) return;
  event.preventDefault();
  drag = {x: event.offsetX, y: event.offsetY, box: event.shiftKey, from: plotPoint(event)};
});
function moveBox(event) {
  if (!drag.box) return;
  box.hidden = false;
  box.style.left = `${Math.min(drag.x, event.offsetX)}px`;
  box.style.top = `${Math.min(drag.y, event.offsetY)}px`;
  box.style.width = `${Math.abs(event.offsetX - drag.x)}px`;
  box.style.height = `${Math.abs(event.offsetY - drag.y)}px`;
}
window.addEventListener("mouseup", event => {
  if (!drag) return;
  const d = drag;
  drag = null;
  box.hidden = true;
  if (event.target !== picture) return;
  const to = plotPoint(event);
  const moved = Math.abs(event.offsetX - d.x) + Math.abs(event.offsetY - d.y);
  if (moved < 4) return;
  const s = shownSpan();
  if (d.box) {
    const a = valueAt(Math.min(d.from.u, to.u), Math.min(d.from.v, to.v));
    const b = valueAt(Math.max(d.from.u, to.u), Math.max(d.from.v, to.v));
    zoomTo({start: a.t, duration: b.t - a.t, low: a.f, high: b.f});
  } else {
    const dt = (d.from.u - to.u) * s.duration, df = (d.from.v - to.v) * (s.high - s.low);
    zoomTo({start: s.start + dt, duration: s.duration, low: s.low + df, high: s.high + df});
  }
});
// The wheel zooms around the pointer: in time, or with Shift in frequency.
picture.addEventListener("wheel", event => {
  if (!shown) return;
  event.preventDefault();
  const {u, v} = plotPoint(event);
  const at = valueAt(u, v), s = shownSpan();
  const k = event.deltaY < 0 ? 0.8 : 1.25;
  if (event.shiftKey) {
    zoomTo({start: s.start, duration: s.duration,
            low: at.f - (at.f - s.low) * k, high: at.f + (s.high - at.f) * k});
  } else {
    zoomTo({start: at.t - (at.t - s.start) * k, duration: s.duration * k,
            low: s.low, high: s.high});
  }
}, {passive: false});
document.getElementById("reset-zoom").addEventListener("click", () => {
  span = null;
  show();
});
function download(address, name) {
  const link = document.createElement("a");
  link.href = address;
  link.download = name;
  link.click();
}
document.getElementById("export-png").addEventListener("click", () => {
  if (pictureUrl) download(pictureUrl, `${methodSelect.value}.png`);
});
// The values of the view's cells, with their times and frequencies.
document.getElementById("export-csv").addEventListener("click", async () => {
  say("Exporting…");
  try {
    const answer = await api("/api/view.csv", {
      method: "POST", headers: {"Content-Type": "application/json"},
      body: JSON.stringify(viewRequest()),
    });
    const address = URL.createObjectURL(await answer.blob());
    download(address, `${methodSelect.value}.csv`);
    setTimeout(() => URL.revokeObjectURL(address), 10000);
    say("Exported");
  } catch (failure) {
    showRefusal(failure);
  }
});
document.body.addEventListener("dragover", event => {
  event.preventDefault();
  document.body.classList.add("dragging");
});
document.body.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
document.body.addEventListener("drop", event => {
  event.preventDefault();
  document.body.classList.remove("dragging");
  if (event.dataTransfer.files.length) upload(event.dataTransfer.files[0]);
});

// A view named in the address (a link, or one typed) is shown at once.
window.addEventListener("hashchange", () => {
  span = null;
  restoreFromAddress();
  showFields();
  show();
});

start().catch(failure => say(failure.message, true));
