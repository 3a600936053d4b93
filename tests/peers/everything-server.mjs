// Starts the published "everything" MCP peer (legacy handshake, sessions,
// event-stream replies) on 127.0.0.1 only. Its own launcher binds every
// interface and reads the port from the environment, so listen() is narrowed
// here before it loads.
import net from 'node:net';
import { announce, requestedPort } from './lifecycle.mjs';

const listen = net.Server.prototype.listen;
net.Server.prototype.listen = function (...args) {
    const done = typeof args[args.length - 1] === 'function' ? args.pop() : undefined;
    this.once('listening', () => announce(this.address()));
    return listen.call(this, requestedPort, '127.0.0.1', done);
};
// The peer logs every request on stdout; keep stdout for the readiness line.
console.log = (...args) => console.error(...args);
await import('@modelcontextprotocol/server-everything/dist/transports/streamableHttp.js');
