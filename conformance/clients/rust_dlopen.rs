// Makes every call of a quellot call list through Rust's own C ABI, the
// library loaded at run time with dlopen, and leaves the probes' lines on
// standard output. The standard library only: dlopen, dlsym and fflush are
// declared here, as any C function is.
//
//     rustc -O -o rust_dlopen rust_dlopen.rs && ./rust_dlopen LIBRARY CALLS
use std::ffi::CString;
use std::os::raw::{c_char, c_int, c_void};
use std::process::exit;

extern "C" {
    fn dlopen(filename: *const c_char, flags: c_int) -> *mut c_void;
    fn dlsym(handle: *mut c_void, symbol: *const c_char) -> *mut c_void;
    fn dlerror() -> *const c_char;
    fn fflush(stream: *mut c_void) -> c_int;
}
const RTLD_NOW: c_int = 2;

enum Value {
    Float(f32),
    Double(f64),
}

struct Call {
    probe: String,
    value: Value,
    name: Option<CString>,
}

// A FILENAME field with its escapes \\ \t \n \r \xHH (either case) decoded.
fn unescape(field: &[u8]) -> Result<Vec<u8>, String> {
    let mut name = Vec::new();
    let mut i = 0;
    while i < field.len() {
        let c = field[i];
        if !(0x20..=0x7e).contains(&c) {
            return Err("FILENAME holds a byte that is not printable ASCII".into());
        }
        let escape = if c == b'\\' { field.get(i + 1).copied() } else { None };
        let hex = field.get(i + 2..i + 4).and_then(|h| std::str::from_utf8(h).ok());
        match (c, escape) {
            (b'\\', Some(b'\\')) => name.push(b'\\'),
            (b'\\', Some(b't')) => name.push(b'\t'),
            (b'\\', Some(b'n')) => name.push(b'\n'),
            (b'\\', Some(b'r')) => name.push(b'\r'),
            (b'\\', Some(b'x')) => match hex.filter(|h| h.bytes().all(|b| b.is_ascii_hexdigit())) {
                Some(h) if h != "00" => {
                    name.push(u8::from_str_radix(h, 16).unwrap());
                    i += 2;
                }
                _ => return Err(format!("FILENAME has a bad escape at {:?}", String::from_utf8_lossy(&field[i..])))
            },
            (b'\\', _) => return Err(format!("FILENAME has a bad escape at {:?}", String::from_utf8_lossy(&field[i..]))),
            _ => {
                name.push(c);
                i += 1;
                continue;
            }
        }
        i += 2;
    }
    Ok(name)
}

fn parse(line: &[u8]) -> Result<Call, String> {
    let fields: Vec<&[u8]> = line.split(|&b| b == b'\t').collect();
    let probe = String::from_utf8_lossy(fields[0]).into_owned();
    let (single, filename) = match probe.as_str() {
        "call_float" => (true, false),
        "call_float_filename" => (true, true),
        "call_double" => (false, false),
        "call_double_filename" => (false, true),
        _ => return Err(format!("unknown probe {:?}", probe)),
    };
    if fields.len() != if filename { 3 } else { 2 } {
        return Err(format!("{} takes {} tab-separated fields", probe, if filename { 3 } else { 2 }));
    }
    let width = if single { 8 } else { 16 };
    let digits = fields[1];
    if digits.len() != width || !digits.iter().all(|b| b.is_ascii_hexdigit()) {
        return Err(format!("BITS {:?} is not {} hexadecimal digits", String::from_utf8_lossy(digits), width));
    }
    let bits = u64::from_str_radix(std::str::from_utf8(digits).unwrap(), 16).unwrap();
    let value = if single { Value::Float(f32::from_bits(bits as u32)) } else { Value::Double(f64::from_bits(bits)) };
    let name = if filename { Some(CString::new(unescape(fields[2])?).unwrap()) } else { None };
    Ok(Call { probe, value, name })
}

// Every call of the list, all checked before any is made. Lines end at LF;
// one CR before it goes first; a line of spaces and tabs only, or whose
// first byte is '#', is a comment.
fn read_calls(path: &str) -> Vec<Call> {
    let text = std::fs::read(path).unwrap_or_else(|error| {
        eprintln!("{}: {}", path, error);
        exit(2)
    });
    let mut calls = Vec::new();
    for (number, mut line) in text.split(|&b| b == b'\n').enumerate() {
        if line.last() == Some(&b'\r') {
            line = &line[..line.len() - 1];
        }
        if line.iter().all(|&b| b == b' ' || b == b'\t') || line[0] == b'#' {
            continue;
        }
        match parse(line) {
            Ok(call) => calls.push(call),
            Err(message) => {
                eprintln!("{}:{}: {}", path, number + 1, message);
                exit(2)
            }
        }
    }
    calls
}

fn main() {
    let args: Vec<String> = std::env::args().collect();
    if args.len() != 3 {
        eprintln!("usage: rust_dlopen LIBRARY CALLS");
        exit(2);
    }
    let calls = read_calls(&args[2]);
    let path = CString::new(args[1].as_str()).unwrap();
    let library = unsafe { dlopen(path.as_ptr(), RTLD_NOW) };
    if library.is_null() {
        eprintln!("cannot load {}: {:?}", args[1], unsafe { std::ffi::CStr::from_ptr(dlerror()) });
        exit(3);
    }
    let mut failed = false;
    for call in &calls {
        let symbol = CString::new(call.probe.as_str()).unwrap();
        let probe = unsafe { dlsym(library, symbol.as_ptr()) };
        if probe.is_null() {
            eprintln!("{} is not in {}", call.probe, args[1]);
            exit(3);
        }
        let name = call.name.as_ref().map(|n| n.as_ptr());
        let result = unsafe {
            match (&call.value, name) {
                (Value::Float(v), None) => std::mem::transmute::<_, extern "C" fn(f32) -> i64>(probe)(*v),
                (Value::Double(v), None) => std::mem::transmute::<_, extern "C" fn(f64) -> i64>(probe)(*v),
                (Value::Float(v), Some(n)) => {
                    std::mem::transmute::<_, extern "C" fn(*const c_char, f32) -> i64>(probe)(n, *v)
                }
                (Value::Double(v), Some(n)) => {
                    std::mem::transmute::<_, extern "C" fn(*const c_char, f64) -> i64>(probe)(n, *v)
                }
            }
        };
        failed |= result != 0;
    }
    // The lines wait in the C runtime's buffer: flush it, as C's exit would.
    if unsafe { fflush(std::ptr::null_mut()) } != 0 {
        eprintln!("the probes' lines could not all be written to standard output");
        exit(4);
    }
    exit(if failed { 1 } else { 0 });
}
