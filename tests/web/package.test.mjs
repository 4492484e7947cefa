// The npm package in Node.js, held against the native tool: the package is
// packed and installed into a fresh folder as a user would, and every output
// must be the native `vrml convert -j 1` output to the byte.
//   VRML_WEB_DIR  the WebAssembly build folder (build-web), with npm/
//   VRML_TOOL     the native vrml program

import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, mkdirSync, readdirSync, readFileSync, rmSync, statSync, writeFileSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, relative, dirname } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { gzipSync } from 'node:zlib';
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';

const examples = fileURLToPath(new URL('../../examples/', import.meta.url));
const webDir = process.env.VRML_WEB_DIR;
const tool = process.env.VRML_TOOL;
if (!webDir || !tool) throw new Error('set VRML_WEB_DIR and VRML_TOOL (./build.sh web-test does)');

const samples = ['house.wrl', 'gallery.wrl', 'prototypes.wrl', 'robot_arm.wrl', 'terrain.wrl', 'inline_parts/cart.wrl'];
const formats = ['glb', 'gltf', 'obj', 'stl', 'ply'];

const work = mkdtempSync(join(tmpdir(), 'vrml-web-test-'));
let vrml;

// Every file below `folder`, by its path relative to it.
function tree(folder) {
    const found = {};
    const walk = (dir) => {
        for (const name of readdirSync(dir)) {
            const path = join(dir, name);
            if (statSync(path).isDirectory()) walk(path);
            else found[relative(folder, path)] = readFileSync(path);
        }
    };
    walk(folder);
    return found;
}

// Every other file of examples/, as the package's `files`, by its path
// relative to the sample's folder ("../textures/wood.jpg" for the cart).
function filesBeside(sample) {
    const all = tree(examples);
    const files = {};
    for (const [path, data] of Object.entries(all)) {
        if (path !== sample) files[relative(dirname(sample), path).split('\\').join('/')] = data;
    }
    return files;
}

let fresh = 0;
function freshDir() {
    const dir = join(work, `case-${++fresh}`);
    mkdirSync(dir, { recursive: true });
    return dir;
}

// The native tool's conversion of `input` into a fresh folder, as the files it wrote there.
function nativeConvert(input, outputName, args = []) {
    const dir = freshDir();
    const run = spawnSync(tool, ['convert', '-q', '-j', '1', ...args, input, join(dir, outputName)], { encoding: 'utf8' });
    return { status: run.status, stderr: run.stderr, files: tree(dir) };
}

// The package's output, as the files it would write into a folder.
function written(result) {
    return result.output ? { [result.name]: Buffer.from(result.output), ...mapValues(result.files, Buffer.from) } : {};
}

function mapValues(object, f) {
    return Object.fromEntries(Object.entries(object).map(([key, value]) => [key, f(value)]));
}

function assertSameFiles(actual, expected, what) {
    assert.deepEqual(Object.keys(actual).sort(), Object.keys(expected).sort(), `${what}: the files written`);
    for (const name of Object.keys(expected)) {
        assert.ok(actual[name].equals(expected[name]), `${what}: ${name} differs from the native tool's`);
    }
}

// `vrml info` as the native tool prints it, run in the file's folder so that
// its first line names the file as the package's does; without the load time.
function nativeInfo(folder, name, args = []) {
    const run = spawnSync(tool, ['info', ...args, name], { cwd: folder, encoding: 'utf8' });
    return { status: run.status, text: withoutTime(run.stdout), stderr: run.stderr };
}

const withoutTime = (text) => text.replace(/^load time:.*\n/m, '');

before(() => {
    // Packed and installed into a fresh folder, with nothing to download.
    const packed = JSON.parse(execFileSync('npm', ['pack', '--json', '--pack-destination', work, join(webDir, 'npm')], {
        encoding: 'utf8',
    }))[0];
    const user = join(work, 'user');
    mkdirSync(user);
    writeFileSync(join(user, 'package.json'), '{"name": "user", "private": true}');
    execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', join(work, packed.filename)], {
        cwd: user,
        stdio: 'pipe',
    });
    const installed = join(user, 'node_modules', 'vrmlparser', 'index.js');
    return import(pathToFileURL(installed)).then(async (module) => {
        vrml = await module.createVrml();
    });
});

after(() => rmSync(work, { recursive: true, force: true }));

describe('convert gives the native tool its bytes', () => {
    for (const sample of samples) {
        test(sample, () => {
            const name = sample.split('/').pop();
            const files = filesBeside(sample);
            for (const format of formats) {
                const result = vrml.convert(readFileSync(join(examples, sample)), { name, format, files });
                assert.equal(result.result, 0, `${format}: ${result.error}`);
                assert.equal(result.error, '');
                assert.ok(result.triangles > 0);
                const native = nativeConvert(join(examples, sample), result.name);
                assert.equal(native.status, 0, native.stderr);
                assertSameFiles(written(result), native.files, `${sample} as ${format}`);
            }
        });
    }

    test("the loader's own semantics with standard: false, as --no-standard", () => {
        for (const sample of samples) {
            const name = sample.split('/').pop();
            const result = vrml.convert(readFileSync(join(examples, sample)), {
                name,
                standard: false,
                files: filesBeside(sample),
            });
            const native = nativeConvert(join(examples, sample), result.name, ['--no-standard']);
            assertSameFiles(written(result), native.files, `${sample} --no-standard`);
        }
    });

    test("units, axes, merging and segments as the tool's options", () => {
        const cases = [
            [{ format: 'obj', units: 'kicad', up: 'z' }, ['--units', 'kicad', '--up', 'z']],
            [{ format: 'ply', units: 'loaded', segments: 7 }, ['--units', 'loaded', '--segments', '7']],
            [{ format: 'glb', merge: 'material', scale: 2.5 }, ['--merge', 'material', '--scale', '2.5']],
            [{ format: 'stl', merge: 'material', up: 'z' }, ['--merge', 'material', '--up', 'z']],
        ];
        for (const [options, args] of cases) {
            const result = vrml.convert(readFileSync(join(examples, 'robot_arm.wrl')), { name: 'robot_arm.wrl', ...options });
            const native = nativeConvert(join(examples, 'robot_arm.wrl'), result.name, args);
            assertSameFiles(written(result), native.files, args.join(' '));
        }
    });

    test('a gzipped scene', () => {
        const gzipped = gzipSync(readFileSync(join(examples, 'house.wrl')));
        const input = join(freshDir(), 'house.wrl.gz');
        writeFileSync(input, gzipped);
        const result = vrml.convert(gzipped, { name: 'house.wrl.gz' });
        assert.equal(result.name, 'house.glb');
        assertSameFiles(written(result), nativeConvert(input, 'house.glb').files, 'house.wrl.gz');
    });

    test('a file not given is missing, as one not on disk', () => {
        // The scene alone in a folder: no pictures, no inline parts.
        for (const sample of ['gallery.wrl', 'inline_parts/cart.wrl']) {
            const name = sample.split('/').pop();
            const alone = join(freshDir(), name);
            copyFileSync(join(examples, sample), alone);
            // A first call with the files leaves none behind for the next.
            vrml.convert(readFileSync(alone), { name, files: filesBeside(sample) });
            const result = vrml.convert(readFileSync(alone), { name });
            assertSameFiles(written(result), nativeConvert(alone, result.name).files, `${sample} alone`);
        }
    });

    test("files named with '..', outside the scene's folder", () => {
        const dir = freshDir();
        const scene = '#VRML V2.0 utf8\nInline { url "../shared/part.wrl" }\nShape { geometry Box {} }\n';
        const part = '#VRML V2.0 utf8\nShape { geometry Sphere {} } Shape { geometry Cone {} }\n';
        mkdirSync(join(dir, 'scenes'));
        mkdirSync(join(dir, 'shared'));
        writeFileSync(join(dir, 'scenes', 'main.wrl'), scene);
        writeFileSync(join(dir, 'shared', 'part.wrl'), part);
        const result = vrml.convert(scene, { name: 'main.wrl', files: { '../shared/part.wrl': part } });
        assertSameFiles(written(result), nativeConvert(join(dir, 'scenes', 'main.wrl'), result.name).files, 'main.wrl');
        // Without the part, or with it under a name the scene does not use, the box alone.
        const alone = vrml.convert(scene, { name: 'main.wrl' }).objects;
        assert.ok(result.objects > alone);
        assert.equal(vrml.convert(scene, { name: 'main.wrl', files: { 'shared/part.wrl': part } }).objects, alone);
    });
});

describe('failures', () => {
    test('a file that is not VRML, an empty one and a truncated one, as the tool reports them', () => {
        const cases = [
            ['part.stl', 'solid cube\nendsolid cube\n'],
            ['empty.wrl', ''],
            ['header.wrl', '#VRML V2.0 utf8\n'],
            ['broken.wrl', '#VRML V2.0 utf8\nShape { geometry Box {} }\nTransform { children [ Shape { geometry'],
            ['broken.wrl.gz', gzipSync('#VRML V2.0 utf8\nShape { geometry Box {} }\n').subarray(0, 30)],
        ];
        for (const [name, bytes] of cases) {
            const folder = freshDir();
            writeFileSync(join(folder, name), bytes);
            const native = nativeInfo(folder, name);
            const info = vrml.info(bytes, { name });
            assert.equal(info.result, native.status, `${name}: the load result`);
            assert.equal(withoutTime(info.text), native.text, `${name}: the summary`);
            if (info.error) assert.ok(native.stderr.includes(info.error), `${name}: "${info.error}" in "${native.stderr}"`);
            const result = vrml.convert(bytes, { name });
            const converted = nativeConvert(join(folder, name), result.name ?? 'out.glb');
            assert.equal(result.result, info.result, `${name}: the load result of convert`);
            assert.equal(result.output === null, converted.status !== 0, `${name}: written or not`);
            if (result.error) assert.ok(converted.stderr.includes(result.error), `${name}: "${result.error}"`);
        }
    });

    test('the reason for a file that is not VRML', () => {
        const info = vrml.info('solid cube\nendsolid cube\n', { name: 'part.stl' });
        assert.equal(info.result, 1);
        assert.match(info.error, /^not a VRML 1\.0 or 2\.0 file/);
        assert.equal(info.text, '');
    });

    test('options it cannot take are refused', () => {
        const scene = '#VRML V2.0 utf8\nShape { geometry Box {} }\n';
        for (const options of [
            { format: 'fbx' },
            { segments: 2 },
            { segments: 1.5 },
            { units: 'loaded' },
            { up: 'x' },
            { merge: 'all' },
            { maxTriangles: -1 },
            { colour: 'red' },
            { standard: 'yes' },
        ]) {
            assert.throws(() => vrml.convert(scene, options), RangeError, JSON.stringify(options));
        }
        assert.throws(() => vrml.convert(42), TypeError);
        assert.equal(vrml.convert(scene, { format: 'stl', units: 'loaded' }).result, 0, 'loaded units for STL');
    });

    test('a scene over the triangle budget is refused before anything is made', () => {
        const scene = '#VRML V2.0 utf8\nShape { geometry Sphere {} }\n';
        const result = vrml.convert(scene, { maxTriangles: 100 });
        assert.equal(result.result, 0);
        assert.equal(result.overBudget, true);
        assert.equal(result.output, null);
        assert.match(result.error, /more than the budget of 100 \(option maxTriangles\)/);
    });

    test('nesting deeper than the loader allows fails as natively, without exhausting the stack', () => {
        const depth = 1500;
        const scene = '#VRML V2.0 utf8\n' + 'Transform { children [ '.repeat(depth) + 'Shape { geometry Box {} }' +
            ' ] }'.repeat(depth) + '\n';
        const folder = freshDir();
        writeFileSync(join(folder, 'deep.wrl'), scene);
        const info = vrml.info(scene, { name: 'deep.wrl' });
        const native = nativeInfo(folder, 'deep.wrl');
        assert.equal(info.result, native.status);
        assert.equal(withoutTime(info.text), native.text);
    });
});

describe('info', () => {
    test("the summary of every sample is the tool's summary", () => {
        for (const sample of samples) {
            const name = sample.split('/').pop();
            const folder = join(examples, dirname(sample));
            const info = vrml.info(readFileSync(join(examples, sample)), { name, files: filesBeside(sample), tree: true });
            const native = nativeInfo(folder, name, ['--tree']);
            assert.equal(info.result, native.status);
            assert.equal(withoutTime(info.text), native.text, sample);
            const converted = vrml.convert(readFileSync(join(examples, sample)), { name, files: filesBeside(sample), format: 'stl' });
            assert.equal(info.triangles, converted.triangles, `${sample}: triangles of info and of STL`);
        }
    });

    test('the figures as values', () => {
        const info = vrml.info(readFileSync(join(examples, 'house.wrl')), { name: 'house.wrl' });
        assert.equal(info.version, 'VRML 1.0');
        assert.equal(info.units, 4);
        const byType = Object.values(info.objectsByType).reduce((sum, n) => sum + n, 0);
        assert.equal(byType, info.objects);
        assert.match(info.text, new RegExp(`^objects: +${info.objects} `, 'm'));
        assert.match(info.text, new RegExp(`^triangles: +${info.triangles}$`, 'm'));
        const [lo, hi] = [info.bounds.min, info.bounds.max];
        assert.ok(lo.every((value, axis) => value < hi[axis]));
        assert.match(info.text, new RegExp(`\\(${lo.join(', ')}\\) to \\(${hi.join(', ')}\\)`));
        assert.equal(vrml.info('#VRML V2.0 utf8\nGroup {}\n').bounds, null);
    });

    test('text makes no geometry in this build, and the rest of the scene is built', () => {
        const scene = '#VRML V2.0 utf8\nShape { geometry Text { string "hello" } }\nShape { geometry Box {} }\n';
        const info = vrml.info(scene);
        assert.equal(info.result, 0);
        assert.deepEqual(info.objectsByType, { box: 1 });
    });
});
