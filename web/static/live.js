// SPDX-License-Identifier: GPL-3.0-or-later
// The live page: one card per channel, redrawn from every `live` event of the server's stream.
import { axis, css, durationText, fitWidth, fixed, getJson, ticks, watchEvents } from "./common.js";

const TREND_S = 600; // what the small chart keeps: the last ten minutes
const TREND_HEIGHT = 180;

class ChannelCard {
  constructor(number) {
    const template = document.getElementById("channel-card");
    this.node = template.content.firstElementChild.cloneNode(true);
    this.node.dataset.channel = number;
    this.f = {};
    for (const element of this.node.querySelectorAll("[data-f]")) {
      this.f[element.dataset.f] = element;
    }
    document.getElementById("channels").append(this.node);
    this.data = [[], [], []]; // utc seconds, output volts, amps
    this.chart = new uPlot(
      {
        width: Math.max(200, this.f.trend.clientWidth),
        height: TREND_HEIGHT,
        scales: {
          x: { time: true, range: (u, min, max) => [max - TREND_S, max] },
          // At least 0.1 V tall: a voltage that holds still is not blown up to millivolt ticks.
          V: {
            range: (u, min, max) => {
              const pad = Math.max(0.05, ((max ?? 0) - (min ?? 0)) * 0.1);
              return [(min ?? 0) - pad, (max ?? 0) + pad];
            },
          },
          // From zero, so that a current that stops reads as none rather than as the whole axis.
          A: { range: (u, min, max) => [Math.min(0, min ?? 0), Math.max(0.1, max ?? 0) * 1.05] },
        },
        series: [
          {},
          { label: "Voltage", scale: "V", stroke: css("--volt"), width: 1.5,
            value: (u, v) => `${fixed(v, 3)} V` },
          { label: "Current", scale: "A", stroke: css("--amp"), width: 1.5,
            value: (u, v) => `${fixed(v, 3)} A` },
        ],
        axes: [
          axis({}),
          axis({ scale: "V", values: ticks("V") }),
          axis({ scale: "A", side: 1, grid: { show: false }, values: ticks("A") }),
        ],
        cursor: { drag: { x: false, y: false } },
      },
      this.data,
      this.f.trend,
    );
    fitWidth(this.chart, this.f.trend, TREND_HEIGHT);
    this.prefilledRun = null;
  }

  show(ch) {
    const set = (name, text) => {
      if (this.f[name].textContent !== text) {
        this.f[name].textContent = text;
      }
    };
    set("channel", String(ch.channel));
    set("mode", ch.mode || "");
    set("status", ch.status || "");
    set("output_v", fixed(ch.output_v, 3));
    set("current_a", fixed(ch.current_a, 3));
    set("capacity_mah", fixed(ch.capacity_mah, 0));
    set("temperature", fixed(ch.temperature, 1));
    set("temperature_unit", ch.temperature_unit || "");
    set("elapsed", ch.run ? durationText(ch.run.elapsed_s) : "–");
    this.showRun(ch.run);
    this.showCells(ch.cells_v || [], ch.cell_spread_mv);
  }

  showRun(run) {
    const line = this.f.run;
    if (!run) {
      line.textContent = "No run";
      return;
    }
    const key = `${run.id}|${run.pack ?? ""}`;
    if (line.dataset.key !== key) {
      line.dataset.key = key;
      line.replaceChildren("Run ");
      const link = document.createElement("a");
      link.href = `runs/${run.id}`;
      link.textContent = String(run.id);
      line.append(link, run.pack ? ` · pack ${run.pack}` : " · no pack");
    }
  }

  // Plain bars whose heights share one scale from a little under the lowest cell, so that a
  // spread of a few millivolts still shows; the lowest and the highest cell are marked.
  showCells(cells, spreadMv) {
    const bars = this.f.cells;
    if (bars.children.length !== cells.length) {
      bars.replaceChildren();
      this.f["cell-numbers"].replaceChildren();
      cells.forEach((_, i) => {
        const cell = document.createElement("div");
        cell.className = "cell";
        cell.innerHTML = '<span class="v"></span><div class="bar"></div>';
        bars.append(cell);
        const number = document.createElement("span");
        number.textContent = String(i + 1);
        this.f["cell-numbers"].append(number);
      });
    }
    const low = Math.min(...cells);
    const high = Math.max(...cells);
    const floor = Math.max(0, low - 0.25);
    const span = Math.max(high - floor, 0.001);
    cells.forEach((volts, i) => {
      const cell = bars.children[i];
      cell.querySelector(".v").textContent = fixed(volts, 3);
      cell.querySelector(".bar").style.height = `${Math.max(2, ((volts - floor) / span) * 88)}%`;
      cell.classList.toggle("low", cells.length > 1 && volts === low && high > low);
      cell.classList.toggle("high", cells.length > 1 && volts === high && high > low);
    });
    this.f.spread.textContent = cells.length ? `spread ${fixed(spreadMv, 0)} mV` : "no cells";
  }

  addPoint(utcMs, ch) {
    const [t, v, a] = this.data;
    const seconds = utcMs / 1000;
    if (t.length && seconds <= t[t.length - 1]) {
      return; // the same frame again after a reconnection
    }
    t.push(seconds);
    v.push(ch.output_v);
    a.push(ch.current_a);
    let old = 0;
    while (old < t.length && t[old] < seconds - TREND_S) {
      ++old;
    }
    if (old > 0) {
      t.splice(0, old);
      v.splice(0, old);
      a.splice(0, old);
    }
    this.chart.setData(this.data);
  }

  // A page opened during a run starts its chart with the run's last ten minutes from the store.
  async prefill(run) {
    if (!run || this.prefilledRun === run.id) {
      return;
    }
    this.prefilledRun = run.id;
    const from = Math.max(0, Math.round(run.elapsed_s * 1000 - TREND_S * 1000));
    let frames;
    try {
      frames = await getJson(`api/runs/${run.id}/frames?from=${from}&width=600`);
    } catch {
      return; // the chart fills from the live frames alone
    }
    const [t, v, a] = this.data;
    const first = t.length ? t[0] : Infinity;
    const older = [[], [], []];
    frames.t.forEach((ms, i) => {
      const seconds = (frames.start_utc_ms + ms) / 1000;
      if (seconds < first) {
        older[0].push(seconds);
        older[1].push(frames.output_v[i]);
        older[2].push(frames.current_a[i]);
      }
    });
    t.unshift(...older[0]);
    v.unshift(...older[1]);
    a.unshift(...older[2]);
    this.chart.setData(this.data);
  }
}

const cards = new Map();

function showPill(element, text, level, title) {
  element.textContent = text;
  element.className = `pill ${level}`;
  element.title = title || "";
}

function showLive(live) {
  const link = live.link || {};
  const status = link.status || "";
  const linkLevel = ["OK", "Connected"].includes(status) ? "ok" : status.startsWith("ERROR") ? "bad" : "warn";
  showPill(document.getElementById("link"), `Link: ${status || "unknown"}`, linkLevel, link.detail);

  const rec = live.recording || {};
  const lost = rec.lost ? ` · ${rec.lost.toLocaleString()} lost` : "";
  const frames = `${(rec.frames ?? 0).toLocaleString()} frames${lost}`;
  const recording = {
    recording: [`Recording · ${frames}`, rec.lost ? "warn" : "ok"],
    paused: [`Paused${rec.reason ? `: ${rec.reason}` : ""} · ${frames}`, "warn"],
  }[rec.state] || ["Not recording", ""];
  showPill(document.getElementById("recording"), recording[0], recording[1], rec.reason);

  const channels = live.channels || [];
  document.getElementById("waiting").hidden = channels.length > 0;
  for (const ch of channels) {
    if (!cards.has(ch.channel)) {
      cards.set(ch.channel, new ChannelCard(ch.channel));
    }
    const card = cards.get(ch.channel);
    card.show(ch);
    if (live.utc_ms) {
      card.addPoint(live.utc_ms, ch);
    }
    card.prefill(ch.run);
  }
}

function showConnected(up) {
  document.getElementById("reconnecting").hidden = up;
  document.body.dataset.stream = up ? "up" : "down";
}

getJson("api/live").then(showLive, () => showConnected(false));
watchEvents({ live: showLive }, showConnected);
