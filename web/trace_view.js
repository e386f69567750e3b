// The trace view: the traces of an input or the records of the output on a canvas, as wiggles
// with the positive half filled (variable area) or as a density plot, with the header words
// of the trace under the pointer beside it. Time runs down, traces left to right.
"use strict";

function makeTraceView(el) {
  let traces = [];
  let kind = 0;  // 0: SEG-2 traces, 1: QEX records
  let under = -1;

  function mode() {
    for (const radio of el.modes) if (radio.checked) return radio.value;
    return "wiggle";
  }

  // Peak of each trace's absolute amplitude, and of the whole section.
  function peaks() {
    let all = 0;
    const each = traces.map((t) => {
      let peak = 0;
      for (const s of t.samples) {
        const a = Math.abs(s);
        if (a > peak && Number.isFinite(a)) peak = a;
      }
      all = Math.max(all, peak);
      return peak;
    });
    return { each, all };
  }

  function draw() {
    const canvas = el.canvas;
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.floor(canvas.clientWidth * ratio));
    const height = Math.max(1, Math.floor(canvas.clientHeight * ratio));
    canvas.width = width;
    canvas.height = height;
    const g = canvas.getContext("2d");
    g.fillStyle = "#fff";
    g.fillRect(0, 0, width, height);
    if (traces.length === 0) return;
    const top = 24 * ratio;
    const left = 48 * ratio;
    const plotWidth = width - left - 8 * ratio;
    const plotHeight = height - top - 8 * ratio;
    const longest = Math.max(...traces.map((t) => t.samples.length), 1);
    const spacing = plotWidth / traces.length;
    const gain = Number(el.gain.value) || 1;
    const { each, all } = peaks();
    const scaleOf = (i) => {
      const peak = el.normal.checked ? each[i] : all;
      return peak > 0 ? gain / peak : 0;
    };

    if (mode() === "density") {
      const image = g.createImageData(Math.max(1, Math.floor(plotWidth)), Math.max(1, Math.floor(plotHeight)));
      for (let x = 0; x < image.width; ++x) {
        const i = Math.min(traces.length - 1, Math.floor(x / spacing));
        const samples = traces[i].samples;
        const scale = scaleOf(i);
        for (let y = 0; y < image.height; ++y) {
          const k = Math.floor((y / image.height) * longest);
          const v = k < samples.length ? Math.max(-1, Math.min(1, samples[k] * scale)) : 0;
          // Positive amplitudes black, negative red, zero white.
          const at = (y * image.width + x) * 4;
          if (v >= 0) {
            const c = Math.round(255 * (1 - v));
            image.data[at] = c; image.data[at + 1] = c; image.data[at + 2] = c;
          } else {
            const c = Math.round(255 * (1 + v));
            image.data[at] = 255; image.data[at + 1] = c; image.data[at + 2] = c;
          }
          image.data[at + 3] = 255;
        }
      }
      g.putImageData(image, Math.floor(left), Math.floor(top));
    } else {
      const rows = Math.max(1, Math.floor(plotHeight));
      for (let i = 0; i < traces.length; ++i) {
        const samples = traces[i].samples;
        const base = left + spacing * (i + 0.5);
        const half = spacing * 0.5 * scaleOf(i);
        // Each pixel row takes the extremes of the samples it covers.
        const low = new Float32Array(rows);
        const high = new Float32Array(rows);
        for (let y = 0; y < rows; ++y) {
          const from = Math.floor((y / rows) * longest);
          const to = Math.max(from + 1, Math.floor(((y + 1) / rows) * longest));
          let lo = Infinity;
          let hi = -Infinity;
          for (let k = from; k < to && k < samples.length; ++k) {
            const s = samples[k];
            if (s < lo) lo = s;
            if (s > hi) hi = s;
          }
          low[y] = lo === Infinity ? 0 : lo;
          high[y] = hi === -Infinity ? 0 : hi;
        }
        g.fillStyle = "#000";
        for (let y = 0; y < rows; ++y) {
          if (high[y] > 0) g.fillRect(base, top + y, Math.min(spacing * 2, high[y] * half), 1);
        }
        g.strokeStyle = "#000";
        g.lineWidth = Math.max(1, ratio * 0.75);
        g.beginPath();
        for (let y = 0; y < rows; ++y) {
          const x1 = base + Math.max(-spacing * 2, low[y] * half);
          const x2 = base + Math.min(spacing * 2, high[y] * half);
          if (y === 0) g.moveTo(x1, top); else g.lineTo(x1, top + y);
          g.lineTo(x2, top + y);
        }
        g.stroke();
      }
    }
    // Time axis from the first trace's sample interval (word 59, microseconds).
    const interval = traces[0].words[59] > 0 ? traces[0].words[59] : 0;
    g.fillStyle = "#333";
    g.font = `${11 * ratio}px sans-serif`;
    g.textAlign = "right";
    for (let step = 0; step <= 10; ++step) {
      const y = top + (plotHeight * step) / 10;
      const label = interval > 0 ? ((longest * interval * step) / 10 / 1000).toFixed(0) + " ms" : String(Math.round((longest * step) / 10));
      g.fillText(label, left - 4 * ratio, y + 4 * ratio);
      g.fillRect(left - 3 * ratio, y, 3 * ratio, 1);
    }
    g.textAlign = "center";
    const every = Math.max(1, Math.ceil(traces.length / Math.max(1, plotWidth / (36 * ratio))));
    for (let i = 0; i < traces.length; i += every) {
      g.fillText(String(traces[i].number), left + spacing * (i + 0.5), top - 8 * ratio);
    }
    if (under >= 0) {
      g.strokeStyle = "rgba(10,100,216,.8)";
      g.strokeRect(left + spacing * under, top, spacing, plotHeight);
    }
  }

  function showWords(index) {
    if (index < 0 || index >= traces.length) {
      el.words.textContent = "Point at a trace to see its header words.";
      return;
    }
    const t = traces[index];
    const lines = [(kind === 1 ? "Record " : "Trace ") + t.number, t.samples.length + " samples", ""];
    lines.push("Word  Value");
    for (let w = 1; w <= 120; ++w) {
      if (t.words[w] !== 0) lines.push(String(w).padStart(4) + "  " + t.words[w]);
    }
    lines.push("", "(words not listed are 0)");
    el.words.textContent = lines.join("\n");
  }

  el.canvas.addEventListener("mousemove", (e) => {
    if (traces.length === 0) return;
    const rect = el.canvas.getBoundingClientRect();
    const left = 48;
    const spacing = (rect.width - left - 8) / traces.length;
    const index = Math.floor((e.clientX - rect.left - left) / spacing);
    const next = index >= 0 && index < traces.length ? index : -1;
    if (next !== under) {
      under = next;
      showWords(under);
      draw();
    }
  });
  el.close.addEventListener("click", () => view.hide());
  el.gain.addEventListener("input", draw);
  el.normal.addEventListener("change", draw);
  for (const radio of el.modes) radio.addEventListener("change", draw);
  window.addEventListener("resize", () => { if (!el.panel.hidden) draw(); });

  const view = {
    begin(title, fileKind) {
      traces = [];
      kind = fileKind;
      under = -1;
      el.title.textContent = title;
    },
    add(number, words, samples) { traces.push({ number, words, samples }); },
    show() {
      el.panel.hidden = false;
      showWords(-1);
      draw();
    },
    hide() {
      el.panel.hidden = true;
      traces = [];
    },
    // For tests: the traces shown and their header words.
    traces: () => traces.map((t) => ({ number: t.number, samples: t.samples.length, words: Array.from(t.words) })),
  };
  return view;
}
