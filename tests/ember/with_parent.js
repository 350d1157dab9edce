// Runs a Node program (argv[2] on) that ends when its parent does: the parent holds our
// standard input, and its end ends us. Peer tools such as serve.js would otherwise outlive a
// test that was killed.
'use strict';
const path = require('path');
process.stdin.on('end', () => process.exit(0));
process.stdin.on('close', () => process.exit(0));
process.stdin.resume();
process.argv.splice(1, 1);
require(path.resolve(process.argv[1]));
