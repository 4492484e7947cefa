// VRML 1.0 and 2.0 scenes converted and summarised by the `vrml` tool's
// library, compiled to WebAssembly.

/** Bytes as the calls take them; a string is taken as UTF-8 text. */
export type Bytes = Uint8Array | ArrayBuffer | ArrayBufferView | string;

/** What both calls take about loading. Every option has the tool's default. */
export interface LoadOptions {
    /** The scene's file name ("car.wrl", "car.wrz", "car.wrl.gz"); it names the output. Default "scene.wrl". */
    name?: string;
    /**
     * The other files the scene names (inline files, EXTERNPROTO libraries,
     * pictures), by their path relative to the scene's folder
     * ("parts/wheel.wrl", "../textures/wood.jpg"). A file not given here is
     * missing, as a file not on disk is for the tool.
     */
    files?: Record<string, Bytes>;
    /** The VRML standards' semantics, what a VRML browser shows (default true); false: the loader's own. */
    standard?: boolean;
    /** Build Text and AsciiText with `standard: false` too (this build has no fonts: text makes no geometry). */
    text?: boolean;
    /** Divisions of a full turn for curved solids, 3 to 4096 (default 32). */
    segments?: number;
}

export type Format = 'glb' | 'gltf' | 'obj' | 'stl' | 'ply';

export interface ConvertOptions extends LoadOptions {
    /** The output format (default "glb"); see `Vrml.formats`. */
    format?: Format;
    /** The file's own unit ("file"), KiCad's 0.1 inch in metres ("kicad"), or for OBJ, STL, PLY the loader's ("loaded"). */
    units?: 'file' | 'kicad' | 'loaded';
    /** Multiplies every coordinate, after `units`. */
    scale?: number;
    /** The file's up axis: "y" (VRML's) or "z" (turned so that Y is up). */
    up?: 'y' | 'z';
    /** "material": one object per material, texture and colouring in place of the groups and objects. */
    merge?: 'none' | 'material';
    /** Refuse a scene whose output would store more triangles (0: no limit; default 100,000,000). */
    maxTriangles?: number;
}

export interface InfoOptions extends LoadOptions {
    /** Also the group hierarchy in `text`, as `vrml info --tree` prints it. */
    tree?: boolean;
}

/**
 * The load result, as the tool gives it: 0 loaded (a file that breaks off
 * part-way keeps what was read), 1 failed (not VRML, or no statement could
 * be read), 2 the file could not be read.
 */
export type LoadResult = 0 | 1 | 2;

export interface ConvertResult {
    result: LoadResult;
    /** Why nothing was written, in a few words; empty when `output` holds the file. */
    error: string;
    objects: number;
    triangles: number;
    lineStrips: number;
    points: number;
    /** Refused for more triangles than `maxTriangles`. */
    overBudget: boolean;
    /** The output's file name, as `vrml convert -o DIR` names it ("car.glb"), or null. */
    name: string | null;
    /** The converted file, or null when it could not be made. */
    output: Uint8Array | null;
    /** The files written beside it (OBJ's .mtl and pictures), by name. */
    files: Record<string, Uint8Array>;
}

export interface InfoResult {
    result: LoadResult;
    /** Why the file could not be loaded at all ("not a VRML 1.0 or 2.0 file ..."); empty otherwise. */
    error: string;
    version: 'VRML 1.0' | 'VRML 2.0';
    /** The loader's units: 1 micrometres, 2 millimetres, 3 centimetres, 4 metres (not scaled). */
    units: number;
    unitsName: string;
    /** Loading time in seconds. */
    seconds: number;
    /** The summary, as `vrml info` prints it; empty when `error` is set. The fields below are then missing. */
    text: string;
    groups?: number;
    objects?: number;
    objectsByType?: Record<string, number>;
    triangles?: number;
    /** The world's bounding box in the loader's units, or null for an empty world. */
    bounds?: { min: [number, number, number]; max: [number, number, number] } | null;
}

export interface Vrml {
    /** The formats `convert` writes, with what each keeps. */
    readonly formats: ReadonlyArray<{ name: Format; description: string }>;
    /**
     * Loads the scene and writes it in `options.format`, byte for byte as
     * `vrml convert -j 1` does. Throws RangeError for an option it cannot take.
     */
    convert(scene: Bytes, options?: ConvertOptions): ConvertResult;
    /** Loads the scene and summarises it as `vrml info` does. Throws RangeError for an option it cannot take. */
    info(scene: Bytes, options?: InfoOptions): InfoResult;
}

/** Compiles the WebAssembly module (fetched beside this file, or read from disk in Node.js). */
export function createVrml(): Promise<Vrml>;
