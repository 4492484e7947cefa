// The page: files in, `vrml info` and the converted model out, drawn with
// three.js. The conversion is the npm package's (./vrml/index.js).

import * as THREE from 'three';
import { OrbitControls } from 'three/addons/controls/OrbitControls.js';
import { GLTFLoader } from 'three/addons/loaders/GLTFLoader.js';
import { createVrml } from './vrml/index.js';
import { MaxBytes, planJob } from './files.js';

const $ = (id) => document.getElementById(id);
const drop = $('drop');
const download = $('download');

// The state is on <body> for the style sheet and for tests: starting,
// ready, working, shown, refused.
function show(state, message) {
    document.body.dataset.state = state;
    $('status').textContent = message;
}

$('limit').textContent = `At most ${MaxBytes / (1024 * 1024)} MB at once.`;

// --- Files given by drop or by the pickers, as [{path, size, file}] -----

async function readDirectory(directory) {
    const reader = directory.createReader();
    const entries = [];
    for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) return entries;
        entries.push(...batch);
    }
}

async function filesOfEntry(entry, found) {
    if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        found.push({ path: entry.fullPath, size: file.size, file });
    } else if (entry.isDirectory) {
        for (const child of await readDirectory(entry)) await filesOfEntry(child, found);
    }
}

async function droppedFiles(transfer) {
    // Entries must be taken before the first await: the list empties once
    // the drop event is over.
    const entries = [...transfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
    if (entries.length === 0) return pickedFiles(transfer.files);
    const found = [];
    for (const entry of entries) await filesOfEntry(entry, found);
    return found;
}

function pickedFiles(list) {
    return [...list].map((file) => ({ path: file.webkitRelativePath || file.name, size: file.size, file }));
}

// --- The view --------------------------------------------------------------

const canvas = $('view');
let renderer = null;
try {
    // The picture is kept after it is shown, so that it can be copied (and tested).
    renderer = new THREE.WebGLRenderer({ canvas, antialias: true, preserveDrawingBuffer: true });
} catch {
    renderer = null; // no WebGL: the summary and the download still work
}
const camera = new THREE.PerspectiveCamera(45, 1, 0.01, 1000);
const view = new THREE.Scene();
view.background = new THREE.Color(0xe8e8e8);
view.add(new THREE.HemisphereLight(0xffffff, 0x666666, 2.0));
const headlight = new THREE.DirectionalLight(0xffffff, 1.5);
camera.add(headlight);
view.add(camera);
const controls = renderer ? new OrbitControls(camera, canvas) : null;
let model = null;

function draw() {
    if (!renderer) return;
    const width = canvas.clientWidth, height = canvas.clientHeight;
    if (canvas.width !== Math.floor(width * devicePixelRatio) || canvas.height !== Math.floor(height * devicePixelRatio)) {
        renderer.setPixelRatio(devicePixelRatio);
        renderer.setSize(width, height, false);
        camera.aspect = width / height;
        camera.updateProjectionMatrix();
    }
    renderer.render(view, camera);
}
controls?.addEventListener('change', draw);
new ResizeObserver(draw).observe(canvas);

function frame(object) {
    const box = new THREE.Box3().setFromObject(object);
    if (box.isEmpty()) return;
    const centre = box.getCenter(new THREE.Vector3());
    const radius = Math.max(box.getSize(new THREE.Vector3()).length() / 2, 1e-6);
    // The bounding sphere fits any view; most models fill less of it, so a little closer.
    const distance = (0.8 * radius) / Math.sin(THREE.MathUtils.degToRad(camera.fov / 2));
    camera.near = distance / 100;
    camera.far = distance * 100;
    camera.position.copy(centre).add(new THREE.Vector3(0.6, 0.45, 0.8).normalize().multiplyScalar(distance));
    camera.updateProjectionMatrix();
    controls.target.copy(centre);
    controls.update();
}

async function showModel(glb) {
    if (model) {
        view.remove(model);
        // What the GPU holds for the model goes with it.
        model.traverse((node) => {
            node.geometry?.dispose();
            for (const material of [node.material ?? []].flat()) {
                for (const value of Object.values(material)) if (value?.isTexture) value.dispose();
                material.dispose();
            }
        });
        model = null;
    }
    if (!renderer || !glb) return draw();
    const gltf = await new GLTFLoader().parseAsync(glb.buffer.slice(glb.byteOffset, glb.byteOffset + glb.byteLength), '');
    model = gltf.scene;
    view.add(model);
    frame(model);
    draw();
}

// --- A job ------------------------------------------------------------------

let vrml = null;
let downloadUrl = null;

async function run(entries) {
    const plan = planJob(entries);
    if (plan.error) return show('refused', plan.error);
    show('working', `Converting ${plan.scene.path.replace(/^\//, '')}…`);
    await new Promise((resolve) => setTimeout(resolve, 0)); // the message is drawn before the work
    const read = async (entry) => new Uint8Array(await entry.file.arrayBuffer());
    const files = {};
    for (const { key, entry } of plan.files) files[key] = await read(entry);
    const name = plan.scene.path.split('/').pop();
    const bytes = await read(plan.scene);
    const started = performance.now();
    const info = vrml.info(bytes, { name, files });
    $('info').textContent = info.text;
    download.hidden = true;
    if (info.error) {
        const why = info.error.startsWith('not a VRML') ? `${name} is ${info.error}.` : `${name}: ${info.error}.`;
        await showModel(null);
        return show('refused', why);
    }
    const converted = vrml.convert(bytes, { name, files, format: 'glb' });
    if (!converted.output) {
        await showModel(null);
        return show('refused', `${name} could not be converted: ${converted.error}.`);
    }
    const seconds = ((performance.now() - started) / 1000).toFixed(2);
    if (downloadUrl) URL.revokeObjectURL(downloadUrl);
    downloadUrl = URL.createObjectURL(new Blob([converted.output], { type: 'model/gltf-binary' }));
    download.href = downloadUrl;
    download.download = converted.name;
    download.textContent = `Download ${converted.name} (${Math.ceil(converted.output.length / 1024)} KB)`;
    download.hidden = false;
    await showModel(converted.output);
    show('shown', `${name}: ${converted.objects} objects, ${converted.triangles} triangles, in ${seconds} s.` +
        (renderer ? '' : ' This browser has no WebGL to draw it.'));
}

function guarded(job) {
    return async (...args) => {
        if (!vrml || document.body.dataset.state === 'working') return;
        show('working', 'Reading the files…'); // at once, still within the event
        try {
            await job(...args);
        } catch (error) {
            show('refused', `Something went wrong: ${error.message}`);
        }
    };
}

drop.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
});
drop.addEventListener('dragleave', () => drop.classList.remove('over'));
drop.addEventListener('drop', (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const files = droppedFiles(event.dataTransfer);
    guarded(async () => run(await files))();
});
for (const picker of [$('pick-files'), $('pick-folder')]) {
    picker.addEventListener('change', guarded(async () => {
        await run(pickedFiles(picker.files));
        picker.value = '';
    }));
}

createVrml().then(
    (ready) => {
        vrml = ready;
        show('ready', 'Ready: drop a scene.');
    },
    (error) => show('refused', `The converter could not start: ${error.message}`),
);
