// Validates GLB files with the Khronos glTF validator: each file's errors
// and warnings are printed, and any makes the exit status 1. A folder stands
// for every .glb file in it; none at all is a failure too (the tests made
// none, which means they did not run).
//
//   node validate.mjs VALIDATOR_MODULES PATH...
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { createRequire } from 'node:module';

const [modules, ...paths] = process.argv.slice(2);
const require = createRequire(join(modules, 'index.js'));
const validator = require('gltf-validator');

const files = [];
for (const path of paths) {
  if (statSync(path).isDirectory()) {
    for (const name of readdirSync(path).sort()) {
      if (name.endsWith('.glb')) files.push(join(path, name));
    }
  } else {
    files.push(path);
  }
}
if (files.length === 0) {
  console.error('validate.mjs: no GLB file to validate');
  process.exit(1);
}
let bad = 0;
for (const file of files) {
  const report = await validator.validateBytes(new Uint8Array(readFileSync(file)), {
    maxIssues: 100,
  });
  const issues = report.issues;
  if (issues.numErrors + issues.numWarnings === 0) continue;
  ++bad;
  for (const m of issues.messages.filter((m) => m.severity <= 1)) {
    console.error(`${file}: ${m.code} at ${m.pointer ?? m.offset}: ${m.message}`);
  }
}
console.log(`${files.length} GLB files validated, ${bad} with errors or warnings`);
process.exit(bad === 0 ? 0 : 1);
