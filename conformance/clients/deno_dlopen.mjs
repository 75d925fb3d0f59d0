// Makes every call of a quellot call list through Deno's Deno.dlopen and
// leaves the probes' lines on standard output.
//
//     deno run --allow-read --allow-ffi deno_dlopen.mjs LIBRARY [CALLS]
//
// A JavaScript number is a double: a float signalling NaN arrives quiet.
// Each value is built just before its call: numbers kept in objects until
// then may have their NaNs rewritten by the engine.
import {readCalls, valueOf} from "./calls.mjs";

const [library, list = new URL("../calls.txt", import.meta.url).pathname] = Deno.args;
let calls;
try {
    calls = readCalls(Deno.readFileSync(list), list);
} catch (error) {
    console.error(error.message);
    Deno.exit(2);
}
const lib = Deno.dlopen(library, {
    call_float: {parameters: ["f32"], result: "i64"},
    call_float_filename: {parameters: ["buffer", "f32"], result: "i64"},
    call_double: {parameters: ["f64"], result: "i64"},
    call_double_filename: {parameters: ["buffer", "f64"], result: "i64"},
});
let failed = false;
for (const {probe, bits, name} of calls) {
    const value = valueOf(probe, bits);
    failed = (name ? lib.symbols[probe](name, value) : lib.symbols[probe](value)) != 0 || failed;
}
// The lines wait in the C runtime's buffer: flush it through Deno.dlopen.
const runtime = Deno.dlopen(Deno.build.os === "windows" ? "msvcrt.dll" : "libc.so.6",
                            {fflush: {parameters: ["pointer"], result: "i32"}});
if (runtime.symbols.fflush(null) !== 0) {
    console.error("the probes' lines could not all be written to standard output");
    Deno.exit(4);
}
Deno.exit(failed ? 1 : 0);
