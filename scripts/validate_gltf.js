#!/usr/bin/env node
// Runs the Khronos glTF validator over .glb/.gltf files and prints one line
// per file: its error, warning and info counts, then its first errors.
// Exits 0 when no file has an error, 1 when any has, 77 when the validator
// package is not installed (tests take that as "skipped").
//
//   node validate_gltf.js FILE...      (or a folder, searched for .glb/.gltf)
//
// The package is looked for in GLTF_VALIDATOR_DIR, then in the repository's
// .cache/npm (where build.sh installs it), then on Node's own search path.
'use strict';
const fs = require('fs');
const path = require('path');

function loadValidator() {
    const places = [];
    if (process.env.GLTF_VALIDATOR_DIR) places.push(process.env.GLTF_VALIDATOR_DIR);
    places.push(path.join(__dirname, '..', '.cache', 'npm', 'node_modules', 'gltf-validator'));
    places.push('gltf-validator');
    for (const place of places) {
        try {
            return require(place);
        } catch (e) {
            // try the next place
        }
    }
    return null;
}

function collect(args) {
    const files = [];
    const pending = [...args];
    while (pending.length > 0) {
        const item = pending.pop();
        if (fs.statSync(item).isDirectory()) {
            for (const entry of fs.readdirSync(item)) pending.push(path.join(item, entry));
        } else if (/\.(glb|gltf)$/i.test(item)) {
            files.push(item);
        }
    }
    return files.sort();
}

async function main() {
    const validator = loadValidator();
    if (!validator) {
        console.error('gltf-validator is not installed (npm install --prefix .cache/npm gltf-validator)');
        return 77;
    }
    const files = collect(process.argv.slice(2));
    let failed = 0;
    let totals = [0, 0, 0];
    for (const file of files) {
        const report = await validator.validateBytes(new Uint8Array(fs.readFileSync(file)), {
            uri: path.basename(file),
            maxIssues: 0,
            externalResourceFunction: (uri) =>
                fs.promises.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri))),
        });
        const issues = report.issues;
        totals[0] += issues.numErrors;
        totals[1] += issues.numWarnings;
        totals[2] += issues.numInfos;
        console.log(`${file}: ${issues.numErrors} errors, ${issues.numWarnings} warnings, ${issues.numInfos} infos`);
        if (issues.numErrors > 0) {
            failed += 1;
            for (const message of issues.messages.filter((m) => m.severity === 0).slice(0, 5))
                console.log(`  ${message.code} ${message.pointer || ''}: ${message.message}`);
        }
    }
    console.log(`validated ${files.length} files: ${failed} with errors (${totals[0]} errors, ${totals[1]} warnings, ${totals[2]} infos in all)`);
    return failed > 0 ? 1 : 0;
}

main().then((code) => process.exit(code), (error) => {
    console.error(error);
    process.exit(1);
});
