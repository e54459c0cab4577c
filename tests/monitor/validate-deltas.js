// Validates Signal K deltas, one JSON object a line in the file named first: each
// against the delta schema, and the full model built from it (the monitor's context
// "vessels.self" taken as a vessel with an MMSI, as a server resolves it) against
// the full schema. Two things of the library's deltaToFull are undone before that
// check: it gives every leaf it has metadata for an empty "meta" object, which its
// own full schema refuses under notifications (our deltas carry no meta at all), and
// it keeps a value of null (a path taken back: a module that dropped off, a lost
// link) as a leaf whose value the full schema refuses, where the full model of a
// server that took the null back has no value there. Prints "valid N" or the first
// faults, and exits 1 on any fault.
'use strict';
const fs = require('fs');
const signalk = require('@signalk/signalk-schema');

const lines = fs.readFileSync(process.argv[2], 'utf8').split('\n').filter((l) => l.trim());
function dropEmptyMetaAndNulls(node) {
  if (!node || typeof node !== 'object') return;
  for (const key of Object.keys(node)) {
    const child = node[key];
    if (key === 'meta' && child && typeof child === 'object' && !Object.keys(child).length) delete node[key];
    else if (child && typeof child === 'object' && 'value' in child && child.value === null) delete node[key];
    else dropEmptyMetaAndNulls(child);
  }
}

let valid = 0;
const faults = [];
for (const [n, line] of lines.entries()) {
  let delta;
  try {
    delta = JSON.parse(line);
  } catch (e) {
    faults.push(`line ${n + 1}: not JSON: ${e.message}`);
    continue;
  }
  const asDelta = signalk.validateDelta(JSON.parse(line));
  if (!asDelta.valid) {
    faults.push(`line ${n + 1}: delta: ` + asDelta.errors.map((e) => `${e.message} at ${e.dataPath}`).join('; '));
    continue;
  }
  if (delta.context !== 'vessels.self') {
    faults.push(`line ${n + 1}: context ${delta.context}`);
    continue;
  }
  delta.context = 'vessels.' + signalk.fakeMmsiId;
  const full = signalk.deltaToFull(delta);
  dropEmptyMetaAndNulls(full);
  const result = signalk.validateFull(full);
  if (!result.valid) {
    faults.push(`line ${n + 1}: full model: ` + result.errors.map((e) => `${e.message} at ${e.dataPath}`).join('; '));
    continue;
  }
  ++valid;
}
if (faults.length) {
  console.log(faults.slice(0, 5).join('\n'));
  console.log(`invalid ${faults.length} of ${lines.length}`);
  process.exit(1);
}
console.log(`valid ${valid}`);
