// Stateless MCP peer on the v1 SDK that answers every request with plain JSON
// (no event stream, no session): a fresh server and transport per POST.
import { createServer } from 'node:http';
import { announce, requestedPort } from './lifecycle.mjs';
import { McpServer } from '@modelcontextprotocol/sdk/server/mcp.js';
import { StreamableHTTPServerTransport } from '@modelcontextprotocol/sdk/server/streamableHttp.js';
import { z } from 'zod';

function buildServer() {
    const server = new McpServer({ name: 'quorilanth-stateless-peer', version: '0.9.0' });
    server.registerTool(
        'add',
        {
            description: 'Adds two numbers',
            inputSchema: { a: z.number(), b: z.number() },
            annotations: { readOnlyHint: true }
        },
        async ({ a, b }) => ({ content: [{ type: 'text', text: String(a + b) }] })
    );
    server.registerTool(
        'reset_counter',
        { description: 'Resets a counter', inputSchema: {}, annotations: { destructiveHint: true } },
        async () => ({ content: [] })
    );
    server.registerPrompt('summarise', { description: 'Summarise a text' }, async () => ({
        messages: [{ role: 'user', content: { type: 'text', text: 'Summarise.' } }]
    }));
    return server;
}

const http = createServer(async (req, res) => {
    if (req.method !== 'POST') {
        res.writeHead(405, { 'content-type': 'application/json' });
        res.end(JSON.stringify({ jsonrpc: '2.0', error: { code: -32000, message: 'Method not allowed.' }, id: null }));
        return;
    }
    const server = buildServer();
    const transport = new StreamableHTTPServerTransport({ sessionIdGenerator: undefined, enableJsonResponse: true });
    res.on('close', () => {
        transport.close();
        server.close();
    });
    try {
        await server.connect(transport);
        await transport.handleRequest(req, res);
    } catch (error) {
        if (!res.headersSent) {
            res.writeHead(500, { 'content-type': 'application/json' });
            res.end(JSON.stringify({ jsonrpc: '2.0', error: { code: -32603, message: String(error) }, id: null }));
        }
    }
});
http.listen(requestedPort, '127.0.0.1', () => announce(http.address()));
