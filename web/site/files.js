// Which of the files a visitor gives is the scene, and what the scene calls
// the others: their paths relative to the scene's folder, as the scene's
// own inline and texture URLs name them. No DOM here: Node tests it too.

// The page refuses more than this at once, rather than the tab running out
// of memory: the files, the module's copy of them and the converted model
// are all held in memory together.
export const MaxBytes = 256 * 1024 * 1024;

const SceneEnding = /\.(wrl|wrz|vrml)(\.gz)?$/i;

export function isScene(path) {
    return SceneEnding.test(path);
}

function parts(path) {
    return path.split('/').filter((part) => part !== '' && part !== '.');
}

// `path` relative to `folder`, both as lists of names: "../" for each name of
// the folder the path does not share.
function relative(folder, path) {
    let same = 0;
    while (same < folder.length && same < path.length - 1 && folder[same] === path[same]) same++;
    return [...Array(folder.length - same).fill('..'), ...path.slice(same)].join('/');
}

// `entries`: [{path, size, ...}] with paths as the browser gives them
// ("house.wrl", "models/house.wrl", "/models/house.wrl" from a dropped
// folder). The scene is the scene file nearest the top, first by name;
// every other entry is keyed by its path relative to the scene's folder.
// Returns {scene, files: [{key, entry}], bytes}, or {error}.
export function planJob(entries) {
    const bytes = entries.reduce((sum, entry) => sum + entry.size, 0);
    const scenes = entries
        .filter((entry) => isScene(entry.path))
        .sort((a, b) => parts(a.path).length - parts(b.path).length || (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
    if (scenes.length === 0) {
        return {
            error:
                entries.length === 0
                    ? 'No file was given.'
                    : 'None of these is a VRML file (.wrl, .wrz, .vrml, or one of them .gz).',
        };
    }
    if (bytes > MaxBytes) {
        const size = (n) => `${Math.ceil(n / (1024 * 1024))} MB`;
        return { error: `These files hold ${size(bytes)}; this page takes at most ${size(MaxBytes)} at once.` };
    }
    const scene = scenes[0];
    const folder = parts(scene.path).slice(0, -1);
    const files = entries
        .filter((entry) => entry !== scene)
        .map((entry) => ({ key: relative(folder, parts(entry.path)), entry }));
    return { scene, files, bytes };
}
