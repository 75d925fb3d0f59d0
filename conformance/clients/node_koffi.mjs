// Makes every call of a quellot call list through Node's koffi and leaves
// the probes' lines on standard output.
//
//     node node_koffi.mjs LIBRARY [CALLS]
//
// koffi is looked up from the current folder (where `npm install koffi` put
// it). A JavaScript number is a double: a float signalling NaN arrives quiet.
import {readFileSync} from "node:fs";
import {createRequire} from "node:module";
import {join} from "node:path";
import {readCalls, valueOf} from "./calls.mjs";

const koffi = createRequire(join(process.cwd(), "client.js"))("koffi");
const [library, list = new URL("../calls.txt", import.meta.url).pathname] = process.argv.slice(2);
let calls;
try {
    calls = readCalls(readFileSync(list), list);
} catch (error) {
    console.error(error.message);
    process.exit(2);
}
const lib = koffi.load(library);
const probes = {
    call_float: lib.func("int64_t call_float(float value)"),
    call_float_filename: lib.func("int64_t call_float_filename(const uint8_t *filename, float value)"),
    call_double: lib.func("int64_t call_double(double value)"),
    call_double_filename: lib.func("int64_t call_double_filename(const uint8_t *filename, double value)"),
};
let failed = false;
for (const {probe, bits, name} of calls) {
    const value = valueOf(probe, bits);
    failed = (name ? probes[probe](name, value) : probes[probe](value)) != 0 || failed;
}
// The lines wait in the C runtime's buffer: flush it through koffi.
const runtime = koffi.load(process.platform === "win32" ? "msvcrt.dll" : "libc.so.6");
if (runtime.func("int fflush(void *stream)")(null) !== 0) {
    console.error("the probes' lines could not all be written to standard output");
    process.exit(4);
}
process.exit(failed ? 1 : 0);
