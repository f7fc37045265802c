// The page: hands the dropped or chosen models (files, or the models of a
// folder) to the worker, shows their log and progress, offers the OBJ file,
// or a zip of the OBJ files of several, for download and draws the last one
// converted with three.js; the list of converted models picks another. With
// materials the files picked or dropped with the models are where their
// textures are found, the download is a zip of every file the converter
// writes, and the preview wears the textures. A GLB (the format chosen) holds
// its materials and textures always: one model's is offered as it is, and the
// preview loads it with three.js's own glTF loader and plays the sequence
// picked, looping where the model says it loops.
import * as THREE from 'three';
import { GLTFLoader } from './three/loaders/GLTFLoader.js';
import { MTLLoader } from './three/MTLLoader.js';
import { OBJLoader } from './three/OBJLoader.js';
import { OrbitControls } from './three/OrbitControls.js';

const input = document.getElementById('model');
const objects = document.getElementById('objects');
const up = document.getElementById('up');
const scale = document.getElementById('scale');
const materials = document.getElementById('materials');
const format = document.getElementById('format');
// What shapes the OBJ text: the page's choices, as the command line's options;
// a GLB is always Y up and textured, its geosets objects of their own.
const shape = () => {
  const glb = format.value === 'glb';
  return { objects: objects.checked && !glb, up: glb ? 'y' : up.value, scale: scale.value.trim(),
           materials: materials.checked && !glb, format: format.value };
};
const isGlb = (chosen) => chosen.format === 'glb';
// What a GLB does not take is not offered with it.
format.addEventListener('change', () => {
  for (const control of [objects, up, materials]) control.disabled = format.value === 'glb';
});
const progress = document.getElementById('progress');
const log = document.getElementById('log');
const result = document.getElementById('result');
const canvas = document.getElementById('preview');

// Larger OBJ texts are converted and offered, but not drawn.
const kPreviewLimit = 32 << 20;

const renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
const scene = new THREE.Scene();
scene.background = new THREE.Color(0x20262c);
const camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
// Models of this format stand on the x-y plane, z up; with "up: Y" the OBJ
// stands on x-z, y up. The view follows the OBJ, so that it shows the model
// as the OBJ has it.
camera.up.set(0, 0, 1);
const controls = new OrbitControls(camera, canvas);
const sky = new THREE.HemisphereLight(0xffffff, 0x444444, 2.5);
sky.position.set(0, 0, 1);
scene.add(sky);
const sun = new THREE.DirectionalLight(0xffffff, 2);
scene.add(camera, sun);
sun.position.set(1, -2, 3);
let shown = null;
const sequences = document.getElementById('sequences');
const sequence = document.getElementById('sequence');
// The preview's moving model: its mixer and clips, while one is shown.
let mixer = null, clips = [];
const clock = new THREE.Clock();

// Drawn when something changed, not at every frame.
function draw() {
  const { clientWidth: width, clientHeight: height } = canvas;
  if (canvas.width !== width || canvas.height !== height) {
    renderer.setSize(width, height, false);
    camera.aspect = width / Math.max(height, 1);
    camera.updateProjectionMatrix();
  }
  renderer.render(scene, camera);
}
controls.addEventListener('change', draw);
addEventListener('resize', draw);
draw();

// Each geoset in its own colour, or with materials its own material: a
// geoset's records begin with a "v" record after records of another kind, so
// the preview begins an object there.
function show(text, name, upAxis, dressed = null) {
  let number = 0;
  const split = text.replace(/(^|\n(?:f|vt|vn|usemtl)[^\n]*\n)v /g, (all, before) =>
    `${before}o preview_${++number}\nv `);
  const loader = new OBJLoader();
  if (dressed) loader.setMaterials(dressed);
  const parsed = loader.parse(split);
  let i = 0, textured = 0;
  parsed.traverse((child) => {
    if (!child.isMesh) return;
    if (dressed) {
      for (const material of [child.material].flat()) {
        material.side = THREE.DoubleSide;
        textured += material.map ? 1 : 0;
      }
      return;
    }
    child.material = new THREE.MeshStandardMaterial({
      color: new THREE.Color().setHSL((i++ * 0.618) % 1, 0.6, 0.55), side: THREE.DoubleSide });
  });
  canvas.dataset.textured = textured;
  look(parsed, name, upAxis);
}

// A GLB's scene, Y up, as three.js's own loader reads it; its sequences
// offered, the first playing.
function showGlb(bytes, name) {
  new GLTFLoader().parse(bytes, '', (gltf) => {
    let textured = 0;
    gltf.scene.traverse((child) => {
      if (!child.isMesh) return;
      for (const material of [child.material].flat()) textured += material.map ? 1 : 0;
    });
    canvas.dataset.textured = textured;
    look(gltf.scene, name, 'y');
    const extras = (gltf.parser.json.animations ?? []).map((a) => a.extras ?? {});
    clips = gltf.animations.map((clip, i) => Object.assign(clip, { looping: extras[i].looping !== false }));
    mixer = clips.length ? new THREE.AnimationMixer(gltf.scene) : null;
    sequence.replaceChildren(...clips.map((clip, i) => new Option(clip.name, i)));
    sequences.hidden = !mixer;
    canvas.dataset.sequences = clips.map((clip) => clip.name).join('\n');
    if (mixer) play(0);
  }, (error) => { log.textContent += `preview: ${error.message}\n`; });
}

// Plays clip `i` from its start: over and over, or once and held at its end.
function play(i) {
  mixer.stopAllAction();
  const action = mixer.clipAction(clips[i]);
  action.setLoop(clips[i].looping ? THREE.LoopRepeat : THREE.LoopOnce);
  action.clampWhenFinished = true;
  action.play();
  clock.start();
  renderer.setAnimationLoop(() => {
    mixer.update(clock.getDelta());
    draw();
  });
}
sequence.addEventListener('change', () => play(Number(sequence.value)));

// For the browser test: the first skinned mesh's vertices as three.js skins
// them, `seconds` into clip `i`, in the GLB's axes.
window.skinnedVertices = (i, seconds) => {
  renderer.setAnimationLoop(null);
  mixer.stopAllAction();
  mixer.clipAction(clips[i]).play();
  mixer.setTime(seconds);
  shown.updateMatrixWorld(true);
  let mesh = null;
  shown.traverse((child) => { mesh = mesh ?? (child.isSkinnedMesh ? child : null); });
  mesh.skeleton.update();
  const out = [];
  for (let v = 0; v < mesh.geometry.attributes.position.count; ++v) {
    out.push(mesh.getVertexPosition(v, new THREE.Vector3()).applyMatrix4(mesh.matrixWorld).toArray());
  }
  return out;
};

// The object shown, the view around it.
function look(object, name, upAxis) {
  if (shown) scene.remove(shown);
  renderer.setAnimationLoop(null);
  mixer = null;
  sequences.hidden = true;
  shown = object;
  // (x, y, z) of the model's view, as the file of that up axis places it.
  const placed = (x, y, z) => (upAxis === 'y' ? new THREE.Vector3(x, z, -y) : new THREE.Vector3(x, y, z));
  camera.up.copy(placed(0, 0, 1));
  sky.position.copy(placed(0, 0, 1));
  sun.position.copy(placed(1, -2, 3));
  canvas.dataset.shown = name;
  scene.add(shown);
  const box = new THREE.Box3().setFromObject(shown);
  const center = box.getCenter(new THREE.Vector3());
  const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-3);
  camera.near = radius / 100;
  camera.far = radius * 100;
  camera.position.copy(center).add(placed(1, -1.6, 0.7).normalize().multiplyScalar(radius * 2.6));
  camera.updateProjectionMatrix();
  controls.target.copy(center);
  controls.update();
  draw();
}

// The materials of an MTL file at `mtlPath` in the converter's files
// (`whole`: path to its blocks), its images from there too; the preview is
// drawn again as each image arrives.
function dressing(whole, mtlPath) {
  const folder = mtlPath.includes('/') ? mtlPath.slice(0, mtlPath.lastIndexOf('/') + 1) : '';
  const urls = new Map(Object.entries(whole).map(([path, blocks]) =>
    [path, URL.createObjectURL(new Blob(blocks))]));
  const manager = new THREE.LoadingManager(draw);
  // The MTL maps each image by its path from the MTL's folder.
  manager.setURLModifier((url) => {
    const parts = [];
    for (const part of (folder + url).split('/')) {
      if (part === '..') parts.pop();
      else if (part !== '.' && part !== '') parts.push(part);
    }
    return urls.get(parts.join('/')) ?? url;
  });
  const text = new TextDecoder().decode(new Uint8Array(
    whole[mtlPath].flatMap((block) => Array.from(block))));
  const creator = new MTLLoader(manager).parse(text, '');
  creator.preload();
  return creator;
}

const list = document.getElementById('models');
const folderInput = document.getElementById('folder');
let run = 0;  // a newer run makes the messages of older workers stale

const isModel = (name) => /[^/\\]\.mdx$/i.test(name);
// Paths in the command line's order: byte for byte, as UTF-8.
const encoder = new TextEncoder();
function byBytes(a, b) {
  const x = encoder.encode(a.relative), y = encoder.encode(b.relative);
  for (let i = 0; i < Math.min(x.length, y.length); i++) if (x[i] !== y[i]) return x[i] - y[i];
  return x.length - y.length;
}

// The models of a folder: its files whose extension is .mdx in any letter
// case, by path; each OBJ at its path under the folder (the worker names it,
// as the command line does).
function folderModels(folder, found) {
  return found.filter((f) => isModel(f.relative)).sort(byBytes).map((f) => ({
    file: f.file, name: `${folder}/${f.relative}`, objFrom: f.relative }));
}

// A chosen or dropped file is a model whatever its extension.
const fileModel = (file) => ({ file, name: file.name, objFrom: file.name });

function runWorker(message, take) {
  const worker = new Worker('worker.js');
  worker.onmessage = ({ data }) => {
    take(data);
    if (data.done) worker.terminate();
  };
  worker.postMessage(message);
}

// Converts one model again for the preview alone: with materials, among
// the files it was picked or dropped with.
function preview(model, dropped) {
  const mine = ++run;
  const blocks = [];
  const chosen = shape();
  runWorker({ models: [model], ...chosen, zip: false, ...dropped, raw: true }, async (data) => {
    if (data.block) blocks.push(data.block);
    if (!data.done || mine !== run || !data.ok) return;
    if (isGlb(chosen)) {
      const glb = new Blob(data.whole[data.objs[0]] ?? []);
      if (glb.size <= kPreviewLimit) showGlb(await glb.arrayBuffer(), model.name);
      return;
    }
    if (!chosen.materials) {
      const obj = new Blob(blocks);
      if (obj.size <= kPreviewLimit) show(await obj.text(), model.name, chosen.up);
      return;
    }
    const obj = new Blob(data.whole[data.objs[0]] ?? []);
    const mtl = data.objs[0].replace(/\.obj$/i, '') + '.mtl';
    if (obj.size <= kPreviewLimit) {
      show(await obj.text(), model.name, chosen.up, data.whole[mtl] ? dressing(data.whole, mtl) : null);
    }
  });
}

function offer(id, name, blob, text) {
  const link = document.createElement('a');
  link.id = id;
  link.download = name;
  link.href = URL.createObjectURL(blob);
  link.textContent = text;
  result.append(link);
}

// Converts the models: one into its OBJ file, several into one zip.
// `dropped`: with materials, the files picked or dropped with the models
// ({ files: [{ path, file }], root: the dropped folder or "" }).
function convert(models, zipName, dropped) {
  document.getElementById('download')?.remove();
  document.getElementById('partial')?.remove();
  list.replaceChildren();
  log.textContent = '';
  delete log.dataset.wasmBytes;
  if (!models.length) {
    result.textContent = 'No models found.';
    return;
  }
  const chosen = shape();
  // With materials every model has several files: a zip, even of one; a GLB
  // is one file.
  const zip = models.length > 1 || chosen.materials;
  const lone = models.length === 1 && isGlb(chosen);
  if (models.length === 1 && chosen.materials) zipName = models[0].obj.replace(/\.obj$/i, '') + '.zip';
  result.textContent = models.length > 1 ? `Converting ${models.length} models ...`
                                         : `Converting ${models[0].name} ...`;
  progress.value = 0;
  const blocks = [];
  const mine = ++run;
  runWorker({ models, ...chosen, zip, ...dropped, raw: lone }, async (data) => {
    if (mine !== run) return;
    if (data.progress !== undefined) progress.value = data.progress;
    if (data.block || data.zip) blocks.push(data.block ?? data.zip);
    if (data.log) log.textContent += data.log;
    if (!data.done) return;
    progress.value = 1;
    result.textContent = data.ok ? '' : 'Failed. ';
    if (lone) {
      log.dataset.wasmBytes = data.wasm_bytes;
      const name = data.objs[0].split('/').pop();
      if (!data.ok) return;
      const glb = new Blob(data.whole[data.objs[0]] ?? [], { type: 'model/gltf-binary' });
      offer('download', name, glb, `Download ${name}`);
      if (glb.size <= kPreviewLimit) showGlb(await glb.arrayBuffer(), models[0].name);
      return;
    }
    if (zip) {
      const failed = models.length - data.converted.length;
      result.textContent = failed ? `${failed} of ${models.length} models failed. ` : '';
      for (const index of data.converted) {
        const item = document.createElement('li');
        const button = document.createElement('button');
        button.textContent = models[index].name;
        button.addEventListener('click', () => preview(models[index], dropped));
        item.append(button);
        list.append(item);
      }
      if (data.converted.length) {
        offer('download', zipName, new Blob(blocks, { type: 'application/zip' }),
              `Download ${zipName} (${data.converted.length} ${isGlb(chosen) ? 'GLB' : 'OBJ'} files)`);
      }
      log.dataset.wasmBytes = data.wasm_bytes;
      if (data.converted.length) preview(models[data.converted.at(-1)], dropped);
      return;
    }
    log.dataset.wasmBytes = data.wasm_bytes;
    const obj = new Blob(blocks, { type: 'model/obj' });
    const name = data.objs[0].split('/').pop();
    if (!data.ok && !blocks.length) return;
    // A model cut short still gives the whole records read before the cut.
    if (!data.ok) log.textContent += `incomplete: ${name} holds the records read before the failure\n`;
    offer(data.ok ? 'download' : 'partial', name, obj,
          data.ok ? `Download ${name}` : `Download the incomplete ${name}`);
    if (obj.size <= kPreviewLimit) show(await obj.text(), models[0].name, chosen.up);
  });
}

// Every file under a dropped folder, to every depth, by its path under it.
async function readFolder(folder, prefix = '') {
  const reader = folder.createReader();
  const found = [];
  for (;;) {
    const entries = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
    if (!entries.length) return found;
    for (const entry of entries) {
      if (entry.isDirectory) {
        found.push(...await readFolder(entry, `${prefix}${entry.name}/`));
      } else {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        found.push({ file, relative: `${prefix}${entry.name}` });
      }
    }
  }
}

// Picked files carry no folders: their textures are those picked with them.
input.addEventListener('change', () => {
  const files = [...input.files];
  convert(files.map(fileModel), 'models.zip',
          { files: files.map((file) => ({ path: file.name, file })), root: '' });
});
folderInput.addEventListener('change', () => {
  const files = [...folderInput.files];
  const folder = files[0]?.webkitRelativePath.split('/')[0] ?? 'models';
  const found = files.map((file) => ({
    file, relative: file.webkitRelativePath.split('/').slice(1).join('/') }));
  convert(folderModels(folder, found), `${folder}.zip`,
          { files: found.map((f) => ({ path: `${folder}/${f.relative}`, file: f.file })), root: folder });
});
addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
addEventListener('dragleave', () => document.body.classList.remove('dragging'));
addEventListener('drop', async (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  // The entries and files first: the drop's items are gone once this handler
  // awaits.
  const dropped = [...event.dataTransfer.items].filter((item) => item.kind === 'file')
    .map((item) => ({ entry: item.webkitGetAsEntry?.(), file: item.getAsFile() }));
  const models = [];
  const folders = [];
  const files = [];
  for (const { entry, file } of dropped) {
    if (entry?.isDirectory) {
      folders.push(entry.name);
      const found = await readFolder(entry);
      models.push(...folderModels(entry.name, found));
      files.push(...found.map((f) => ({ path: `${entry.name}/${f.relative}`, file: f.file })));
    } else if (file) {
      models.push(fileModel(file));
      files.push({ path: file.name, file });
    }
  }
  const lone = folders.length === 1 && dropped.length === 1;
  convert(models, lone ? `${folders[0]}.zip` : 'models.zip', { files, root: lone ? folders[0] : '' });
});
