// Makes every call of a quellot call list through Go's cgo, the library
// loaded at run time with dlopen, and leaves the probes' lines on standard
// output.
//
//	go build -o go_cgo go_cgo.go && ./go_cgo LIBRARY CALLS
package main

/*
#cgo LDFLAGS: -ldl
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

// cgo calls C, not a function pointer: these call a probe found by dlsym.
static int64_t call_f(void *probe, float v) { return ((int64_t (*)(float))probe)(v); }
static int64_t call_d(void *probe, double v) { return ((int64_t (*)(double))probe)(v); }
static int64_t call_nf(void *probe, const char *name, float v) {
	return ((int64_t (*)(const char *, float))probe)(name, v);
}
static int64_t call_nd(void *probe, const char *name, double v) {
	return ((int64_t (*)(const char *, double))probe)(name, v);
}
static int flush_all(void) { return fflush(NULL); }
*/
import "C"

import (
	"bytes"
	"fmt"
	"math"
	"os"
	"regexp"
	"strconv"
	"unsafe"
)

type call struct {
	probe    string
	bits     uint64
	name     []byte // NUL-terminated, or nil
	single   bool
	filename bool
}

var hexDigits = regexp.MustCompile(`^[0-9a-fA-F]+$`)

// unescape decodes a FILENAME field's \\ \t \n \r \xHH (either case).
func unescape(field []byte) ([]byte, error) {
	var name []byte
	for i := 0; i < len(field); i++ {
		c := field[i]
		if c < 0x20 || c > 0x7e {
			return nil, fmt.Errorf("FILENAME holds a byte that is not printable ASCII")
		}
		if c != '\\' {
			name = append(name, c)
			continue
		}
		rest := field[i+1:]
		switch {
		case len(rest) > 0 && bytes.IndexByte([]byte(`\tnr`), rest[0]) >= 0:
			name = append(name, map[byte]byte{'\\': '\\', 't': '\t', 'n': '\n', 'r': '\r'}[rest[0]])
			i++
		case len(rest) >= 3 && rest[0] == 'x' && hexDigits.Match(rest[1:3]) && string(rest[1:3]) != "00":
			value, _ := strconv.ParseUint(string(rest[1:3]), 16, 8)
			name = append(name, byte(value))
			i += 3
		default:
			return nil, fmt.Errorf("FILENAME has a bad escape at %q", field[i:])
		}
	}
	return append(name, 0), nil
}

func parse(line []byte) (call, error) {
	fields := bytes.Split(line, []byte("\t"))
	c := call{probe: string(fields[0])}
	switch c.probe {
	case "call_float", "call_float_filename", "call_double", "call_double_filename":
	default:
		return c, fmt.Errorf("unknown probe %q", c.probe)
	}
	c.single = c.probe[5] == 'f'
	c.filename = len(c.probe) > 12 && c.probe[len(c.probe)-9:] == "_filename"
	want, width := 2, 16
	if c.filename {
		want = 3
	}
	if c.single {
		width = 8
	}
	if len(fields) != want {
		return c, fmt.Errorf("%s takes %d tab-separated fields", c.probe, want)
	}
	if len(fields[1]) != width || !hexDigits.Match(fields[1]) {
		return c, fmt.Errorf("BITS %q is not %d hexadecimal digits", fields[1], width)
	}
	c.bits, _ = strconv.ParseUint(string(fields[1]), 16, 64)
	if c.filename {
		name, err := unescape(fields[2])
		if err != nil {
			return c, err
		}
		c.name = name
	}
	return c, nil
}

// readCalls checks every call of the list before any is made. Lines end at
// LF; one CR before it goes first; a line of spaces and tabs only, or whose
// first byte is '#', is a comment.
func readCalls(path string) []call {
	text, err := os.ReadFile(path)
	if err != nil {
		fmt.Fprintln(os.Stderr, err)
		os.Exit(2)
	}
	var calls []call
	for number, line := range bytes.Split(text, []byte("\n")) {
		line = bytes.TrimSuffix(line, []byte("\r"))
		if len(bytes.Trim(line, " \t")) == 0 || line[0] == '#' {
			continue
		}
		c, err := parse(line)
		if err != nil {
			fmt.Fprintf(os.Stderr, "%s:%d: %v\n", path, number+1, err)
			os.Exit(2)
		}
		calls = append(calls, c)
	}
	return calls
}

func main() {
	if len(os.Args) != 3 {
		fmt.Fprintln(os.Stderr, "usage: go_cgo LIBRARY CALLS")
		os.Exit(2)
	}
	calls := readCalls(os.Args[2])
	path := C.CString(os.Args[1])
	library := C.dlopen(path, C.RTLD_NOW)
	if library == nil {
		fmt.Fprintf(os.Stderr, "cannot load %s: %s\n", os.Args[1], C.GoString(C.dlerror()))
		os.Exit(3)
	}
	failed := false
	for _, c := range calls {
		symbol := C.CString(c.probe)
		probe := C.dlsym(library, symbol)
		C.free(unsafe.Pointer(symbol))
		if probe == nil {
			fmt.Fprintf(os.Stderr, "%s is not in %s\n", c.probe, os.Args[1])
			os.Exit(3)
		}
		var result C.int64_t
		var name *C.char
		if c.name != nil {
			name = (*C.char)(unsafe.Pointer(&c.name[0]))
		}
		switch {
		case c.single && name == nil:
			result = C.call_f(probe, C.float(math.Float32frombits(uint32(c.bits))))
		case c.single:
			result = C.call_nf(probe, name, C.float(math.Float32frombits(uint32(c.bits))))
		case name == nil:
			result = C.call_d(probe, C.double(math.Float64frombits(c.bits)))
		default:
			result = C.call_nd(probe, name, C.double(math.Float64frombits(c.bits)))
		}
		failed = failed || result != 0
	}
	// The lines wait in the C runtime's buffer: flush it through cgo.
	if C.flush_all() != 0 {
		fmt.Fprintln(os.Stderr, "the probes' lines could not all be written to standard output")
		os.Exit(4)
	}
	if failed {
		os.Exit(1)
	}
}
