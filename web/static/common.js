// SPDX-License-Identifier: GPL-3.0-or-later
// What the three pages share: where the server is, number and time texts as korvane-log writes
// them, the event stream, and the colours uPlot draws with.

// Links and requests are relative to the page (data-root on <html> climbs from /runs/ID), so the
// pages also work below a reverse proxy's path prefix.
export function apiUrl(path) {
  return new URL((document.documentElement.dataset.root || "") + path, location.href).href;
}

export async function getJson(path) {
  const response = await fetch(apiUrl(path), { headers: { Accept: "application/json" } });
  if (!response.ok) {
    let message = `${response.status} ${response.statusText}`;
    try {
      message = (await response.json()).error || message;
    } catch {
      // not JSON: the status line says enough
    }
    throw new Error(message);
  }
  return response.json();
}

// A fixed number of decimals, or a dash for a missing value.
export function fixed(value, digits) {
  return value === null || value === undefined || Number.isNaN(value) ? "–" : value.toFixed(digits);
}

// "1 h 02 m 03 s", rounded to the nearest second as the table of korvane-log runs does.
export function durationText(seconds) {
  const total = Math.max(0, Math.round(seconds ?? 0));
  const two = (n) => String(n).padStart(2, "0");
  return `${Math.floor(total / 3600)} h ${two(Math.floor(total / 60) % 60)} m ${two(total % 60)} s`;
}

// Elapsed seconds as a clock reading for chart axes: "1:02:03", "2:03".
export function clockText(seconds) {
  const total = Math.max(0, Math.round(seconds));
  const two = (n) => String(n).padStart(2, "0");
  const h = Math.floor(total / 3600);
  const m = Math.floor(total / 60) % 60;
  return h > 0 ? `${h}:${two(m)}:${two(total % 60)}` : `${m}:${two(total % 60)}`;
}

export function localTime(iso) {
  return iso ? new Date(iso).toLocaleString(undefined, { dateStyle: "short", timeStyle: "medium" }) : "";
}

export function css(name) {
  return getComputedStyle(document.documentElement).getPropertyValue(name).trim();
}

// Axis options in the page's colours; uPlot draws on a canvas, so it cannot follow CSS itself.
export function axis(options) {
  const line = { stroke: css("--grid"), width: 1 };
  const style = { stroke: css("--muted"), grid: line, ticks: line };
  if (options.scale) {
    // A value axis as wide as its longest tick label (about 7 px a character at 12 px).
    style.size = (u, values) => 18 + 7 * Math.max(2, ...(values || []).map((v) => String(v).length));
  }
  return { ...style, ...options };
}

// Tick labels with as many decimals as the step between ticks needs, and the unit.
export function ticks(unit) {
  return (u, values, axisIndex, space, step) => {
    const digits = Math.min(3, (String(step).split(".")[1] || "").length);
    return values.map((v) => `${v.toFixed(digits)}${unit ? ` ${unit}` : ""}`);
  };
}

// The charts take their colours once; a change of the system's scheme draws the page anew.
matchMedia("(prefers-color-scheme: dark)").addEventListener("change", () => location.reload());

// The server's event stream. EventSource retries by itself after a dropped connection; after an
// answer it cannot use (a proxy's 502 while korvane-log restarts) it gives up, so a fresh one is
// opened a little later. onState(true|false) tells whether the stream is up.
export function watchEvents(listeners, onState) {
  let source = null;
  const open = () => {
    source = new EventSource(apiUrl("api/events"));
    source.onopen = () => onState(true);
    source.onerror = () => {
      onState(false);
      if (source.readyState === EventSource.CLOSED) {
        setTimeout(open, 3000);
      }
    };
    for (const [name, listener] of Object.entries(listeners)) {
      source.addEventListener(name, (event) => {
        let data;
        try {
          data = JSON.parse(event.data);
        } catch {
          return; // a torn message: the next one carries the whole state again
        }
        listener(data);
      });
    }
  };
  open();
}

// Keeps a chart as wide as its box.
export function fitWidth(chart, box, height) {
  new ResizeObserver(() => {
    const width = Math.floor(box.clientWidth);
    if (width > 0 && width !== chart.width) {
      chart.setSize({ width, height });
    }
  }).observe(box);
}
