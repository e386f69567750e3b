// The page: the main window's controls, its menus and dialogs, drag and drop, and the start of
// the engine. The window's logic itself runs in the engine (shell/main_window.cpp); this only
// draws what the engine says and hands it the operator's actions.
"use strict";

(function () {
  const $ = (id) => document.getElementById(id);
  const MEMORY_NOTE = "Output is kept in this page: save it with Files, Save Output.";
  const DISK_NOTE = "Output is written straight to the file you choose.";
  const KEYWORDS_KEY = "quarvent-web/keywords";
  const KEYWORDS_NAME_KEY = "quarvent-web/keywords-name";
  const KEYWORD_PATH = "/quarvent/QEXKEYWO.RD";

  // The menu bar: the engine's items by name, and the page's own (web) beside them.
  const MENU_BAR = [
    { menu: "filemenu", items: ["fileopen", "fileoutput",
      { web: "saveoutput", caption: "&Save Output" }, "fileclear", "filesep", "fileexit"] },
    { menu: "segoptions", items: [
      { menu: "optresamp", items: ["resamp1_1", "resamp1_2", "resamp1_4"] },
      { note: "Delete Input Files is not offered here: a browser cannot delete your files safely." },
      "optionshorten", "-",
      { web: "keywordload", caption: "Load &Keyword File..." },
      { web: "keywordbuiltin", caption: "Use &Built-in Keyword File" }] },
    { menu: "convert" },
    { menu: "convertstop" },
    { menu: "viewmenu", items: ["viewinput", "viewoutput"] },
    { menu: "help", items: ["helpcontent", "fileabout"] },
  ];
  // Commands that only set a flag or show something: they may run while another command
  // (a conversion) waits for the page.
  const ALWAYS = new Set([MENU.convertstop, MENU.helpcontent]);

  const state = {
    Module: null, inFlight: null, log: "", running: false, memoryOnly: false,
    saveHandle: null, builtinKeywords: null, readyResolve: null,
  };
  const menuElements = new Map();  // engine menu number -> button
  const ready = new Promise((resolve) => { state.readyResolve = resolve; });

  // --- Menus --------------------------------------------------------------------------
  function captionHtml(caption) {
    const text = caption.replace(/^\u0008/, "");
    let html = "";
    for (let i = 0; i < text.length; ++i) {
      const c = text[i];
      if (c === "&" && i + 1 < text.length) {
        ++i;
        html += text[i] === "&" ? "&amp;" : "<u>" + escapeHtml(text[i]) + "</u>";
      } else {
        html += escapeHtml(c);
      }
    }
    return html;
  }
  function accessKey(caption) {
    const m = /&([^&])/.exec(caption || "");
    return m ? m[1].toLowerCase() : null;
  }
  function escapeHtml(text) {
    return text.replace(/[&<>"]/g, (c) => ({ "&": "&amp;", "<": "&lt;", ">": "&gt;", '"': "&quot;" }[c]));
  }

  function buildMenus() {
    const bar = $("menubar");
    for (const entry of MENU_BAR) {
      const holder = document.createElement("div");
      holder.className = "menu";
      const top = document.createElement("button");
      top.type = "button";
      top.className = "top";
      top.dataset.menu = entry.menu;
      top.setAttribute("role", "menuitem");
      holder.appendChild(top);
      menuElements.set(MENU[entry.menu], top);
      if (entry.items) {
        top.setAttribute("aria-haspopup", "true");
        holder.appendChild(buildDropdown(entry.items));
        top.addEventListener("click", () => toggleMenu(holder));
        top.addEventListener("mouseenter", () => {
          if (bar.querySelector(".menu.open") && !holder.classList.contains("open")) openMenu(holder);
        });
      } else {
        top.addEventListener("click", () => { closeMenus(); command(MENU[entry.menu]); });
      }
      bar.appendChild(holder);
    }
    menuElements.get(MENU.convertstop).parentElement.hidden = true;
  }

  function buildDropdown(items) {
    const list = document.createElement("div");
    list.className = "dropdown";
    list.setAttribute("role", "menu");
    for (const item of items) {
      if (item === "-" || item === "filesep") {
        const line = document.createElement("hr");
        if (item === "filesep") menuElements.set(MENU.filesep, line);
        list.appendChild(line);
      } else if (item.note) {
        const note = document.createElement("div");
        note.className = "note";
        note.textContent = item.note;
        list.appendChild(note);
      } else if (item.menu) {
        const sub = document.createElement("div");
        sub.className = "submenu";
        const button = makeItem(item.menu);
        menuElements.set(MENU[item.menu], button);
        const dropdown = buildDropdown(item.items);
        button.addEventListener("click", (e) => { e.stopPropagation(); sub.classList.toggle("open"); });
        sub.addEventListener("mouseenter", () => sub.classList.add("open"));
        sub.addEventListener("mouseleave", () => sub.classList.remove("open"));
        sub.append(button, dropdown);
        list.appendChild(sub);
      } else if (item.web) {
        const button = makeItem(item.web);
        button.innerHTML = captionHtml(item.caption);
        button.dataset.key = accessKey(item.caption) || "";
        button.addEventListener("click", () => { closeMenus(); webCommand(item.web); });
        list.appendChild(button);
      } else {
        const button = makeItem(item);
        menuElements.set(MENU[item], button);
        button.addEventListener("click", () => { closeMenus(); command(MENU[item]); });
        list.appendChild(button);
      }
    }
    return list;
  }
  function makeItem(name) {
    const button = document.createElement("button");
    button.type = "button";
    button.className = "item";
    button.dataset.menu = name;
    button.setAttribute("role", "menuitem");
    return button;
  }
  function openMenu(holder) {
    closeMenus();
    holder.classList.add("open");
    const first = holder.querySelector(".dropdown button.item:not(:disabled)");
    if (first) first.focus();
  }
  function toggleMenu(holder) {
    if (holder.classList.contains("open")) closeMenus(); else openMenu(holder);
  }
  function closeMenus() {
    for (const open of document.querySelectorAll(".menu.open, .submenu.open")) open.classList.remove("open");
  }

  function setMenu(menu, caption, checked, enabled, visible) {
    const element = menuElements.get(menu);
    if (!element || element.tagName !== "BUTTON") return;
    element.innerHTML = captionHtml(caption);
    element.dataset.key = accessKey(caption) || "";
    element.classList.toggle("checked", !!checked);
    element.disabled = !enabled;
    if (element.classList.contains("top")) {
      element.parentElement.classList.toggle("right", caption.startsWith("\u0008"));
      if (visible >= 0) element.parentElement.hidden = !visible;
    } else if (visible >= 0) {
      element.hidden = !visible;
    }
  }

  // --- Commands -----------------------------------------------------------------------
  // Calls an engine export that may wait for the page. One such call at a time: while a
  // conversion or a question is under way, only the commands that cannot wait go through.
  async function engineCall(name, types, args, always) {
    if (!state.Module) return null;
    if (state.inFlight && !always) return null;
    // While another call waits, ccall would take this call's end for that one's (Asyncify
    // keeps one set of handlers): a command that cannot wait is called directly.
    if (state.inFlight) return state.Module["_" + name](...args);
    const call = state.Module.ccall(name, "number", types, args, { async: true });
    state.inFlight = call;
    try {
      return await call;
    } finally {
      state.inFlight = null;
    }
  }
  function outputName() {
    return state.Module ? state.Module.UTF8ToString(state.Module._web_output_name()) : "";
  }

  async function command(menu) {
    if (menu === MENU.fileabout) return about();
    if (state.inFlight && !ALWAYS.has(menu)) return;
    if (menu === MENU.convert) return convert();
    if (menu === MENU.viewoutput) {
      await refreshOutput(outputName());
    }
    const result = await engineCall("web_command", ["number"], [menu], ALWAYS.has(menu));
    showOutputNote();
    return result;
  }

  async function refreshOutput(path) {
    if (!port.isDiskOutput(path)) return;
    try {
      await port.refreshDiskOutput(path);
    } catch (e) {
      // The engine then finds no file, and says so as it would for a missing one.
    }
  }

  // Convert: a disk output is read in before and written out after the engine's run, and the
  // whole of it counts as one command, so that nothing else starts before the output is
  // committed.
  async function convert() {
    if (state.inFlight) return;
    const whole = convertWithOutput();
    state.inFlight = whole;
    try {
      await whole;
    } finally {
      state.inFlight = null;
    }
    showOutputNote();
  }

  async function convertWithOutput() {
    const output = outputName();
    let diskError = "";
    state.running = true;
    try {
      if (port.isDiskOutput(output)) {
        await port.refreshDiskOutput(output);
        await port.beginDiskOutput(output);
      }
    } catch (e) {
      diskError = String(e && e.message ? e.message : e);
    }
    if (!diskError) {
      await state.Module.ccall("web_command", "number", ["number"], [MENU.convert], { async: true });
      if (port.isDiskOutput(output)) diskError = await port.endDiskOutput(output);
    }
    state.running = false;
    if (diskError) {
      await modal({
        title: "Output Not Written",
        text: "The output file could not be written:\n" + diskError +
          "\nThe records of this conversion may be missing from it.",
        icon: ICONS[3], buttons: ["OK"], escape: "OK",
      });
    }
  }

  async function webCommand(name) {
    if (state.inFlight) return;
    if (name === "saveoutput") return saveOutput();
    if (name === "keywordload") return loadKeywords();
    if (name === "keywordbuiltin") return builtinKeywords();
  }

  function saveOutput() {
    const path = outputName();
    if (!path || port.isDiskOutput(path) || !port.fileExists(path)) {
      return modal({
        title: "Save Output", icon: ICONS[1], buttons: ["OK"], escape: "OK",
        text: port.isDiskOutput(path) ? "The output is written straight to its file: there is nothing more to save."
          : "There is no output to save yet.",
      });
    }
    const blob = new Blob([port.readFile(path)], { type: "application/octet-stream" });
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = path.substring(path.lastIndexOf("/") + 1);
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    return null;
  }

  async function loadKeywords() {
    const files = await pickFiles({ multiple: false, accept: "", picker: $("keywordpicker") });
    if (!files || files.length === 0) return;
    const bytes = new Uint8Array(await files[0].arrayBuffer());
    port.writeFile("/tmp/keywords/" + files[0].name, bytes);
    const taken = await engineCall("web_use_keyword_file", ["string"], ["/tmp/keywords/" + files[0].name]);
    if (taken !== 1) return;
    port.writeFile(KEYWORD_PATH, bytes);
    let text = "";
    for (const b of bytes) text += String.fromCharCode(b);
    port.storageSet(KEYWORDS_KEY, text);
    port.storageSet(KEYWORDS_NAME_KEY, files[0].name);
    await engineCall("web_restart", [], []);
    showKeywordNote();
  }

  async function builtinKeywords() {
    if (state.builtinKeywords) port.writeFile(KEYWORD_PATH, state.builtinKeywords);
    port.storageSet(KEYWORDS_KEY, null);
    port.storageSet(KEYWORDS_NAME_KEY, null);
    await engineCall("web_restart", [], []);
    showKeywordNote();
  }

  function about() {
    return modal({
      title: "About Quarvent", icon: ICONS[1], buttons: ["OK"], escape: "OK",
      text: "Quarvent " + QUARVENT_VERSION + ", in a browser\n\n" +
        "Converts SEG-2 recordings into QEX files inside this page, with the same engine as " +
        "the desktop program. Nothing is uploaded.",
    });
  }

  // --- Dialogs ------------------------------------------------------------------------
  // One modal box at a time; resolves with the button's caption, or for a prompt with
  // {button, value}.
  function modal(options) {
    const dialog = $("modal");
    $("modaltitle").textContent = options.title;
    $("modaltext").textContent = options.text.replace(/\r\n/g, "\n");
    $("modalicon").textContent = options.icon || "";
    dialog.dataset.dialog = options.dialog === undefined ? "" : String(options.dialog);
    // Each box shown gets a number of its own, so that one box following another is told apart.
    dialog.dataset.serial = String(Number(dialog.dataset.serial || 0) + 1);
    const field = $("modalfield");
    const prompt = options.field !== undefined;
    field.hidden = !prompt;
    field.value = prompt ? options.field : "";
    const buttons = $("modalbuttons");
    buttons.textContent = "";
    return new Promise((resolve) => {
      const finish = (caption) => {
        dialog.removeEventListener("cancel", onCancel);
        dialog.close();
        resolve(prompt ? { button: caption, value: field.value } : caption);
      };
      const onCancel = (e) => {
        e.preventDefault();
        if (options.escape) finish(options.escape);
      };
      dialog.addEventListener("cancel", onCancel);
      for (const caption of options.buttons) {
        const button = document.createElement("button");
        button.type = "button";
        button.textContent = caption;
        button.addEventListener("click", () => finish(caption));
        buttons.appendChild(button);
      }
      field.onkeydown = (e) => {
        if (e.key === "Enter") { e.preventDefault(); finish(options.buttons[0]); }
      };
      dialog.showModal();
      if (prompt) { field.focus(); field.select(); } else buttons.firstChild.focus();
    });
  }

  function pickFiles(options) {
    const picker = options.picker || $("inputpicker");
    picker.multiple = !!options.multiple;
    picker.accept = options.accept || "";
    picker.value = "";
    return new Promise((resolve) => {
      const done = (files) => {
        picker.removeEventListener("change", onChange);
        picker.removeEventListener("cancel", onCancel);
        resolve(files);
      };
      const onChange = () => done(Array.from(picker.files || []));
      const onCancel = () => done(null);
      picker.addEventListener("change", onChange);
      picker.addEventListener("cancel", onCancel);
      picker.click();
    });
  }

  async function pickSaveHandle(settings) {
    if (state.saveHandle) {
      const handle = state.saveHandle;
      state.saveHandle = null;
      return handle;
    }
    return window.showSaveFilePicker({
      id: "quarvent-output",
      suggestedName: settings.fileName || "output." + (settings.defaultExt || "dat"),
      types: [{ description: "Data (*.dat)", accept: { "application/octet-stream": [".dat"] } }],
      excludeAcceptAllOption: false,
    });
  }

  function pickMemoryOutput(settings) {
    const dialog = $("savedialog");
    $("savetitle").textContent = settings.title;
    const name = $("savename");
    name.value = settings.fileName || "output." + (settings.defaultExt || "dat");
    $("saveexisting").value = "";
    return new Promise((resolve) => {
      dialog.onclose = () => {
        dialog.onclose = null;
        let chosen = name.value.trim().replace(/[\/\\]/g, "_");
        if (dialog.returnValue !== "ok" || !chosen) return resolve(null);
        if (!chosen.includes(".") && settings.defaultExt) chosen += "." + settings.defaultExt;
        const existing = $("saveexisting").files[0] || null;
        resolve({ name: chosen, existing });
      };
      dialog.returnValue = "";
      dialog.showModal();
      name.focus();
      name.select();
    });
  }

  // --- The window's controls ------------------------------------------------------------
  function setList(items, append, selection) {
    const list = $("List1");
    const add = (item) => {
      const li = document.createElement("li");
      li.textContent = item;
      li.title = item;
      li.dataset.index = list.children.length;
      li.setAttribute("role", "option");
      list.appendChild(li);
    };
    if (items !== null && append) {
      add(items);
    } else if (items !== null) {
      list.textContent = "";
      for (const item of items.split("\n").slice(0, -1)) add(item);
    }
    // Only the items whose selection changed are touched.
    const selected = new Set(selection ? selection.split(",").map(Number) : []);
    for (const li of list.querySelectorAll("li.selected")) {
      if (!selected.has(Number(li.dataset.index))) {
        li.classList.remove("selected");
        li.setAttribute("aria-selected", "false");
      }
    }
    for (const index of selected) {
      const li = list.children[index];
      if (!li) continue;
      li.classList.add("selected");
      li.setAttribute("aria-selected", "true");
    }
    // Scrolled into view once a frame at most: scrolling lays the page out, which a run that
    // selects one input after another would otherwise pay for every file.
    state.scrollTo = selected.size === 1 ? list.children[[...selected][0]] || null : null;
    if (state.scrollTo && !state.scrollPending) {
      state.scrollPending = true;
      requestAnimationFrame(() => {
        state.scrollPending = false;
        if (state.scrollTo && state.scrollTo.isConnected) state.scrollTo.scrollIntoView({ block: "nearest" });
      });
    }
  }

  function showLog() {
    const text1 = $("Text1");
    text1.value = state.log;
    text1.scrollTop = text1.scrollHeight;
  }

  function showProgress(position, total, lines) {
    const bar = $("progressbar");
    bar.max = Math.max(total, 1);
    bar.value = Math.min(position, bar.max);
    ["progressfile", "progresspath", "progresstraces", "progresstime"].forEach((id, i) => {
      $(id).textContent = lines[i] || "";
    });
  }

  function showOutputNote() {
    const path = outputName();
    const disk = port.isDiskOutput(path);
    const memory = !disk && path && port.fileExists(path);
    // An output remembered from an earlier visit has no file handle any more: it is kept
    // in the page until it is chosen again with Files, Output.
    $("outputnote").textContent = disk || (diskOutputAvailable() && !path) ? DISK_NOTE : MEMORY_NOTE;
    $("saveoutput").hidden = !memory;
  }
  function showKeywordNote() {
    const name = port.storageGet(KEYWORDS_NAME_KEY);
    $("keywordnote").textContent = name ? "Keyword file: " + name : "Built-in keyword file";
  }
  function diskOutputAvailable() {
    return !state.memoryOnly && (state.saveHandle !== null || typeof window.showSaveFilePicker === "function");
  }

  const ui = {
    modal, pickFiles, pickSaveHandle, pickMemoryOutput, diskOutputAvailable, setMenu, setList,
    showProgress, traceView: null,
    engineCall(name, text, number) {
      switch (name) {
        case "text1Append":
          state.log += text;
          // While a run hides the report, the text area is filled once, when it shows again.
          if (!$("Text1").hidden && !$("Text1").classList.contains("hidden")) showLog();
          break;
        case "text1Clear":
          state.log = "";
          $("Text1").value = "";
          break;
        case "text1Visible":
          $("Text1").classList.toggle("hidden", !number);
          if (number) showLog();
          break;
        case "label":
          $("Label" + number).textContent = text;
          $("Label" + number).title = text;
          break;
        case "label3Visible":
          $("Label3").style.visibility = number ? "" : "hidden";
          break;
        case "busy":
          document.body.classList.toggle("busy", !!number);
          break;
        case "progressVisible":
          $("progress").hidden = !number;
          $("Text1").hidden = !!number;
          if (!number) showLog();
          break;
        case "statusMessage":
        case "statusNote":
          $(name.toLowerCase()).textContent = text;
          $(name.toLowerCase()).title = text;
          break;
        case "traceShow":
          ui.traceView.show();
          break;
        case "help":
          showHelp(number);
          break;
        case "helpClose":
          $("helpview").hidden = true;
          break;
        case "ended":
          $("ended").hidden = false;
          break;
        case "ready":
          state.readyResolve();
          break;
      }
    },
  };
  const port = makePort(ui);

  function showHelp(context) {
    const frame = $("helpframe");
    const view = $("helpview");
    const go = () => {
      if (!context) return;
      const target = frame.contentDocument && frame.contentDocument.getElementsByName("context" + context)[0];
      if (target) target.scrollIntoView();
    };
    if (!frame.srcdoc) {
      frame.onload = go;
      frame.srcdoc = $("helpfile").textContent;
    } else {
      go();
    }
    view.hidden = false;
  }

  // --- Events ------------------------------------------------------------------------
  function wireEvents() {
    const list = $("List1");
    list.addEventListener("mousedown", (e) => {
      const li = e.target.closest("li");
      if (e.button === 0 && li) {
        state.Module._web_list_click(Number(li.dataset.index), e.ctrlKey || e.metaKey ? 1 : 0, e.shiftKey ? 1 : 0);
      }
    });
    list.addEventListener("contextmenu", (e) => {
      e.preventDefault();
      if (!state.inFlight) state.Module._web_list_right_click();
    });
    list.addEventListener("dblclick", (e) => {
      const li = e.target.closest("li");
      if (li) engineCall("web_list_double_click", ["number"], [Number(li.dataset.index)]);
    });
    list.addEventListener("keydown", (e) => {
      if (e.key === "Delete" && !state.inFlight) state.Module._web_list_key(46);
      if (e.key === "ArrowDown" || e.key === "ArrowUp") {
        e.preventDefault();
        const items = list.children.length;
        const current = list.querySelector("li.selected");
        let index = current ? Number(current.dataset.index) : -1;
        index = Math.max(0, Math.min(items - 1, index + (e.key === "ArrowDown" ? 1 : -1)));
        if (items > 0) state.Module._web_list_click(index, 0, 0);
      }
    });
    // The list and the space around it take drops (one listener: drops bubble up to it).
    for (const target of [$("inputs")]) {
      target.addEventListener("dragover", (e) => {
        e.preventDefault();
        list.classList.add("dragover");
      });
      target.addEventListener("dragleave", () => list.classList.remove("dragover"));
      target.addEventListener("drop", (e) => {
        e.preventDefault();
        list.classList.remove("dragover");
        // Each dropped item as an entry (files and folders), with its File where it has one.
        const entries = Array.from(e.dataTransfer.items || []).filter((item) => item.kind === "file")
          .map((item) => ({ entry: item.webkitGetAsEntry && item.webkitGetAsEntry(), file: item.getAsFile() }))
          .filter((x) => x.entry || x.file);
        if (entries.length > 0) dropEntries(entries);
      });
    }
    $("progressstop").addEventListener("click", () => command(MENU.convertstop));
    $("saveoutput").addEventListener("click", () => webCommand("saveoutput"));
    $("helpclose").addEventListener("click", () => { $("helpview").hidden = true; });
    document.addEventListener("click", (e) => {
      if (!e.target.closest("#menubar")) closeMenus();
    });
    document.addEventListener("keydown", onKey);
    window.addEventListener("beforeunload", (e) => {
      const path = outputName();
      const unsaved = state.running || (path && !port.isDiskOutput(path) && port.fileExists(path));
      if (unsaved) {
        e.preventDefault();
        e.returnValue = "";
      }
    });
  }

  async function dropEntries(entries) {
    if (state.inFlight) return;
    let paths;
    try {
      paths = await port.importEntries(entries);
    } catch (e) {
      await modal({
        title: "Quarvent ERROR", buttons: ["OK"], escape: "OK",
        text: "Unexpected error\n" + String(e && e.message ? e.message : e),
      });
      return;
    }
    await engineCall("web_drop", ["string", "number"], [paths.join("\n"), -1]);
  }

  function onKey(e) {
    if (document.querySelector("dialog[open]")) return;
    if (e.key === "Escape") {
      if (!$("traceview").hidden) { ui.traceView.hide(); return; }
      if (!$("helpview").hidden) { $("helpview").hidden = true; return; }
      if (document.querySelector(".menu.open")) { closeMenus(); return; }
      if (state.running) command(MENU.convertstop);
      return;
    }
    const key = e.key.length === 1 ? e.key.toLowerCase() : null;
    if (!key) return;
    const open = document.querySelector(".menu.open");
    if (e.altKey) {
      for (const top of document.querySelectorAll("#menubar > .menu:not([hidden]) > button.top")) {
        if (top.dataset.key === key && !top.disabled) {
          e.preventDefault();
          top.click();
          return;
        }
      }
    } else if (open) {
      const openSub = open.querySelector(".submenu.open > .dropdown");
      const scope = openSub || open.querySelector(".dropdown");
      for (const item of scope.querySelectorAll(":scope > button.item, :scope > .submenu > button.item")) {
        if (item.dataset.key === key && !item.disabled && !item.hidden) {
          e.preventDefault();
          item.click();
          return;
        }
      }
    }
  }

  // --- Start ---------------------------------------------------------------------------
  function start() {
    buildMenus();
    ui.traceView = makeTraceView({
      panel: $("traceview"), canvas: $("tracecanvas"), title: $("tracetitle"), words: $("tracewords"),
      gain: $("tracegain"), normal: $("tracenormal"), close: $("traceclose"),
      modes: document.getElementsByName("tracemode"),
    });
    wireEvents();
    const moduleArg = {
      page: port,
      print: () => {},
      printErr: (text) => console.warn(text),
    };
    moduleArg.preRun = [() => {
      state.Module = moduleArg;
      port.attach(moduleArg);
      port.installWriteMirror();
      state.builtinKeywords = moduleArg.FS.readFile(KEYWORD_PATH);
      const own = port.storageGet(KEYWORDS_KEY);
      if (own !== null) port.writeFile(KEYWORD_PATH, port.latin1Bytes(own));
    }];
    QuarventEngine(moduleArg);
    ready.then(() => {
      showOutputNote();
      showKeywordNote();
      document.body.dataset.ready = "1";
    });
  }

  // What the browser tests drive besides the page's own controls.
  window.quarventTest = {
    ready,
    log: () => state.log,
    idle: () => state.inFlight === null,
    // The next Output choice takes this file handle instead of showing the save picker.
    setSaveHandle(handle) { state.saveHandle = handle; },
    // Keep the output in the page even where the browser could write to the disk.
    useMemoryOutput(on) { state.memoryOnly = !!on; showOutputNote(); },
    outputName,
    readFile: (path) => Array.from(port.readFile(path)),
  };

  start();
})();
