// VRML 1.0 and 2.0 scenes converted and summarised in the browser or in
// Node.js, by the loader and the `vrml` tool's conversion library compiled
// to WebAssembly. See index.d.ts for the options and results.
//
// The scene and the files it names are written into the module's memory
// file system for the length of one call, laid out as on disk, so that the
// loader finds inline files, prototype libraries and pictures by their
// relative paths exactly as the native tool does.

import createVrmlModule from './vrml.js';

const isNode = typeof process === 'object' && typeof process.versions?.node === 'string';

// Every call works below this folder, and the scene may name no file outside it.
const JobRoot = '/job';

async function loadModule() {
    const wasm = new URL('./vrml.wasm', import.meta.url);
    if (isNode) {
        // Node's fetch takes no file: URL, so the module is read here.
        const { readFile } = await import(/* webpackIgnore: true */ /* @vite-ignore */ 'node:fs/promises');
        return createVrmlModule({ wasmBinary: await readFile(wasm) });
    }
    return createVrmlModule({ locateFile: () => wasm.href });
}

function toBytes(data, what) {
    if (data instanceof Uint8Array) return data;
    if (data instanceof ArrayBuffer) return new Uint8Array(data);
    if (ArrayBuffer.isView(data)) return new Uint8Array(data.buffer, data.byteOffset, data.byteLength);
    if (typeof data === 'string') return new TextEncoder().encode(data);
    throw new TypeError(`${what} must be a Uint8Array, an ArrayBuffer or a string`);
}

// A relative path as its parts, '.' and '..' resolved; '..' kept where it
// leaves the folder it is relative to. Backslashes separate too: scenes
// written on Windows name their files so.
function pathParts(path) {
    const parts = [];
    for (const part of path.split(/[\\/]+/)) {
        if (part === '' || part === '.') continue;
        if (part === '..' && parts.length > 0 && parts[parts.length - 1] !== '..') parts.pop();
        else parts.push(part);
    }
    return parts;
}

class Vrml {
    constructor(module) {
        this.module = module;
        this.formats = JSON.parse(module.ccall('vrml_formats', 'string', [], []));
    }

    // Converts a scene; see index.d.ts.
    convert(bytes, options = {}) {
        return this.#run(bytes, options, (scene, callOptions) => {
            const out = `${JobRoot}/out`;
            this.module.FS.mkdir(out);
            const answer = this.#call('vrml_convert', [scene.path, out, scene.root, callOptions]);
            const result = {
                result: answer.result,
                error: answer.error,
                objects: answer.objects ?? 0,
                triangles: answer.triangles ?? 0,
                lineStrips: answer.lineStrips ?? 0,
                points: answer.points ?? 0,
                overBudget: answer.overBudget ?? false,
                name: answer.output || null,
                output: null,
                files: {},
            };
            if (answer.output) {
                for (const [path, data] of this.#readTree(out, '')) {
                    if (path === answer.output) result.output = data;
                    else result.files[path] = data;
                }
            }
            return result;
        });
    }

    // Summarises a scene as `vrml info` does; see index.d.ts.
    info(bytes, options = {}) {
        return this.#run(bytes, options, (scene, callOptions) => {
            const answer = this.#call('vrml_info', [scene.path, scene.name, scene.root, callOptions]);
            return { text: '', ...answer };
        });
    }

    // Lays the job out, runs it, and removes every file it made.
    #run(bytes, options, job) {
        const { name = 'scene.wrl', files = {}, ...rest } = options;
        const fs = this.module.FS;
        const scene = this.#layOut(fs, toBytes(bytes, 'the scene'), String(name), files);
        try {
            return job(scene, JSON.stringify(rest));
        } finally {
            this.#remove(JobRoot);
        }
    }

    // The scene goes deep enough below the job's folder that every file
    // named with '..' still lands inside it; a name no file is given for is
    // missing, as on disk.
    #layOut(fs, bytes, name, files) {
        const fileName = pathParts(name).pop() || 'scene.wrl';
        const entries = Object.entries(files).map(([path, data]) => [pathParts(path), toBytes(data, `files['${path}']`)]);
        const up = Math.max(0, ...entries.map(([parts]) => parts.filter((part) => part === '..').length));
        const root = `${JobRoot}/in`;
        const folder = [root, ...Array(up).fill('d')].join('/');
        fs.mkdirTree(folder);
        for (const [parts, data] of entries) {
            if (parts.length === 0) continue;
            const path = pathParts(`${folder}/${parts.join('/')}`);
            fs.mkdirTree('/' + path.slice(0, -1).join('/'));
            fs.writeFile('/' + path.join('/'), data);
        }
        const path = `${folder}/${fileName}`;
        fs.writeFile(path, bytes);
        return { path, name: fileName, root };
    }

    #call(name, args) {
        const answer = JSON.parse(this.module.ccall(name, 'string', args.map(() => 'string'), args));
        if (answer.refused !== undefined) throw new RangeError(`vrml: ${answer.refused}`);
        return answer;
    }

    *#readTree(folder, prefix) {
        const fs = this.module.FS;
        for (const entry of fs.readdir(folder)) {
            if (entry === '.' || entry === '..') continue;
            const path = `${folder}/${entry}`;
            if (fs.isDir(fs.stat(path).mode)) yield* this.#readTree(path, `${prefix}${entry}/`);
            else yield [`${prefix}${entry}`, fs.readFile(path)];
        }
    }

    #remove(path) {
        const fs = this.module.FS;
        let stat;
        try {
            stat = fs.stat(path);
        } catch {
            return;
        }
        if (fs.isDir(stat.mode)) {
            for (const entry of fs.readdir(path)) if (entry !== '.' && entry !== '..') this.#remove(`${path}/${entry}`);
            fs.rmdir(path);
        } else {
            fs.unlink(path);
        }
    }
}

// The module, compiled and ready: one per page or process is enough, and
// its calls run one at a time.
export async function createVrml() {
    return new Vrml(await loadModule());
}
