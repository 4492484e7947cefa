// The page in headless Chromium, served over http on 127.0.0.1: files are
// dropped on it as from a file manager, and what it shows and offers is
// checked against the native tool.
//   VRML_WEB_DIR       the WebAssembly build folder (build-web), with site/
//   VRML_TOOL          the native vrml program
//   VRML_NODE_MODULES  a node_modules folder with puppeteer-core
//   CHROMIUM           the browser (default /usr/bin/chromium)
//   VRML_WEB_SCREENSHOT  when set, a picture of the page showing the gallery is written there

import { spawnSync } from 'node:child_process';
import { closeSync, mkdtempSync, openSync, readFileSync, rmSync, writeFileSync, ftruncateSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';

const examples = fileURLToPath(new URL('../../examples/', import.meta.url));
const { VRML_WEB_DIR: webDir, VRML_TOOL: tool, VRML_NODE_MODULES: nodeModules } = process.env;
if (!webDir || !tool || !nodeModules) throw new Error('set VRML_WEB_DIR, VRML_TOOL and VRML_NODE_MODULES');
const puppeteer = createRequire(join(nodeModules, 'x.js'))('puppeteer-core');

const work = mkdtempSync(join(tmpdir(), 'vrml-page-test-'));
const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.wasm': 'application/wasm' };
let server, browser, page;

// Any static server will do; this one serves the site folder and nothing else.
function serve(root) {
    return createServer((request, response) => {
        const path = normalize(decodeURIComponent(new URL(request.url, 'http://x').pathname)).replace(/^(\.\.[/\\])+/, '');
        try {
            const body = readFileSync(join(root, path.endsWith('/') ? `${path}index.html` : path));
            response.writeHead(200, { 'content-type': types[extname(path) || '.html'] ?? 'application/octet-stream' });
            response.end(body);
        } catch {
            response.writeHead(404).end();
        }
    });
}

// Files and folders dropped on the drop zone, as a file manager drops them.
async function dropOn(paths) {
    const zone = await page.$('#drop');
    const box = await zone.boundingBox();
    const [x, y] = [box.x + box.width / 2, box.y + box.height / 2];
    const session = await page.createCDPSession();
    const data = { items: [], files: paths, dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop']) await session.send('Input.dispatchDragEvent', { type, x, y, data });
    await session.detach();
}

// Waits for the page to finish with the files, and gives its state and message.
async function outcome() {
    await page.waitForFunction(() => ['shown', 'refused'].includes(document.body.dataset.state), { timeout: 30000 });
    return page.evaluate(() => ({ state: document.body.dataset.state, status: document.getElementById('status').textContent }));
}

// What the canvas shows: the share of its pixels that are not the background, and how many colours it holds.
function canvasFigures() {
    return page.evaluate(() => {
        const view = document.getElementById('view');
        const copy = document.createElement('canvas');
        copy.width = view.width;
        copy.height = view.height;
        const context = copy.getContext('2d');
        context.drawImage(view, 0, 0);
        const { data } = context.getImageData(0, 0, copy.width, copy.height);
        const background = [data[0], data[1], data[2]];
        let drawn = 0;
        const colours = new Set();
        for (let i = 0; i < data.length; i += 4) {
            if (Math.abs(data[i] - background[0]) + Math.abs(data[i + 1] - background[1]) + Math.abs(data[i + 2] - background[2]) > 12)
                drawn++;
            colours.add((data[i] >> 4) * 256 + (data[i + 1] >> 4) * 16 + (data[i + 2] >> 4));
        }
        return { drawn: drawn / (data.length / 4), colours: colours.size };
    });
}

// The JSON chunk of a binary glTF file.
function glbJson(bytes) {
    assert.equal(bytes.toString('latin1', 0, 4), 'glTF');
    assert.equal(bytes.readUInt32LE(4), 2);
    const length = bytes.readUInt32LE(12);
    assert.equal(bytes.toString('latin1', 16, 20), 'JSON');
    return JSON.parse(bytes.toString('utf8', 20, 20 + length));
}

before(async () => {
    server = serve(join(webDir, 'site')).listen(0, '127.0.0.1');
    await new Promise((resolve) => server.on('listening', resolve));
    browser = await puppeteer.launch({
        executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
        headless: true,
        // WebGL without a GPU: SwiftShader, which Chromium offers only when asked.
        args: ['--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--window-size=1280,900'],
    });
    page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const errors = [];
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(`http://127.0.0.1:${server.address().port}/`);
    await page.waitForFunction(() => document.body.dataset.state !== 'starting', { timeout: 30000 });
    const state = await page.evaluate(() => document.body.dataset.state);
    assert.equal(state, 'ready', `the page did not start: ${errors.join('; ')}`);
});

after(async () => {
    await browser?.close();
    server?.close();
    rmSync(work, { recursive: true, force: true });
});

test('a file that is not VRML gets a clear message', async () => {
    const notes = join(work, 'notes.wrl');
    writeFileSync(notes, 'These are my notes, not a scene.\n');
    await dropOn([notes]);
    const { state, status } = await outcome();
    assert.equal(state, 'refused');
    assert.match(status, /^notes\.wrl is not a VRML 1\.0 or 2\.0 file/);

    const part = join(work, 'part.stl');
    writeFileSync(part, 'solid part\nendsolid part\n');
    await dropOn([part]);
    assert.deepEqual(await outcome(), { state: 'refused', status: 'None of these is a VRML file (.wrl, .wrz, .vrml, or one of them .gz).' });
});

test('files above the limit are refused before they are read', async () => {
    const big = join(work, 'big.wrl');
    const file = openSync(big, 'w');
    ftruncateSync(file, 300 * 1024 * 1024); // sparse: no disk is used
    closeSync(file);
    await dropOn([big]);
    const { state, status } = await outcome();
    assert.equal(state, 'refused');
    assert.match(status, /300 MB; this page takes at most 256 MB/);
});

test('the gallery dropped with its pictures is drawn, summarised and offered as glTF', async () => {
    const before = await canvasFigures();
    await dropOn([join(examples, 'gallery.wrl'), join(examples, 'textures')]);
    const { state, status } = await outcome();
    assert.equal(state, 'shown', status);

    // Drawn: a good part of the canvas, in the textures' many colours.
    const figures = await canvasFigures();
    assert.ok(before.drawn < 0.01, `the canvas was not empty before: ${before.drawn}`);
    assert.ok(figures.drawn > 0.05, `too little is drawn: ${figures.drawn}`);
    assert.ok(figures.colours > 20, `too few colours: ${figures.colours}`);

    // The summary is the tool's.
    const native = spawnSync(tool, ['info', 'gallery.wrl'], { cwd: examples, encoding: 'utf8' });
    const info = await page.$eval('#info', (element) => element.textContent);
    const withoutTime = (text) => text.replace(/^load time:.*\n/m, '');
    assert.equal(withoutTime(info), withoutTime(native.stdout));

    // The download is the tool's glb, with both pictures in it.
    const link = await page.$eval('#download', (a) => ({ name: a.getAttribute('download'), href: a.href, hidden: a.hidden }));
    assert.equal(link.name, 'gallery.glb');
    assert.equal(link.hidden, false);
    const bytes = Buffer.from(
        await page.evaluate(async (href) => [...new Uint8Array(await (await fetch(href)).arrayBuffer())], link.href),
    );
    const gltf = glbJson(bytes);
    const binary = bytes.subarray(20 + bytes.readUInt32LE(12) + 8);
    const embedded = gltf.images.map((image) => {
        const view = gltf.bufferViews[image.bufferView];
        return binary.subarray(view.byteOffset ?? 0, (view.byteOffset ?? 0) + view.byteLength);
    });
    for (const picture of ['checker.png', 'wood.jpg']) {
        const file = readFileSync(join(examples, 'textures', picture));
        assert.ok(embedded.some((image) => image.equals(file)), `${picture} is not embedded`);
    }
    const nativeGlb = join(work, 'gallery.glb');
    spawnSync(tool, ['convert', '-q', '-j', '1', join(examples, 'gallery.wrl'), nativeGlb]);
    assert.ok(bytes.equals(readFileSync(nativeGlb)), 'the download differs from the native tool output');

    if (process.env.VRML_WEB_SCREENSHOT) await page.screenshot({ path: process.env.VRML_WEB_SCREENSHOT });
});

test('a scene chosen with the file picker is shown too', async () => {
    const picker = await page.$('#pick-files');
    await picker.uploadFile(join(examples, 'house.wrl'));
    const { state, status } = await outcome();
    assert.equal(state, 'shown', status);
    const native = spawnSync(tool, ['info', 'house.wrl'], { cwd: examples, encoding: 'utf8' }).stdout;
    const figure = (name) => native.match(new RegExp(`^${name}: +(\\d+)`, 'm'))[1];
    assert.match(status, new RegExp(`^house\\.wrl: ${figure('objects')} objects, ${figure('triangles')} triangles`));
    assert.equal(await page.$eval('#download', (a) => a.getAttribute('download')), 'house.glb');
});
