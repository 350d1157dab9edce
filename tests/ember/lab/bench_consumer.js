// Figures of vesk-host's routers in Ember+ providers, on loopback against node-emberplus's
// provider, with viewTrail following destination 7:
//   - a route made on the provider by another consumer, to the script's tally line;
//   - crosspoints per second through the consumer (route steps, each answered by the
//     provider and delivered to the script before the next);
//   - the cost of a connected but idle provider (vesk-host's CPU time while it waits).
// Usage: node bench_consumer.js VESK_HOST VIEWTRAIL [ROUNDS]. Times are taken from vesk-host's
// transcript lines as they reach this process: they include the pipe, so they are upper bounds.
'use strict';
const fs = require('fs');
const lab = require('./lab');

const [host, script, roundsGiven] = process.argv.slice(2);
const rounds = Number(roundsGiven || 200);
const labels = ['BARS', ...Array.from({length: 11}, (_, i) => `STUDIO CAM ${i + 1}`), 'VT 1', 'VT 2',
    'GFX', 'CLEAN'];
const start = ['parent panel=main', 'parent instance=router1'];

function ms(from, to) {
    return Number(to - from) / 1e6;
}

function summary(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const at = (q) => sorted[Math.min(sorted.length - 1, Math.floor(q * sorted.length))];
    return `median ${at(0.5).toFixed(2)} ms, p95 ${at(0.95).toFixed(2)} ms, ` +
        `max ${sorted[sorted.length - 1].toFixed(2)} ms (${sorted.length} routes)`;
}

// CPU seconds used by a process so far (Linux).
function cpuSeconds(pid) {
    const fields = fs.readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
    return (Number(fields[11]) + Number(fields[12])) / 100;
}

async function routeToTally(port, system) {
    const count = Math.min(rounds, 100);
    const steps = [...start];
    for (let i = 0; i < count; ++i) {
        steps.push(`wait crosspoint 3 ${2 + (i % 14)} 7 5000`);
    }
    const run = lab.runHost(host, script, system, steps);
    const other = await lab.otherConsumer(port);
    const times = [];
    for (let i = 0; i < count; ++i) {
        const source = 2 + (i % 14);
        const stepAt = new RegExp(`^ +\\d+ +wait crosspoint 3 ${source} 7 5000$`);
        await run.waitFor(stepAt, 10000, run.lines.length - 1);
        const from = run.lines.length;
        const t0 = process.hrtime.bigint();
        other.client.matrixConnectAsync(other.matrix, 6, [source - 1]);
        const tally = `out     TP 'text=${labels[source - 1]}' '1' 'tally'`;
        await run.waitFor(new RegExp(tally.replace(/[.*+?^${}()|[\]\\]/g, '\\$&')), 5000, from);
        const at = run.lines.findIndex((l, n) => n >= from && l.includes(tally));
        times.push(ms(t0, run.stamps[at]));
    }
    const code = await run.exited;
    await other.client.disconnectAsync();
    if (code !== 0) {
        throw new Error(`the route-to-tally run exited ${code}: ${run.errors.join(' | ')}`);
    }
    console.log(`figure: a route on the provider to the script's tally line: ${summary(times)}`);
}

async function crosspointsPerSecond(system) {
    const steps = [...start];
    for (let i = 0; i < rounds; ++i) {
        steps.push(`route 3 ${2 + (i % 14)} 7`);
    }
    steps.push('expect crosspoint 3 ' + (2 + ((rounds - 1) % 14)) + ' 7');
    const run = lab.runHost(host, script, system, steps);
    await run.waitFor(/^ +\d+ +route 3 /, 10000);
    const first = run.stamps[run.lines.findIndex((l) => /^ +\d+ +route 3 /.test(l))];
    await run.waitFor(/^end of run$/, 120000);
    const last = run.stamps[run.lines.indexOf('end of run')];
    const code = await run.exited;
    if (code !== 0) {
        throw new Error(`the crosspoint run exited ${code}: ${run.errors.join(' | ')}`);
    }
    const seconds = ms(first, last) / 1000;
    console.log(`figure: crosspoints through the consumer, each answered and delivered to the ` +
        `script: ${(rounds / seconds).toFixed(0)} per second (${rounds} in ${seconds.toFixed(2)} s)`);
}

async function idle(system) {
    const waitMs = 10000;
    // Destination 1 never reaches source 16: the run waits, connected, for the whole time.
    const run = lab.runHost(host, script, system, [...start, `wait crosspoint 3 16 1 ${waitMs}`]);
    await run.waitFor(/^ +\d+ +wait crosspoint 3 16 1/, 10000);
    await lab.sleep(500);
    const before = cpuSeconds(run.pid);
    const t0 = process.hrtime.bigint();
    await lab.sleep(waitMs - 2000);
    const used = cpuSeconds(run.pid) - before;
    const elapsed = ms(t0, process.hrtime.bigint()) / 1000;
    await run.exited;
    console.log(`figure: a connected, idle provider costs vesk-host ${(used * 1000 / elapsed).toFixed(2)} ` +
        `ms of CPU per second (${(used * 1000).toFixed(0)} ms in ${elapsed.toFixed(1)} s; ` +
        'clock-tick resolution 10 ms)');
}

(async () => {
    if (!lab.ensurePeers()) {
        console.log('SKIPPED: the Ember+ peers could not be installed');
        process.exit(77);
    }
    const port = await lab.freePort();
    await lab.serveTree(port);
    const system = lab.labSystem(`127.0.0.1:${port}`);
    await routeToTally(port, system);
    await crosspointsPerSecond(system);
    await idle(system);
    lab.stopAll();
    process.exit(0);
})().catch((e) => {
    console.log(`FAIL: ${e.stack || e}`);
    lab.stopAll();
    process.exit(1);
});
