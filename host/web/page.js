"use strict";
// The page draws whatever state vesk-host sends and sends back scenario lines, as a scenario
// file holds them; it keeps no state of its own beyond what the inputs hold. Texts from scripts
// are set as text, never as markup.
(function () {
  const snapshot = window.veskSnapshot;
  let socket = null;
  let firstScript = "";

  function el(tag, attrs, children) {
    const node = document.createElement(tag);
    for (const [name, value] of Object.entries(attrs || {})) {
      if (name === "text") node.textContent = value;
      else if (name === "class") node.className = value;
      else if (name.startsWith("on")) node.addEventListener(name.slice(2), value);
      else node.setAttribute(name, value);
    }
    for (const child of children || []) node.appendChild(child);
    return node;
  }

  function send(request) {
    if (!socket || socket.readyState !== WebSocket.OPEN) {
      showError("not connected to vesk-host");
      return;
    }
    socket.send(JSON.stringify(request));
  }

  const isControl = (c) => c < " " || c === "\u007f";

  // A name as one scenario word: quoted when it holds blanks. Null when no word can carry it.
  function scenarioWord(name) {
    const text = String(name);
    if (!text || [...text].some((c) => c === "'" || isControl(c))) return null;
    return text.includes(" ") ? "'" + text + "'" : text;
  }

  // A text operand: backslashes, line feeds and tabs escaped. Null for other control characters.
  function scenarioText(value) {
    if ([...value].some((c) => isControl(c) && c !== "\n" && c !== "\t")) return null;
    return value.replace(/\\/g, "\\\\").replace(/\n/g, "\\n").replace(/\t/g, "\\t");
  }

  // One scenario line from its parts (an empty part is left out), addressed to `script` when it
  // is not the first. vesk-host reads it with the scenario parser, so what the page sends is what
  // a recording or a scenario file holds.
  function sendLine(parts, script) {
    const target = script ? scriptName(script) : "";
    // A script is named by one word that needs no quotes.
    const all = target ? [scenarioWord(target) === target ? "@" + target : null, ...parts] : parts;
    if (all.includes(null)) {
      showError("a name or text here cannot be written in a scenario line");
      return;
    }
    send({ do: "command", line: all.filter((part) => part !== "").join(" ") });
  }

  function showError(message) {
    const box = document.getElementById("error");
    box.textContent = message;
    box.hidden = !message;
  }

  // The first script is the one a scenario line addresses without "@name".
  function scriptName(script) {
    return script.name === firstScript ? "" : script.name;
  }

  function property(control, name) {
    for (const [key, value] of control.properties) if (key === name) return value;
    return null;
  }

  // Class names from stylesheet names: anything outside [A-Za-z0-9_-] becomes "_".
  function stylesheetClass(name) {
    return "ss-" + name.replace(/[^A-Za-z0-9_-]/g, "_");
  }

  function drawControl(script, panel, control, placed) {
    const kind = property(control, "kind") || "";
    const text = property(control, "text");
    const stylesheet = property(control, "stylesheet");
    const box = el("div", {
      class:
        "control kind-" +
        kind.replace(/[^A-Za-z0-9_-]/g, "_") +
        (stylesheet ? " " + stylesheetClass(stylesheet) : ""),
      "data-panel": panel.panel,
      "data-control": control.id,
    });
    // The id a scenario names the control by, as plain to read as its caption.
    box.appendChild(
      el("div", { class: "control-id" }, [
        el("code", { class: "id", text: control.id }),
        el("span", { class: "kind", text: kind }),
      ]),
    );
    if (kind === "button") {
      box.appendChild(
        el("button", {
          type: "button",
          text: text || control.id,
          onclick: () =>
            sendLine(["press", scenarioWord(panel.panel), scenarioWord(control.id)], script),
        }),
      );
    } else {
      box.appendChild(el("div", { class: "text", text: text || "" }));
    }
    if (stylesheet) box.appendChild(el("span", { class: "stylesheet", text: stylesheet }));
    if (placed) {
      const px = (name) => {
        const v = parseInt(property(control, name) || "", 10);
        return isNaN(v) ? null : v;
      };
      box.style.left = (px("x") || 0) + "px";
      box.style.top = (px("y") || 0) + "px";
      if (px("width") !== null) box.style.width = px("width") + "px";
      if (px("height") !== null) box.style.height = px("height") + "px";
    }
    return box;
  }

  function drawPanels(state) {
    const host = document.getElementById("panels");
    host.replaceChildren();
    let any = false;
    for (const script of state.scripts) {
      for (const panel of script.panels) {
        any = true;
        // Position keys in the panel file place the controls; otherwise they sit in a grid.
        const placed = panel.controls.some(
          (c) => property(c, "x") !== null && property(c, "y") !== null,
        );
        const body = el("div", { class: placed ? "placed" : "grid" });
        let height = 0;
        for (const control of panel.controls) {
          body.appendChild(drawControl(script, panel, control, placed));
          const bottom =
            (parseInt(property(control, "y") || "0", 10) || 0) +
            (parseInt(property(control, "height") || "60", 10) || 60);
          height = Math.max(height, bottom);
        }
        if (placed) body.style.height = height + "px";
        host.appendChild(
          el("div", { class: "panel", "data-script": script.name, "data-panel": panel.panel }, [
            el("h2", {
              text:
                "Panel " +
                panel.panel +
                ": " +
                panel.file +
                (state.scripts.length > 1 ? " (" + script.name + ")" : "") +
                (script.alive ? "" : " (destroyed)"),
            }),
            body,
          ]),
        );
      }
    }
    if (!any) host.appendChild(el("p", { text: "No panel is open." }));
  }

  // A router: each destination with its source, whether it is locked, the switch that waits
  // for it and the scripts registered for it; the instance names that lead to it.
  function drawRouter(device, picked) {
    const locked = new Set((device.locked || []).map(String));
    const pending = new Map();
    for (const p of device.pending || []) pending.set(String(p.destination), p);
    const registered = new Map();
    for (const r of device.registered || [])
      for (let d = r.first; d <= r.last; ++d) {
        const key = String(d);
        registered.set(key, [...(registered.get(key) || []), r.script]);
      }
    const sourceText = (index) =>
      device.sources[index - 1] !== undefined
        ? device.sources[index - 1] + " (" + index + ")"
        : "(" + index + ")";
    const rows = device.destinations.map((d) => {
      const key = String(d.index);
      const isLocked = locked.has(key);
      const waiting = pending.get(key);
      return el("tr", { "data-destination": key, class: isLocked ? "locked" : "" }, [
        el("td", { text: d.index + " " + d.name }),
        el("td", { class: "source", text: d.sourceName + (d.source ? " (" + d.source + ")" : "") }),
        el("td", {
          class: "pending",
          text: waiting ? "to " + sourceText(waiting.source) + " at " + waiting.due + " ms" : "",
        }),
        el("td", { class: "registered", text: (registered.get(key) || []).join(", ") }),
        el("td", {}, [
          el("button", {
            type: "button",
            class: "lock",
            "aria-pressed": isLocked ? "true" : "false",
            "aria-label": (isLocked ? "Unlock" : "Lock") + " destination " + d.index,
            text: isLocked ? "locked" : "lock",
            onclick: () => sendLine([isLocked ? "unlock" : "lock", device.device, d.index]),
          }),
        ]),
      ]);
    });
    const instances = device.instances || [];
    const named = instances.length
      ? "Instances: " +
        instances.map((i) => i.name + (i.offset ? " (offset " + i.offset + ")" : "")).join(", ")
      : "No instance name leads here.";
    const destination = el(
      "select",
      { id: "dst-" + device.device, "aria-label": "Destination" },
      device.destinations.map((d) =>
        el("option", { value: String(d.index), text: d.index + " " + d.name }),
      ),
    );
    const source = el(
      "select",
      { id: "src-" + device.device, "aria-label": "Source" },
      device.sources.map((name, i) =>
        el("option", { value: String(i + 1), text: i + 1 + " " + name }),
      ),
    );
    for (const select of [destination, source])
      if (picked[select.id]) select.value = picked[select.id];
    return [
      el("h2", { text: "Router " + device.device + ": " + device.name }),
      el("p", { class: "instances", text: named }),
      el("table", {}, [
        el("thead", {}, [
          el(
            "tr",
            {},
            ["Destination", "Source", "Switching", "Registered by", "Lock"].map((name) =>
              el("th", { text: name }),
            ),
          ),
        ]),
        el("tbody", {}, rows),
      ]),
      el("div", { class: "route" }, [
        destination,
        source,
        el("button", {
          type: "button",
          text: "Route",
          onclick: () => sendLine(["route", device.device, source.value, destination.value]),
        }),
      ]),
    ];
  }

  // A text device (the I-family lines): its slots, and a slot written from the page.
  function drawTextDevice(device, picked) {
    const rows = device.slots.map((s) =>
      el("tr", { "data-slot": String(s.index) }, [
        el("td", { text: String(s.index) }),
        el("td", { class: "slot-text", text: s.text }),
      ]),
    );
    const slot = el(
      "select",
      { id: "slot-" + device.device, "aria-label": "Slot" },
      device.slots.map((s) => el("option", { value: String(s.index), text: String(s.index) })),
    );
    if (picked[slot.id]) slot.value = picked[slot.id];
    const text = el("input", {
      id: "slot-text-" + device.device,
      "aria-label": "Text",
      autocomplete: "off",
    });
    if (picked[text.id]) text.value = picked[text.id];
    return [
      el("h2", { text: "Text device " + device.device + ": " + device.name }),
      el("table", {}, [
        el("thead", {}, [el("tr", {}, [el("th", { text: "Slot" }), el("th", { text: "Text" })])]),
        el("tbody", {}, rows),
      ]),
      el("div", { class: "route" }, [
        slot,
        text,
        el("button", {
          type: "button",
          text: "Write",
          onclick: () => sendLine(["write", device.device, slot.value, scenarioText(text.value)]),
        }),
      ]),
    ];
  }

  // A state device (the G-family lines): each index a switch.
  function drawStateDevice(device) {
    return [
      el("h2", { text: "State device " + device.device + ": " + device.name }),
      el(
        "div",
        { class: "states" },
        device.indices.map((i) =>
          el("button", {
            type: "button",
            class: i.on ? "on" : "off",
            "data-index": String(i.index),
            "aria-pressed": i.on ? "true" : "false",
            "aria-label": "Index " + i.index,
            text: String(i.index),
            onclick: () => sendLine(["state", device.device, i.index, i.on ? "off" : "on"]),
          }),
        ),
      ),
    ];
  }

  function drawDevices(state) {
    const host = document.getElementById("devices");
    // Keep what the operator picked or typed across redraws.
    const picked = {};
    for (const input of host.querySelectorAll("select, input")) picked[input.id] = input.value;
    const focused =
      document.activeElement && host.contains(document.activeElement)
        ? document.activeElement.id
        : "";
    host.replaceChildren();
    const draw = { router: drawRouter, text: drawTextDevice, state: drawStateDevice };
    for (const device of state.devices) {
      const body = (draw[device.kind] || (() => []))(device, picked);
      host.appendChild(
        el(
          "div",
          { class: "device kind-" + device.kind, "data-device": String(device.device) },
          body,
        ),
      );
    }
    if (focused && document.getElementById(focused)) document.getElementById(focused).focus();
    if (state.devices.length === 0) host.appendChild(el("p", { text: "No device is loaded." }));
  }

  function drawState(state) {
    firstScript = state.scripts.length ? state.scripts[0].name : "";
    document.getElementById("clock").textContent = "clock " + state.clock + " ms";
    // A long run sends its first and last problems and how many there are.
    const problemCount = Math.max(state.problemCount || 0, state.problems.length);
    const failing = problemCount + state.failedChecks;
    document.getElementById("summary").textContent = failing
      ? problemCount + " problems, " + state.failedChecks + " failed checks"
      : "no problems";
    drawPanels(state);
    drawDevices(state);
    const script = state.scripts[0];
    // The answer with the parent text it answers: a later text without an answer must not
    // seem to have the earlier one's.
    document.getElementById("parent-asked").textContent =
      script && script.parentGiven ? script.parentText || "" : "(no parent text yet)";
    const answer = document.getElementById("parent-answer");
    answer.textContent =
      !script || !script.parentGiven
        ? "(none yet)"
        : script.answered
          ? script.answer
          : "(no answer)";
    const timers = document.getElementById("timers");
    timers.replaceChildren();
    for (const s of state.scripts)
      for (const t of s.timers)
        timers.appendChild(
          el("li", {
            text: "timer " + t.id + " every " + t.interval + " ms, next at " + t.due + " ms",
          }),
        );
    if (!timers.children.length) timers.appendChild(el("li", { text: "no timer running" }));
    const problems = document.getElementById("problems");
    problems.replaceChildren();
    const left = problemCount - state.problems.length;
    state.problems.forEach((p, i) => {
      if (left > 0 && i === Math.floor(state.problems.length / 2))
        problems.appendChild(
          el("li", { class: "more", text: "... " + left + " more, in the transcript" }),
        );
      problems.appendChild(el("li", { text: p.where + ": " + p.what }));
    });
    if (!state.problems.length) problems.appendChild(el("li", { class: "none", text: "none" }));
    document.getElementById("recorded-steps").textContent = String(state.recordedSteps);
    // A run that died: its supervisor still serves the last state it had.
    const ended = document.getElementById("ended");
    ended.textContent = state.ended
      ? "The run ended: " + state.ended + ". This is its last state."
      : "";
    ended.hidden = !state.ended;
    document.body.classList.toggle("ended", !!state.ended);
  }

  function drawTranscript(message) {
    const log = document.getElementById("transcript");
    if (message.reset) log.replaceChildren();
    const atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    // The log keeps its last lines only; the text transcript has them all. Lines that would
    // go at once are never drawn, and the rest go in as one piece: one layout, not one a line.
    const kept = 20000;
    const lines = message.lines.slice(-kept);
    const piece = document.createDocumentFragment();
    for (const line of lines) {
      const row = document.createElement("div");
      if (line.problem) row.className = "problem";
      row.textContent = line.text || " ";
      piece.appendChild(row);
    }
    const surplus = log.children.length + lines.length - kept;
    for (let i = 0; i < surplus && log.firstChild; ++i) log.removeChild(log.firstChild);
    log.appendChild(piece);
    if (atEnd) log.scrollTop = log.scrollHeight;
  }

  // The script and the moment of saving name the file: sessions saved one after another do
  // not overwrite each other, and each says whose it is.
  function recordingName(now) {
    const two = (n) => String(n).padStart(2, "0");
    const stamp =
      now.getFullYear() +
      two(now.getMonth() + 1) +
      two(now.getDate()) +
      "-" +
      two(now.getHours()) +
      two(now.getMinutes()) +
      two(now.getSeconds());
    const script = (firstScript || "vesk-host")
      .replace(/[^A-Za-z0-9_.-]/g, "_")
      .replace(/^\.+/, "");
    return (script || "vesk-host") + "-" + stamp + ".scenario";
  }

  function saveRecording(text) {
    const link = el("a", {
      href: URL.createObjectURL(new Blob([text], { type: "text/plain" })),
      download: recordingName(new Date()),
    });
    document.body.appendChild(link);
    link.click();
    setTimeout(() => {
      URL.revokeObjectURL(link.href);
      link.remove();
    }, 1000);
  }

  function receive(event) {
    let message;
    try {
      message = JSON.parse(event.data);
    } catch {
      return;
    }
    if (message.type === "state") drawState(message);
    else if (message.type === "transcript") drawTranscript(message);
    else if (message.type === "error") showError(message.message);
    else if (message.type === "recording") {
      window.veskRecording = message.text;
      saveRecording(message.text);
    }
  }

  function connect() {
    const status = document.getElementById("connection");
    // Beyond loopback the server lets in only what carries the token the page came with.
    const token = new window.URLSearchParams(location.search).get("token");
    const query = token ? "?token=" + encodeURIComponent(token) : "";
    socket = new WebSocket("ws://" + location.host + "/ws" + query);
    socket.onopen = () => {
      status.textContent = "live";
      status.className = "live";
      showError("");
    };
    socket.onmessage = receive;
    socket.onclose = () => {
      status.textContent = "disconnected";
      status.className = "lost";
      setTimeout(connect, 2000);
    };
  }

  function onSubmit(id, build) {
    document.getElementById(id).addEventListener("submit", (event) => {
      event.preventDefault();
      const parts = build();
      if (parts) sendLine(parts);
    });
  }

  onSubmit("parent-form", () => [
    "parent",
    scenarioText(document.getElementById("parent-text").value),
  ]);
  onSubmit("clock-form", () => [
    "advance",
    document.getElementById("advance-ms").value.trim() || "0",
  ]);
  onSubmit("command-form", () => {
    const input = document.getElementById("command-line");
    const line = input.value.trim();
    input.value = "";
    return line ? [line] : null;
  });
  document
    .getElementById("save-recording")
    .addEventListener("click", () => send({ do: "recording" }));

  if (snapshot) {
    // A saved page: the state at the end of a run, no server behind it.
    document.body.classList.add("static");
    document.getElementById("connection").textContent = "saved at the end of the run";
    drawTranscript({ reset: true, lines: snapshot.transcript });
    drawState(snapshot.state);
  } else {
    connect();
  }
})();
