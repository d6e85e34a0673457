// SPDX-License-Identifier: GPL-3.0-or-later
// The runs table, a page at a time, newest first; the filter and the page live in the address so
// that the back button and a bookmark keep them.
import { durationText, fixed, getJson, localTime, watchEvents } from "./common.js";

const PAGE = 50;
const query = new URLSearchParams(location.search);
const state = {
  channel: ["1", "2"].includes(query.get("channel")) ? query.get("channel") : "",
  pack: query.get("pack") || "",
  offset: Math.max(0, Number.parseInt(query.get("offset"), 10) || 0),
};
let total = 0;

// The fields of one line of `korvane-log runs`, in its order; true where the column is a number.
const columns = [
  [(r) => String(r.run), true],
  [(r) => String(r.channel), true],
  [(r) => r.kind, false],
  [(r) => localTime(r.start), false],
  [(r) => localTime(r.end), false],
  [(r) => durationText(r.duration_s), true],
  [(r) => fixed(r.capacity_ah, 3), true],
  [(r) => fixed(r.energy_wh, 3), true],
  [(r) => `${fixed(r.peak_temperature, 1)}${r.temperature_unit || ""}`, true],
  [(r) => r.end_text || "", false],
  [(r) => String(r.frames), true],
  [(r) => r.pack || "", false],
  [(r) => (r.ir_mohm === null || r.ir_mohm === undefined ? "" : fixed(r.ir_mohm, 1)), true],
];

function row(run) {
  const tr = document.createElement("tr");
  tr.dataset.run = run.run;
  columns.forEach(([text, number], i) => {
    const td = document.createElement("td");
    if (number) {
      td.className = "num";
    }
    if (i === 0) {
      const link = document.createElement("a");
      link.href = `runs/${run.run}`;
      link.textContent = text(run);
      td.append(link);
    } else if (i === 11 && run.pack) {
      const link = document.createElement("a");
      link.href = `runs?pack=${encodeURIComponent(run.pack)}`;
      link.textContent = run.pack;
      link.addEventListener("click", (event) => {
        event.preventDefault();
        event.stopPropagation();
        Object.assign(state, { pack: run.pack, offset: 0 });
        load(true);
      });
      td.append(link);
    } else {
      td.textContent = text(run);
    }
    tr.append(td);
  });
  tr.addEventListener("click", (event) => {
    if (!event.target.closest("a")) {
      location.href = `runs/${run.run}`;
    }
  });
  return tr;
}

async function load(remember) {
  const params = new URLSearchParams();
  if (state.channel) params.set("channel", state.channel);
  if (state.pack) params.set("pack", state.pack);
  if (state.offset) params.set("offset", String(state.offset));
  if (remember) {
    history.pushState(null, "", params.size ? `runs?${params}` : "runs");
  }
  params.set("offset", String(state.offset));
  params.set("limit", String(PAGE));
  document.getElementById("channel").value = state.channel;
  document.getElementById("pack-filter").hidden = !state.pack;
  document.getElementById("pack-name").textContent = state.pack;
  const error = document.getElementById("error");
  let page;
  try {
    page = await getJson(`api/runs?${params}`);
  } catch (e) {
    error.textContent = `The runs could not be read: ${e.message}`;
    error.hidden = false;
    return;
  }
  error.hidden = true;
  total = page.total;
  document.getElementById("runs").replaceChildren(...page.runs.map(row));
  document.getElementById("empty").hidden = total > 0;
  const first = page.runs.length ? page.offset + 1 : 0;
  document.getElementById("range").textContent =
    `${first.toLocaleString()}–${(page.offset + page.runs.length).toLocaleString()} of ${total.toLocaleString()}`;
  document.getElementById("newer").disabled = page.offset === 0;
  document.getElementById("older").disabled = page.offset + page.runs.length >= total;
}

document.getElementById("channel").addEventListener("change", (event) => {
  Object.assign(state, { channel: event.target.value, offset: 0 });
  load(true);
});
document.getElementById("pack-clear").addEventListener("click", (event) => {
  event.preventDefault();
  Object.assign(state, { pack: "", offset: 0 });
  load(true);
});
document.getElementById("newer").addEventListener("click", () => {
  state.offset = Math.max(0, state.offset - PAGE);
  load(true);
});
document.getElementById("older").addEventListener("click", () => {
  state.offset = Math.min(state.offset + PAGE, Math.max(0, total - 1));
  load(true);
});
addEventListener("popstate", () => {
  const back = new URLSearchParams(location.search);
  state.channel = back.get("channel") || "";
  state.pack = back.get("pack") || "";
  state.offset = Math.max(0, Number.parseInt(back.get("offset"), 10) || 0);
  load(false);
});

// A run that begins, ends or changes shows without a reload; more than one change at a time
// costs one request.
let pending = null;
watchEvents(
  {
    runs: () => {
      clearTimeout(pending);
      pending = setTimeout(() => load(false), 500);
    },
  },
  () => {},
);
load(false);
