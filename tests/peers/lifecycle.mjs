// What every test peer shares with the C++ launcher: the port comes from the
// first argument (0 or absent: any free port), readiness is the one line
// "LISTENING <port>" on stdout, and the peer ends on SIGTERM or as soon as its
// stdin closes, so a crashed test never leaves a server behind.
export const requestedPort = Number(process.argv[2] ?? 0);

export function announce(address) {
    process.stdout.write(`LISTENING ${address.port}\n`);
}

process.on('SIGTERM', () => process.exit(0));
if (!process.stdin.isTTY) {
    process.stdin.on('end', () => process.exit(0));
    process.stdin.on('error', () => process.exit(0));
    process.stdin.resume();
}
