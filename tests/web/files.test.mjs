// How the page picks the scene among the files it is given, and the names
// it gives the others: the paths the scene's URLs use.

import { MaxBytes, planJob } from '../../web/site/files.js';
import { test } from 'node:test';
import assert from 'node:assert/strict';

const entries = (...paths) => paths.map((path) => ({ path, size: 10 }));
const keys = (plan) => plan.files.map((file) => file.key).sort();

test('the scene, and the other files by their path from its folder', () => {
    const cases = [
        // Chosen files: names alone.
        [entries('wood.jpg', 'house.wrl', 'checker.png'), 'house.wrl', ['checker.png', 'wood.jpg']],
        // A dropped folder: paths from its parent, with a leading slash.
        [
            entries('/gallery/gallery.wrl', '/gallery/textures/wood.jpg', '/gallery/textures/checker.png'),
            '/gallery/gallery.wrl',
            ['textures/checker.png', 'textures/wood.jpg'],
        ],
        // A folder chosen with the folder picker: webkitRelativePath, no slash.
        [entries('models/cart/cart.wrl', 'models/cart/parts/wheel.wrl'), 'models/cart/cart.wrl', ['parts/wheel.wrl']],
        // Files above the scene's folder are reached with '..'.
        [
            entries('/site/scenes/main.wrl', '/site/shared/part.wrl', '/site/wood.jpg'),
            '/site/scenes/main.wrl',
            ['../shared/part.wrl', '../wood.jpg'],
        ],
        // Inline files are scenes too: the one nearest the top is the scene, then the first by name.
        [entries('/a/parts/wheel.wrl', '/a/cart.wrl', '/a/b.wrl'), '/a/b.wrl', ['cart.wrl', 'parts/wheel.wrl']],
        // Every ending of a scene, any case, gzipped or not.
        [entries('x.txt', 'Model.WRZ'), 'Model.WRZ', ['x.txt']],
        [entries('model.wrl.gz'), 'model.wrl.gz', []],
        [entries('model.vrml'), 'model.vrml', []],
    ];
    for (const [given, scene, others] of cases) {
        const plan = planJob(given);
        assert.equal(plan.error, undefined, scene);
        assert.equal(plan.scene.path, scene);
        assert.deepEqual(keys(plan), others, scene);
    }
});

test('nothing to load, or too much, is refused with a reason', () => {
    assert.match(planJob([]).error, /No file/);
    assert.match(planJob(entries('part.stl', 'notes.txt', 'scene.wrl.txt')).error, /None of these is a VRML file/);
    const big = [
        { path: 'big.wrl', size: MaxBytes - 100 },
        { path: 'wood.jpg', size: 101 },
    ];
    assert.match(planJob(big).error, /hold 257 MB; this page takes at most 256 MB/);
    big[1].size = 100;
    assert.equal(planJob(big).error, undefined, 'exactly the limit is taken');
});
