// Converts models in the background: each model is read in slices of its File
// as the converter asks for them, and every line of the log goes to the page.
// One model's OBJ text goes to the page in blocks; the OBJ texts of several
// go, deflated as their blocks come, into one zip whose bytes go to the page,
// so that no second copy of any OBJ text is held. With materials, the files
// picked or dropped are the converter's folder, read in slices as it asks,
// and every file it writes (OBJ, MTL, image) goes into the zip the same way,
// or for a preview to the page whole. A GLB is written as those files are.
importScripts('mdx2obj_web.js', 'fflate.js');

let converter = null;
let file = null;  // the model being converted
let sendBlock = null;  // where its OBJ blocks go
let shown = 0, before = 0, total = 1;
// With materials: the files the converter writes, by its handle, and where
// each goes once it is in place.
const writing = new Map();
let fileOpen = null, fileDone = null;
let glbRun = false;  // the files are GLB files

async function start() {
  const reader = new FileReaderSync();
  converter ??= await createConverter({
    readModel(offset, length) {
      // The share of all the models' bytes read so far.
      const done = (before + offset + length) / total;
      if (done - shown >= 0.01) {
        shown = done;
        postMessage({ progress: done });
      }
      return new Uint8Array(reader.readAsArrayBuffer(file.slice(offset, offset + length)));
    },
    objBlock(bytes) {
      sendBlock(bytes);
    },
    logText(text) {
      postMessage({ log: text });
    },
    fileOpen(handle, name) {
      writing.set(handle, fileOpen(name));
    },
    fileBlock(handle, bytes) {
      writing.get(handle).push(bytes);
    },
    fileDone(handle, name) {
      const written = writing.get(handle);
      writing.delete(handle);
      fileDone(name, written);
    },
    fileDrop(handle) {
      writing.delete(handle);
    },
  });
}

// `shape`: what shapes the OBJ text, the page's choices ({ objects, up, scale }).
function convertOne(model, shape, objName, progressLines) {
  file = model.file;
  return converter.ccall(
    'convert_file', 'number',
    ['number', 'number', 'string', 'string', 'number', 'number', 'number'],
    [file.size, shape.objects ? 1 : 0, model.name, objName, progressLines ? 1 : 0,
     shape.up === 'y' ? 1 : 0, shape.scale]);
}

// One model, its OBJ text to the page as it comes.
function single(model, shape) {
  total = Math.max(model.file.size, 1);
  sendBlock = (bytes) => postMessage({ block: bytes }, [bytes.buffer]);
  return { ok: convertOne(model, shape, '', true) === 0, converted: [] };
}

// The models in turn, each converted by `convertIt(model, index)` (true:
// converted); of two that lead to one OBJ path the later is not converted.
// A run of several ends with the tally, as the command line ends one.
function convertEach(models, convertIt) {
  const started = performance.now();
  total = Math.max(models.reduce((sum, m) => sum + m.file.size, 0), 1);
  const owners = new Map();
  const converted = [];
  let failed = 0, objBytes = 0;
  for (const [index, model] of models.entries()) {
    const owner = owners.get(model.obj);
    file = model.file;
    if (owner !== undefined) {
      converter.ccall('write_failure', null, ['string', 'string'],
                      [model.name, `not converted: its OBJ ${model.obj} is also that of ${owner}`]);
      failed++;
    } else if (owners.set(model.obj, model.name) && convertIt(model, index)) {
      objBytes += converter._obj_bytes();
      converted.push(index);
    } else {
      failed++;
    }
    before += model.file.size;
    postMessage({ progress: before / total });
  }
  if (models.length > 1) {
    converter.ccall('write_tally', null, ['number', 'number', 'number', 'number', 'number'],
                    [converted.length, failed, (performance.now() - started) / 1000, objBytes,
                     glbRun ? 1 : 0]);
  }
  return { ok: failed === 0, converted };
}

// Several models into one zip, each OBJ at its path in it. A model's entry
// goes into the zip only once the model has converted in full, so that a
// failed or cut model has none; until then its deflated bytes wait here.
function several(models, shape) {
  const zip = new fflate.Zip((error, bytes) => {
    if (!error) postMessage({ zip: bytes }, [bytes.buffer]);
  });
  const result = convertEach(models, (model) => {
    const entry = new fflate.ZipDeflate(model.obj, { level: 6 });
    const deflated = [];
    entry.ondata = (error, bytes) => deflated.push(bytes);
    sendBlock = (bytes) => entry.push(bytes);
    if (convertOne(model, shape, model.obj, false) !== 0) return false;
    entry.push(new Uint8Array(0), true);
    zip.add(entry);
    deflated.forEach((bytes, i) => entry.ondata(null, bytes, i === deflated.length - 1));
    return true;
  });
  zip.end();
  return result;
}

// The picked or dropped files as the converter's current folder, each at its
// path ("art/units/a.mdx", or a picked file's name).
function mount(files) {
  converter.FS.mkdir('/in');
  converter.FS.mount(converter.FS.filesystems.WORKERFS,
                     { blobs: files.map((f) => ({ name: f.path, data: f.file })) }, '/in');
  converter.FS.chdir('/in');
}

// A file's path in the zip: under the dropped folder, as the folder is.
const inZip = (name, root) => (root && name.startsWith(`${root}/`) ? name.slice(root.length + 1) : name);

// Models with their materials: the files of `mdx2obj -m -r FOLDER`, each
// deflated as its blocks come (images, compressed already, as they are) and
// its entry added to the zip once the file is in place, so that a file that
// is not has none; a preview (`raw`) gets them whole.
function textured(models, files, root, shape, raw) {
  mount(files);
  const whole = {};
  const zip = raw ? null : new fflate.Zip((error, bytes) => {
    if (!error) postMessage({ zip: bytes }, [bytes.buffer]);
  });
  fileOpen = (temporary) => {
    if (raw) return [];
    const entry = /\.(png|jpe?g)\.mdx2obj-[^/]*\.tmp$/i.test(temporary)
                    ? new fflate.ZipPassThrough(temporary) : new fflate.ZipDeflate(temporary, { level: 6 });
    const out = [];
    entry.ondata = (error, bytes) => out.push(bytes);
    return { push: (bytes) => entry.push(bytes), entry, out };
  };
  fileDone = (name, written) => {
    const path = inZip(name, root);
    if (raw) {
      whole[path] = written;
      return;
    }
    const { entry, out } = written;
    entry.push(new Uint8Array(0), true);
    entry.filename = path;
    zip.add(entry);
    out.forEach((bytes, i) => entry.ondata(null, bytes, i === out.length - 1));
  };
  converter.ccall('start_run', null, ['number', 'string', 'number', 'number', 'number', 'number'],
                  [models.length, root, shape.objects ? 1 : 0, shape.up === 'y' ? 1 : 0, shape.scale,
                   shape.glb ? 1 : 0]);
  const objs = models.map((model) =>
    converter.ccall('obj_name', 'string', ['string', 'number'], [model.name, shape.glb ? 1 : 0]));
  const result = convertEach(models, (model, index) =>
    converter.ccall('convert_textured', 'number', ['number', 'string', 'string', 'string'],
                    [index, model.name, objs[index], model.obj]) === 0);
  zip?.end();
  return { ...result, whole, objs: objs.map((obj) => inZip(obj, root)) };
}

onmessage = async ({ data: { models, objects, up, scale, format, zip, materials, files, root, raw } }) => {
  await start();
  shown = 0;
  before = 0;
  const glb = format === 'glb';
  glbRun = glb;
  // The OBJ names from the converter's own code, as the command line has them.
  for (const model of models) {
    model.obj = converter.ccall('obj_name', 'string', ['string', 'number'], [model.objFrom, glb ? 1 : 0]);
  }
  // The scale as the command line reads --scale: a decimal number from the
  // smallest normal float to the largest.
  const shape = { objects, up, glb,
                  scale: converter.ccall('scale_value', 'number', ['string'], [scale]) };
  if (!(shape.scale > 0)) {
    postMessage({ log: `mdx2obj: the scale takes a decimal number from 1.2e-38 to 3.4e+38, not ${scale}\n` });
    postMessage({ done: true, ok: false, converted: [], objs: models.map((m) => m.obj),
                  wasm_bytes: converter._memory_bytes() });
    return;
  }
  // A GLB carries its materials always.
  const { ok, converted, whole, objs } = materials || glb ? textured(models, files, root, shape, raw)
                                        : zip ? several(models, shape) : single(models[0], shape);
  postMessage({ done: true, ok, converted, whole, objs: objs ?? models.map((m) => m.obj),
                wasm_bytes: converter._memory_bytes() });
};
