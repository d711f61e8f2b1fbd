// Validates CycloneDX 1.5 JSON documents against the schema the CycloneDX library ships, with
// the schemas it refers to registered under the names it uses for them. Exit 0 when every file
// is valid; else each error is printed and the exit status is 1.
'use strict';
const fs = require('fs');
const path = require('path');
const Ajv = require('ajv');
const addFormats = require('ajv-formats');
const addFormats2019 = require('ajv-formats-draft2019');

const schemaDir = path.join(path.dirname(require.resolve('@cyclonedx/cyclonedx-library/package.json')),
  'res', 'schema');
const load = (name) => JSON.parse(fs.readFileSync(path.join(schemaDir, name), 'utf8'));
const ajv = new Ajv({ strict: false, allErrors: true, validateFormats: true });
addFormats(ajv);
addFormats2019(ajv, { formats: ['idn-email', 'iri-reference'] });
const base = 'http://cyclonedx.org/schema/';
for (const name of ['spdx.SNAPSHOT.schema.json', 'jsf-0.82.SNAPSHOT.schema.json']) {
  const schema = load(name);
  delete schema.$id;
  ajv.addSchema(schema, base + name);
}
const validate = ajv.compile(load('bom-1.5.SNAPSHOT.schema.json'));
let failed = false;
const files = process.argv.slice(2);
if (files.length === 0) {
  console.error('usage: validate-sbom.js FILE.json...');
  process.exit(2);
}
for (const file of files) {
  let doc;
  try {
    doc = JSON.parse(fs.readFileSync(file, 'utf8'));
  } catch (e) {
    console.error(`${file}: not JSON: ${e.message}`);
    failed = true;
    continue;
  }
  if (!validate(doc)) {
    failed = true;
    for (const error of validate.errors) console.error(`${file}: ${error.instancePath} ${error.message}`);
  } else {
    console.log(`${file}: valid CycloneDX 1.5`);
  }
}
process.exit(failed ? 1 : 0);
