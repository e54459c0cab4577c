// Validates Signal K deltas, one JSON object a line in the file named first: each
// against the delta schema, and the full model built from it (the monitor's context
// "vessels.self" taken as a vessel with an MMSI, as a server resolves it) against
// the full schema. The library's deltaToFull gives every leaf it has metadata for an
// empty "meta" object, which its own full schema refuses under notifications; those
// empty objects, which no delta of ours carries, are taken out before the check. Prints "valid N" or the first faults, and exits 1 on any fault.
'use strict';
const fs = require('fs');
const signalk = require('@signalk/signalk-schema');

const lines = fs.readFileSync(process.argv[2], 'utf8').split('\n').filter((l) => l.trim());
function dropEmptyMeta(node) {
  if (!node || typeof node !== 'object') return;
  for (const key of Object.keys(node)) {
    const child = node[key];
    if (key === 'meta' && child && typeof child === 'object' && !Object.keys(child).length) delete node[key];
    else dropEmptyMeta(child);
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
  dropEmptyMeta(full);
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
