// vesk-host's routers in Ember+ providers, against node-emberplus's provider and consumer.
// Usage: node host_consumer.js TEST VESK_HOST VIEWTRAIL. Exit 77: skipped (no peers).
'use strict';
const net = require('net');
const lab = require('./lab');

const [test, host, script] = process.argv.slice(2);

function expect(condition, what) {
    if (!condition) {
        throw new Error(what);
    }
}

function finish(code, message) {
    if (message) {
        console.log(message);
    }
    lab.stopAll();
    process.exit(code);
}

const watchdog = setTimeout(() => finish(1, `FAIL: ${test} took longer than 60 s`), 60000);
watchdog.unref();

// The follow script on the lab's router: its tally shows the provider's label, its crosspoint
// lands on the provider, a third party's route reaches its tally, and the page's device list
// (show) holds the provider's names.
async function viewTrail() {
    const port = await lab.freePort();
    await lab.serveTree(port);
    const system = lab.labSystem(`127.0.0.1:${port}`);
    const run = lab.runHost(host, script, system, [
        'parent panel=main',
        'parent instance=router1',
        // Destination 7 is the provider's target 6, on its source 0.
        "expect among sent TP 'text=BARS' '1' 'tally'",
        'expect crosspoint 3 1 7',
        'parent source=12',
        'press 1 button',
        "expect among sent RC 3 12 7 ',' 0",
        "expect among sent TP 'text=STUDIO CAM 11' '1' 'tally'",
        'expect crosspoint 3 12 7',
        'wait crosspoint 3 5 7 5000',
        "expect sent TP 'text=STUDIO CAM 4' '1' 'tally'",
        'show',
    ]);
    await run.waitFor(/^ +\d+ +wait crosspoint/, 10000);
    const other = await lab.otherConsumer(port);
    expect(JSON.stringify(other.matrix.connections[6].sources) === '[11]',
        `the script's crosspoint is not on the provider: ${JSON.stringify(other.matrix.connections[6])}`);
    await other.client.matrixConnectAsync(other.matrix, 6, [4]);
    const code = await run.exited;
    expect(code === 0, `vesk-host exited ${code}: ${run.errors.join(' | ')}`);
    for (const line of ['MON 7 (7) <- STUDIO CAM 4 (5)', 'MON 1 (1) <- STUDIO CAM 1 (2)']) {
        expect(run.lines.some((l) => l.includes(line)), `show lacks "${line}"`);
    }
    await other.client.disconnectAsync();
}

// What ends a run with exit 2 before any step, naming the device file, the address and the
// path: no provider, no such matrix, a peer that is not Ember+. --check-system says the same.
async function unreachable() {
    const closed = await lab.freePort();
    const port = await lab.freePort();
    await lab.serveTree(port);
    const noisy = net.createServer((socket) => {
        socket.on('error', () => {});
        socket.write(Buffer.from('HTTP/1.1 400 Bad Request\r\n\r\n'.repeat(200)));
    });
    await new Promise((resolve) => noisy.listen(0, '127.0.0.1', resolve));
    const cases = [
        [`127.0.0.1:${closed}`, 'studio/router/matrix', /cannot connect/],
        [`127.0.0.1:${port}`, 'studio/router/nothing', /no element 'nothing' under '0.0'/],
        [`127.0.0.1:${port}`, '0.0.1', /'0.0.1' is not a matrix/],
        [`127.0.0.1:${noisy.address().port}`, '0.0.0', /not Ember\+/],
    ];
    for (const [provider, matrix, why] of cases) {
        const system = lab.labSystem(provider, matrix);
        const run = lab.runHost(host, script, system, ['show']);
        const code = await run.exited;
        const said = run.errors.join('\n');
        expect(code === 2, `${provider} ${matrix}: exit ${code}, want 2: ${said}`);
        for (const part of ['dev_003.ini', provider, matrix]) {
            expect(said.includes(part), `${provider} ${matrix}: the message lacks ${part}: ${said}`);
        }
        expect(why.test(said), `${provider} ${matrix}: the message does not say ${why}: ${said}`);
        const check = lab.start(host, ['--check-system', system]);
        const checked = await check.exited;
        expect(checked === 1 && check.lines.some((l) => l.includes(provider) && why.test(l)),
            `--check-system ${provider} ${matrix}: exit ${checked}: ${check.lines.join(' | ')}`);
    }
    noisy.close();
}

// The provider goes away in the middle of a run, and comes back: the loss is a problem in the
// transcript, the router connects again and reports what changed meanwhile. A provider that
// starts sending garbage mid-run is a loss the same way.
async function dropped() {
    const port = await lab.freePort();
    let provider = await lab.serveTree(port);
    // A relay between vesk-host and the provider, which can put garbage on the socket.
    const relayed = [];
    const relay = net.createServer((inbound) => {
        const outbound = net.connect(port, '127.0.0.1');
        relayed.push(inbound);
        inbound.pipe(outbound);
        outbound.pipe(inbound);
        for (const s of [inbound, outbound]) {
            s.on('error', () => {});
            s.on('close', () => { inbound.destroy(); outbound.destroy(); });
        }
    });
    await new Promise((resolve) => relay.listen(0, '127.0.0.1', resolve));
    const system = lab.labSystem(`127.0.0.1:${relay.address().port}`);
    const run = lab.runHost(host, script, system, [
        'parent panel=main',
        'parent instance=router1',
        'wait crosspoint 3 3 7 15000',
        'wait crosspoint 3 2 7 15000',
        'route 3 9 7',
        'expect crosspoint 3 9 7',
    ]);
    await run.waitFor(/^ +\d+ +wait crosspoint 3 3 7/, 10000);
    provider.kill('SIGKILL');
    await run.waitFor(/PROBLEM.*lost its Ember\+ provider/, 5000);
    await provider.exited;
    provider = await lab.serveTree(port);
    const other = await lab.otherConsumer(port);
    await other.client.matrixConnectAsync(other.matrix, 6, [2]);
    await run.waitFor(/connected again/, 10000);
    await run.waitFor(/^ +\d+ +wait crosspoint 3 2 7/, 10000);
    // Garbage from the provider's side of the connection.
    relayed[relayed.length - 1].write(Buffer.alloc(300, 0xfe));
    await run.waitFor(/PROBLEM.*lost its Ember\+ provider.*not Ember\+/, 5000);
    await other.client.matrixConnectAsync(other.matrix, 6, [1]);
    const code = await run.exited;
    // The two losses fail the run; the steps all held.
    expect(code === 1, `vesk-host exited ${code}`);
    expect(run.lines.some((l) => /FAILED: 1 of 1 expectation held, 0 events failed, 2 host link problems/.test(l)),
        `summary: ${run.lines.slice(-3).join(' | ')}`);
    relay.close();
    await other.client.disconnectAsync();
}

// Serving the page after the scenario, with nothing else happening: a route on the provider
// still reaches the script, and the page's state.
async function serving() {
    const port = await lab.freePort();
    await lab.serveTree(port);
    const system = lab.labSystem(`127.0.0.1:${port}`);
    const run = lab.runHost(host, script, system, ['parent panel=main', 'parent instance=router1'],
        ['--serve', '0']);
    await run.waitFor(/^serving http/, 10000);
    const other = await lab.otherConsumer(port);
    await other.client.matrixConnectAsync(other.matrix, 6, [5]);
    await run.waitFor(/out +TP 'text=STUDIO CAM 5' '1' 'tally'/, 3000);
    await other.client.disconnectAsync();
    run.kill('SIGTERM');
    await run.exited;
}

const tests = {'host-viewtrail': viewTrail, 'host-unreachable': unreachable, 'host-dropped': dropped,
    'host-serve': serving};

(async () => {
    if (!tests[test]) {
        finish(2, `unknown test ${test}; one of ${Object.keys(tests).join(', ')}`);
    }
    if (!lab.ensurePeers()) {
        finish(77, 'SKIPPED: node_modules is absent and npm could not install the Ember+ peers');
    }
    await tests[test]();
    finish(0, `PASS: ${test}`);
})().catch((e) => finish(1, `FAIL: ${test}: ${e.stack || e}`));
