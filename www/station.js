// The operator page's behaviour: the journal's state from /api/status and /api/queue (fetched again
// whenever the feed says the journal changed), the plate being marked from the feed's `live`
// events (its marks drawn on the canvas as they arrive), the station's messages as they come, and
// the operator's requests (order, stop, pause, resume, confirm, void).
"use strict";

const $ = (id) => document.getElementById(id);
const live = { plate: 0, run: -1, marks: [], bounds: null, drawn: 0 };
let refreshQueued = false;

async function api(path, body) {
  const options = body === undefined ? {} : { method: "POST", headers: { "Content-Type": "application/json" }, body: JSON.stringify(body) };
  const r = await fetch(path, options);
  const data = await r.json().catch(() => ({}));
  if (!r.ok) throw new Error(data.error || r.status + " " + r.statusText);
  return data;
}

function el(tag, text, cls) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
}

function showLaser(l, paused, stopping) {
  const laser = $("laser");
  laser.textContent = "laser gate: " + l.gate + (l.marking ? " (marking)" : "");
  laser.className = "badge " + l.gate;
  const run = $("run-state");
  run.textContent = stopping ? "stopping" : paused ? "paused" : l.marking ? "marking" : "ready";
  run.className = "badge" + (paused || stopping ? " paused" : "");
}

function plateLine(p) {
  const numbers = p.numbers.length ? p.numbers.map((n) => n.number).join(", ") : p.tags + " tags";
  return "plate " + p.id + " · order " + p.order + " · " + p.state + " · " + numbers;
}

async function decide(id, what) {
  try {
    if (what === "void") {
      const reason = "voided at the station (scrap)";
      await api("/api/plates/" + id + "/void", { reason });
    } else {
      await api("/api/plates/" + id + "/confirm", {});
    }
  } catch (e) {
    message("! " + e.message, true);
  }
  refresh();
}

function fillPlates(list, plates, empty, buttons) {
  list.replaceChildren();
  if (!plates.length) list.append(el("li", empty, "none"));
  for (const p of plates) {
    const li = el("li", plateLine(p));
    li.dataset.plate = p.id;
    if (p.note) li.append(el("div", p.note, "note"));
    if (buttons) {
      for (const [what, label] of [["confirm", "Confirm marked"], ["void", "Void"]]) {
        const b = el("button", label);
        b.type = "button";
        b.className = what;
        b.onclick = () => decide(p.id, what);
        li.append(b);
      }
    }
    list.append(li);
  }
}

async function refresh() {
  refreshQueued = false;
  try {
    const [status, queue] = await Promise.all([api("/api/status"), api("/api/queue")]);
    $("station-name").textContent = status.station ? "· " + status.station : "";
    showLaser(status.live, status.paused, status.stopping);
    const select = $("order-pool"), chosen = select.value;
    select.replaceChildren(...status.pools.map((p) => el("option", p.name)));
    if (chosen) select.value = chosen;
    const body = $("pools").tBodies[0];
    body.replaceChildren();
    for (const p of status.pools) {
      const tr = el("tr");
      tr.append(el("td", p.name));
      for (const k of ["free", "marked", "verified", "unreadable", "voided", "interrupted"]) tr.append(el("td", String(p.counts[k] ?? 0)));
      body.append(tr);
    }
    fillPlates($("interrupted"), queue.interrupted, "none", true);
    fillPlates($("queue"), [...queue.marking, ...queue.queued], "empty", false);
    if (live.plate) await showPlate(live.plate);
  } catch (e) {
    message("! " + e.message, true);
  }
}

function refreshSoon() {
  if (refreshQueued) return;
  refreshQueued = true;
  setTimeout(refresh, 150);
}

async function showPlate(id) {
  const p = await api("/api/plates/" + id);
  $("plate-id").textContent = p.id + " (order " + p.order + ")";
  const state = $("plate-state");
  state.textContent = p.state;
  state.className = "state " + p.state;
  const body = $("tags").tBodies[0];
  body.replaceChildren();
  for (const n of p.numbers) {
    const tr = el("tr");
    tr.append(el("td", String(n.slot)), el("td", n.number), el("td", n.state));
    const read = n.read_back === "" ? "–" : n.read_back === n.number ? "read ✓" : "read “" + n.read_back + "” ✗";
    tr.append(el("td", read, n.read_back === "" ? "" : n.read_back === n.number ? "read-ok" : "read-bad"));
    body.append(tr);
  }
}

function message(text, error) {
  const list = $("messages");
  list.append(el("li", text, error ? "error" : ""));
  while (list.children.length > 200) list.firstChild.remove();
  list.parentElement.scrollTop = list.parentElement.scrollHeight;
}

// The plate's marks, fitted into the canvas with a margin; redrawn whole when the bounds grow.
function draw() {
  const c = $("plate"), g = c.getContext("2d");
  const b = live.bounds;
  if (!b) {
    g.clearRect(0, 0, c.width, c.height);
    live.drawn = 0;
    return;
  }
  const w = Math.max(b.x1 - b.x0, 1), h = Math.max(b.y1 - b.y0, 1);
  const scale = Math.min((c.width - 20) / w, (c.height - 20) / h);
  const ox = (c.width - w * scale) / 2, oy = (c.height - h * scale) / 2;
  if (b.changed) {
    g.clearRect(0, 0, c.width, c.height);
    live.drawn = 0;
    b.changed = false;
  }
  g.strokeStyle = g.fillStyle = "#ffb347";
  g.lineWidth = 1;
  g.beginPath();
  for (; live.drawn < live.marks.length; live.drawn++) {
    const m = live.marks[live.drawn];
    const x = ox + (m[0] - b.x0) * scale, y = c.height - (oy + (m[1] - b.y0) * scale);
    if (m.length === 2) {
      g.rect(x - 0.7, y - 0.7, 1.4, 1.4);
    } else {
      g.moveTo(x, y);
      g.lineTo(ox + (m[2] - b.x0) * scale, c.height - (oy + (m[3] - b.y0) * scale));
    }
  }
  g.stroke();
}

function addMarks(marks) {
  for (const m of marks) {
    live.marks.push(m);
    const xs = m.length === 2 ? [m[0]] : [m[0], m[2]], ys = m.length === 2 ? [m[1]] : [m[1], m[3]];
    if (!live.bounds) live.bounds = { x0: xs[0], x1: xs[0], y0: ys[0], y1: ys[0], changed: true };
    const b = live.bounds;
    for (const x of xs) if (x < b.x0 || x > b.x1) { b.x0 = Math.min(b.x0, x); b.x1 = Math.max(b.x1, x); b.changed = true; }
    for (const y of ys) if (y < b.y0 || y > b.y1) { b.y0 = Math.min(b.y0, y); b.y1 = Math.max(b.y1, y); b.changed = true; }
  }
}

function onLive(l) {
  if (l.run !== live.run || l.from_start) {
    live.run = l.run;
    live.marks = [];
    live.bounds = null;
  }
  addMarks(l.new_marks || []);
  requestAnimationFrame(draw);
  if (l.plate && l.plate !== live.plate) {
    live.plate = l.plate;
    showPlate(l.plate).catch(() => {});
  }
  const expected = l.expected_marks;
  // The plate's progress against the previous plate's count of marks (unknown on the first one).
  const bar = $("progress");
  bar.max = expected || 1;
  if (!expected && l.marking) bar.removeAttribute("value");
  else bar.value = expected ? Math.min(l.marks, expected) : 0;
  $("progress-text").textContent = l.marks + " marks" + (expected ? " of about " + expected : "");
  $("machine-time").textContent = (l.machine_us / 1e6).toFixed(3) + " s";
  const run = $("run-state");
  showLaser(l, run.textContent === "paused", run.textContent === "stopping");
}

function connect() {
  const feed = new EventSource("/api/feed");
  feed.onmessage = refreshSoon;  // a journal event
  feed.addEventListener("live", (e) => onLive(JSON.parse(e.data)));
  // Journal events come unnamed, which EventSource also delivers as "message": only the station's
  // own messages carry a text.
  feed.addEventListener("message", (e) => {
    const text = JSON.parse(e.data).text;
    if (typeof text === "string" && text !== "") message(text);
  });
  feed.onerror = () => $("run-state").textContent = "no connection";
}

$("order").onsubmit = async (e) => {
  e.preventDefault();
  const out = $("order-result");
  try {
    const o = await api("/api/orders", { pool: $("order-pool").value, template: $("order-template").value, count: Number($("order-count").value) });
    out.textContent = "order " + o.id + ": " + o.tags + " tags, " + o.tags_per_plate + " per plate";
    out.className = "note";
  } catch (err) {
    out.textContent = err.message;
    out.className = "note error";
  }
  refresh();
};
$("stop").onclick = async () => {
  try {
    await api("/api/stop", {});
    message("stop requested");
  } catch (e) {
    message("! " + e.message, true);
  }
  refresh();
};
for (const what of ["pause", "resume"])
  $(what).onclick = () => api("/api/" + what, {}).then(refresh, (e) => message("! " + e.message, true));

refresh();
connect();
setInterval(refresh, 5000);
