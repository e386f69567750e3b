// The page's half of the web port: what the engine (web/web_port.cpp) calls. It draws the
// window's state that the engine keeps, answers the questions through the page's dialogs,
// and puts the operator's files into the engine's memory file system.
"use strict";

// The menu items, numbered as the engine's Menu enumeration.
const MENU = {
  filemenu: 0, fileopen: 1, fileoutput: 2, fileclear: 3, filesep: 4, fileexit: 5,
  segoptions: 6, optresamp: 7, resamp1_1: 8, resamp1_2: 9, resamp1_4: 10, optiondelete: 11,
  optionshorten: 12, convert: 13, help: 14, helpcontent: 15, fileabout: 16, convertstop: 17,
  optionremember: 18, viewmenu: 19, viewinput: 20, viewoutput: 21,
};
const BUTTONS = [["OK"], ["OK", "Cancel"], ["Yes", "No"], ["Yes", "No", "Cancel"]];
const ANSWER = { OK: 0, Cancel: 1, Yes: 2, No: 3 };
const ICONS = ["", "\u2139\ufe0f", "\u26a0\ufe0f", "\u26d4", "\u2753"];
const DEFAULT_TITLE = "Quarvent";
const INPUT_ROOT = "/Inputs";
const OUTPUT_ROOT = "/Output";

// Bytes to text: UTF-8 where they are (paths), else one character a byte (Latin-1 messages).
const utf8 = new TextDecoder("utf-8", { fatal: true });
function decodeBytes(bytes) {
  try {
    return utf8.decode(bytes);
  } catch (e) {
    let text = "";
    for (const b of bytes) text += String.fromCharCode(b);
    return text;
  }
}

function makePort(ui) {
  let Module = null;
  // Outputs written through the File System Access API: path -> {handle, writable, chain}.
  const diskOutputs = new Map();

  const port = {
    attach(module) { Module = module; },
    text(pointer, length) {
      if (!pointer || length <= 0) return "";
      return decodeBytes(Module.HEAPU8.slice(pointer, pointer + length));
    },
    latin1Bytes(text) {
      const bytes = new Uint8Array(text.length);
      for (let i = 0; i < text.length; ++i) {
        const c = text.charCodeAt(i);
        bytes[i] = c < 256 ? c : 63;
      }
      return bytes;
    },
    toHeap(bytes, lengthPointer) {
      const pointer = Module._malloc(bytes.length + 1);
      Module.HEAPU8.set(bytes, pointer);
      Module.HEAPU8[pointer + bytes.length] = 0;
      Module.HEAP32[lengthPointer >> 2] = bytes.length;
      return pointer;
    },

    async messageBox(dialog, text, title, buttons, icon) {
      const answer = await ui.modal({
        dialog, title: title || DEFAULT_TITLE, text, icon: ICONS[icon] || "",
        buttons: BUTTONS[buttons] || BUTTONS[0],
        // A box with a Cancel button closes with Esc as Cancel; OK alone as OK.
        escape: buttons === 0 ? "OK" : buttons === 2 ? null : "Cancel",
      });
      return ANSWER[answer];
    },
    async inputPrompt(dialog, prompt, title, proposed) {
      const answer = await ui.modal({
        dialog, title: title || DEFAULT_TITLE, text: prompt, buttons: ["OK", "Cancel"],
        escape: "Cancel", field: proposed,
      });
      return answer.button === "OK" ? answer.value : "";
    },
    // A macrotask: the page draws and takes clicks, then the engine goes on.
    async yieldEvents() {
      await new Promise((resolve) => {
        const channel = new MessageChannel();
        channel.port1.onmessage = () => resolve();
        channel.port2.postMessage(0);
      });
      await port.drainDiskOutputs();
    },
    async fileDialog(save, settings) {
      try {
        return save ? await chooseOutput(settings) : await chooseInputs(settings);
      } catch (e) {
        if (e && e.name === "AbortError") return { outcome: "cancelled" };
        return { outcome: "failed", error: String(e && e.message ? e.message : e) };
      }
    },
    call(name, text, number) { ui.engineCall(name, text, number); },
    showProgress(position, total, lines) { ui.showProgress(position, total, lines); },
    setMenu(menu, caption, checked, enabled, visible) {
      ui.setMenu(menu, caption, checked, enabled, visible);
    },
    setList(items, append, selection) { ui.setList(items, append, selection); },
    traceBegin(title, kind) { ui.traceView.begin(title, kind); },
    traceAdd(number, words, samples) { ui.traceView.add(number, words, samples); },
    storageGet(key) {
      try { return localStorage.getItem(key); } catch (e) { return null; }
    },
    storageSet(key, value) {
      try {
        if (value === null) localStorage.removeItem(key); else localStorage.setItem(key, value);
      } catch (e) { /* storage refused (private window): nothing is remembered */ }
    },

    // --- Files ------------------------------------------------------------------------
    // Puts files into a folder of their own under /Inputs (a new one when a name is taken)
    // and returns the folder and the names.
    async importFiles(files) {
      const FS = Module.FS;
      const names = files.map((f) => f.name);
      let folder = INPUT_ROOT;
      for (let n = 2; names.some((name) => exists(FS, folder + "/" + name)); ++n) {
        folder = INPUT_ROOT + "/" + n;
      }
      makeFolders(FS, folder);
      for (const file of files) {
        const bytes = new Uint8Array(await file.arrayBuffer());
        FS.writeFile(folder + "/" + file.name, bytes, { canOwn: true });
      }
      return { folder, names };
    },
    // Dropped entries (files and folders, from DataTransferItem.webkitGetAsEntry) copied
    // under /Inputs keeping their names; returns the top-level paths. Files that do not
    // start like a SEG-2 recording keep only their first bytes, which is all the list
    // looks at before it leaves them out.
    // entries: {entry, file} pairs; a plain file is read through its File when its entry
    // cannot be read (as with some synthetic drops).
    async importEntries(entries) {
      const FS = Module.FS;
      const nameOf = (e) => (e.entry ? e.entry.name : e.file.name);
      let folder = INPUT_ROOT;
      for (let n = 2; entries.some((e) => exists(FS, folder + "/" + nameOf(e))); ++n) {
        folder = INPUT_ROOT + "/" + n;
      }
      makeFolders(FS, folder);
      const paths = [];
      for (const dropped of entries) {
        const path = folder + "/" + nameOf(dropped);
        if (dropped.entry && dropped.entry.isDirectory) {
          await copyEntry(FS, dropped.entry, path);
        } else {
          const file = dropped.file || await new Promise((resolve, reject) => dropped.entry.file(resolve, reject));
          await copyFile(FS, file, path);
        }
        paths.push(path);
      }
      return paths;
    },
    readFile(path) { return Module.FS.readFile(path); },
    writeFile(path, bytes) {
      makeFolders(Module.FS, path.substring(0, path.lastIndexOf("/")) || "/");
      Module.FS.writeFile(path, bytes);
    },
    fileExists(path) { return exists(Module.FS, path); },

    // --- Output on the disk -------------------------------------------------------------
    isDiskOutput(path) { return diskOutputs.has(path); },
    // Before a run or a view: the page's copy of a disk output becomes what the disk holds,
    // so that the engine's checks (does it exist, what does it hold) see the real file. A
    // file the picker created empty counts as absent, as a file the engine creates would.
    async refreshDiskOutput(path) {
      const output = diskOutputs.get(path);
      if (!output) return;
      const FS = Module.FS;
      const file = await output.handle.getFile();
      if (exists(FS, path)) FS.unlink(path);
      if (file.size > 0) {
        makeFolders(FS, path.substring(0, path.lastIndexOf("/")));
        FS.writeFile(path, new Uint8Array(await file.arrayBuffer()), { canOwn: true });
      }
    },
    // Opens the disk file for writing; the engine's writes into the page's copy are then
    // passed on to it in order.
    async beginDiskOutput(path) {
      const output = diskOutputs.get(path);
      if (!output) return;
      output.writable = await output.handle.createWritable({ keepExistingData: true });
      output.chain = Promise.resolve();
      output.error = null;
      output.pending = 0;
      // The bytes the page holds: what the file held when the run began.
      output.keptBytes = exists(Module.FS, path) ? Module.FS.stat(path).size : 0;
    },
    // Waits for the writes and commits them. Returns the error text of a failed write, or "".
    async endDiskOutput(path) {
      const output = diskOutputs.get(path);
      if (!output || !output.writable) return "";
      const writable = output.writable;
      output.writable = null;
      try {
        await output.chain;
        if (output.error) throw output.error;
        await writable.close();
      } catch (e) {
        try { await writable.abort(); } catch (ignored) { /* already failed */ }
        return String(e && e.message ? e.message : e);
      }
      // The disk holds it now: the page's copy is dropped, to free the memory.
      if (exists(Module.FS, path)) Module.FS.unlink(path);
      return "";
    },
    // The engine's writes to a disk output go to the disk file in order. The page keeps only
    // what the file held before the run (which the engine's checks read); the records the
    // run adds are not kept in memory as well, so a batch of any size fits. A read of a part
    // not kept fails (EIO) rather than giving wrong bytes.
    installWriteMirror() {
      const FS = Module.FS;
      const EIO = 29;
      const outputOf = (stream) => {
        const output = stream && diskOutputs.get(stream.path);
        return output && output.writable ? output : null;
      };
      const enqueue = (output, bytes, step) => {
        const writable = output.writable;
        output.pending += bytes;
        output.chain = output.chain.then(() => step(writable)).catch((e) => {
          output.error = output.error || e;
        }).finally(() => { output.pending -= bytes; });
      };
      const write = FS.write;
      FS.write = function (stream, buffer, offset, length, position, canOwn) {
        const output = outputOf(stream);
        if (!output || length <= 0) return write.call(FS, stream, buffer, offset, length, position, canOwn);
        const at = typeof position === "number" ? position : stream.position;
        const node = stream.node;
        if (at < node.usedBytes && (node.contents ? node.contents.length : 0) >= Math.min(node.usedBytes, at + length)) {
          // Over bytes the page still holds (none of this program's writes do that).
          const written = write.call(FS, stream, buffer, offset, length, position, canOwn);
          const data = buffer.slice(offset, offset + written);
          enqueue(output, written, (w) => w.write({ type: "write", position: at, data }));
          return written;
        }
        const data = buffer.slice(offset, offset + length);
        enqueue(output, length, (w) => w.write({ type: "write", position: at, data }));
        node.usedBytes = Math.max(node.usedBytes, at + length);
        node.timestamp = Date.now();
        output.keptBytes = Math.min(output.keptBytes, at);
        if (typeof position !== "number") stream.position += length;
        return length;
      };
      const read = FS.read;
      FS.read = function (stream, buffer, offset, length, position) {
        const output = outputOf(stream);
        const at = typeof position === "number" ? position : stream.position;
        if (output && at + length > output.keptBytes && at < stream.node.usedBytes) {
          throw new FS.ErrnoError(EIO);
        }
        return read.call(FS, stream, buffer, offset, length, position);
      };
      const ftruncate = FS.ftruncate;
      FS.ftruncate = function (fd, size) {
        const stream = FS.getStream(fd);
        const output = outputOf(stream);
        if (!output) return ftruncate.call(FS, fd, size);
        if (size <= output.keptBytes) {
          ftruncate.call(FS, fd, size);
          output.keptBytes = size;
        } else {
          stream.node.usedBytes = size;
        }
        enqueue(output, 0, (w) => w.truncate(size));
        return 0;
      };
    },
    // Waits while more than a set amount of written records is still on its way to the disk,
    // so that a disk slower than the conversion does not fill the memory.
    async drainDiskOutputs() {
      for (const output of diskOutputs.values()) {
        while (output.writable && output.pending > 64 * 1048576) await output.chain;
      }
    },
  };

  async function chooseInputs(settings) {
    const files = await ui.pickFiles({
      multiple: settings.multiSelect, accept: acceptOf(settings.filter, settings.filterIndex),
    });
    if (!files || files.length === 0) return { outcome: "cancelled" };
    const { folder, names } = await port.importFiles(files);
    if (names.length === 1) return { outcome: "chosen", parts: [folder + "/" + names[0]], directory: folder };
    return { outcome: "chosen", parts: [folder, ...names], directory: folder };
  }

  async function chooseOutput(settings) {
    const FS = Module.FS;
    if (ui.diskOutputAvailable()) {
      const handle = await ui.pickSaveHandle(settings);
      if (!handle) return { outcome: "cancelled" };
      let path = null;
      for (const [known, output] of diskOutputs) {
        if (await output.handle.isSameEntry(handle)) path = known;
      }
      if (!path) {
        let folder = OUTPUT_ROOT;
        for (let n = 2; diskOutputs.has(folder + "/" + handle.name); ++n) folder = OUTPUT_ROOT + "/" + n;
        path = folder + "/" + handle.name;
        diskOutputs.set(path, { handle });
      }
      makeFolders(FS, path.substring(0, path.lastIndexOf("/")));
      return { outcome: "chosen", parts: [path], directory: path.substring(0, path.lastIndexOf("/")) };
    }
    // Kept in the page: a name, and optionally an existing output to append to.
    const chosen = await ui.pickMemoryOutput(settings);
    if (!chosen) return { outcome: "cancelled" };
    const path = OUTPUT_ROOT + "/" + chosen.name;
    makeFolders(FS, OUTPUT_ROOT);
    diskOutputs.delete(path);
    if (chosen.existing) {
      FS.writeFile(path, new Uint8Array(await chosen.existing.arrayBuffer()), { canOwn: true });
    }
    return { outcome: "chosen", parts: [path], directory: OUTPUT_ROOT };
  }

  return port;
}

function exists(FS, path) {
  try { FS.stat(path); return true; } catch (e) { return false; }
}

function makeFolders(FS, folder) {
  let path = "";
  for (const part of folder.split("/").filter((p) => p)) {
    path += "/" + part;
    if (!exists(FS, path)) FS.mkdir(path);
  }
}

async function copyEntry(FS, entry, path) {
  if (entry.isDirectory) {
    makeFolders(FS, path);
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (batch.length === 0) break;
      for (const child of batch) await copyEntry(FS, child, path + "/" + child.name);
    }
    return;
  }
  await copyFile(FS, await new Promise((resolve, reject) => entry.file(resolve, reject)), path);
}

async function copyFile(FS, file, path) {
  const head = new Uint8Array(await file.slice(0, 2).arrayBuffer());
  const seg2 = head.length === 2 && head[0] === 0x55 && head[1] === 0x3a;
  const bytes = seg2 ? new Uint8Array(await file.arrayBuffer()) : head;
  FS.writeFile(path, bytes, { canOwn: true });
}

// The file picker's accept list from a filter's pattern: "*.sg2;*.dat" -> ".sg2,.dat"; none
// for "*.*".
function acceptOf(filter, index) {
  const parts = (filter || "").split("|");
  const pattern = parts[(Math.max(index, 1) - 1) * 2 + 1] || "";
  const extensions = pattern.split(";").map((p) => p.trim()).filter((p) => p.startsWith("*.") && p !== "*.*");
  return [...new Set(extensions.map((p) => p.substring(1).toLowerCase()))].join(",");
}
