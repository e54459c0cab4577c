// The peer check: our decoder against canboat's own (analyzerjs of @canboat/canboatjs).
//   node compare.js PEER_DIR TOOL POLLS VECTORS_DIR
// 1. The simulated bus's NMEA 2000 messages of POLLS polls (single frames, and fast
//    packets as our decoder reassembles them), as candump lines through analyzerjs,
//    which reassembles the fast packets itself: priority, PGN, source, destination
//    and every field but binary ones must agree, and each message take as many frames.
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

function seconds(text) {
  const m = /^(-?)(\d+):(\d\d):(\d\d(?:\.\d+)?)$/.exec(text);
  return m ? (m[1] ? -1 : 1) * (Number(m[2]) * 3600 + Number(m[3]) * 60 + Number(m[4])) : NaN;
}
// Our field against canboat's value: numbers within resolution (durations and times
// as canboat's h:mm:ss), texts and lookup names equal, bit lookups as lists of names,
// "no data" as null.
function agrees(field, expected) {
  if (expected === null || expected === undefined) return field === undefined || field.v === null;
  if (field === undefined) return false;
  if (Array.isArray(expected)) return (field.v === null ? '' : String(field.v)) === expected.join(', ');
  if (typeof expected === 'number') return typeof field.v === 'number' && sameNumber(field.v, field, expected);
  if (typeof field.v === 'number') return sameNumber(field.v, field, seconds(expected));
  return String(field.v) === expected;
}

// A repeating set's entries ("list"), ours against canboat's: as many, and
// each of canboat's fields agreeing with ours.
function listDiffers(key, ours, expected) {
  if (!Array.isArray(ours)) return `${key}: ours none, expected ${expected.length} entries`;
  if (ours.length !== expected.length) return `${key}: ours ${ours.length} entries, expected ${expected.length}`;
  const wrong = [];
  expected.forEach((entry, i) => {
    for (const [id, value] of Object.entries(entry))
      if (!agrees(ours[i][id], value)) wrong.push(`${key}[${i}].${id}: ours ${JSON.stringify(ours[i][id]?.v)}, expected ${JSON.stringify(value)}`);
  });
  return wrong.join('; ');
}
const isList = (key) => key === 'list';

const failures = [];

// 1. The simulator's messages: single frames and fast packets reassembled.
const ours = run(tool, ['sim', polls]);
const theirs = run('node', [analyzer, '--camel', '-n'], ours.flatMap((o) => o.candump).join('\n') + '\n');
const byInput = new Map(theirs.map((t) => [t.input[0], t]));
const count = { single: 0, fast: 0, fields: 0, wrong: 0 };
const byPgn = {};
for (const o of ours) {
  ++count[o.fast ? 'fast' : 'single'];
  byPgn[o.pgn] = (byPgn[o.pgn] || 0) + 1;
  const key = o.candump[0];
  const t = byInput.get(key);
  const wrong = [];
  if (!t) wrong.push('analyzerjs gave nothing');
  else if (t.input.length !== o.candump.length) wrong.push(`analyzerjs took ${t.input.length} frames, we ${o.candump.length}`);
  else {
    for (const k of ['prio', 'pgn', 'src', 'dst']) if (o[k] !== t[k]) wrong.push(`${k} ours ${o[k]}, canboat ${t[k]}`);
    for (const [id, f] of Object.entries(o.fields)) {
      if (isList(id)) {
        ++count.fields;
        const differs = listDiffers(id, f, t.fields[id] || []);
        if (differs) wrong.push(differs);
        continue;
      }
      if (f.k === 6) continue;  // binary: shown as bytes, not compared
      ++count.fields;
      if (!agrees(f, t.fields[id])) wrong.push(`${id}: ours ${JSON.stringify(f.v)}, canboat ${JSON.stringify(t.fields[id])}`);
    }
  }
  if (wrong.length > 0) {
    ++count.wrong;
    failures.push(`${key}: ${wrong.join('; ')}`);
  }
}
console.log(`simulator: ${ours.length} messages (${count.single} single-frame, ${count.fast} fast-packet), ` +
            `${count.fields} fields compared, ${count.wrong} disagree; by PGN ${JSON.stringify(byPgn)}`);

// 2. canboat's test vectors.
let vectors = 0;
let passed = 0;
for (const file of fs.readdirSync(vectorsDir).filter((f) => f.endsWith('.js')).sort()) {
  for (const v of require(path.resolve(vectorsDir, file))) {
    ++vectors;
    const [o] = run(tool, ['actisense'], v.input + '\n');
    const byName = new Map();
    for (const [id, f] of Object.entries(o.fields)) {
      if (isList(id)) continue;
      byName.set(id.toLowerCase(), f);
      byName.set(f.name.toLowerCase(), f);
    }
    const wrong = [];
    for (const key of ['prio', 'pgn', 'src', 'dst'])
      if (o[key] !== v.expected[key]) wrong.push(`${key} ${o[key]} != ${v.expected[key]}`);
    for (const [key, expected] of Object.entries(v.expected.fields)) {
      if (isList(key)) {
        const differs = listDiffers(key, o.fields[key], expected);
        if (differs) wrong.push(differs);
      } else if (!agrees(byName.get(key.toLowerCase()), expected))
        wrong.push(`${key}: ours ${JSON.stringify(byName.get(key.toLowerCase())?.v)}, expected ${JSON.stringify(expected)}`);
    }
    if (wrong.length > 0) failures.push(`${file} ${v.input.slice(0, 60)}...: ${wrong.join('; ')}`);
    else ++passed;
  }
}
console.log(`canboat test vectors: ${passed} of ${vectors} pass`);

console.log(`${failures.length} failures`);
for (const f of failures.slice(0, 40)) console.log('FAIL ' + f);
if (failures.length > 40) console.log(`... and ${failures.length - 40} more`);
process.exit(failures.length === 0 ? 0 : 1);
