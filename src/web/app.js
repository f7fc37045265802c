// The page: hands a dropped or chosen model to the worker, shows its log and
// progress, offers the OBJ file for download and draws it with three.js.
import * as THREE from 'three';
import { OBJLoader } from './three/OBJLoader.js';
import { OrbitControls } from './three/OrbitControls.js';

const input = document.getElementById('model');
const objects = document.getElementById('objects');
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
const controls = new OrbitControls(camera, canvas);
scene.add(new THREE.HemisphereLight(0xffffff, 0x444444, 2.5));
const sun = new THREE.DirectionalLight(0xffffff, 2);
scene.add(camera, sun);
sun.position.set(1, 2, 3);
let shown = null;

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

// Each geoset in its own colour: a geoset's records begin with a "v" record
// after records of another kind, so the preview begins an object there.
function show(text) {
  if (shown) scene.remove(shown);
  let number = 0;
  const split = text.replace(/(^|\n(?:f|vt|vn)[^\n]*\n)v /g, (all, before) =>
    `${before}o preview_${++number}\nv `);
  shown = new OBJLoader().parse(split);
  let i = 0;
  shown.traverse((child) => {
    if (!child.isMesh) return;
    child.material = new THREE.MeshStandardMaterial({
      color: new THREE.Color().setHSL((i++ * 0.618) % 1, 0.6, 0.55), side: THREE.DoubleSide });
  });
  scene.add(shown);
  const box = new THREE.Box3().setFromObject(shown);
  const center = box.getCenter(new THREE.Vector3());
  const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-3);
  camera.near = radius / 100;
  camera.far = radius * 100;
  camera.position.copy(center).add(new THREE.Vector3(0.6, 0.5, 1).normalize().multiplyScalar(radius * 2.6));
  camera.updateProjectionMatrix();
  controls.target.copy(center);
  controls.update();
  draw();
}

function convert(file) {
  document.getElementById('download')?.remove();
  document.getElementById('partial')?.remove();
  log.textContent = '';
  result.textContent = `Converting ${file.name} ...`;
  progress.value = 0;
  const blocks = [];
  const worker = new Worker('worker.js');
  worker.onmessage = async ({ data }) => {
    if (data.progress !== undefined) progress.value = data.progress;
    if (data.block) blocks.push(data.block);
    if (data.log) log.textContent += data.log;
    if (!data.done) return;
    worker.terminate();
    progress.value = 1;
    log.dataset.wasmBytes = data.wasm_bytes;
    const obj = new Blob(blocks, { type: 'model/obj' });
    const name = file.name.replace(/\.[^./\\]*$/, '') + '.obj';
    result.textContent = data.ok ? '' : 'Failed.';
    if (!data.ok && !blocks.length) return;
    // A model cut short still gives the whole records read before the cut.
    if (!data.ok) log.textContent += `incomplete: ${name} holds the records read before the failure\n`;
    const link = document.createElement('a');
    link.id = data.ok ? 'download' : 'partial';
    link.download = name;
    link.href = URL.createObjectURL(obj);
    link.textContent = data.ok ? `Download ${name}` : `Download the incomplete ${name}`;
    result.append(link);
    if (obj.size <= kPreviewLimit) show(await obj.text());
  };
  worker.postMessage({ file, objects: objects.checked });
}

input.addEventListener('change', () => input.files[0] && convert(input.files[0]));
addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
addEventListener('dragleave', () => document.body.classList.remove('dragging'));
addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  if (event.dataTransfer.files[0]) convert(event.dataTransfer.files[0]);
});
