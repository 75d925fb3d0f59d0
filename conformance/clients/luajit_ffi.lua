-- Makes every call of a quellot call list through LuaJIT's ffi and leaves
-- the probes' lines on standard output.
--
--     luajit luajit_ffi.lua LIBRARY CALLS
--
-- Each value stays cdata from its bits to the call: written into a float[1]
-- or double[1] and passed as a reference to it. Read into a Lua number, a
-- float would be widened (a signalling NaN quieted) and a NaN with a payload
-- could read as one of LuaJIT's own tagged values.
local ffi = require("ffi")

ffi.cdef[[
int64_t call_float(float value);
int64_t call_float_filename(const char *filename, float value);
int64_t call_double(double value);
int64_t call_double_filename(const char *filename, double value);
int fflush(void *stream);
]]

local PROBES = {
    call_float = {single = true, filename = false},
    call_float_filename = {single = true, filename = true},
    call_double = {single = false, filename = false},
    call_double_filename = {single = false, filename = true},
}
local ESCAPES = {["\\"] = "\\", t = "\t", n = "\n", r = "\r"}

-- A FILENAME field's \\ \t \n \r \xHH (either case) decoded.
local function unescape(field)
    local name, i = {}, 1
    while i <= #field do
        local c = field:sub(i, i)
        local hex = field:sub(i + 2, i + 3)
        if c:byte() < 0x20 or c:byte() > 0x7e then
            error("FILENAME holds a byte that is not printable ASCII", 0)
        elseif c ~= "\\" then
            name[#name + 1], i = c, i + 1
        elseif ESCAPES[field:sub(i + 1, i + 1)] then
            name[#name + 1], i = ESCAPES[field:sub(i + 1, i + 1)], i + 2
        elseif field:sub(i + 1, i + 1) == "x" and hex:match("^%x%x$") and hex ~= "00" then
            name[#name + 1], i = string.char(tonumber(hex, 16)), i + 4
        else
            error("FILENAME has a bad escape at '" .. field:sub(i, i + 3) .. "'", 0)
        end
    end
    return table.concat(name)
end

-- The cdata that holds the bits `digits`, and a reference to it to pass
-- (which does not keep the cdata alive: the caller must).
local function value(probe, digits)
    if PROBES[probe].single then
        local cell = ffi.new("float[1]")
        ffi.cast("uint32_t *", cell)[0] = tonumber(digits, 16)
        return cell, ffi.cast("float &", cell)
    end
    local cell = ffi.new("double[1]")
    ffi.cast("uint64_t *", cell)[0] = tonumber(digits:sub(1, 8), 16) * 0x100000000ULL + tonumber(digits:sub(9), 16)
    return cell, ffi.cast("double &", cell)
end

local function parse(line)
    local fields, start = {}, 1
    repeat
        local tab = line:find("\t", start, true)
        fields[#fields + 1] = line:sub(start, (tab or #line + 1) - 1)
        start = tab and tab + 1
    until not tab
    local probe = PROBES[fields[1]]
    if not probe then error("unknown probe '" .. fields[1] .. "'", 0) end
    local want, width = probe.filename and 3 or 2, probe.single and 8 or 16
    if #fields ~= want then error(fields[1] .. " takes " .. want .. " tab-separated fields", 0) end
    if not (#fields[2] == width and fields[2]:match("^%x+$")) then
        error("BITS '" .. fields[2] .. "' is not " .. width .. " hexadecimal digits", 0)
    end
    local name = probe.filename and unescape(fields[3]) or nil
    local cell, reference = value(fields[1], fields[2])
    return {probe = fields[1], cell = cell, value = reference,
            name = name and ffi.new("char[?]", #name + 1, name)}
end

-- Every call of the list, all checked before any is made. Lines end at LF;
-- one CR before it goes first; a line of spaces and tabs only, or whose
-- first byte is '#', is a comment.
local function read_calls(path)
    local file = assert(io.open(path, "rb"))
    local text = file:read("*a")
    file:close()
    local calls, start, number = {}, 1, 0
    while start <= #text + 1 do
        local stop = text:find("\n", start, true) or #text + 1
        local line = text:sub(start, stop - 1):gsub("\r$", "", 1)
        number, start = number + 1, stop + 1
        if not (line:match("^[ \t]*$") or line:sub(1, 1) == "#") then
            local ok, call = pcall(parse, line)
            if not ok then
                io.stderr:write(path, ":", number, ": ", call, "\n")
                os.exit(2)
            end
            calls[#calls + 1] = call
        end
    end
    return calls
end

if #arg ~= 2 then
    io.stderr:write("usage: luajit luajit_ffi.lua LIBRARY CALLS\n")
    os.exit(2)
end
local calls = read_calls(arg[2])
local lib = ffi.load(arg[1])
local failed = false
for _, call in ipairs(calls) do
    local result
    if call.name then
        result = lib[call.probe](call.name, call.value)
    else
        result = lib[call.probe](call.value)
    end
    failed = failed or result ~= 0
end
-- The lines wait in the C runtime's buffer: flush it through the ffi.
if ffi.C.fflush(nil) ~= 0 then
    io.stderr:write("the probes' lines could not all be written to standard output\n")
    os.exit(4)
end
os.exit(failed and 1 or 0)
