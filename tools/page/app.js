// The analyser's page: picks a recording and a method, asks the server for
// the picture and shows it. The view (recording, method, parameters) is kept
// in the address's fragment, so that a reload shows it again.
"use strict";

const form = document.getElementById("controls");
const recordingSelect = document.getElementById("recording");
const methodSelect = document.getElementById("method");
const statusLine = document.getElementById("status");
const picture = document.getElementById("picture");
const about = document.getElementById("about");
let methods = [];
let recordings = [];
let pending = null;  // the request in flight, cancelled by the next one
let pictureUrl = null;

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
  for (const [k, v] of Object.entries(view)) fragment.set(k, String(v));
  history.replaceState(null, "", location.pathname + location.search + "#" + fragment);
}

function restoreFromAddress() {
  const fragment = new URLSearchParams(location.hash.slice(1));
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
    const answer = await api("/api/view", {
      method: "POST",
      headers: {"Content-Type": "application/json"},
      body: JSON.stringify(view),
      signal: controller.signal,
    });
    const blob = await answer.blob();
    if (pictureUrl) URL.revokeObjectURL(pictureUrl);
    pictureUrl = URL.createObjectURL(blob);
    picture.src = pictureUrl;
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
    const rate = document.getElementById("rate").value;
    const answer = await api(`/api/recordings?name=${encodeURIComponent(file.name)}&rate=${rate}`,
                             {method: "POST", body: file});
    const added = await answer.json();
    await loadRecordings(added.id);
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
  if (event.target === methodSelect) showFields();
  show();
});
document.getElementById("file").addEventListener("change", event => {
  if (event.target.files.length) upload(event.target.files[0]);
});
document.getElementById("export-png").addEventListener("click", () => {
  if (!pictureUrl) return;
  const link = document.createElement("a");
  link.href = pictureUrl;
  link.download = `${methodSelect.value}.png`;
  link.click();
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

start().catch(failure => say(failure.message, true));
