// Validates glTF files with the Khronos glTF-Validator and prints one line per message.
// Usage: node gltf-validator.js VALIDATOR_MODULE_DIR [--ignore CODE]... FILE...
// Exit code: 0 when no file has an error or a warning (other than the ignored codes), 1 otherwise.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require(process.argv[2]);

const ignored = new Set();
const files = [];
for (let i = 3; i < process.argv.length; ++i) {
  if (process.argv[i] === '--ignore') ignored.add(process.argv[++i]);
  else files.push(process.argv[i]);
}

async function validate(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const folder = path.dirname(file);
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    maxIssues: 100,
    externalResourceFunction: (uri) => new Promise((resolve, reject) => {
      fs.readFile(path.join(folder, decodeURIComponent(uri)), (err, data) => err ? reject(err.toString()) : resolve(new Uint8Array(data)));
    }),
  });
  let bad = 0;
  for (const m of report.issues.messages) {
    // Severity: 0 error, 1 warning, 2 information, 3 hint.
    if (m.severity > 1) continue;
    const kind = m.severity === 0 ? 'error' : 'warning';
    const counted = !ignored.has(m.code);
    if (counted) ++bad;
    console.log(`${file}: ${kind}${counted ? '' : ' (ignored)'}: ${m.code} at ${m.pointer || '/'}: ${m.message}`);
  }
  return bad;
}

(async () => {
  let bad = 0;
  for (const file of files) {
    try {
      bad += await validate(file);
    } catch (e) {
      console.log(`${file}: cannot validate: ${e}`);
      ++bad;
    }
  }
  if (files.length && bad === 0) console.log(`${files.length} file(s) valid`);
  process.exit(bad === 0 && files.length ? 0 : 1);
})();
