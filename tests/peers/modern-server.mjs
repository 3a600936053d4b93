// Modern (2026-07-28) MCP peer for the integration tests: server/discover,
// per-request _meta, no session, plain JSON replies, and the SDK's stateless
// fallback for clients that still open with initialize.
import { createServer } from 'node:http';
import { announce, requestedPort } from './lifecycle.mjs';
import { createMcpHandler, fromJsonSchema, McpServer } from '@modelcontextprotocol/server';
import { toNodeHandler } from '@modelcontextprotocol/node';

function buildServer() {
    const server = new McpServer({ name: 'quorilanth-modern-peer', version: '1.2.3' });

    server.registerTool(
        'get_weather',
        {
            description: 'Weather for a region',
            inputSchema: fromJsonSchema({
                type: 'object',
                properties: {
                    region: { type: 'string', 'x-mcp-header': 'Region' },
                    days: { type: 'integer', minimum: 1, maximum: 7 }
                },
                required: ['region']
            }),
            annotations: { readOnlyHint: true }
        },
        async ({ region, days }) => ({
            content: [{ type: 'text', text: `sunny in ${region} for ${days ?? 1} day(s)` }],
            structuredContent: { region, days: days ?? 1, sky: 'sunny' }
        })
    );

    server.registerTool(
        'set_note',
        {
            description: 'Stores a note (changes remote state)',
            inputSchema: fromJsonSchema({
                type: 'object',
                properties: { text: { type: 'string', maxLength: 64 } },
                required: ['text']
            }),
            annotations: { readOnlyHint: false }
        },
        async ({ text }) => ({ content: [{ type: 'text', text: `stored: ${text}` }] })
    );

    server.registerResource(
        'readme',
        'peer://readme',
        { description: 'A fixed text', mimeType: 'text/plain' },
        async uri => ({ contents: [{ uri: uri.href, text: 'hello' }] })
    );

    server.registerPrompt('greet', { description: 'Says hello' }, async () => ({
        messages: [{ role: 'user', content: { type: 'text', text: 'hello' } }]
    }));

    return server;
}

const handler = createMcpHandler(() => buildServer(), { legacy: 'stateless', responseMode: 'json' });
const http = createServer(toNodeHandler(handler));
http.listen(requestedPort, '127.0.0.1', () => announce(http.address()));
