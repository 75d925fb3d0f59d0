// Reads a quellot call list by the kit's rules (docs/kit.md), for the
// JavaScript clients: every call as {probe, bits, name}, `bits` a BigInt and
// `name` a NUL-terminated Uint8Array (or null), all checked before any call.
// A malformed line is thrown as an Error naming the list and the line.

export const PROBES = {
    call_float: {single: true, filename: false},
    call_float_filename: {single: true, filename: true},
    call_double: {single: false, filename: false},
    call_double_filename: {single: false, filename: true},
};

const ESCAPES = {"\\": 0x5c, t: 0x09, n: 0x0a, r: 0x0d};

function unescape(field) {
    const name = [];
    for (let i = 0; i < field.length; ++i) {
        const c = field.charCodeAt(i);
        if (c < 0x20 || c > 0x7e) throw new Error("FILENAME holds a byte that is not printable ASCII");
        if (c !== 0x5c) {
            name.push(c);
        } else if (field[i + 1] in ESCAPES) {
            name.push(ESCAPES[field[++i]]);
        } else if (field[i + 1] === "x" && /^[0-9a-fA-F]{2}$/.test(field.substr(i + 2, 2))
                   && field.substr(i + 2, 2) !== "00") {
            name.push(parseInt(field.substr(i + 2, 2), 16));
            i += 3;
        } else {
            throw new Error("FILENAME has a bad escape at '" + field.substr(i, 4) + "'");
        }
    }
    name.push(0);
    return Uint8Array.from(name);
}

// `bytes`: the list's bytes. Lines end at LF; one CR before it goes first;
// a line of spaces and tabs only, or whose first byte is "#", is a comment.
export function readCalls(bytes, where) {
    const calls = [];
    const lines = Array.from(bytes, (b) => String.fromCharCode(b)).join("").split("\n");
    lines.forEach((text, index) => {
        const line = text.endsWith("\r") ? text.slice(0, -1) : text;
        if (/^[ \t]*$/.test(line) || line.startsWith("#")) return;
        const fields = line.split("\t");
        const probe = PROBES.hasOwnProperty(fields[0]) ? PROBES[fields[0]] : null;
        try {
            if (!probe) throw new Error("unknown probe '" + fields[0] + "'");
            if (fields.length !== (probe.filename ? 3 : 2))
                throw new Error(fields[0] + " takes " + (probe.filename ? 3 : 2) + " tab-separated fields");
            if (!new RegExp("^[0-9a-fA-F]{" + (probe.single ? 8 : 16) + "}$").test(fields[1]))
                throw new Error("BITS '" + fields[1] + "' is not " + (probe.single ? 8 : 16) + " hexadecimal digits");
            calls.push({probe: fields[0], bits: BigInt("0x" + fields[1]),
                        name: probe.filename ? unescape(fields[2]) : null});
        } catch (error) {
            throw new Error(where + ":" + (index + 1) + ": " + error.message);
        }
    });
    return calls;
}

// The value with the bits `bits`, as a JavaScript number: a float's bits are
// read as a float and widened, so a float signalling NaN comes out quiet.
export function valueOf(probe, bits) {
    const memory = new DataView(new ArrayBuffer(8));
    if (PROBES[probe].single) {
        memory.setUint32(0, Number(bits));
        return memory.getFloat32(0);
    }
    memory.setBigUint64(0, bits);
    return memory.getFloat64(0);
}
