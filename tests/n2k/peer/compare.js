// The peer check: our decoder against canboat's own (analyzerjs of @canboat/canboatjs).
//   node compare.js PEER_DIR TOOL POLLS VECTORS_DIR
// 1. The simulated bus's single-frame NMEA 2000 records of POLLS polls, as candump
//    lines through analyzerjs: priority, PGN, source, destination and every numeric
//    field must agree.
// 2. canboat's published test vectors (VECTORS_DIR/*.js) through our decoder.
// Exit status 0 only when both agree wholly.
'use strict';
const { spawnSync } = require('child_process');
const fs = require('fs');
const path = require('path');

const [peerDir, tool, polls, vectorsDir] = process.argv.slice(2);
const analyzer = path.join(peerDir, 'node_modules', '@canboat', 'canboatjs', 'dist', 'bin', 'analyzerjs.js');

function run(cmd, args, input) {
  const r = spawnSync(cmd, args, { input, encoding: 'utf8', maxBuffer: 1 << 28 });
  if (r.status !== 0) throw new Error(`${cmd} ${args.join(' ')} failed: ${r.stderr}`);
  return r.stdout.split('\n').filter((l) => l.trim().startsWith('{')).map((l) => JSON.parse(l));
}

// Within half a step of the field's resolution; canboatjs gives percentages as ratios.
function sameNumber(ours, field, theirs) {
  if (typeof theirs !== 'number') return false;
  const tolerance = field.r / 2 + 1e-9 * Math.max(1, Math.abs(ours));
  if (Math.abs(theirs - ours) <= tolerance) return true;
  return field.u === '%' && Math.abs(theirs * 100 - ours) <= tolerance;
}

const failures = [];

// 1. The simulator's frames.
const ours = run(tool, ['sim', polls]);
const theirs = run('node', [analyzer, '--camel', '-n'], ours.map((o) => o.candump).join('\n') + '\n');
const byInput = new Map(theirs.map((t) => [t.input[0], t]));
let numeric = 0;
let lookups = 0;
for (const o of ours) {
  const t = byInput.get(o.candump);
  if (!t) {
    failures.push(`analyzerjs gave nothing for ${o.candump}`);
    continue;
  }
  for (const key of ['prio', 'pgn', 'src', 'dst'])
    if (o[key] !== t[key]) failures.push(`${o.candump}: ${key} ours ${o[key]}, canboat ${t[key]}`);
  for (const [id, f] of Object.entries(o.fields)) {
    const tv = t.fields[id];
    if (typeof f.v === 'number') {
      ++numeric;
      if (!sameNumber(f.v, f, tv)) failures.push(`${o.candump} ${id}: ours ${f.v}, canboat ${tv}`);
    } else if (f.v === null) {
      if (tv !== null && tv !== undefined) failures.push(`${o.candump} ${id}: ours no data, canboat ${tv}`);
    } else if (f.k === 1) {
      ++lookups;
      if (String(tv) !== f.v) failures.push(`${o.candump} ${id}: ours "${f.v}", canboat "${tv}"`);
    }
  }
}
console.log(`simulator: ${ours.length} single-frame records, ${numeric} numeric and ${lookups} lookup fields compared`);

// 2. canboat's test vectors.
function seconds(text) {
  const m = /^(-?)(\d+):(\d\d):(\d\d(?:\.\d+)?)$/.exec(text);
  return m ? (m[1] ? -1 : 1) * (Number(m[2]) * 3600 + Number(m[3]) * 60 + Number(m[4])) : NaN;
}
function agrees(field, expected) {
  if (expected === null || expected === undefined) return field === undefined || field.v === null;
  if (field === undefined) return false;
  if (Array.isArray(expected)) return (field.v === null ? '' : String(field.v)) === expected.join(', ');
  if (typeof expected === 'number') return typeof field.v === 'number' && sameNumber(field.v, field, expected);
  if (typeof field.v === 'number') return sameNumber(field.v, field, seconds(expected));
  return String(field.v) === expected;
}
let vectors = 0;
let passed = 0;
for (const file of fs.readdirSync(vectorsDir).filter((f) => f.endsWith('.js')).sort()) {
  for (const v of require(path.resolve(vectorsDir, file))) {
    ++vectors;
    const [o] = run(tool, ['actisense'], v.input + '\n');
    const byName = new Map();
    for (const [id, f] of Object.entries(o.fields)) {
      byName.set(id.toLowerCase(), f);
      byName.set(f.name.toLowerCase(), f);
    }
    const wrong = [];
    for (const key of ['prio', 'pgn', 'src', 'dst'])
      if (o[key] !== v.expected[key]) wrong.push(`${key} ${o[key]} != ${v.expected[key]}`);
    for (const [key, expected] of Object.entries(v.expected.fields))
      if (!agrees(byName.get(key.toLowerCase()), expected))
        wrong.push(`${key}: ours ${JSON.stringify(byName.get(key.toLowerCase())?.v)}, expected ${JSON.stringify(expected)}`);
    if (wrong.length === 0) ++passed;
    else failures.push(`${file} ${v.input.slice(0, 60)}...: ${wrong.join('; ')}`);
  }
}
console.log(`canboat test vectors: ${passed} of ${vectors} pass`);

for (const f of failures.slice(0, 40)) console.log('FAIL ' + f);
if (failures.length > 40) console.log(`... and ${failures.length - 40} more`);
process.exit(failures.length === 0 ? 0 : 1);
