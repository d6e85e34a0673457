// SPDX-License-Identifier: GPL-3.0-or-later
// One run's plot. The server thins the frames to one column per pixel keeping each column's
// lowest and highest value, so a zoom asks again for the chosen span at full detail.
import { axis, clockText, css, durationText, fitWidth, fixed, getJson, localTime, ticks } from "./common.js";

const id = (location.pathname.match(/\/runs\/(\d+)\/?$/) || [])[1];
const plotBox = document.getElementById("plot");
let chart = null;
let whole = null; // the whole run at the first width, for the reset
let request = 0; // the newest frames request; older answers are dropped

function fail(message) {
  const error = document.getElementById("error");
  error.textContent = message;
  error.hidden = false;
}

function showFacts(run) {
  document.title = `Korvane Connect · Run ${run.run}`;
  document.getElementById("title").textContent = `Run ${run.run} · channel ${run.channel} · ${run.kind}`;
  const facts = [
    ["Start", localTime(run.start)],
    ["End", localTime(run.end)],
    ["Duration", durationText(run.duration_s)],
    ["Capacity", `${fixed(run.capacity_ah, 3)} Ah`],
    ["Energy", `${fixed(run.energy_wh, 3)} Wh`],
    ["Peak temperature", `${fixed(run.peak_temperature, 1)}${run.temperature_unit || ""}`],
    ["End state", run.end_text || run.state],
    ["Frames", run.frames.toLocaleString()],
    ["Pack", run.pack || "none"],
  ];
  if (run.ir_mohm !== null && run.ir_mohm !== undefined) {
    facts.push(["IR", `${fixed(run.ir_mohm, 1)} mOhm`]);
  }
  document.getElementById("facts").replaceChildren(
    ...facts.map(([label, value]) => {
      const span = document.createElement("span");
      const b = document.createElement("b");
      b.textContent = `${label}: `;
      span.append(b, value);
      return span;
    }),
  );
}

// uPlot's columns: elapsed seconds, then one array per series in the order of seriesFor().
function columnsOf(frames) {
  return [
    frames.t.map((ms) => ms / 1000),
    frames.output_v,
    frames.input_v,
    frames.current_a,
    frames.capacity_mah,
    frames.temperature,
    ...frames.cells_v,
  ];
}

function seriesFor(cellCount, unit) {
  const dark = matchMedia("(prefers-color-scheme: dark)").matches;
  const line = (label, scale, stroke, digits, suffix, show = true, width = 2) => ({
    label, scale, stroke, show, width,
    value: (u, v) => (v === null || v === undefined ? "–" : `${v.toFixed(digits)} ${suffix}`),
  });
  const cells = Array.from({ length: cellCount }, (_, i) =>
    line(`Cell ${i + 1}`, "cell", `hsl(${(i * 47 + 160) % 360} 55% ${dark ? 66 : 42}%)`, 3, "V", true, 1));
  return [
    { label: "Elapsed", value: (u, v) => (v === null ? "–" : clockText(v)) },
    line("Output", "V", css("--volt"), 3, "V"),
    line("Input", "V", css("--input"), 3, "V", false),
    line("Current", "A", css("--amp"), 3, "A"),
    line("Capacity", "mAh", css("--cap"), 0, "mAh", false),
    line("Temperature", "T", css("--temp"), 1, unit, false),
    ...cells,
  ];
}

function plotHeight() {
  return Math.round(Math.min(560, Math.max(260, innerHeight * 0.6)));
}

function plotColumns() {
  return Math.max(1, Math.min(10000, Math.round(chart ? chart.bbox.width / devicePixelRatio : plotBox.clientWidth - 156)));
}

async function frames(fromMs, toMs) {
  const range = fromMs === undefined ? "" : `&from=${Math.floor(fromMs)}&to=${Math.ceil(toMs)}`;
  return getJson(`api/runs/${id}/frames?width=${plotColumns()}${range}`);
}

// Shows the chosen span at once from what is loaded, then again in full detail.
async function zoomTo(min, max) {
  if (!(max > min)) {
    return;
  }
  chart.setScale("x", { min, max });
  document.getElementById("reset").disabled = false;
  const mine = ++request;
  let detail;
  try {
    detail = await frames(min * 1000, max * 1000);
  } catch (e) {
    fail(`The frames could not be read: ${e.message}`);
    return;
  }
  if (mine === request) {
    chart.setData(columnsOf(detail), false);
    chart.setScale("x", { min, max });
  }
}

function reset() {
  ++request;
  chart.setData(columnsOf(whole));
  document.getElementById("reset").disabled = true;
}

function draw(first, unit) {
  const height = plotHeight();
  const secondsAxis = axis({
    incrs: [1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400],
    values: (u, splits) => splits.map(clockText),
  });
  chart = new uPlot(
    {
      width: Math.max(240, plotBox.clientWidth),
      height,
      scales: { x: { time: false } },
      series: seriesFor(first.cells_v.length, unit),
      axes: [
        secondsAxis,
        axis({ scale: "V", values: ticks("V") }),
        axis({ scale: "A", side: 1, grid: { show: false }, values: ticks("A") }),
        axis({ scale: "cell", side: 3, grid: { show: false }, values: ticks(""),
               label: "Cells [V]", labelSize: 18 }),
      ],
      cursor: {
        drag: { x: true, y: false, setScale: false },
        bind: { dblclick: () => () => reset() },
      },
      hooks: {
        setSelect: [
          (u) => {
            if (u.select.width > 2) {
              const min = u.posToVal(u.select.left, "x");
              const max = u.posToVal(u.select.left + u.select.width, "x");
              u.setSelect({ left: 0, top: 0, width: 0, height: 0 }, false);
              zoomTo(min, max);
            }
          },
        ],
      },
    },
    columnsOf(first),
    plotBox,
  );
  fitWidth(chart, plotBox, height);
}

async function start() {
  if (!id) {
    fail("This address names no run.");
    return;
  }
  document.getElementById("export").href = `${id}/export`;
  document.getElementById("reset").addEventListener("click", reset);
  let run;
  try {
    run = await getJson(`api/runs/${id}`);
  } catch (e) {
    fail(`Run ${id}: ${e.message}`);
    return;
  }
  showFacts(run);
  try {
    whole = await frames();
  } catch (e) {
    fail(`The frames could not be read: ${e.message}`);
    return;
  }
  draw(whole, run.temperature_unit || "");
}

start();
